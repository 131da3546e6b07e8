// How a window asks the link for something: it fills a free request slot for the selected
// cabinet and reads the result later from the shared tables.
#pragma once

#include <cstdint>

// Fills request slot `slot` (1..10) with the main window's selected cabinet address and the
// request, and marks it pending, when the slot is free. False (nothing changed) when the
// slot is still pending.
bool FillFreeSlot(int slot, uint8_t func, int32_t startReg, int32_t count, uint16_t value = 0);
