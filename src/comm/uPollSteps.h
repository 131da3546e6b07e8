// The background poll cycle of the selected cabinet: when no slot is pending the link asks for
// one step after the other, in this order, one request each, and starts again at step 1 (where
// a newly selected address takes effect).
#pragma once

#include <cstdint>

struct TPollStep {
    uint8_t func;     // 3 or 4
    int32_t firstReg; // for a module's step: the first register of module 1's block
    int32_t count;
    // 0: the step asks about the cabinet. Otherwise it asks about the module shown on the main
    // window's module page, whose block lies this many registers on per module.
    int32_t moduleStride;
};

constexpr int PollCycleLength = 5;

// Step n (1 to PollCycleLength) is PollCycle[n - 1].
extern const TPollStep PollCycle[PollCycleLength];

// The first register the step asks for while module (from 1) is the one shown.
int32_t PollStepFirstReg(const TPollStep& step, int module);
