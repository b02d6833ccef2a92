// The SDI-12 sensor link: one framed exchange through the pass-through device
// (Fieldrex or AQUIN Comm Device) and the sensor operations built on it. The
// record holds what the last capture read from the sensor; the restore writes
// those values back after a firmware update.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "log/message_log.h"

struct DeviceLink;

// Result codes of this layer (serial driver codes pass through unchanged).
constexpr int kSDIOk = 1;
constexpr int kSDINothing = 0;         // nothing to do (no serial number, no calibration)
constexpr int kSDIUnrecognised = -1;   // firmware check answer unrecognised; type not determinable
constexpr int kSDIInvalidType = -11;   // no valid sensor type given
constexpr int kSDIBusSilent = -21;     // even the "?!" probe got no answer
constexpr int kSDINoAnswer = -22;      // the command got no answer though the bus answers probes
constexpr int kSDINotConfirmed = -30;  // answered but not confirmed (address, type, family)
constexpr int kSDIErrorAnswer = -34;   // the sensor answered "ERROR" to a set command
constexpr int kSDICorruptFirmware = -66;
constexpr int kSDINoLoader = -82;  // the sensor answered "No BSL"

// Limits of the record's texts, in characters (without a terminator).
constexpr size_t kSDIReplySize = 256;  // the reply buffer: 255 characters and a terminator
constexpr size_t kSDIIdentityMax = 36;
constexpr size_t kSDICalibrationMax = 512;
constexpr size_t kSDISerialMax = 32;
constexpr size_t kSensorTypeNameSize = 34;  // a name has at most 33 characters

constexpr uint32_t kSDIDefaultTimeoutMs = 2000;
constexpr uint32_t kSDIDefaultTries = 5;
constexpr const char* kSDITag = "VornSDI12";

// Mode bytes of the pass-through device: what it relays from the next byte on.
constexpr char kRelayLoader = ']';    // the sensor loader's traffic
constexpr char kRelaySdi = '[';       // SDI-12 commands
constexpr char kRelayCommands = '`';  // nothing: its own command line again

// Sensor type codes the link treats specially (most are printable characters).
constexpr uint32_t kSensorSkyra32 = '\\';
constexpr uint32_t kSensorSkyra61 = ']';
constexpr uint32_t kSensorPl3 = '^';
constexpr uint32_t kSensorHtk = 't';
constexpr uint32_t kSensorDg7 = 'u';
constexpr uint32_t kSensorHb7 = 'w';
constexpr uint32_t kSensorK7V = 'x';
constexpr uint32_t kSensorWpx4 = 'y';
constexpr uint32_t kSensorK7W = 'z';
constexpr uint32_t kSensorRxWn = 127;
// Family selections of the sensor menu; never reported by a sensor.
constexpr uint32_t kFamilyNdr = 260;
constexpr uint32_t kFamilyWpx = 261;
constexpr uint32_t kFamilyHtk = 262;
constexpr uint32_t kFamilyHx = 263;
constexpr uint32_t kFamilyNivara3x = 264;

struct SDISensor {
  char address = '0';
  std::string identity;       // at most 36 characters
  std::string calibrationX4;  // at most 512 characters each
  std::string calibrationXa;
  std::string calibrationXO;
  bool xoPresent = false;
  std::string serialNumber;  // at most 32 characters
  uint8_t sensorType = 0;
  uint32_t version = 0;  // 356 for 3.56
  bool typeIsNumeric = false;
  MessageLog* log = nullptr;
  DeviceLink* port = nullptr;  // the instrument link's command link; not owned
  std::string reply;           // the last answer, at most 255 characters
  uint32_t timeoutMs = kSDIDefaultTimeoutMs;
  uint32_t tries = kSDIDefaultTries;

  SDISensor(MessageLog* messageLog, DeviceLink* link) : log(messageLog), port(link) {}
  ~SDISensor() {
    log = nullptr;
    port = nullptr;
  }
  SDISensor(const SDISensor&) = delete;
  SDISensor& operator=(const SDISensor&) = delete;
};

// One exchange: the wake byte, the command, the answer up to its carriage
// return, with retries and a probe of the bus when nothing comes back.
// `length` holds the reply's capacity (terminator included) and receives the
// length copied; reply and length may be null. Returns the bytes of the last
// read, or a negative code (the reply is then empty).
int SDISendCommand(SDISensor& sensor, std::string_view command, std::string* reply, int* length, int* elapsedMs);

// Identity and version ("?I!"): the version, or a negative code.
int SDIGetSensorVersion(SDISensor& sensor);
// "0A%c!": 1 (the record's address follows); -30 the sensor did not take the address (or it cannot travel); or the code of
// an exchange nobody answered (-21, -22, a port error).
int SDISetSensorAddress(SDISensor& sensor, char address);
// The same from another address than the '0' a sensor answers at after an update: "fAt!".
int SDIMoveSensorAddress(SDISensor& sensor, char from, char to);
// X4, Xa and XO as the stored type needs them: 1, 0 (PL-3), or a negative code.
int SDIGetSensorCalibration(SDISensor& sensor);
// Writes X4 (the given text, else the stored one), Xa and XO back, each confirmed by the
// sensor's "OK" and read back: 1; 0 nothing to write (PL-3, no X4); -34 the sensor answered
// "ERROR" to a write; -30 it answered without "OK", or still holds a really different value
// after every try; or the code of a write nobody answered (-21, -22, a port error). Of several
// writes' results, nobody answering outweighs a refusal, and a refusal a success.
int SDISetSensorCalibration(SDISensor& sensor, const std::string* x4);
int SDIGetSensorSN(SDISensor& sensor);
// "?X#%s!" with the stored serial number, read back and compared exactly: 1; 0 no serial
// number to write; -34, -30 or a no-answer code as for the calibration writes.
int SDISetSensorSN(SDISensor& sensor);
int SDIGetSensorType(SDISensor& sensor);
// A sensor code, or a family code 260-264 resolved against the stored type.
int SDISetSensorType(SDISensor& sensor, uint32_t type);
// "?post!" to new firmware: 1 good, -66 corrupt, -1 unrecognised, or a negative code.
int SDICheckBinary(SDISensor& sensor);
// "?B!" and the bytes that hand the bus to the sensor's loader: 1, -82, or a negative code.
int SDIInvokeVornBSL(SDISensor& sensor);
// The old X4 form of DG7 and HTK sensors below version 3.40 in the new form: 1, or 0 when not needed.
int SDIConvertCalibration(SDISensor& sensor);

// The settings capture and restore of a digital sensor.
int SDIGetSensorInfo(SDISensor& sensor);
// Writes the serial number, the address and the calibrations back, in that order (a bus that
// is silent at the serial number ends it there). Its result tells the two kinds of failure apart:
//   1          every value written and confirmed
//   -34, -30   the sensor answered but refused ("ERROR") or did not confirm some value: the
//              others are written; the sensor runs its firmware and talks
//   -21, -22,  nobody answered some write (bus silent, no answer though the bus answers probes,
//   port codes the port failed): the sensor may be gone, or in its loader
// Nobody answering outweighs a refusal; of the same kind the calibrations' result comes first,
// then the address's, then the serial number's.
int SDISetSensorInfo(SDISensor& sensor);
// Whether a result says the sensor answered: success, nothing to do, a refusal (-34) or a
// value not confirmed (-30); false when nobody answered (-21, -22, port codes).
bool SDIAnswered(int result);

// The display name of a sensor type or family code (at most 33 characters).
std::string SensorTypeName(uint32_t code);
// Whether a family code (260-264) names this sensor type for a type write.
bool SensorFamilyMember(uint32_t family, uint32_t type);
