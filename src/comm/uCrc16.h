// CRC-16/MODBUS (polynomial 0xA001 reflected, start 0xFFFF), sent low byte first. A whole
// frame including its own two CRC bytes gives 0.
#pragma once

#include <cstdint>

uint16_t Crc16(const uint8_t* bytes, int count);
