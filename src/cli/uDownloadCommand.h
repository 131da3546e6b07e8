// zyrtool --port PORT --download-log FILE: the cabinet's event log downloaded record by record
// into a database of the command's own, then written to FILE as a CSV record file or, for a
// name ending in ".mdb", as a copy of that database.
#pragma once

#include "cli/uCmdLine.h"

int RunDownloadCommand(const TCmdLine& options);

// Removes the temporary folders of downloads that were killed before they could clean up
// ("zyrtool-download-PID-XXXXXX" in the system's temporary folder, of a process that is gone or
// older than a day); those of other users and of running downloads stay.
void RemoveStaleDownloadFolders();
