// Known-answer frames of the Modbus master.
#include "comm/uKModbus.h"
#include "comm/uLinkState.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace {

// The values the codec stores into: a cabinet's values of its own, no link.
TCabinetValues values;
struct FrameCase {
    const char* name;
    uint8_t addr, func;
    int32_t startReg, count;
    uint16_t value;
    const char* expected;
};

class CodecFrames : public ::testing::TestWithParam<FrameCase> {
protected:
    void SetUp() override
    {
        ResetAll();
        values.Reset();
    }
};

TEST_P(CodecFrames, BuildsTheKnownFrame)
{
    const FrameCase& c = GetParam();
    TMModbus mb(TestTxBuf(), values);
    mb.ReqAddr = c.addr;
    mb.ReqFunc = c.func;
    mb.ReqStartReg = c.startReg;
    mb.ReqCount = c.count;
    mb.ReqValue = c.value;
    mb.BuildFrame();
    EXPECT_EQ(HexLine(TestTxBuf(), mb.FrameLen), QString::fromLatin1(c.expected));
}

INSTANTIATE_TEST_SUITE_P(
    Table, CodecFrames,
    ::testing::Values(FrameCase{"read44from30001", 1, 4, 30001, 44, 0, "01 04 75 30 00 2C EB D4"},
                      FrameCase{"read35from40001", 1, 3, 40001, 35, 0, "01 03 9C 40 00 23 2B 97"},
                      FrameCase{"record5", 1, 20, 0, 0, 5, "01 14 07 06 00 01 00 05 00 40 D5 15"},
                      FrameCase{"ident2", 1, 43, 2, 0, 0, "01 2B 0E 01 02 F1 B6"},
                      FrameCase{"writeEnable", 1, 6, 50000, 0, 10, "01 06 C3 4F 00 0A 04 5E"},
                      FrameCase{"unknownFunction", 1, 5, 1, 1, 0, ""}),
    [](const auto& info) { return std::string(info.param.name); });
} // namespace
