#include "SimCrc.h"

#include <array>

namespace sim {

namespace {

// Reflected polynomial 0x8005, one entry per byte value.
std::array<uint16_t, 256> makeTable()
{
    std::array<uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        uint16_t value = static_cast<uint16_t>(i);
        for (int bit = 0; bit < 8; ++bit)
            value = (value & 1) ? static_cast<uint16_t>((value >> 1) ^ 0xA001)
                                : static_cast<uint16_t>(value >> 1);
        table[i] = value;
    }
    return table;
}

} // namespace

uint16_t crc16(const uint8_t* bytes, size_t count)
{
    static const std::array<uint16_t, 256> table = makeTable();
    uint16_t crc = 0xFFFF;
    for (size_t i = 0; i < count; ++i)
        crc = static_cast<uint16_t>((crc >> 8) ^ table[(crc ^ bytes[i]) & 0xFF]);
    return crc;
}

bool crcValid(const uint8_t* frame, size_t count)
{
    if (count < 4) return false;
    const uint16_t crc = crc16(frame, count - 2);
    return frame[count - 2] == (crc & 0xFF) && frame[count - 1] == (crc >> 8);
}

} // namespace sim
