// zyrtool --port PORT --snapshot FILE: one whole poll cycle, the identification and every
// module's block of one cabinet, written as JSON.
#pragma once

#include "cli/uCmdLine.h"

int RunSnapshotCommand(const TCmdLine& options);
