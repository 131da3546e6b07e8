// How the Modbus master judges received chunks, and the function-16 frames it builds.
#include "comm/uCrc16.h"
#include "comm/uKModbus.h"
#include "comm/uLinkState.h"
#include "model/UShareData.h"
#include "model/uUpsInfo.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

// The values the codec stores into: a cabinet's values of its own, no link.
TCabinetValues values;
using Bytes = std::vector<uint8_t>;
using Stored = std::vector<std::pair<int, uint16_t>>;

// Values no test reply carries, so that any write into the mirror or CfgRx shows.
constexpr uint16_t MirrorUntouched = 0xEEEE;
constexpr uint8_t CfgUntouched = 0xCC;
constexpr int32_t RecNoUntouched = -7;

Bytes crcd(const char* hex) { return WithCrc(HexBytes(hex)); }

Bytes badCrc(const char* hex)
{
    Bytes b = crcd(hex);
    b.back() ^= 0x01;
    return b;
}

Bytes withTail(Bytes b, const char* hex)
{
    const Bytes tail = HexBytes(hex);
    b.insert(b.end(), tail.begin(), tail.end());
    return b;
}

// A function-20 reply of len bytes from address 1 carrying record 0x0102; its CRC is valid
// whatever the length.
Bytes recordReply(int len)
{
    Bytes b = HexBytes("01 14 44 43 06 01 02");
    while (static_cast<int>(b.size()) < len - 2) b.push_back(static_cast<uint8_t>(b.size()));
    b.resize(len - 2);
    return WithCrc(b);
}

// A function-43 reply from address 1 whose first object has the given id and valueLen bytes
// 0x30, 0x31, ...
Bytes identReply(uint8_t objectId, int valueLen)
{
    Bytes b = HexBytes("01 2B 0E 01 01 00 00 01");
    b.push_back(objectId);
    b.push_back(static_cast<uint8_t>(valueLen));
    for (int i = 0; i < valueLen; ++i) b.push_back(static_cast<uint8_t>(0x30 + i));
    return WithCrc(b);
}

Stored run(int firstReg, std::vector<uint16_t> values)
{
    Stored s;
    for (size_t i = 0; i < values.size(); ++i) s.emplace_back(firstReg + static_cast<int>(i), values[i]);
    return s;
}

struct ReplyCase {
    std::string name;
    uint8_t func; // the outstanding request, always at address 1
    int32_t startReg;
    int32_t count;
    Bytes chunk;
    bool accepted;
    bool repointed; // the current record was set to the record of address 1
    Stored stored;  // every register the mirror received
    int cfgAt = -1; // first CfgRx byte written, with cfgBytes
    const char* cfgBytes = "";
    bool replyFlag = false;
    int32_t recNo = RecNoUntouched;
};

const char* const Read4Three = "01 04 06 09 00 00 62 12 34";

std::vector<ReplyCase> replyCases()
{
    const Stored none;
    std::vector<ReplyCase> c;
    c.push_back({"Read3Good", 3, 40051, 6, crcd("01 03 0C 00 01 00 02 00 03 00 04 00 05 00 06"), true, true,
                 run(40051, {1, 2, 3, 4, 5, 6})});
    c.push_back(
        {"Read4Good", 4, 30001, 3, crcd(Read4Three), true, true, run(30001, {0x0900, 0x0062, 0x1234})});
    c.push_back({"Write16Echo", 16, 53000, 15, crcd("01 10 CF 07 00 0F"), true, true, none});
    c.push_back({"Write16EchoOfAnotherWrite", 16, 53000, 15, crcd("01 10 00 00 00 01"), false, true, none});
    c.push_back({"OtherFunctionAccepted", 5, 1, 1, crcd("01 05 00 00 FF 00"), true, true, none});
    c.push_back({"Record20Good", 20, 0, 0, recordReply(71), true, true, none, -1, "", true, 0x0102});
    c.push_back({"Record20Longer", 20, 0, 0, recordReply(80), true, true, none, -1, "", true, 0x0102});
    c.push_back({"Record20Short", 20, 0, 0, recordReply(70), false, true, none});
    c.push_back({"Record20Tiny", 20, 0, 0, crcd("01 14 02 01 06"), false, true, none});
    c.push_back(
        {"Ident43Object1", 43, 1, 0, identReply(1, 6), true, true, none, 41, "30 31 32 33 34 35", true});
    c.push_back({"Ident43Object2", 43, 2, 0, identReply(2, 10), true, true, none, 25,
                 "30 31 32 33 34 35 36 37 38 39", true});
    c.push_back({"Ident43Object1LongValue", 43, 1, 0, identReply(1, 9), true, true, none, 41,
                 "30 31 32 33 34 35", true});
    c.push_back({"Ident43Object3", 43, 3, 0, identReply(3, 10), true, true, none, -1, "", true});
    c.push_back({"Ident43Object1TooShort", 43, 1, 0, identReply(1, 5), true, true, none, -1, "", true});
    c.push_back({"Ident43Object2TooShort", 43, 2, 0, identReply(2, 9), true, true, none, -1, "", true});
    c.push_back(
        {"Ident43NoObject", 43, 1, 0, crcd("01 2B 0E 01 01 00 00 00"), true, true, none, -1, "", true});
    c.push_back({"OtherAddress", 4, 30001, 3, crcd("02 04 06 09 00 00 62 12 34"), false, false, none});
    c.push_back({"BadCrc", 4, 30001, 3, badCrc(Read4Three), false, true, none});
    c.push_back({"Exception83", 3, 40051, 6, crcd("01 83 02"), false, true, none});
    c.push_back(
        {"Exception84LooksLikeData", 4, 30001, 3, crcd("01 84 06 09 00 00 62 12 34"), false, true, none});
    c.push_back({"Exception94", 20, 0, 0, crcd("01 94 02"), false, true, none});
    c.push_back({"ExceptionAB", 43, 1, 0, crcd("01 AB 01"), false, true, none});
    // A reply to another read is not this read's: none of its values land anywhere.
    c.push_back({"CountMismatchStoresNothing", 4, 30001, 44, crcd(Read4Three), false, true, none});
    c.push_back({"LateReplyOfAnotherFunctionStoresNothing", 3, 40001, 35, crcd(Read4Three), false, true, none});
    c.push_back({"LateReplyOfAnotherCountStoresNothing", 4, 40001, 35, crcd(Read4Three), false, true, none});
    c.push_back({"LateReplySameCountOtherFunction", 3, 40051, 3, crcd(Read4Three), false, true, none});
    // A reply of the same function and count cannot be told from the one asked for.
    c.push_back({"LateReplySameFunctionAndCount", 4, 40051, 3, crcd(Read4Three), true, true,
                 run(40051, {0x0900, 0x0062, 0x1234})});
    c.push_back({"EmptyChunk", 4, 30001, 3, Bytes{}, false, false, none});
    c.push_back({"OneByte", 4, 30001, 3, HexBytes("01"), false, false, none});
    c.push_back({"TwoBytes", 4, 30001, 3, HexBytes("01 04"), false, false, none});
    c.push_back({"ThreeBytesValidCrc", 4, 30001, 3, crcd("01"), false, false, none});
    c.push_back({"FourBytesValidCrc", 4, 30001, 3, crcd("01 04"), false, true, none});
    c.push_back({"ByteCountZero", 4, 30001, 3, crcd("01 04 00"), false, true, none});
    c.push_back({"ByteCountOne", 4, 30001, 3, crcd("01 04 01 05"), false, true, none});
    c.push_back({"ByteCountBeyondChunk", 4, 30001, 4, crcd("01 04 08 00 01 00 02"), false, true, none});
    c.push_back({"ByteCountFarBeyondChunk", 3, 40001, 127, crcd("01 03 FE 00 01 00"), false, true, none});
    c.push_back({"ShortCount", 4, 30001, 3, crcd("01 04 04 09 00 00 62"), false, true, none});
    c.push_back({"TrailingGarbage", 4, 30001, 3, withTail(crcd(Read4Three), "55 AA"), false, true, none});
    Bytes longest = crcd(Read4Three);
    longest.resize(MaxRxChunk, 0x00); // zeros after a valid CRC keep the CRC valid
    c.push_back({"LongestChunkDecodesOnlyItsCount", 4, 30001, 3, longest, true, true,
                 run(30001, {0x0900, 0x0062, 0x1234})});
    Bytes noise(MaxRxChunk, 0x5A);
    noise[0] = 0x01;
    c.push_back({"LongestChunkOfNoise", 4, 30001, 3, noise, false, true, none});
    return c;
}

class CodecReply : public ::testing::TestWithParam<ReplyCase> {
protected:
    void SetUp() override
    {
        ResetAll();
        values.Reset();
        std::fill(std::begin(values.RegMirror), std::end(values.RegMirror), MirrorUntouched);
        std::memset(values.CfgRx, CfgUntouched, sizeof values.CfgRx);
        values.RecInfo.Rec.RecNo = RecNoUntouched;
    }
};

TEST_P(CodecReply, JudgesTheChunk)
{
    const ReplyCase& c = GetParam();
    TMModbus mb(TestTxBuf(), values);
    mb.SetCurrentAddress(1);
    mb.ReqAddr = 1;
    mb.ReqFunc = c.func;
    mb.ReqStartReg = c.startReg;
    mb.ReqCount = c.count;
    mb.CurRecord = &values.UpsData[9]; // a stale pointer shows whether the check re-pointed it

    // An exactly sized heap copy, so that reading past the chunk is caught; an empty chunk has
    // no bytes at all.
    const int len = static_cast<int>(c.chunk.size());
    std::unique_ptr<uint8_t[]> chunk(len > 0 ? new uint8_t[c.chunk.size()] : nullptr);
    std::copy(c.chunk.begin(), c.chunk.end(), chunk.get());

    EXPECT_EQ(mb.CheckReply(chunk.get(), len), c.accepted);
    EXPECT_EQ(mb.CurRecord, c.repointed ? &values.UpsData[1] : &values.UpsData[9]);

    Stored stored;
    for (int r = 0; r < 65536; ++r)
        if (values.RegMirror[r] != MirrorUntouched) stored.emplace_back(r, values.RegMirror[r]);
    EXPECT_EQ(stored, c.stored);

    uint8_t expectedCfg[CfgSize];
    std::memset(expectedCfg, CfgUntouched, sizeof expectedCfg);
    const Bytes cfg = HexBytes(c.cfgBytes);
    if (c.cfgAt >= 0) std::copy(cfg.begin(), cfg.end(), expectedCfg + c.cfgAt);
    EXPECT_EQ(HexLine(values.CfgRx, CfgSize), HexLine(expectedCfg, CfgSize));

    EXPECT_EQ(values.RecInfo.RecReplyRecvd, c.replyFlag ? FlagOn : FlagOff);
    EXPECT_EQ(values.RecInfo.Rec.RecNo, c.recNo);
}

INSTANTIATE_TEST_SUITE_P(Table, CodecReply, ::testing::ValuesIn(replyCases()),
                         [](const auto& info) { return info.param.name; });

// What a chunk is to the request outstanding: its reply, the cabinet's refusal of it, or a
// stray frame. Only a reply stores anything.
struct JudgeCase {
    const char* name;
    uint8_t func; // the outstanding request, always at address 1
    int32_t startReg;
    int32_t count;
    uint16_t value;
    const char* chunk; // without its CRC
    TMModbus::TJudgement judged;
};

using J = TMModbus::TJudgement;

class CodecJudge : public ::testing::TestWithParam<JudgeCase> {
protected:
    void SetUp() override
    {
        ResetAll();
        values.Reset();
        std::fill(std::begin(values.RegMirror), std::end(values.RegMirror), MirrorUntouched);
    }
};

TEST_P(CodecJudge, TakesOnlyTheReplyToTheRequestSent)
{
    const JudgeCase& c = GetParam();
    TMModbus mb(TestTxBuf(), values);
    mb.SetCurrentAddress(1);
    mb.ReqAddr = 1;
    mb.ReqFunc = c.func;
    mb.ReqStartReg = c.startReg;
    mb.ReqCount = c.count;
    mb.ReqValue = c.value;
    const Bytes b = crcd(c.chunk);
    std::unique_ptr<uint8_t[]> chunk(new uint8_t[b.size()]);
    std::copy(b.begin(), b.end(), chunk.get());
    EXPECT_EQ(mb.JudgeReply(chunk.get(), static_cast<int>(b.size())), c.judged);
    int stored = 0;
    for (int r = 0; r < 65536; ++r) stored += values.RegMirror[r] != MirrorUntouched;
    if (c.judged != J::Accepted) EXPECT_EQ(stored, 0) << "a refused or stray frame stores nothing";
    if (c.judged == J::Accepted && (c.func == 3 || c.func == 4)) EXPECT_EQ(stored, c.count);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CodecJudge,
    ::testing::Values(
        // Writes: the echo must carry the register and value (6) or register and count (16).
        JudgeCase{"Write6Echo", 6, 50000, 0, 10, "01 06 C3 4F 00 0A", J::Accepted},
        JudgeCase{"Write6EchoOtherValue", 6, 50000, 0, 11, "01 06 C3 4F 00 0A", J::Stray},
        JudgeCase{"Write6EchoOtherRegister", 6, 40025, 0, 10, "01 06 C3 4F 00 0A", J::Stray},
        JudgeCase{"Write6EchoOtherSlave", 6, 50000, 0, 10, "02 06 C3 4F 00 0A", J::Stray},
        JudgeCase{"Write6EchoTooShort", 6, 50000, 0, 10, "01 06 C3 4F 00", J::Stray},
        JudgeCase{"Write6EchoTooLong", 6, 50000, 0, 10, "01 06 C3 4F 00 0A 00", J::Stray},
        JudgeCase{"Write6AnsweredAs16", 6, 53000, 0, 15, "01 10 CF 07 00 0F", J::Stray},
        JudgeCase{"Write16Echo", 16, 53000, 15, 0, "01 10 CF 07 00 0F", J::Accepted},
        JudgeCase{"Write16EchoOtherCount", 16, 53000, 15, 0, "01 10 CF 07 00 1E", J::Stray},
        JudgeCase{"Write16EchoOtherRegister", 16, 53000, 15, 0, "01 10 CF 1B 00 0F", J::Stray},
        JudgeCase{"Write16AnsweredAs6", 16, 53000, 15, 15, "01 06 CF 07 00 0F", J::Stray},
        // Exceptions: to the function asked, a refusal; to another, a stray frame.
        JudgeCase{"Exception86", 6, 50000, 0, 10, "01 86 02", J::Refused},
        JudgeCase{"Exception90", 16, 53000, 15, 0, "01 90 04", J::Refused},
        JudgeCase{"Exception83", 3, 40001, 35, 0, "01 83 02", J::Refused},
        JudgeCase{"Exception84", 4, 30001, 44, 0, "01 84 0B", J::Refused},
        JudgeCase{"ExceptionOfAnotherFunction", 6, 50000, 0, 10, "01 83 02", J::Stray},
        JudgeCase{"ExceptionFromAnotherSlave", 6, 50000, 0, 10, "03 86 02", J::Stray},
        JudgeCase{"ExceptionTooLong", 4, 30001, 3, 0, "01 84 06 09 00 00 62 12 34", J::Stray},
        // Reads: exactly the byte count asked, of the function asked.
        JudgeCase{"Read4Exact", 4, 30001, 3, 0, Read4Three, J::Accepted},
        JudgeCase{"Read4ShortCount", 4, 30001, 4, 0, Read4Three, J::Stray},
        JudgeCase{"Read4LongCount", 4, 30001, 2, 0, Read4Three, J::Stray},
        JudgeCase{"Read3AnsweredAs4", 3, 30001, 3, 0, Read4Three, J::Stray},
        JudgeCase{"Read4AnsweredByAnEcho", 4, 50000, 3, 0, "01 06 C3 4F 00 0A", J::Stray},
        JudgeCase{"Read4OddByteCount", 4, 30001, 3, 0, "01 04 05 09 00 00 62 12", J::Stray},
        JudgeCase{"Read4FromAnotherSlave", 4, 30001, 3, 0, "02 04 06 09 00 00 62 12 34", J::Stray},
        // The event record and the identification keep their own checks.
        JudgeCase{"IdentAnsweredAsRecord", 43, 1, 0, 0, "01 14 02 01 06", J::Stray},
        JudgeCase{"RecordAnsweredByAnIdent", 20, 0, 0, 5, "01 2B 0E 01 01 00 00 00", J::Stray}),
    [](const auto& info) { return std::string(info.param.name); });

class CodecReplyFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetAll();
        values.Reset();
    }
    // The codec builds into a buffer of its own here: these checks need no link.
    uint8_t txBuf[CommBufSize] = {};
    TMModbus mb{txBuf, values};

    void expectRead(uint8_t addr, uint8_t func, int32_t startReg, int32_t count)
    {
        mb.SetCurrentAddress(addr);
        mb.ReqAddr = addr;
        mb.ReqFunc = func;
        mb.ReqStartReg = startReg;
        mb.ReqCount = count;
    }
    bool check(const Bytes& b)
    {
        std::unique_ptr<uint8_t[]> chunk(new uint8_t[b.size()]);
        std::copy(b.begin(), b.end(), chunk.get());
        return mb.CheckReply(chunk.get(), static_cast<int>(b.size()));
    }
};

TEST_F(CodecReplyFixture, RegistersLandInTheRecordOfTheAnsweringAddress)
{
    expectRead(3, 4, 30001, 2);
    EXPECT_TRUE(check(crcd("03 04 04 09 00 00 62")));
    EXPECT_DOUBLE_EQ(values.UpsData[3].InVolt[0], 230.4);
    EXPECT_DOUBLE_EQ(values.UpsData[3].InVolt[1], 9.8);
    EXPECT_DOUBLE_EQ(values.UpsData[1].InVolt[0], 0.0);
}

TEST_F(CodecReplyFixture, ReplySplitOverTwoChunksIsRefusedInBoth)
{
    expectRead(1, 4, 30001, 3);
    const Bytes whole = crcd(Read4Three);
    const Bytes first(whole.begin(), whole.begin() + 5);
    const Bytes second(whole.begin() + 5, whole.end());
    EXPECT_FALSE(check(first));
    EXPECT_FALSE(check(second));
    EXPECT_EQ(values.RegMirror[30001], 0);
    EXPECT_EQ(values.RegMirror[30002], 0);
    EXPECT_DOUBLE_EQ(values.UpsData[1].InVolt[0], 0.0);
    // The same bytes in one chunk are accepted.
    EXPECT_TRUE(check(whole));
    EXPECT_EQ(values.RegMirror[30001], 0x0900);
}

TEST_F(CodecReplyFixture, ShortRecordReplyLeavesTheLastRecord)
{
    expectRead(1, 20, 0, 0);
    ASSERT_TRUE(check(recordReply(71)));
    const TRecordData before = values.RecInfo.Rec;
    values.RecInfo.RecReplyRecvd = FlagOff;
    Bytes shortReply = HexBytes("01 14 44 43 06 00 09 10 05 23");
    EXPECT_FALSE(check(WithCrc(shortReply)));
    EXPECT_EQ(values.RecInfo.RecReplyRecvd, FlagOff);
    EXPECT_EQ(values.RecInfo.Rec.RecNo, before.RecNo);
    EXPECT_EQ(values.RecInfo.Rec.Year, before.Year);
    EXPECT_EQ(values.RecInfo.Rec.Temperature, before.Temperature);
}

TEST_F(CodecReplyFixture, TooShortIdentificationKeepsTheEarlierOne)
{
    expectRead(1, 43, 2, 0);
    ASSERT_TRUE(check(identReply(2, 10)));
    ASSERT_TRUE(check(identReply(2, 4)));
    EXPECT_EQ(HexLine(values.CfgRx + 25, 10), QStringLiteral("30 31 32 33 34 35 36 37 38 39"));
}

// Function-16 frames take their words from WriteValue; the expected frames carry CRCs worked
// out independently of the codec.
struct WriteFrameCase {
    const char* name;
    int32_t startReg, count;
    const char* expected;
};

class CodecWriteFrames : public ::testing::TestWithParam<WriteFrameCase> {
protected:
    void SetUp() override
    {
        ResetAll();
        values.Reset();
        for (int i = 0; i < CfgSize; ++i) CfgEdit[i] = static_cast<uint8_t>(0x41 + i);
    }
};

TEST_P(CodecWriteFrames, SendsTheEditCopy)
{
    const WriteFrameCase& c = GetParam();
    TMModbus mb(TestTxBuf(), values);
    mb.ReqAddr = 1;
    mb.ReqFunc = 16;
    mb.ReqStartReg = c.startReg;
    mb.ReqCount = c.count;
    mb.LoadWriteWords();
    mb.BuildFrame();
    EXPECT_EQ(mb.FrameLen, 9 + 2 * c.count);
    EXPECT_EQ(HexLine(TestTxBuf(), mb.FrameLen), QString::fromLatin1(c.expected));
}

INSTANTIATE_TEST_SUITE_P(
    Table, CodecWriteFrames,
    ::testing::Values(
        WriteFrameCase{"CompanyName15", 53000, 15,
                       "01 10 CF 07 00 0F 1E 00 41 00 42 00 43 00 44 00 45 00 46 00 47 00 48 00 49 00 4A 00 "
                       "4B 00 4C 00 4D 00 4E 00 4F F5 53"},
        WriteFrameCase{"Whole30", 53000, 30,
                       "01 10 CF 07 00 1E 3C 00 41 00 42 00 43 00 44 00 45 00 46 00 47 00 48 00 49 00 4A 00 "
                       "4B 00 4C 00 4D 00 4E 00 4F 00 00 00 00 00 00 00 00 00 00 00 50 00 51 00 52 00 53 00 "
                       "54 00 55 00 56 00 57 00 58 00 59 FB 50"},
        WriteFrameCase{
            "TenFrom53015", 53015, 10,
            "01 10 CF 16 00 0A 14 00 00 00 00 00 00 00 00 00 00 00 50 00 51 00 52 00 53 00 54 7B 2B"},
        WriteFrameCase{
            "ModelFrom53020", 53020, 10,
            "01 10 CF 1B 00 0A 14 00 50 00 51 00 52 00 53 00 54 00 55 00 56 00 57 00 58 00 59 39 04"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CodecWriteLimits, CountsTheByteCountCannotCarryBuildNothing)
{
    ResetAll();
    values.Reset();
    TMModbus mb(TestTxBuf(), values);
    mb.ReqAddr = 1;
    mb.ReqFunc = 16;
    mb.ReqStartReg = 53000;

    mb.ReqCount = 127;
    mb.BuildFrame();
    ASSERT_EQ(mb.FrameLen, 9 + 254);
    EXPECT_EQ(TestTxBuf()[6], 0xFE);
    EXPECT_EQ(Crc16(TestTxBuf(), mb.FrameLen), 0);

    for (int32_t count : {128, 200, 1000, 65535, -1}) {
        SCOPED_TRACE(count);
        mb.ReqCount = count;
        mb.BuildFrame();
        EXPECT_EQ(mb.FrameLen, 0);
    }
}
} // namespace
