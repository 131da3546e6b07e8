// How a window asks the link for something: it fills a request slot for the selected cabinet,
// and only while that slot is free; the link serves pending slots in number order.
#pragma once

#include <cstdint>

// Fills slot (1..10) with the main window's selected address and marks it pending, unless it
// is still pending; false when it was left alone.
bool QueueSlot(int slot, uint8_t func, int32_t startReg, int32_t count, uint16_t value = 0);
