// Commands that run without a window: they open the port, drive the same link, codec and
// shared records as the windows do, print progress and problems to standard error, and end
// with an exit status a script can test.
#pragma once

#include "cli/uCmdLine.h"

// The tool's name and version, for whichever application object the run makes.
void NameApplication();
// Parses the command line once, before any application object exists, so that a mistyped one
// is told in one line on any machine, with or without a display. False (the line already on
// standard error, exit status 1) for a usage error.
bool ParseProgramArguments(int argc, char** argv, TCmdLine& options);
// True when the run needs no window: help, version, or a headless command.
bool NeedsNoWindow(const TCmdLine& options);
// Runs the command the options ask for (help and version among them) and returns the
// program's exit status; every command that runs without a window is dispatched here.
int RunCommand(const TCmdLine& options);
// Runs RunCommand on a core application (no window system, no platform plugin) and returns
// the program's exit status.
int RunWithoutWindow(int& argc, char** argv, const TCmdLine& options);
