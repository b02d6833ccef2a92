// settings restore: an archived configuration written into an attached device of its model.
#pragma once

#include "app/settings_archive.h"

struct UpdateSession;

// Connects to the device on the session's port, keeps what it holds in the archive, asks the
// person when the file is another serial number's, and writes the file's settings into it.
// 1, or a negative code after the person was told.
int RestoreArchivedSettings(UpdateSession& session, const ArchiveEntry& entry);
