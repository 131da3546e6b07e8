// zyrtool --scan: finds the cabinets on one port, or on every serial port the system lists.
#pragma once

#include "cli/uCmdLine.h"

// Needs only the core application object: no window system is started.
int RunScanCommand(const TCmdLine& options);
