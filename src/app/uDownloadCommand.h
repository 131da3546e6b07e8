// zyrtool --port PORT --download-log FILE: the cabinet's event log downloaded record by record
// into a database of the command's own, then written to FILE as a CSV record file or, for a
// name ending in ".mdb", as a copy of that database.
#pragma once

#include "app/uCmdLine.h"

int RunDownloadCommand(const TCmdLine& options);
