// CRC-16 of Modbus RTU frames, table driven. The simulated cabinet keeps its own copy so that
// it cannot share a mistake with the tool's codec.
#pragma once

#include <cstddef>
#include <cstdint>

namespace sim {

uint16_t crc16(const uint8_t* bytes, size_t count);

// True when the last two bytes are the CRC of the bytes before them (low byte first).
bool crcValid(const uint8_t* frame, size_t count);

} // namespace sim
