// How a window asks the link for something: it fills a request slot while the slot is free
// and leaves the rest to the link, addressed to the cabinet selected in the main window.
#pragma once

#include <cstdint>

// True when the link's serial port is open.
bool LinkPortOpen();

// Fills request slot `slot` (1 to 10) for the selected cabinet and marks it pending, only
// when the slot is free. False, and nothing changed, when it is still pending.
bool QueueRequest(int slot, uint8_t func, int32_t startReg, int32_t count, uint16_t value = 0);
