// The simulated data loggers behind "--device LG20", "LG2", "VQ7", "QRL" and "FH": each
// speaks the logger command line (the current "get"/"set" set, or the old "show" set of the
// LG2), keeps the settings a host writes and answers them back, keeps a clock and stored data
// that an identity-checked "yes" erases, and, with a radio, is reached over the air through
// a radio modem on the port. Like the TGX its firmware answers the loader's boot word.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "firmware_part.h"
#include "model_options.h"

bool IsLoggerModel(std::string_view model);
// False with a message for options the model cannot take (a cellular modem in a QRL, ...).
bool LoggerAcceptsOptions(std::string_view model, const ModelOptions& options, std::string& error);

std::unique_ptr<FirmwarePart> MakeLg20Firmware();
std::unique_ptr<FirmwarePart> MakeLg2Firmware();
std::unique_ptr<FirmwarePart> MakeVq7Firmware();
std::unique_ptr<FirmwarePart> MakeQrlFirmware();
std::unique_ptr<FirmwarePart> MakeFieldHubFirmware();
