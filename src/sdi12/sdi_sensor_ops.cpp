// Identity, address, serial number, type, firmware check and loader start,
// and the capture and restore that chain them.
#include <cctype>

#include "logger/link_helpers.h"
#include "sdi12/sdi_answers.h"
#include "sdi12/sdi_link.h"
#include "sdi12/sdi_sensor.h"

namespace {

constexpr size_t kMaxSerialCommand = 63;
constexpr uint32_t kNoType = 0;
constexpr uint32_t kNotAType = 255;
constexpr uint32_t kLargestType = 255;
constexpr uint32_t kConvertBelowVersion = 340;
constexpr uint32_t kInvokeTries = 1;
constexpr uint32_t kInvokeTimeoutMs = 1000;
constexpr int kLoaderBytePauseMs = 100;
constexpr char kLoaderAttach = 'P';

// Identities whose sensors may not know "?X8!".
struct IdentityType {
  std::string_view part;
  uint8_t type;
};
constexpr IdentityType kIdentityTypes[] = {{"K7W", 'z'}, {"RX-VN", '}'}, {"RX-WN", kSensorRxWn}};

constexpr std::string_view kSerialWrite = "?X#";

// An address change whose answer was lost may still have been made: the sensor
// answers the address query from its new address.
bool AnswersAt(SDISensor& sensor, char address) {
  std::string reply;
  return SDIExchange(sensor, "?!", &reply) >= 0 && !reply.empty() && reply.front() == address;
}

// The serial number a bounded "?X#...!" command carries.
std::string WrittenSerial(std::string_view command) {
  std::string_view serial = command.substr(kSerialWrite.size());
  if (!serial.empty() && serial.back() == '!') serial.remove_suffix(1);
  return std::string(serial);
}

// What a type write sends for a selection: the type, or the stored type when it is a
// member of the selected family; nothing (with the refusal's code) otherwise.
int ResolveType(const SDISensor& sensor, uint32_t selected, uint32_t* code) {
  if (selected == kNoType || selected == kNotAType) {
    print_message(sensor.log, kLogProtocol, kSDITag, "SDISetSensorType didn't get a valid sensor type (%u)", selected);
    return kSDIInvalidType;
  }
  const char* family = nullptr;
  switch (selected) {
    case kFamilyNdr: family = "NDR"; break;
    case kFamilyWpx: family = "WPX"; break;
    case kFamilyHtk: family = "HTK"; break;
    case kFamilyHx: family = "HX-x"; break;
    case kFamilyNivara3x: family = "NIVARA 3x"; break;
    default: break;
  }
  if (family == nullptr) {
    // A code above 8 bits cannot travel as one character or be held by a sensor.
    if (selected > kLargestType) {
      print_message(sensor.log, kLogProtocol, kSDITag, "SDISetSensorType didn't get a valid sensor type (%u)",
                    selected);
      return kSDIInvalidType;
    }
    *code = selected;
    return kSDIOk;
  }
  if (!SensorFamilyMember(selected, sensor.sensorType)) {
    print_message(sensor.log, kLogProtocol, kSDITag, "SDISetSensorType didn't get a valid %s Sensor type (%u)", family,
                  selected);
    return kSDINotConfirmed;
  }
  *code = sensor.sensorType;
  return kSDIOk;
}

// The type from the identity, for sensors that do not answer "?X8!".
int TypeFromIdentity(SDISensor& sensor) {
  if (sensor.identity.empty()) SDIGetSensorVersion(sensor);
  for (const IdentityType& entry : kIdentityTypes) {
    if (SDIContains(sensor.identity, entry.part)) {
      sensor.sensorType = entry.type;
      return kSDIOk;
    }
  }
  return kSDIUnrecognised;
}

// Only the characters an SDI-12 address may be can travel in an address command.
bool ValidAddress(char address) { return std::isalnum(static_cast<unsigned char>(address)) != 0; }

}  // namespace

int SDIGetSensorVersion(SDISensor& sensor) {
  std::string reply;
  int result = SDIExchange(sensor, "?I!", &reply, SDIIdentityShaped);
  if (result >= 0 && SDIRefused(reply)) result = kSDIErrorAnswer;
  if (result < 0) {
    print_message(sensor.log, kLogProtocol, kSDITag, "SDIGetSensorVersion received error %i", result);
    return result;
  }
  SDIIdentityAnswer answer = ReadIdentityAnswer(reply);
  if (answer.identity.empty()) {
    // A bare acknowledgement (the command lost on the way) names no sensor and no version.
    print_message(sensor.log, kLogProtocol, kSDITag, "SDIGetSensorVersion received no identity");
    return kSDIUnrecognised;
  }
  if (answer.address) sensor.address = *answer.address;
  sensor.identity = std::move(answer.identity);
  sensor.version = answer.version;
  print_message(sensor.log, kLogProtocol, kSDITag, "SDIGetSensorVersion found sensor info: %s",
                sensor.identity.c_str());
  return static_cast<int>(sensor.version);
}

int SDISetSensorAddress(SDISensor& sensor, char address) { return SDIMoveSensorAddress(sensor, '0', address); }

int SDIMoveSensorAddress(SDISensor& sensor, char from, char address) {
  if (!ValidAddress(address) || !ValidAddress(from)) {
    print_message(sensor.log, kLogProtocol, kSDITag, "SDISetSensorAddress didn't get a valid sensor address (%d)",
                  static_cast<int>(static_cast<unsigned char>(address)));
    return kSDINotConfirmed;
  }
  std::string reply;
  const int result = SDIExchange(sensor, Format("%cA%c!", from, address), &reply);
  if ((result < 0 || reply.empty() || reply.front() != address) && AnswersAt(sensor, address)) {
    print_message(sensor.log, kLogProtocol, kSDITag, "SDISetSensorAddress found the sensor answering at '%c'", address);
    sensor.address = address;
    return kSDIOk;
  }
  if (result < 0) {
    print_message(sensor.log, kLogProtocol, kSDITag, "SDISetSensorAddress received error %i", result);
    return result;
  }
  if (!reply.empty() && reply.front() == address) {
    print_message(sensor.log, kLogProtocol, kSDITag, "SDISetSensorAddress successfully set sensor address to '%c'",
                  address);
    sensor.address = address;  // the record follows the sensor: its answers now come from there
    return kSDIOk;
  }
  print_message(sensor.log, kLogProtocol, kSDITag, "SDISetSensorAddress could not set sensor address to '%c'", address);
  return kSDINotConfirmed;
}

int SDIGetSensorType(SDISensor& sensor) {
  std::string reply;
  const char address = sensor.address;
  const SDIAnswerShape shape = [address](std::string_view answer) {
    return SDIFrom(answer, address) && SDITypeShaped(answer);
  };
  int result = SDIExchange(sensor, "?X8!", &reply, shape);
  if (result >= 0 && SDIRefused(reply)) result = kSDIErrorAnswer;
  if (result >= 0) {
    const SDITypeAnswer answer = ReadTypeAnswer(reply);
    sensor.typeIsNumeric = answer.numeric;
    sensor.sensorType = answer.type;
    result = kSDIOk;
  } else {
    print_message(sensor.log, kLogProtocol, kSDITag, "SDIGetSensorType received error %i", result);
    result = TypeFromIdentity(sensor);
  }
  if (result == kSDIOk) {
    print_message(sensor.log, kLogProtocol, kSDITag, "SDIGetSensorType found sensor type as \"%u\"",
                  static_cast<unsigned>(sensor.sensorType));
  } else {
    print_message(sensor.log, kLogProtocol, kSDITag, "SDIGetSensorType couldn't detirmine sensor type");
  }
  return result;
}

int SDISetSensorType(SDISensor& sensor, uint32_t type) {
  uint32_t code = 0;
  const int resolved = ResolveType(sensor, type, &code);
  if (resolved < 0) return resolved;
  const std::string command =
      sensor.typeIsNumeric ? Format("?X9 %u!", code) : Format("?X9 %c!", static_cast<char>(code));
  std::string reply;
  const int result = SDIExchange(sensor, command, &reply);
  if (result < 0) {
    print_message(sensor.log, kLogProtocol, kSDITag, "SDISetSensorType received error %i", result);
    return result;
  }
  if (SDIContains(reply, "OK")) {
    print_message(sensor.log, kLogProtocol, kSDITag, "SDISetSensorType successfully set sensor type to \"%u\"", code);
    return kSDIOk;
  }
  print_message(sensor.log, kLogProtocol, kSDITag, "SDISetSensorType could not set sensor type to \"%u\"", code);
  return kSDINotConfirmed;
}

int SDIGetSensorSN(SDISensor& sensor) {
  std::string reply;
  const char address = sensor.address;
  const SDIAnswerShape shape = [address](std::string_view answer) { return SDIFrom(answer, address); };
  int result = SDIExchange(sensor, "?X#!", &reply, shape);
  if (result >= 0 && SDIRefused(reply)) result = kSDIErrorAnswer;
  if (result < 0) {
    print_message(sensor.log, kLogProtocol, kSDITag, "SDIGetSensorSN received error %i looking for X#", result);
    return result;
  }
  std::optional<std::string> serial = ReadSerialAnswer(reply);
  if (!serial) return kSDINothing;
  sensor.serialNumber = std::move(*serial);
  print_message(sensor.log, kLogProtocol, kSDITag, "SDIGetSensorSN found SN \"%s\"", sensor.serialNumber.c_str());
  return kSDIOk;
}

int SDISetSensorSN(SDISensor& sensor) {
  if (sensor.serialNumber.empty()) {
    print_message(sensor.log, kLogProtocol, kSDITag, "SDISetSensorSN didn't find a valid serial number");
    return kSDINothing;
  }
  const std::string command = Bounded(Format("?X#%s!", sensor.serialNumber.c_str()), kMaxSerialCommand);
  const std::string written = WrittenSerial(command);
  // A serial number is text: only the same characters are the same number.
  const SDIReadBack readBack{"?X#!", {}, [&written](std::string_view reply) { return ReadSerialAnswer(reply) == written; }};
  const SDIWriteOutcome outcome = SDIConfirmedWrite(sensor, command, &readBack);
  if (outcome.result == kSDIOk) {
    print_message(sensor.log, kLogProtocol, kSDITag, "SDISetSensorSN successfully set sensor serial number to \"%s\"",
                  sensor.serialNumber.c_str());
  }
  if (outcome.exchange < 0) {
    print_message(sensor.log, kLogProtocol, kSDITag, "SDISetSensorSN received error %i setting serial number.",
                  outcome.exchange);
  }
  return outcome.result;
}

int SDICheckBinary(SDISensor& sensor) {
  std::string reply;
  const int result = SDIExchange(sensor, "?post!", &reply);
  if (result < 0) {
    print_message(sensor.log, kLogProtocol, kSDITag, "SDICheckBinary received error %i", result);
    return result;
  }
  if (SDIContains(reply, "Code Good")) {
    print_message(sensor.log, kLogProtocol, kSDITag, "SDICheckBinary found good firmware");
    return kSDIOk;
  }
  if (SDIContains(reply, "Code Corrupt")) {
    print_message(sensor.log, kLogProtocol, kSDITag, "SDICheckBinary found corrupt firmware");
    return kSDICorruptFirmware;
  }
  print_message(sensor.log, kLogProtocol, kSDITag, "SDICheckBinary unable to check firmware");
  return kSDIUnrecognised;
}

int SDIInvokeVornBSL(SDISensor& sensor) {
  const uint32_t tries = sensor.tries;
  const uint32_t timeoutMs = sensor.timeoutMs;
  sensor.tries = kInvokeTries;
  sensor.timeoutMs = kInvokeTimeoutMs;
  std::string reply;
  SDIExchange(sensor, "?B!", &reply);
  sensor.tries = tries;
  sensor.timeoutMs = timeoutMs;
  if (SDIContains(reply, "No BSL")) {
    print_message(sensor.log, kLogProtocol, kSDITag, "SDIInvokeVornBSL: sensor reported a missing VornBSL");
    return kSDINoLoader;
  }
  // The loader may have started without answering: the bytes go out either way.
  for (const char byte : {kRelayLoader, kLoaderAttach}) {
    const int written = SDIWriteByte(sensor, byte);
    if (written < 0) return written;  // the port is gone: no loader can be reached
    SDIPause(sensor, kLoaderBytePauseMs);
  }
  return kSDIOk;
}

int SDIGetSensorInfo(SDISensor& sensor) {
  sensor.identity.clear();
  sensor.calibrationX4.clear();
  sensor.calibrationXa.clear();
  sensor.calibrationXO.clear();
  sensor.serialNumber.clear();
  sensor.version = 0;
  sensor.address = '0';
  sensor.sensorType = 0;
  // A previous sensor's flags must not shape this one's restore.
  sensor.xoPresent = false;
  sensor.typeIsNumeric = false;
  int result = SDIGetSensorVersion(sensor);
  if (result < 0) return result;
  SDIGetSensorType(sensor);
  SDIGetSensorSN(sensor);
  result = SDIGetSensorCalibration(sensor);
  if (result < 0) return result;
  const bool oldForm = sensor.sensorType == kSensorDg7 || sensor.sensorType == kSensorHtk;
  if (oldForm && sensor.version < kConvertBelowVersion) SDIConvertCalibration(sensor);
  return kSDIOk;
}

int SDISetSensorInfo(SDISensor& sensor) {
  const int serial = SDISetSensorSN(sensor);
  // A sensor that has gone from the bus takes none of the writes after it.
  if (serial == kSDIBusSilent) return kSDIBusSilent;
  int result = SDIWorse(kSDIOk, serial);
  result = SDIWorse(result, SDISetSensorAddress(sensor, sensor.address));
  return SDIWorse(result, SDISetSensorCalibration(sensor, nullptr));
}
