// Where a reply ends on a line-speed link: first the rules on byte strings, then the port
// itself over a pseudo-terminal, the test playing the cabinet.
#include "comm/SPComm.h"
#include "comm/uReplyFrame.h"
#include "support/TestSupport.h"
#include "test_comm_pty.h"

#include <QByteArray>
#include <QTest>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {
using Bytes = std::vector<uint8_t>;

Bytes crcd(const char* hex) { return WithCrc(HexBytes(hex)); }

Bytes cat(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes part(const Bytes& b, size_t from, size_t to) { return Bytes(b.begin() + long(from), b.begin() + long(to)); }

// Read 44 registers from 30001, 35 from 40001; write 10 into 50000; record 5; identification.
const Bytes ReadInput = crcd("01 04 75 30 00 2C");
const Bytes ReadHolding3 = crcd("01 03 9C 40 00 03");
const Bytes WriteOne = crcd("01 06 C3 4F 00 0A");
const Bytes WriteMany = crcd("01 10 9C 40 00 02 04 00 01 00 02");
const Bytes Record = crcd("01 14 07 06 00 01 00 05 00 40");
const Bytes Ident = crcd("01 2B 0E 01 02");

Bytes readReply(uint8_t func, int count)
{
    Bytes r = {0x01, func, uint8_t(2 * count)};
    for (int i = 0; i < 2 * count; ++i) r.push_back(uint8_t(i * 3 + 1));
    return WithCrc(r);
}

Bytes recordReply()
{
    Bytes r = {0x01, 0x14, 0x42, 0x41, 0x06, 0x00, 0x05};
    while (r.size() < 69) r.push_back(uint8_t(r.size()));
    return WithCrc(r);
}

// Function 43 with the given objects (id, text).
Bytes identReply(const std::vector<std::pair<uint8_t, std::string>>& objects)
{
    Bytes r = {0x01, 0x2B, 0x0E, 0x01, 0x01, 0x00, 0x00, uint8_t(objects.size())};
    for (const auto& [id, text] : objects) {
        r.push_back(id);
        r.push_back(uint8_t(text.size()));
        r.insert(r.end(), text.begin(), text.end());
    }
    return WithCrc(r);
}

Bytes spoilCrc(Bytes b)
{
    b.back() ^= 0x5A;
    return b;
}

struct LengthCase {
    const char* name;
    Bytes request;
    Bytes received;
    int expected; // ExpectedLength
    int complete; // CompleteLength
};

TEST(ReplyFrameRules, ExpectedAndCompleteLengthsFollowTheRequestAndTheReply)
{
    const Bytes reply44 = readReply(4, 44);
    const Bytes ident1 = identReply({{1, "ZYR-30"}});
    const Bytes ident2 = identReply({{2, "V1.02.0003"}});
    const Bytes identTwo = identReply({{1, "ZYR"}, {2, "V1.02.0003"}});
    const Bytes exception = crcd("01 84 02");
    const LengthCase cases[] = {
        {"whole read reply", ReadInput, reply44, 93, 93},
        {"first byte only", ReadInput, part(reply44, 0, 1), 0, 0},
        {"split read reply, first part", ReadInput, part(reply44, 0, 40), 93, 0},
        {"two replies back to back", ReadInput, cat(reply44, reply44), 93, 93},
        {"trailing noise", ReadInput, cat(reply44, HexBytes("FF 00 13")), 93, 93},
        {"bad CRC at full length", ReadInput, spoilCrc(reply44), 93, 0},
        {"short read of 3 registers", ReadHolding3, readReply(3, 3), 11, 11},
        {"exception", ReadInput, exception, 5, 5},
        {"exception, CRC missing", ReadInput, part(exception, 0, 3), 5, 0},
        {"exception to another function", ReadInput, crcd("01 83 02"), -1, 0},
        {"another function answers", ReadInput, readReply(3, 44), -1, 0},
        {"write echo", WriteOne, WriteOne, 8, 8},
        {"write of registers", WriteMany, crcd("01 10 9C 40 00 02"), 8, 8},
        {"record", Record, recordReply(), 71, 71},
        {"record, one byte short", Record, part(recordReply(), 0, 70), 71, 0},
        {"identification, object 1", Ident, ident1, int(ident1.size()), int(ident1.size())},
        {"identification, object 2", Ident, ident2, int(ident2.size()), int(ident2.size())},
        {"identification, two objects", Ident, identTwo, int(identTwo.size()), int(identTwo.size())},
        {"identification, no object", Ident, identReply({}), 10, 10},
        {"identification, header only", Ident, part(identTwo, 0, 8), 0, 0},
        {"identification, in the first object", Ident, part(identTwo, 0, 11), 0, 0},
        {"identification, second object's length in", Ident, part(identTwo, 0, 15), int(identTwo.size()), 0},
        {"no request", Bytes{}, reply44, -1, 0},
    };
    for (const LengthCase& c : cases) {
        SCOPED_TRACE(c.name);
        const int n = int(c.received.size());
        EXPECT_EQ(ReplyFrame::ExpectedLength(c.request.data(), int(c.request.size()), c.received.data(), n),
                  c.expected);
        EXPECT_EQ(ReplyFrame::CompleteLength(c.request.data(), int(c.request.size()), c.received.data(), n),
                  c.complete);
    }
}

TEST(ReplyFrameRules, SilencesAndGapsFollowTheLineSpeed)
{
    const int bits = ReplyFrame::CharBits(8, false, 2); // the cabinets' line: 11 bits
    EXPECT_EQ(bits, 11);
    // 3.5 characters: 16.0 ms at 2400, 32.1 ms at 1200; never under 20 ms.
    EXPECT_EQ(ReplyFrame::ShortSilenceMs(19200, bits), 20);
    EXPECT_EQ(ReplyFrame::ShortSilenceMs(2400, bits), 20);
    EXPECT_EQ(ReplyFrame::ShortSilenceMs(1200, bits), 33);
    EXPECT_EQ(ReplyFrame::InterFrameGapMs(19200, bits), 3);
    EXPECT_EQ(ReplyFrame::InterFrameGapMs(115200, bits), 2);
    EXPECT_EQ(ReplyFrame::InterFrameGapMs(2400, bits), 17);
    // A record at 19200 bit/s: 12 + 71 bytes of 11 bits.
    EXPECT_EQ(ReplyFrame::WireMicros(83, 19200, bits), 47553); // rounded up
}

// The port on a line-speed link: the test's request goes out through TComm, the cabinet's end
// answers in the pieces of each case, and the chunks that arrive are compared.
class FastPortTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetAll();
        ASSERT_TRUE(pty.ok()) << "no pseudo-terminal available";
        comm.SetCommName(pty.slavePath());
        comm.SetInx_XonXoffFlow(false);
        comm.SetOutx_XonXoffFlow(false);
        comm.SetStopBits(TStopBits::_2);
        comm.SetBaudRate(19200);
        // The defined silence stays the outer limit; a long one shows that the frame, not the
        // silence, ended each chunk.
        comm.SetReadIntervalTimeout(5000);
        comm.SetFastLine(true);
        comm.OnReceiveData = [this](TComm*, const uint8_t* buffer, uint16_t length) {
            chunks.push_back(Bytes(buffer, buffer + length));
        };
    }
    void TearDown() override { comm.CloseComm(); }

    TestPty pty;
    TComm comm;
    std::vector<Bytes> chunks;
};

struct ChunkCase {
    const char* name;
    Bytes request;
    std::vector<Bytes> pieces; // written one after the other, without a pause
    std::vector<Bytes> chunks; // as they must arrive
};

TEST_F(FastPortTest, AReplyEndsWithItsFrameAndWhatFollowsIsAChunkOfItsOwn)
{
    const Bytes reply44 = readReply(4, 44);
    const Bytes ident = identReply({{1, "ZYR"}, {2, "V1.02.0003"}});
    const Bytes ident1 = identReply({{1, "ZYR-30"}});
    const Bytes bad = spoilCrc(reply44);
    const ChunkCase cases[] = {
        {"whole", ReadInput, {reply44}, {reply44}},
        {"split", ReadInput, {part(reply44, 0, 30), part(reply44, 30, 93)}, {reply44}},
        {"two back to back", ReadInput, {cat(reply44, reply44)}, {reply44, reply44}},
        {"trailing noise", ReadInput, {cat(reply44, HexBytes("FF 00 13"))}, {reply44, HexBytes("FF 00 13")}},
        {"exception", ReadInput, {crcd("01 84 02")}, {crcd("01 84 02")}},
        {"identification, two objects", Ident, {ident}, {ident}},
        {"identification, one object", Ident, {part(ident1, 0, 9), part(ident1, 9, ident1.size())}, {ident1}},
        {"record", Record, {recordReply()}, {recordReply()}},
        {"bad CRC at full length", ReadInput, {bad}, {bad}},
    };
    for (const ChunkCase& c : cases) {
        SCOPED_TRACE(c.name);
        chunks.clear();
        try {
            comm.OpenComm();
        } catch (const ECommsError& e) {
            FAIL() << e.what();
        }
        ASSERT_TRUE(comm.WriteComm(c.request.data(), int(c.request.size())));
        ASSERT_EQ(pty.receive(int(c.request.size())).size(), qsizetype(c.request.size()));
        for (const Bytes& p : c.pieces)
            ASSERT_TRUE(pty.send(QByteArray(reinterpret_cast<const char*>(p.data()), qsizetype(p.size()))));
        size_t total = 0;
        for (const Bytes& b : c.chunks) total += b.size();
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                size_t got = 0;
                for (const Bytes& b : chunks) got += b.size();
                return got >= total;
            },
            WaitMs));
        EXPECT_EQ(chunks, c.chunks);
        comm.CloseComm();
    }
}

// Bytes still gathered when the next request goes out are handed on before it: a stale reply
// is never joined to the new one.
TEST_F(FastPortTest, BytesGatheredBeforeANewRequestAreNotJoinedToItsReply)
{
    comm.OpenComm();
    ASSERT_TRUE(comm.WriteComm(ReadInput.data(), int(ReadInput.size())));
    ASSERT_EQ(pty.receive(int(ReadInput.size())).size(), qsizetype(ReadInput.size()));
    const Bytes stale = part(readReply(4, 44), 0, 20);
    ASSERT_TRUE(pty.send(QByteArray(reinterpret_cast<const char*>(stale.data()), qsizetype(stale.size()))));
    // The stale part has been read (the reader is waiting for the rest) before the next request.
    QTest::qWait(100);
    ASSERT_TRUE(comm.WriteComm(ReadHolding3.data(), int(ReadHolding3.size())));
    ASSERT_EQ(pty.receive(int(ReadHolding3.size())).size(), qsizetype(ReadHolding3.size()));
    const Bytes reply = readReply(3, 3);
    ASSERT_TRUE(pty.send(QByteArray(reinterpret_cast<const char*>(reply.data()), qsizetype(reply.size()))));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !chunks.empty() && chunks.back() == reply; }, WaitMs));
    ASSERT_EQ(chunks.size(), 2u);
    EXPECT_EQ(chunks[0], stale);
}

} // namespace
