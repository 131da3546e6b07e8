// The link driven tick by tick: Timer1Timer is called by hand, frames are captured through
// the line seam, and replies are handed to Comm1ReceiveData as the port would hand them.
#include "comm/uFrmCom.h"
#include "model/UShareData.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

struct FakeMain : TLinkMainHooks {
    int addr = 1;
    int module = 1;
    int syncs = 0;
    int dataChanged = 0;
    int txLed = 0;
    int rxLed = 0;
    int GetDevAddr() override { return addr; }
    void SyncDevAddr() override { ++syncs; }
    int CurModule() override { return module; }
    void SetDataChanged() override { ++dataChanged; }
    void SetTxLedHold(int v) override { txLed = v; }
    void SetRxLedHold(int v) override { rxLed = v; }
};

struct FakeTrace : TLinkTraceHooks {
    std::vector<Bytes> tx, rx;
    std::vector<int> showTicks;
    const int* tick = nullptr;
    void TraceTx(const uint8_t* b, int n) override { tx.emplace_back(b, b + n); }
    void TraceRx(const uint8_t* b, int n) override { rx.emplace_back(b, b + n); }
    void ShowCounters() override { showTicks.push_back(*tick); }
};

struct Sent {
    int tick;
    Bytes frame;
};

// A read request as the poll cycle builds it.
Bytes readFrame(uint8_t addr, uint8_t func, int reg, int count)
{
    const uint16_t wire = uint16_t(reg - 1);
    return WithCrc({addr, func, uint8_t(wire >> 8), uint8_t(wire), uint8_t(count >> 8), uint8_t(count)});
}

// What a cabinet answers: a read gets its registers (value = offset + 1), anything else its echo.
Bytes replyTo(const Bytes& request)
{
    if (request[1] != 3 && request[1] != 4) return request;
    const int count = (request[4] << 8) | request[5];
    Bytes body{request[0], request[1], uint8_t(2 * count)};
    for (int i = 0; i < count; ++i) {
        body.push_back(0);
        body.push_back(uint8_t(i + 1));
    }
    return WithCrc(body);
}

class LinkTicks : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetAll();
        trace.tick = &tick;
        SetLinkMainHooks(&main);
        SetLinkTraceHooks(&trace);
        form = std::make_unique<TFrmCom>();
        form->Timer1.stop(); // the tests are the clock
        form->SetLineSeam({[this] { return open; },
                           [this](const uint8_t* b, int n) {
                               sent.push_back({tick, Bytes(b, b + n)});
                               return writeAccepted;
                           }});
    }
    void TearDown() override
    {
        form.reset();
        SetLinkMainHooks(nullptr);
        SetLinkTraceHooks(nullptr);
    }

    // One timer tick; with replyDelay >= 0 the cabinet answers each frame that many ticks
    // after it went out (0: before the next tick).
    void step(int replyDelay = -1)
    {
        ++tick;
        form->Timer1Timer();
        if (replyDelay >= 0 && !sent.empty() && sent.back().tick + replyDelay == tick)
            answer(sent.back().frame);
    }
    void run(int ticks, int replyDelay = -1)
    {
        for (int i = 0; i < ticks; ++i) step(replyDelay);
    }
    void answer(const Bytes& request)
    {
        const Bytes reply = replyTo(request);
        form->Comm1ReceiveData(reply.data(), int(reply.size()));
    }
    std::vector<int> sendTicks() const
    {
        std::vector<int> out;
        for (const Sent& s : sent) out.push_back(s.tick);
        return out;
    }
    static void fillSlot(int n, uint8_t func, int reg, int count, uint16_t value = 0, uint8_t addr = 1)
    {
        TReqSlot& s = ReqSlot[n];
        s.Addr = addr;
        s.Func = func;
        s.StartReg = reg;
        s.Count = count;
        s.Value = value;
        s.Pending = FlagOn;
    }

    FakeMain main;
    FakeTrace trace;
    std::unique_ptr<TFrmCom> form;
    std::vector<Sent> sent;
    int tick = 0;
    bool open = true;
    bool writeAccepted = true;
};

const Bytes WriteEnable = HexBytes("01 06 C3 4F 00 0A 04 5E");

Bytes pollFrame(int step, uint8_t addr = 1, int module = 1)
{
    switch (step) {
    case 1: return readFrame(addr, 4, 30001, 44);
    case 2: return readFrame(addr, 4, 30061, 31);
    case 3: return readFrame(addr, 3, 40001, 35);
    case 4: return readFrame(addr, 4, 30101 + 50 * (module - 1), 35);
    default: return readFrame(addr, 4, 40081, 11);
    }
}

TEST_F(LinkTicks, TheFivePollFramesGoOutInOrderAndTheCycleWraps)
{
    run(12, 0);
    ASSERT_EQ(sent.size(), 6u);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(sent[i].frame, pollFrame(i % 5 + 1)) << "frame " << i;
    EXPECT_EQ(HexLine(sent[0].frame.data(), 8), QStringLiteral("01 04 75 30 00 2C EB D4"));
    EXPECT_EQ(HexLine(sent[2].frame.data(), 8), QStringLiteral("01 03 9C 40 00 23 2B 97"));
    EXPECT_EQ(main.syncs, 1); // when the cycle wraps
    EXPECT_EQ(CommDebug.TxCount, 6);
    EXPECT_EQ(CommDebug.AckCount, 6);
    EXPECT_EQ(main.dataChanged, 6);
}

TEST_F(LinkTicks, EachFrameIsBuiltOnTheTickAfterTheReplyAndSentOnTheNext)
{
    // A reply d ticks after the send is taken on the next tick, which builds; the tick after
    // sends. The first tick builds, the second sends.
    for (int delay : {0, 1, 4, 10}) {
        SCOPED_TRACE(delay);
        TearDown();
        sent.clear();
        tick = 0;
        SetUp();
        run(3 * (delay + 2) + 2, delay);
        const std::vector<int> expected{2, 2 + (delay + 2), 2 + 2 * (delay + 2), 2 + 3 * (delay + 2)};
        EXPECT_EQ(sendTicks(), expected);
        ASSERT_EQ(sent.size(), 4u);
        for (int i = 0; i < 4; ++i) EXPECT_EQ(sent[i].frame, pollFrame(i + 1));
    }
}

TEST_F(LinkTicks, ASilentCabinetGetsEachPollFrameOnceThirteenTicksApart)
{
    run(2 + 13 * 9);
    std::vector<int> expected;
    for (int i = 0; i < 10; ++i) expected.push_back(2 + 13 * i);
    EXPECT_EQ(sendTicks(), expected);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(sent[i].frame, pollFrame(i % 5 + 1)) << "frame " << i;
    run(11); // reach the next counter refresh
    EXPECT_EQ(CommDebug.AckCount, 0);
    EXPECT_DOUBLE_EQ(CommDebug.ErrRate, 100.0);
}

TEST_F(LinkTicks, AnUnansweredSlotIsSentThreeTimesElevenTicksApartThenDropped)
{
    fillSlot(1, 6, 50000, 0, 10);
    run(40);
    ASSERT_GE(sent.size(), 4u);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(sent[i].frame, WriteEnable);
    EXPECT_EQ(sent[0].tick, 2);
    EXPECT_EQ(sent[1].tick, 13);
    EXPECT_EQ(sent[2].tick, 24);
    // Dropped on tick 35; tick 36 builds the first poll step, tick 37 sends it.
    EXPECT_EQ(sent[3].tick, 37);
    EXPECT_EQ(sent[3].frame, pollFrame(1));
    EXPECT_EQ(ReqSlot[1].Counter, 1);
    EXPECT_EQ(ReqSlot[1].Pending, 0);
}

TEST_F(LinkTicks, ASlotFilledDuringAPollRequestIsTakenOnTheFirstIdleTickAfterIt)
{
    struct Case {
        const char* name;
        int replyTick; // 0: the poll request goes unanswered
        int slotSendTick;
    };
    // Poll step 1 is built on tick 1 and sent on tick 2; the slot is filled on tick 5.
    const Case cases[] = {{"answered", 6, 8}, {"dropped", 0, 15}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        sent.clear();
        tick = 0;
        SetUp();
        run(5);
        fillSlot(2, 3, 40051, 4);
        for (int t = 6; t <= c.slotSendTick; ++t) {
            if (t == c.replyTick + 1 && c.replyTick) answer(sent.back().frame);
            step();
        }
        ASSERT_GE(sent.size(), 2u);
        EXPECT_EQ(sent[1].tick, c.slotSendTick);
        EXPECT_EQ(sent[1].frame, readFrame(1, 3, 40051, 4));
        // The cycle then carries on where it was.
        answer(sent[1].frame);
        run(2);
        ASSERT_EQ(sent.size(), 3u);
        EXPECT_EQ(sent[2].frame, pollFrame(2));
    }
}

TEST_F(LinkTicks, SlotsAreServedInNumberOrderWhateverOrderTheyWereFilled)
{
    fillSlot(2, 4, 53000, 40);
    fillSlot(1, 6, 50000, 0, 10);
    fillSlot(7, 43, 2, 0);
    run(8, 0);
    ASSERT_EQ(sent.size(), 4u);
    EXPECT_EQ(sent[0].frame, WriteEnable);
    EXPECT_EQ(sent[1].frame, readFrame(1, 4, 53000, 40));
    EXPECT_EQ(HexLine(sent[2].frame.data(), int(sent[2].frame.size())),
              QStringLiteral("01 2B 0E 01 02 F1 B6"));
    EXPECT_EQ(sent[3].frame, pollFrame(1));
    for (int n : {1, 2, 7}) EXPECT_EQ(ReqSlot[n].Counter, 1) << n;
}

TEST_F(LinkTicks, SelectingAnotherCabinetRestartsTheCycleAtTheNewAddress)
{
    run(6, 0); // steps 1..3 answered
    ASSERT_EQ(sent.size(), 3u);
    main.addr = 5;
    run(2, 0); // without a restart the address waits for the end of the cycle
    ASSERT_EQ(sent.size(), 4u);
    EXPECT_EQ(sent[3].frame, pollFrame(4, 1));

    LinkState.PollStep = 100; // what the main window does on a new selection
    const int syncsBefore = main.syncs;
    run(2, 0);
    ASSERT_EQ(sent.size(), 5u);
    EXPECT_EQ(sent[4].frame, pollFrame(1, 5));
    EXPECT_EQ(main.syncs, syncsBefore + 1);
    EXPECT_EQ(LinkState.PollStep, 1);
    // The reply from address 5 is accepted and the cycle goes on there.
    run(2, 0);
    ASSERT_EQ(sent.size(), 6u);
    EXPECT_EQ(sent.back().frame, pollFrame(2, 5));
    EXPECT_EQ(CommDebug.AckCount, 6);
}

TEST_F(LinkTicks, TheModulePageDecidesTheFourthPollStep)
{
    main.module = 7;
    run(8, 0);
    ASSERT_EQ(sent.size(), 4u);
    EXPECT_EQ(sent[3].frame, readFrame(1, 4, 30101 + 50 * 6, 35));
}

TEST_F(LinkTicks, PollHoldResendsTheLastFrameOnEveryIdleTick)
{
    run(4, 0); // poll steps 1 and 2, answered
    ASSERT_EQ(sent.size(), 2u);
    RecInfo.PollHold = FlagOn;
    // Answered at once: built on every idle tick, sent on the next. Unanswered: once per 13.
    run(8, 0);
    run(26);
    ASSERT_EQ(sent.size(), 8u);
    for (size_t i = 1; i < sent.size(); ++i) EXPECT_EQ(sent[i].frame, pollFrame(2)) << i;
    EXPECT_EQ(LinkState.PollStep, 2);
    EXPECT_EQ(sent[6].tick + 13, sent[7].tick);
    // Released, the cycle goes on with step 3.
    RecInfo.PollHold = FlagOff;
    run(30);
    ASSERT_GE(sent.size(), 9u);
    EXPECT_EQ(sent[8].frame, pollFrame(3));
}

TEST_F(LinkTicks, ASlotIsServedEvenWhilePollHoldIsSet)
{
    RecInfo.PollHold = FlagOn;
    fillSlot(1, 4, 40051, 4);
    run(4, 0);
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].frame, readFrame(1, 4, 40051, 4));
    EXPECT_EQ(sent[1].frame, readFrame(1, 4, 40051, 4)); // held: the slot's request again
    EXPECT_EQ(ReqSlot[1].Counter, 1);
}

// A held poll sends its last frame again, but never a write: the write-enable word and the
// value written during a download go out once each.
TEST_F(LinkTicks, AHeldPollNeverSendsAWriteAgain)
{
    RecInfo.PollHold = FlagOn;
    fillSlot(1, 6, 50000, 0, 10);
    fillSlot(2, 6, 40030, 0, 230);
    run(30, 0);
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].frame, WriteEnable);
    EXPECT_EQ(sent[1].frame, WithCrc(HexBytes("01 06 9C 5D 00 E6")));
    // A read taken from a slot afterwards is held, and sent again on every idle tick.
    fillSlot(3, 3, 40030, 1);
    run(6, 0);
    ASSERT_GE(sent.size(), 4u);
    for (size_t i = 2; i < sent.size(); ++i) EXPECT_EQ(sent[i].frame, readFrame(1, 3, 40030, 1)) << i;
}

TEST_F(LinkTicks, OtherProtocolsSendNothingAndAcceptNothingButCountChunks)
{
    for (int protocol : {1, 2}) {
        SCOPED_TRACE(protocol);
        TearDown();
        sent.clear();
        tick = 0;
        SetUp();
        form->SetActiveProtocol(protocol);
        fillSlot(1, 3, 40001, 1);
        run(40);
        EXPECT_TRUE(sent.empty());
        EXPECT_EQ(CommDebug.TxCount, 0);
        EXPECT_EQ(ReqSlot[1].Pending, FlagOn); // only the Modbus master takes slots
        const Bytes reply = replyTo(readFrame(1, 4, 30001, 44));
        form->Comm1ReceiveData(reply.data(), int(reply.size()));
        EXPECT_EQ(CommDebug.RxCount, 1);
        EXPECT_EQ(CommDebug.AckCount, 0);
        EXPECT_FALSE(LinkState.ReplyAccepted);
        EXPECT_EQ(main.dataChanged, 0);
        if (protocol == 1) {
            // The YD/T stub steps through the same cycle: 40 idle ticks, 40 steps.
            EXPECT_EQ(LinkState.PollStep, 5);
            EXPECT_EQ(form->Ydt->CommandCode, 0x84);
            EXPECT_EQ(main.syncs, 7); // wraps at steps 6, 11, ..., 36
        } else {
            EXPECT_EQ(LinkState.PollStep, 0);
        }
    }
}

TEST_F(LinkTicks, TheYdtStubStepsThroughItsCommandsAndTakesTheAddressAtTheWrap)
{
    form->SetActiveProtocol(1);
    main.addr = 9;
    const uint8_t codes[] = {0x43, 0x44, 0x80, 0x82, 0x84, 0x43, 0x44};
    for (int i = 0; i < 7; ++i) {
        step();
        EXPECT_EQ(LinkState.PollStep, i % 5 + 1) << i;
        EXPECT_EQ(form->Ydt->CommandCode, codes[i]) << i;
        EXPECT_EQ(form->Ydt->CurAddr, i < 5 ? 1 : 9) << i;
        EXPECT_EQ(form->Ydt->FrameLen, 0);
        EXPECT_FALSE(LinkState.ReqOutstanding);
    }
    EXPECT_EQ(form->Ydt->CurRecord, &UpsData[9]); // re-pointed on the step after the wrap
    EXPECT_FALSE(form->Ydt->CheckReply(WriteEnable.data(), int(WriteEnable.size())));
}

TEST_F(LinkTicks, AProtocolChangeTakesEffectOnTheNextIdleTick)
{
    run(1); // poll step 1 built
    form->SetActiveProtocol(1);
    run(12);
    ASSERT_EQ(sent.size(), 1u); // the outstanding Modbus frame still goes out once
    run(30);
    EXPECT_EQ(sent.size(), 1u);
    form->SetActiveProtocol(0);
    run(2);
    EXPECT_EQ(sent.size(), 2u);
}

TEST_F(LinkTicks, TheErrorRateIsWorkedOutAtEachCounterRefresh)
{
    struct Case {
        int tx, ack;
        int ackAfter;
        double rate;
    };
    const Case cases[] = {
        {0, 0, 0, 0.0}, {0, 3, 3, 0.0}, {4, 1, 1, 75.0}, {4, 4, 4, 0.0}, {3, 5, 3, 0.0}, {8, 0, 0, 100.0},
    };
    open = false;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.tx << "/" << c.ack);
        CommDebug.TxCount = c.tx;
        CommDebug.AckCount = c.ack;
        CommDebug.ErrRate = -1;
        CommDebug.TraceCountdown = 0;
        step();
        EXPECT_EQ(CommDebug.AckCount, c.ackAfter);
        EXPECT_DOUBLE_EQ(CommDebug.ErrRate, c.rate);
        EXPECT_EQ(CommDebug.TraceCountdown, 10);
    }
}

TEST_F(LinkTicks, CountersAreShownEveryEleventhTickWhetherOrNotThePortIsOpen)
{
    open = false;
    run(23);
    open = true;
    run(11);
    EXPECT_EQ(trace.showTicks, (std::vector<int>{1, 12, 23, 34}));
}

TEST_F(LinkTicks, SlotsFilledWhileThePortIsClosedWaitAndAreServedInOrder)
{
    open = false;
    run(3);
    fillSlot(3, 4, 40082, 10);
    fillSlot(1, 4, 51000, 24);
    run(30);
    EXPECT_TRUE(sent.empty());
    EXPECT_EQ(ReqSlot[1].Pending, FlagOn);
    EXPECT_EQ(ReqSlot[3].Pending, FlagOn);
    EXPECT_EQ(LinkState.PollStep, 0);
    open = true;
    run(6, 0);
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0].frame, readFrame(1, 4, 51000, 24));
    EXPECT_EQ(sent[1].frame, readFrame(1, 4, 40082, 10));
    EXPECT_EQ(sent[2].frame, pollFrame(1));
}

TEST_F(LinkTicks, ClosingThePortKeepsTheOutstandingRequest)
{
    run(4); // built on 1, sent on 2, waiting
    open = false;
    run(20);
    open = true;
    run(9); // the wait goes on from where it stopped: 10 ticks in all, then dropped
    EXPECT_EQ(sent.size(), 1u);
    run(2);
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[1].frame, pollFrame(2));
}

TEST_F(LinkTicks, PausingFreezesTheMachineAndResumingContinuesTheCountdown)
{
    fillSlot(1, 6, 50000, 0, 10);
    run(5); // built on 1, sent on 2, three ticks of waiting
    EXPECT_EQ(LinkState.RetryCountdown, 7);
    LinkState.CommPaused = true;
    fillSlot(2, 3, 40001, 35);
    run(50);
    EXPECT_EQ(sent.size(), 1u);
    EXPECT_EQ(LinkState.RetryCountdown, 7);
    EXPECT_EQ(ReqSlot[2].Pending, FlagOn);
    LinkState.CommPaused = false;
    const int resumed = tick;
    run(30);
    // The second attempt follows after the remaining seven ticks of waiting.
    ASSERT_GE(sent.size(), 3u);
    EXPECT_EQ(sent[1].tick, resumed + 8);
    EXPECT_EQ(sent[2].tick, resumed + 19);
    EXPECT_EQ(sent[2].frame, WriteEnable);
}

TEST_F(LinkTicks, AReplyWhileNothingIsOutstandingOnlyClearsItselfOnTheNextTick)
{
    open = false;
    form->Comm1ReceiveData(WriteEnable.data(), int(WriteEnable.size())); // a stray echo
    EXPECT_TRUE(LinkState.ReplyAccepted);
    open = true;
    step();
    EXPECT_FALSE(LinkState.ReplyAccepted);
    EXPECT_TRUE(LinkState.ReqOutstanding); // the same tick built poll step 1
    step();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].frame, pollFrame(1));
}

TEST_F(LinkTicks, SendFrameCountsAndTracesEvenAWriteThePortRefuses)
{
    writeAccepted = false;
    run(2);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(CommDebug.TxCount, 1);
    EXPECT_EQ(main.txLed, 3);
    ASSERT_EQ(trace.tx.size(), 1u);
    EXPECT_EQ(trace.tx[0], pollFrame(1));
}

TEST_F(LinkTicks, AReceivedChunkIsCopiedCountedTracedAndChecked)
{
    run(2);
    const Bytes reply = replyTo(pollFrame(1));
    form->Comm1ReceiveData(reply.data(), int(reply.size()));
    EXPECT_EQ(main.rxLed, 2);
    EXPECT_EQ(CommDebug.RxCount, 1);
    EXPECT_EQ(CommDebug.AckCount, 1);
    EXPECT_EQ(main.dataChanged, 1);
    ASSERT_EQ(trace.rx.size(), 1u);
    EXPECT_EQ(trace.rx[0], reply);
    EXPECT_TRUE(std::equal(reply.begin(), reply.end(), RxBuf));

    // A reply with a broken CRC is counted and traced but not accepted.
    Bytes bad = reply;
    bad.back() ^= 0xFF;
    form->Comm1ReceiveData(bad.data(), int(bad.size()));
    EXPECT_EQ(CommDebug.RxCount, 2);
    EXPECT_EQ(CommDebug.AckCount, 1);
    EXPECT_EQ(main.dataChanged, 1);
}

TEST_F(LinkTicks, AChunkLongerThan399BytesIsCutAndFails)
{
    // A well-formed frame of 400 bytes of a function the codec accepts without decoding.
    Bytes body{0x01, 0x41};
    for (int i = 0; i < 396; ++i) body.push_back(uint8_t(i));
    const Bytes chunk = WithCrc(body);
    ASSERT_EQ(chunk.size(), 400u);
    ASSERT_TRUE(form->Modbus->CheckReply(chunk.data(), int(chunk.size()))); // whole, it would pass
    RxBuf[399] = 0xEE;
    form->Comm1ReceiveData(chunk.data(), int(chunk.size()));
    EXPECT_EQ(CommDebug.RxCount, 1);
    EXPECT_EQ(CommDebug.AckCount, 0);
    EXPECT_FALSE(LinkState.ReplyAccepted);
    ASSERT_EQ(trace.rx.size(), 1u);
    EXPECT_EQ(trace.rx[0].size(), 399u);
    EXPECT_TRUE(std::equal(chunk.begin(), chunk.begin() + 399, RxBuf));
    EXPECT_EQ(RxBuf[399], 0xEE); // nothing written past the cut
}

} // namespace
