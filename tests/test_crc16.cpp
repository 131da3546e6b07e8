// Known answers of the frame check: the standard check value, and request frames whose CRC
// bytes the frame table of the master already knows.
#include "comm/uCrc16.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {
struct CrcCase {
    const char* name;
    std::vector<uint8_t> bytes;
    uint16_t crc;
};

std::vector<uint8_t> textBytes(const char* text)
{
    return std::vector<uint8_t>(text, text + std::strlen(text));
}

class Crc16Table : public ::testing::TestWithParam<CrcCase> {};

TEST_P(Crc16Table, GivesTheKnownValue)
{
    const CrcCase& c = GetParam();
    EXPECT_EQ(Crc16(c.bytes.data(), int(c.bytes.size())), c.crc);
}

// The value goes out low byte first, so a frame followed by its own CRC checks to 0.
TEST_P(Crc16Table, AFrameWithItsOwnCrcChecksToZero)
{
    const CrcCase& c = GetParam();
    std::vector<uint8_t> frame = c.bytes;
    frame.push_back(uint8_t(c.crc & 0xFF));
    frame.push_back(uint8_t(c.crc >> 8));
    EXPECT_EQ(Crc16(frame.data(), int(frame.size())), 0);
    frame.back() ^= 0x01; // one bit off on the line
    EXPECT_NE(Crc16(frame.data(), int(frame.size())), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Known, Crc16Table,
    ::testing::Values(CrcCase{"checkValue", textBytes("123456789"), 0x4B37}, CrcCase{"nothing", {}, 0xFFFF},
                      CrcCase{"read44from30001", HexBytes("01 04 75 30 00 2C"), 0xD4EB},
                      CrcCase{"read35from40001", HexBytes("01 03 9C 40 00 23"), 0x972B},
                      CrcCase{"writeEnable", HexBytes("01 06 C3 4F 00 0A"), 0x5E04},
                      CrcCase{"record5", HexBytes("01 14 07 06 00 01 00 05 00 40"), 0x15D5}),
    [](const auto& info) { return std::string(info.param.name); });
} // namespace
