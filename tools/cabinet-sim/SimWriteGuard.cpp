#include "SimWriteGuard.h"

namespace sim {

namespace {
constexpr uint32_t FirstMaskReg = 40082;
constexpr uint32_t LastMaskReg = 40091;
} // namespace

bool AllowGuardedWrite(bool& writeEnabled, uint32_t first, uint32_t count)
{
    if (count == 0) return true;
    const uint32_t last = first + count - 1;
    if (last < FirstMaskReg || first > LastMaskReg) return true;
    if (!writeEnabled) return false;
    writeEnabled = false;
    return true;
}

} // namespace sim
