// zyrtool --port PORT [--address N] [--baud B] [--fast] --restore FILE [--dry-run] [--force]:
// compares a settings backup with one cabinet and writes back the registers that differ, each
// with the write-enable command and a read-back, with no window.
#pragma once

#include "cli/uCmdLine.h"

// Exit status 0 when every register written reads back equal (or nothing needs writing, or
// --dry-run); 1 for a file that is no backup, another cabinet's file without --force, a port
// that cannot be opened; 2 when the cabinet was not read, a register read back another value
// or the cabinet stopped answering; 130/143 after SIGINT/SIGTERM (between two registers).
int RunRestoreCommand(const TCmdLine& options);
