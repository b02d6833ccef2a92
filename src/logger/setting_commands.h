// One command per logger setting, each reading the setting from the device or
// writing it to the device. They share one shape: a capability gate, a "set"
// exchange acknowledged by the device, or a "get" exchange whose answer is
// read into the caller's field (only on success). Results: 1, -1 when the
// device cannot do it (nothing sent), -10 for a missing pointer, -11 for a
// value that must not be written, or the exchange's code.
#pragma once

#include <cstdint>
#include <string>

#include "logger/device_link.h"
#include "logger/logger_settings.h"

constexpr int kWrite = 1;  // any other direction reads
constexpr int kRead = 0;

constexpr int kAdc30 = 1;
constexpr int kAdc15 = 2;

// Writing this time zone means: use this computer's zone.
constexpr int32_t kTimeZoneOfComputer = -2;

int NameCommand(DeviceLink& link, std::string* name, int direction);
int DeviceIDCommand(DeviceLink& link, std::string* deviceId, int direction);
int ReportCommand(DeviceLink& link, uint32_t* report, int direction);
int DepthCommand(DeviceLink& link, PortBytes* depths, int direction);
int SiteCommand(DeviceLink& link, std::string* site, int direction);
int LatitudeCommand(DeviceLink& link, double* latitude, int direction);
int LongitudeCommand(DeviceLink& link, double* longitude, int direction);
int TimeZoneCommand(DeviceLink& link, int32_t* timeZone, int direction);
int SNCommand(DeviceLink& link, std::string* serialNumber, int direction);
int WakeCommand(DeviceLink& link, int32_t* wake, int direction);
int PADCCommand(DeviceLink& link, int32_t* padc, int direction);
int PortsCommand(DeviceLink& link, PortBytes* ports, int direction);
int ADCcalCommand(DeviceLink& link, int kind, PortBytes* slopes, PortBytes* offsets, int direction);
int DataParameterCommand(DeviceLink& link, int32_t* dataParameter, int direction);
int VornBuildCommand(DeviceLink& link, std::string* build, int direction);
int TraitCommand(DeviceLink& link, uint32_t* trait, int direction);
int APNCommand(DeviceLink& link, std::string* apn, int direction);
int APNUserCommand(DeviceLink& link, std::string* user, int direction);
int APNPasswdCommand(DeviceLink& link, std::string* password, int direction);
int AuthKeyCommand(DeviceLink& link, std::string* key, int direction);
int HostCommand(DeviceLink& link, std::string* host, int direction);
int IPPortCommand(DeviceLink& link, uint32_t* ipPort, int direction);
int RmodeCommand(DeviceLink& link, int32_t* rmode, int direction);
// mask in: bits 10 (channel), 11 (sub-channel), 12 (radio version) wanted;
// out: the bits set or found.
int MSRadioCommand(DeviceLink& link, int32_t* channel, int32_t* subChannel, std::string* version, uint32_t* mask,
                   int direction);
