// Operations on a whole logger: reading or writing every setting a mask
// selects, the device clock, and the confirmed erase of stored data.
#pragma once

#include <cstdint>

#include "logger/device_link.h"
#include "logger/logger_settings.h"

// set 0 reads every selected setting into the link's record and copies the
// record out; set 1 copies the caller's record in and writes every selected
// setting. The mask comes back as the settings that succeeded. Returns 1,
// -35 when some failed, -1 when none succeeded, or the code that stopped it.
int DeviceSettings(DeviceLink& link, LoggerSettings* record, uint32_t* mask, int set);

// Reads (set 0) or sets (set 1) the device clock in VornSeconds. Setting 0
// (or no value) sets the computer's current local time and reports it.
int DeviceTime(DeviceLink& link, int64_t* vornSeconds, int set);

// Confirms an erase the device is asking about, after checking that the
// device still answers to the identified name.
int EraseData(DeviceLink& link);
