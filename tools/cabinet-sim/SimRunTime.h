// The OPTION port block (51021 to 51030) and the runtime block (51051 to 51066) of one
// cabinet address: plausible values at start, the rectifier hours kept alike at 30043 and
// 51052, and the counters' hourly advance (--run-hours).
#pragma once

#include <cstdint>

namespace sim {

class RegisterImage;

// Fills both blocks; the rectifier hours at 51052 are those already at 30043.
void fillRunTime(RegisterImage& image);

// After a write: the rectifier hours written at 30043 or at 51052 show at both.
void keepRunTimeTogether(RegisterImage& image, uint32_t reg, uint16_t value);

// One hour more on the rectifier, battery and fan counters (16-bit, they wrap as the
// cabinet's do).
void advanceRunTime(RegisterImage& image);

} // namespace sim
