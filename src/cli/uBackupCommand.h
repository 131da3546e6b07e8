// zyrtool --port PORT [--baud N] [--address N] --backup FILE: reads the settings blocks of one
// cabinet and writes them as a backup file, with no window.
#pragma once

#include "cli/uCmdLine.h"

// Exit status 0 when the file was written; 1 for a port that cannot be opened or a file that
// cannot be written; 2 when a block did not answer (no file is written then).
int RunBackupCommand(const TCmdLine& options);
