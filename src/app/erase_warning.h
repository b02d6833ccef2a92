// The warning that an update erases the measurement data the device stores:
// the window shows it at start-up, the command line before an update. One
// condition and one text for both, so they never disagree.
#pragma once

#include <string>

struct UpdaterState;

// Whether an update of a device of this kind is preceded by the warning: the
// profile table marks the kind, the build runs the instrument sequence, and
// neither repair nor factory mode is on (nor is the erase turned off, which
// only factory mode offers).
bool EraseWarningDue(const UpdaterState& state, int kind);

std::string EraseWarningText(const std::string& caption, const std::string& modelName);

constexpr const char* kEraseWarningTitle = "Data Erase Warning";
