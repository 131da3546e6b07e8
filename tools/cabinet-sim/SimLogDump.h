// --dump-log: the event log as text, so that a test can compare what the tool stored with what
// the cabinet meant, without reading it back over the line.
#pragma once

#include "SimOptions.h"

namespace sim {

// Prints one line per record of address 1's log and returns the exit code.
int dumpLog(const Options& options);

} // namespace sim
