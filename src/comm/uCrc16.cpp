#include "comm/uCrc16.h"

uint16_t Crc16(const uint8_t* bytes, int count)
{
    uint16_t crc = 0xFFFF;
    for (int i = 0; i < count; ++i) {
        crc ^= bytes[i];
        for (int b = 0; b < 8; ++b) crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
    }
    return crc;
}
