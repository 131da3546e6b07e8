// Registers the cabinet writes only after the write-enable command (10 written to 50000):
// the ten alarm mask words, 40082 to 40091.
#pragma once

#include <cstdint>

namespace sim {

// Exception code of a guarded write that came without the write-enable command.
constexpr int GuardedWriteRefused = 4;

// True when a write of count registers from first may go ahead. A write that touches a
// guarded register needs writeEnabled and uses it up; any other write leaves it as it is.
bool AllowGuardedWrite(bool& writeEnabled, uint32_t first, uint32_t count);

} // namespace sim
