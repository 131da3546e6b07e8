// The link in line-speed mode, driven through a fake line: a request goes out as soon as the
// previous one is answered or given up, a download's held frame is not sent again, and only a
// whole frame of the expected length is judged.
#include "comm/uCabinet.h"
#include "comm/uFrmCom.h"
#include "comm/uReplyFrame.h"
#include "model/UShareData.h"
#include "support/FakeTransport.h"
#include "support/TestSupport.h"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {
using Bytes = std::vector<uint8_t>;

constexpr int WaitMs = 10000;

Bytes readReply(uint8_t func, int count)
{
    Bytes r = {0x01, func, uint8_t(2 * count)};
    for (int i = 0; i < 2 * count; ++i) r.push_back(uint8_t(i));
    return WithCrc(r);
}

class FastLink : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetAll();
        form = std::make_unique<TFrmCom>();
        form->Timer1.stop(); // ticks are driven by hand
        form->SetFastLine(true);
        TFakeTransport& line = UseFakeLine(
            *form, [] { return true; },
            [this](const uint8_t* b, int n) {
                sent.push_back(Bytes(b, b + n));
                return true;
            });
        line.BaudRate = 19200;
    }
    void TearDown() override
    {
        form.reset();
        ResetAll();
    }
    void reply(const Bytes& b) { form->Comm1ReceiveData(b.data(), int(b.size())); }
    bool waitForFrames(size_t n)
    {
        return QTest::qWaitFor([&] { return sent.size() >= n; }, WaitMs);
    }

    std::unique_ptr<TFrmCom> form;
    std::vector<Bytes> sent;
};

TEST_F(FastLink, EachAcceptedReplyBringsTheNextPollStepWithoutATick)
{
    QSignalSpy arrived(form.get(), &TFrmCom::ReplyArrived);
    form->Timer1Timer();
    ASSERT_EQ(sent.size(), 1u) << "built and sent on the same tick";
    EXPECT_EQ(sent[0], WithCrc(HexBytes("01 04 75 30 00 2C")));
    reply(readReply(4, 44));
    EXPECT_EQ(arrived.count(), 1);
    ASSERT_TRUE(waitForFrames(2));
    EXPECT_EQ(sent[1], WithCrc(HexBytes("01 04 75 6C 00 1F"))); // step 2: 30061, 31 registers
    reply(readReply(4, 31));
    ASSERT_TRUE(waitForFrames(3));
    EXPECT_EQ(sent[2], WithCrc(HexBytes("01 03 9C 40 00 23"))); // step 3: 40001, 35 registers
    EXPECT_EQ(TestCommDebug().AckCount, 2);
}

TEST_F(FastLink, AnUnansweredSlotRequestIsSentThreeTimesThenTheNextGoesOut)
{
    TestSlots()[1] = TReqSlot{};
    TestSlots()[1].Addr = 1;
    TestSlots()[1].Func = 3;
    TestSlots()[1].StartReg = 40051;
    TestSlots()[1].Count = 6;
    TestSlots()[1].Pending = FlagOn;
    const Bytes request = WithCrc(HexBytes("01 03 9C 72 00 06"));
    // The wait is the wire time of the request and its reply, plus the margin.
    EXPECT_EQ(form->FastReplyTimeoutMs(request.data(), int(request.size())),
              int((ReplyFrame::WireMicros(8 + 17, 19200, 11) + 999) / 1000) + TFrmCom::FastMarginMs);
    form->Timer1Timer();
    ASSERT_TRUE(waitForFrames(4));
    EXPECT_EQ(sent[0], request);
    EXPECT_EQ(sent[1], request);
    EXPECT_EQ(sent[2], request);
    EXPECT_EQ(sent[3], WithCrc(HexBytes("01 04 75 30 00 2C"))) << "then the poll goes on";
    EXPECT_EQ(TestSlots()[1].Counter, 1);
}

TEST_F(FastLink, DuringADownloadTheHeldFrameIsNotSentAgain)
{
    Cabinet().RecInfo.PollHold = FlagOn;
    TestSlots()[1].Addr = 1;
    TestSlots()[1].Func = 20;
    TestSlots()[1].Value = 5;
    TestSlots()[1].Pending = FlagOn;
    form->Timer1Timer();
    ASSERT_EQ(sent.size(), 1u);
    Bytes record = {0x01, 0x14, 0x42, 0x41, 0x06, 0x00, 0x05};
    while (record.size() < 69) record.push_back(0x10);
    reply(WithCrc(record));
    EXPECT_EQ(Cabinet().RecInfo.RecReplyRecvd, FlagOn);
    // No slot filled, the poll held: the link waits, ticks or not.
    QTest::qWait(50);
    form->Timer1Timer();
    form->Timer1Timer();
    EXPECT_EQ(sent.size(), 1u);
    EXPECT_FALSE(TestLinkState().ReqOutstanding);
}

TEST_F(FastLink, OnlyAWholeFrameOfTheExpectedLengthIsJudged)
{
    form->Timer1Timer(); // step 1: 44 registers from 30001
    ASSERT_EQ(sent.size(), 1u);
    // A late reply of another request (35 registers), good CRC: not decoded, not accepted.
    Cabinet().RegMirror[30001] = 0xEEEE;
    reply(readReply(3, 35));
    EXPECT_EQ(TestCommDebug().AckCount, 0);
    EXPECT_EQ(Cabinet().RegMirror[30001], 0xEEEE) << "nothing of it was stored";
    EXPECT_TRUE(TestLinkState().ReqOutstanding);
    // The right reply with trailing noise is one chunk too many bytes: not judged either.
    Bytes noisy = readReply(4, 44);
    noisy.push_back(0xFF);
    reply(noisy);
    EXPECT_EQ(TestCommDebug().AckCount, 0);
    reply(readReply(4, 44));
    EXPECT_EQ(TestCommDebug().AckCount, 1);
}

// A cabinet slower than the wait: the write-enable is sent again, and the echo of each attempt
// comes in late. The first echo answers the write-enable; the second arrives while the write
// is waiting and is a stray frame, not the write's acknowledgement.
TEST_F(FastLink, ALateEchoIsNeverTakenAsTheNextWritesAcknowledgement)
{
    const Bytes enable = WithCrc(HexBytes("01 06 C3 4F 00 0A"));
    const Bytes write = WithCrc(HexBytes("01 06 9C 58 00 2D")); // 45 to 40025
    TestSlots()[1] = TReqSlot{FlagOn, 1, 6, 50000, 0, 10, 0};
    TestSlots()[2] = TReqSlot{FlagOn, 1, 6, 40025, 0, 45, 0};
    form->Timer1Timer();
    ASSERT_TRUE(waitForFrames(2)) << "the write-enable is sent again when its wait runs out";
    ASSERT_EQ(sent[1], enable);
    reply(enable); // the first attempt's echo: this request's reply
    EXPECT_EQ(TestCommDebug().AckCount, 1);
    ASSERT_TRUE(waitForFrames(3));
    ASSERT_EQ(sent[2], write);
    reply(enable); // the second attempt's echo
    EXPECT_EQ(TestCommDebug().AckCount, 1) << "not the write's acknowledgement";
    EXPECT_TRUE(TestLinkState().ReqOutstanding);
    EXPECT_EQ(sent.size(), 3u);
    reply(write);
    EXPECT_EQ(TestCommDebug().AckCount, 2);
    ASSERT_TRUE(waitForFrames(4));
    EXPECT_EQ(sent[3], WithCrc(HexBytes("01 04 75 30 00 2C"))) << "the poll goes on";
    EXPECT_EQ(std::count(sent.begin(), sent.end(), write), 1) << "the write went out once";
}

} // namespace
