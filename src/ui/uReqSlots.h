// How a window asks the link for something: it fills a request slot for the selected cabinet,
// and only while that slot is free. The link takes pending slots in number order.
#pragma once

#include <cstdint>

// True when slot n (1 to 10) has Pending 0.
bool SlotFree(int slot);

// Fills slot n for the main window's selected cabinet and marks it pending, only when the
// slot is free. True when the request was queued.
bool QueueRequest(int slot, uint8_t func, int32_t startReg, int32_t count, uint16_t value = 0);
