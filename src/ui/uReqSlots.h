// Filling a request slot from a window: only while the slot is free, always for the cabinet
// the main window has selected. The link takes the slot on one of its next idle ticks.
#pragma once

#include <cstdint>

// True when the link's serial port is open.
bool LinkPortOpen();

// True when slot (1 to 10) is free to be filled.
bool ReqSlotFree(int slot);

// Fills slot for the selected cabinet and marks it pending, when it is free. True when it was
// filled; a busy slot is left as it is.
bool QueueRequest(int slot, uint8_t func, int32_t startReg, int32_t count, uint16_t value = 0);
