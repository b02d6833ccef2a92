// Before an update that erases the device's stored measurement data: the window's start-up
// warning, then, at a terminal, the question whether to go on. --yes answers it, --no
// declines; without a terminal and without --yes the update does not start.
#pragma once

#include <string>

#include "cli/cli_context.h"
#include "cli/cli_update_ui.h"

struct UpdaterState;

// kExitSuccess to go on; otherwise the exit status of an update that did not start (the
// reason is told and logged). `kind` is the device kind the update is for. `told` gets the
// warning's text when it was shown: each update logs it as its own, under its port.
int ConfirmDataErase(const CliContext& context, const UpdaterState& state, int kind, CliAnswer answer,
                     std::string* told);
