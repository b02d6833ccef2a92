// The instrument link: what the update sequences use to deal with a device's
// running firmware before and after the loader replaces it. It owns the command
// link and the SDI-12 link (both on the command link's port), the captured
// settings and the two record sets.
//
// This header is the contract between the update sequences and this layer;
// the operations are implemented in this folder.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "bsl/device_profile.h"
#include "log/message_log.h"
#include "logger/device_link.h"
#include "logger/logger_settings.h"

struct InstrumentSettings;  // the captured instrument settings (instrument_settings.h)
struct SDISensor;           // the SDI-12 link (sdi12/sdi_sensor.h)
struct RecordSet;           // "user" and "eqn" records (instrument_settings.h)

// Result codes of this layer (lower layers' codes pass through).
constexpr int kVPLoginFailed = -25;
constexpr int kVPNotSupported = -120;
constexpr int kVPNoCapture = -13;
constexpr int kVPPartial = -35;
constexpr int kVPUninitialised = -36;
constexpr int kVPCorrupt = -1;
constexpr int kVPBrokenDataFlash = -65;
constexpr int kSettingsFileMissing = -102;
constexpr int kSettingsFileDenied = -105;
constexpr int kSettingsFileBadHandle = -106;

// The code the instruments' command line accepts after "login *".
constexpr std::string_view kVPLoginCode = "7205";

constexpr int kVPBaudIndex9600 = 2;  // the baud index the sequences connect with
constexpr int kVPConnectTries = 3;

struct InstrumentLink {
  MessageLog* log = nullptr;
  DeviceLink device;                       // the command line; owns the port
  std::unique_ptr<SDISensor> sdi;          // works through device.port
  LoggerSettings settings;                 // loggers: the captured configuration
  std::unique_ptr<InstrumentSettings> info;  // instruments: the captured settings
  std::unique_ptr<RecordSet> userRecords;
  std::unique_ptr<RecordSet> eqnRecords;
  uint8_t kind = 0;                        // of the connected device
  DeviceProfile profile;                   // copy stored by VPConnect
  bool settingsSaved = false;              // settings were captured (or read from the file)
  uint32_t savedMask = 0;                  // which settings the capture obtained
  // Hears, during a restore, the setting bits the device has taken (instrument or logger bits),
  // so a run cut short in the middle of one knows what the device got back.
  std::function<void(uint32_t bits)> restoreTaken;

  explicit InstrumentLink(MessageLog* messageLog);
  ~InstrumentLink();
  InstrumentLink(const InstrumentLink&) = delete;
  InstrumentLink& operator=(const InstrumentLink&) = delete;
};

// Connection and checks.
int VPConnect(InstrumentLink& link, const std::string& portName, int baudIndex, int tries, DeviceProfile* profile);
int VPLogin(InstrumentLink& link);
int VPDisconnect(InstrumentLink& link, bool sendLogout);
int VPCheckFirmware(InstrumentLink& link, bool initialise);
int VPCheckBattery(InstrumentLink& link, int* percent);
int VPEraseData(InstrumentLink& link);
int VPSetTime(InstrumentLink& link);
int GetValueString(InstrumentLink& link, const std::string& command, int timeoutMs, std::string* value,
                   size_t maximum);
int GetValueLong(InstrumentLink& link, const std::string& command, int timeoutMs, long* value);
int VPCommand(InstrumentLink& link, const std::string& commandLine);

// Settings carried across an update in the settings file.
int VPSaveInfo(InstrumentLink& link, const std::string& path);
// The restore's result tells the caller whether the device is still there to take settings:
//   1 (or 0: nothing held to write)  every held setting was written;
//   -21  no answer: the device went silent, or its loader answered "$" instead of its command
//        line; the restore stopped there and the device may hold none of the settings;
//   -32  the device echoed the command; -33 a relay must be active (loggers): stopped likewise;
//   -35  the device answered every write, but refused or did not take some settings;
//   -12  an instrument refused the serial number (the only failed write);
//   -11  (loggers) a held value the device cannot take (a bad name, trait or key);
//   other negative codes: the one failed write's exchange code (-30, -34), the file reader's
//   (-102, -105, -106, -30, -60) or -13 for a kind without a restore.
// Only -21, -32 and -33 mean the device is not (or no longer) taking commands.
int VPRestoreInfo(InstrumentLink& link, const std::string& path, const std::string* newSerialNumber);

// The run frame clears what a previous run captured: the logger settings, the
// instrument settings, the record sets and the captured flag.
void ClearCapturedSettings(InstrumentLink& link);
// The captured "adc" value (empty when none was captured); the update checks it
// to decide on the calibration reminder.
std::string CapturedAdc(const InstrumentLink& link);
// The captured serial number of an instrument or a logger (empty when none was captured).
std::string CapturedSerialNumber(const InstrumentLink& link);
