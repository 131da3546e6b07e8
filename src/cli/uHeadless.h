// Commands that run without a window: they open the port, drive the same link, codec and
// shared records as the windows do, print progress and problems to standard error, and end
// with an exit status a script can test.
#pragma once

#include "cli/uCmdLine.h"

// True when the options ask for a headless command instead of the windows.
bool IsHeadlessCommand(const TCmdLine& options);
// Runs the command the options ask for and returns the program's exit status.
int RunHeadless(const TCmdLine& options);
