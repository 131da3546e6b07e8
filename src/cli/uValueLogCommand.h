// zyrtool --port PORT --log-values FILE [--interval S] [--duration S]: the selected cabinet's
// values, one CSV line per interval, taken from the device record as the background poll
// refreshes it; no request of its own.
#pragma once

#include "cli/uCmdLine.h"

int RunValueLogCommand(const TCmdLine& options);
