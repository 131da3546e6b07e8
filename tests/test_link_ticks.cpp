// The link driven tick by tick: Timer1Timer is called by hand, frames are captured through
// a fake line, and replies are handed to Comm1ReceiveData as the port would hand them.
#include "comm/uCabinet.h"
#include "comm/uFrmCom.h"
#include "comm/uLinkConnections.h"
#include "comm/uPollSteps.h"
#include "model/UShareData.h"
#include "model/uUpsInfo.h"
#include "support/FakeTransport.h"
#include "support/TestSupport.h"
#include "ui/uReqSlots.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// What a main window learns from the link's signals.
struct FakeMain {
    int syncs = 0; // poll cycles ended
    int dataChanged = 0;
    int txLed = 0;
    int rxLed = 0;
};

// What a trace window learns from the link's signals.
struct FakeTrace {
    std::vector<Bytes> tx, rx;
    std::vector<int> showTicks;
    const int* tick = nullptr;
    std::vector<QString> notes;
};

// What the link told its listeners.
struct Watch {
    struct Told {
        char what; // 'a' accepted, 'd' dropped
        TLinkRequest request;
        std::vector<uint16_t> regs;
    };
    std::vector<Told> told;
    void ReplyAccepted(const TLinkRequest& r, const uint16_t* regs, int count)
    {
        told.push_back({'a', r, std::vector<uint16_t>(regs, regs + count)});
    }
    void RequestDropped(const TLinkRequest& r) { told.push_back({'d', r, {}}); }
    // "a6:40025 d4:40001-" : what, function, register, and for a drop + sent, - never sent,
    // ! refused.
    std::string line() const
    {
        std::string out;
        for (const Told& t : told) {
            if (!out.empty()) out += ' ';
            out += t.what + std::to_string(t.request.func) + ':' + std::to_string(t.request.startReg);
            if (t.what == 'd') out += t.request.refused ? "!" : t.request.sent ? "+" : "-";
        }
        return out;
    }
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
        form = std::make_unique<TFrmCom>();
        form->Timer1.stop(); // the tests are the clock
        TFrmCom* f = form.get();
        auto bytes = [](const QByteArray& b) { return Bytes(b.begin(), b.end()); };
        QObject::connect(f, &TFrmCom::FrameSent, [this, bytes](const QByteArray& b) {
            main.txLed = 3;
            trace.tx.push_back(bytes(b));
        });
        QObject::connect(f, &TFrmCom::ChunkReceived, [this, bytes](const QByteArray& b) {
            main.rxLed = 2;
            trace.rx.push_back(bytes(b));
        });
        QObject::connect(f, &TFrmCom::CountersChanged, [this] { trace.showTicks.push_back(*trace.tick); });
        QObject::connect(f, &TFrmCom::TraceNote, [this](const QString& text) { trace.notes.push_back(text); });
        QObject::connect(f, &TFrmCom::PollCycleEnded, [this] { ++main.syncs; });
        QObject::connect(f, &TFrmCom::ReplyAccepted,
                         [this](const TLinkRequest& r, const uint16_t* regs, int count) {
                             ++main.dataChanged;
                             watch.ReplyAccepted(r, regs, count);
                         });
        QObject::connect(f, &TFrmCom::RequestDropped, [this](const TLinkRequest& r) { watch.RequestDropped(r); });
        UseFakeLine(
            *form, [this] { return open; },
            [this](const uint8_t* b, int n) {
                sent.push_back({tick, Bytes(b, b + n)});
                return writeAccepted;
            });
    }
    void TearDown() override
    {
        form.reset();
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
        TReqSlot& s = TestSlots()[n];
        s.Addr = addr;
        s.Func = func;
        s.StartReg = reg;
        s.Count = count;
        s.Value = value;
        s.Pending = FlagOn;
    }

    FakeMain main;
    FakeTrace trace;
    Watch watch;
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
    EXPECT_EQ(TestCommDebug().TxCount, 6);
    EXPECT_EQ(TestCommDebug().AckCount, 6);
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
    EXPECT_EQ(TestCommDebug().AckCount, 0);
    EXPECT_DOUBLE_EQ(TestCommDebug().ErrRate, 100.0);
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
    EXPECT_EQ(TestSlots()[1].Counter, 1);
    EXPECT_EQ(TestSlots()[1].Pending, 0);
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
    for (int n : {1, 2, 7}) EXPECT_EQ(TestSlots()[n].Counter, 1) << n;
}

TEST_F(LinkTicks, SelectingAnotherCabinetRestartsTheCycleAtTheNewAddress)
{
    run(6, 0); // steps 1..3 answered
    ASSERT_EQ(sent.size(), 3u);
    form->SetDevAddr(5);
    run(2, 0); // without a restart the address waits for the end of the cycle
    ASSERT_EQ(sent.size(), 4u);
    EXPECT_EQ(sent[3].frame, pollFrame(4, 1));

    TestLinkState().PollStep = 100; // what the main window does on a new selection
    const int syncsBefore = main.syncs;
    run(2, 0);
    ASSERT_EQ(sent.size(), 5u);
    EXPECT_EQ(sent[4].frame, pollFrame(1, 5));
    EXPECT_EQ(main.syncs, syncsBefore + 1);
    EXPECT_EQ(TestLinkState().PollStep, 1);
    // The reply from address 5 is accepted and the cycle goes on there.
    run(2, 0);
    ASSERT_EQ(sent.size(), 6u);
    EXPECT_EQ(sent.back().frame, pollFrame(2, 5));
    EXPECT_EQ(TestCommDebug().AckCount, 6);
}

// The poll-step table is the cycle the frames above spell out, for any module shown.
TEST_F(LinkTicks, ThePollStepTableIsTheCycleOfFrames)
{
    ASSERT_EQ(PollCycleLength, 5);
    for (int module : {1, 2, 7, 32}) {
        for (int n = 1; n <= PollCycleLength; ++n) {
            const TPollStep& step = PollCycle[n - 1];
            EXPECT_EQ(readFrame(1, step.func, PollStepFirstReg(step, module), step.count),
                      pollFrame(n, 1, module))
                << "step " << n << ", module " << module;
        }
    }
    // And the link sends them in that order, the module step for the module shown.
    form->SetCurModule(7);
    run(2 * PollCycleLength, 0);
    ASSERT_EQ(sent.size(), size_t(PollCycleLength));
    for (int n = 1; n <= PollCycleLength; ++n) EXPECT_EQ(sent[n - 1].frame, pollFrame(n, 1, 7)) << n;
}

// A line whose device went away is reopened every ReopenTicks ticks with the name and speed
// of the operator's open, whatever the settings say by then; the poll goes on over it.
TEST_F(LinkTicks, ALostLineIsReopenedWithTheNameAndSpeedItWasOpenedWith)
{
    TFakeTransport line;
    line.OnWrite = [this](const uint8_t* b, int n) {
        sent.push_back({tick, Bytes(b, b + n)});
        return true;
    };
    form->SetTransport(&line);
    LocalPara.ComName = QStringLiteral("COM3");
    LocalPara.BaudRate = 2400;
    form->OpenPort(QStringLiteral("ttyUSB7"), 19200);
    ASSERT_TRUE(form->PortOpen());
    run(4, 0);
    ASSERT_EQ(sent.size(), 2u);

    line.RefuseOpen = true;
    line.Lose(QStringLiteral("unplugged"));
    EXPECT_TRUE(form->PortLost());
    EXPECT_FALSE(form->PortOpen());
    EXPECT_EQ(form->LossCount(), 1);
    run(TFrmCom::ReopenTicks); // one attempt, refused: not back yet
    ASSERT_EQ(line.Opens.size(), 2u);
    EXPECT_TRUE(form->PortLost());

    LocalPara.ComName = QStringLiteral("COM9");
    LocalPara.BaudRate = 4800;
    line.RefuseOpen = false;
    run(TFrmCom::ReopenTicks - 1);
    EXPECT_EQ(line.Opens.size(), 2u) << "an attempt every ReopenTicks ticks, never in a loop";
    run(1);
    ASSERT_EQ(line.Opens.size(), 3u);
    for (const TFakeTransport::TOpenCall& open : line.Opens) {
        EXPECT_EQ(open.endpoint, QStringLiteral("ttyUSB7"));
        EXPECT_EQ(open.baudRate, 19200);
    }
    EXPECT_FALSE(form->PortLost());
    EXPECT_TRUE(form->PortOpen());
    EXPECT_EQ(form->ReopenAttempts(), 2);
    EXPECT_EQ(form->ReopenCount(), 1);

    // The chunks of the reopened line reach the link: a request goes out and its reply is taken.
    const int acked = TestCommDebug().AckCount;
    const size_t before = sent.size();
    for (int i = 0; i < 15 && sent.size() == before; ++i) step();
    ASSERT_GT(sent.size(), before);
    line.Receive(replyTo(sent.back().frame));
    EXPECT_EQ(TestCommDebug().AckCount, acked + 1);
    EXPECT_TRUE(TestLinkState().ReplyAccepted);
}

TEST_F(LinkTicks, TheModulePageDecidesTheFourthPollStep)
{
    form->SetCurModule(7);
    run(8, 0);
    ASSERT_EQ(sent.size(), 4u);
    EXPECT_EQ(sent[3].frame, readFrame(1, 4, 30101 + 50 * 6, 35));
}

TEST_F(LinkTicks, PollHoldResendsTheLastFrameOnEveryIdleTick)
{
    run(4, 0); // poll steps 1 and 2, answered
    ASSERT_EQ(sent.size(), 2u);
    Cabinet().RecInfo.PollHold = FlagOn;
    // Answered at once: built on every idle tick, sent on the next. Unanswered: once per 13.
    run(8, 0);
    run(26);
    ASSERT_EQ(sent.size(), 8u);
    for (size_t i = 1; i < sent.size(); ++i) EXPECT_EQ(sent[i].frame, pollFrame(2)) << i;
    EXPECT_EQ(TestLinkState().PollStep, 2);
    EXPECT_EQ(sent[6].tick + 13, sent[7].tick);
    // Released, the cycle goes on with step 3.
    Cabinet().RecInfo.PollHold = FlagOff;
    run(30);
    ASSERT_GE(sent.size(), 9u);
    EXPECT_EQ(sent[8].frame, pollFrame(3));
}

TEST_F(LinkTicks, ASlotIsServedEvenWhilePollHoldIsSet)
{
    Cabinet().RecInfo.PollHold = FlagOn;
    fillSlot(1, 4, 40051, 4);
    run(4, 0);
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].frame, readFrame(1, 4, 40051, 4));
    EXPECT_EQ(sent[1].frame, readFrame(1, 4, 40051, 4)); // held: the slot's request again
    EXPECT_EQ(TestSlots()[1].Counter, 1);
}

// A held poll sends its last frame again, but never a write: the write-enable word and the
// value written during a download go out once each.
TEST_F(LinkTicks, AHeldPollNeverSendsAWriteAgain)
{
    Cabinet().RecInfo.PollHold = FlagOn;
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
        EXPECT_EQ(TestCommDebug().TxCount, 0);
        EXPECT_EQ(TestSlots()[1].Pending, FlagOn); // only the Modbus master takes slots
        const Bytes reply = replyTo(readFrame(1, 4, 30001, 44));
        form->Comm1ReceiveData(reply.data(), int(reply.size()));
        EXPECT_EQ(TestCommDebug().RxCount, 1);
        EXPECT_EQ(TestCommDebug().AckCount, 0);
        EXPECT_FALSE(TestLinkState().ReplyAccepted);
        EXPECT_EQ(main.dataChanged, 0);
        if (protocol == 1) {
            // The YD/T stub steps through the same cycle: 40 idle ticks, 40 steps.
            EXPECT_EQ(TestLinkState().PollStep, 5);
            EXPECT_EQ(form->Ydt->CommandCode, 0x84);
            // It wraps at steps 6, 11, ..., 36, but a stub that reads nothing ends no poll
            // cycle its listeners could take values from.
            EXPECT_EQ(main.syncs, 0);
        } else {
            EXPECT_EQ(TestLinkState().PollStep, 0);
        }
    }
}

TEST_F(LinkTicks, TheYdtStubStepsThroughItsCommandsAndTakesTheAddressAtTheWrap)
{
    form->SetActiveProtocol(1);
    form->SetDevAddr(9);
    const uint8_t codes[] = {0x43, 0x44, 0x80, 0x82, 0x84, 0x43, 0x44};
    for (int i = 0; i < 7; ++i) {
        step();
        EXPECT_EQ(TestLinkState().PollStep, i % 5 + 1) << i;
        EXPECT_EQ(form->Ydt->CommandCode, codes[i]) << i;
        EXPECT_EQ(form->Ydt->CurAddr, i < 5 ? 1 : 9) << i;
        EXPECT_EQ(form->Ydt->FrameLen, 0);
        EXPECT_FALSE(TestLinkState().ReqOutstanding);
    }
    EXPECT_EQ(form->Ydt->CurRecord, &Cabinet().UpsData[9]); // re-pointed on the step after the wrap
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
        TestCommDebug().TxCount = c.tx;
        TestCommDebug().AckCount = c.ack;
        TestCommDebug().ErrRate = -1;
        TestCommDebug().TraceCountdown = 0;
        step();
        EXPECT_EQ(TestCommDebug().AckCount, c.ackAfter);
        EXPECT_DOUBLE_EQ(TestCommDebug().ErrRate, c.rate);
        EXPECT_EQ(TestCommDebug().TraceCountdown, 10);
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
    EXPECT_EQ(TestSlots()[1].Pending, FlagOn);
    EXPECT_EQ(TestSlots()[3].Pending, FlagOn);
    EXPECT_EQ(TestLinkState().PollStep, 0);
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
    EXPECT_EQ(TestLinkState().RetryCountdown, 7);
    TestLinkState().CommPaused = true;
    fillSlot(2, 3, 40001, 35);
    run(50);
    EXPECT_EQ(sent.size(), 1u);
    EXPECT_EQ(TestLinkState().RetryCountdown, 7);
    EXPECT_EQ(TestSlots()[2].Pending, FlagOn);
    TestLinkState().CommPaused = false;
    const int resumed = tick;
    run(30);
    // The second attempt follows after the remaining seven ticks of waiting.
    ASSERT_GE(sent.size(), 3u);
    EXPECT_EQ(sent[1].tick, resumed + 8);
    EXPECT_EQ(sent[2].tick, resumed + 19);
    EXPECT_EQ(sent[2].frame, WriteEnable);
}

TEST_F(LinkTicks, AReplyWhileNothingIsOutstandingIsAStrayFrame)
{
    open = false;
    form->Comm1ReceiveData(WriteEnable.data(), int(WriteEnable.size())); // a stray echo
    EXPECT_FALSE(TestLinkState().ReplyAccepted);
    EXPECT_EQ(TestCommDebug().RxCount, 1);
    EXPECT_EQ(TestCommDebug().AckCount, 0);
    ASSERT_EQ(trace.notes.size(), 1u);
    EXPECT_EQ(trace.notes[0], "Stray frame dropped: not the reply to the request sent");
    open = true;
    step();
    EXPECT_TRUE(TestLinkState().ReqOutstanding); // the tick built poll step 1
    step();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].frame, pollFrame(1));
}

TEST_F(LinkTicks, SendFrameCountsAndTracesEvenAWriteThePortRefuses)
{
    writeAccepted = false;
    run(2);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(TestCommDebug().TxCount, 1);
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
    EXPECT_EQ(TestCommDebug().RxCount, 1);
    EXPECT_EQ(TestCommDebug().AckCount, 1);
    EXPECT_EQ(main.dataChanged, 1);
    ASSERT_EQ(trace.rx.size(), 1u);
    EXPECT_EQ(trace.rx[0], reply);
    EXPECT_TRUE(std::equal(reply.begin(), reply.end(), TestRxBuf()));

    // A reply with a broken CRC is counted and traced but not accepted.
    Bytes bad = reply;
    bad.back() ^= 0xFF;
    form->Comm1ReceiveData(bad.data(), int(bad.size()));
    EXPECT_EQ(TestCommDebug().RxCount, 2);
    EXPECT_EQ(TestCommDebug().AckCount, 1);
    EXPECT_EQ(main.dataChanged, 1);
    EXPECT_TRUE(trace.notes.empty()) << "a garbled chunk is no stray frame: its bytes tell";
}

TEST_F(LinkTicks, AChunkLongerThan399BytesIsCutAndFails)
{
    // A well-formed frame of 400 bytes of a function the codec accepts without decoding.
    Bytes body{0x01, 0x41};
    for (int i = 0; i < 396; ++i) body.push_back(uint8_t(i));
    const Bytes chunk = WithCrc(body);
    ASSERT_EQ(chunk.size(), 400u);
    form->Modbus->ReqFunc = 0x41;
    ASSERT_TRUE(form->Modbus->CheckReply(chunk.data(), int(chunk.size()))); // whole, it would pass
    TestLinkState().ReqOutstanding = true; // sent and waiting: only the cut refuses it
    TestLinkState().AttemptCount = 1;
    TestRxBuf()[399] = 0xEE;
    form->Comm1ReceiveData(chunk.data(), int(chunk.size()));
    EXPECT_EQ(TestCommDebug().RxCount, 1);
    EXPECT_EQ(TestCommDebug().AckCount, 0);
    EXPECT_FALSE(TestLinkState().ReplyAccepted);
    ASSERT_EQ(trace.rx.size(), 1u);
    EXPECT_EQ(trace.rx[0].size(), 399u);
    EXPECT_TRUE(std::equal(chunk.begin(), chunk.begin() + 399, TestRxBuf()));
    EXPECT_EQ(TestRxBuf()[399], 0xEE); // nothing written past the cut
}

// ---- Replies matched to their request --------------------------------------------------------

Bytes echo6(uint8_t addr, int reg, uint16_t value)
{
    const uint16_t wire = uint16_t(reg - 1);
    return WithCrc({addr, 6, uint8_t(wire >> 8), uint8_t(wire), uint8_t(value >> 8), uint8_t(value)});
}

struct MatchCase {
    const char* name;
    uint8_t func; // the request in slot 1, sent and waiting
    int reg;
    int count;
    uint16_t value;
    Bytes chunk;
    const char* told; // what the watchers hear
    bool waitEnds;    // the next tick builds the next request
    bool stray = true; // a frame that ends no wait: noted in the trace as stray, or a refusal
};

class LinkReplyMatching : public LinkTicks, public ::testing::WithParamInterface<MatchCase> {};

TEST_P(LinkReplyMatching, OnlyTheReplyToTheRequestSentEndsItsWait)
{
    const MatchCase& c = GetParam();
    fillSlot(1, c.func, c.reg, c.count, c.value);
    run(2); // built, sent
    ASSERT_EQ(sent.size(), 1u);
    form->Comm1ReceiveData(c.chunk.data(), int(c.chunk.size()));
    EXPECT_EQ(watch.line(), c.told);
    const bool accepted = std::string(c.told).rfind('a', 0) == 0;
    EXPECT_EQ(TestCommDebug().AckCount, accepted ? 1 : 0);
    EXPECT_EQ(trace.notes.size(), !c.waitEnds && c.stray ? 1u : 0u) << "a stray frame is noted in the trace";
    step();
    EXPECT_EQ(TestLinkState().PollStep, c.waitEnds ? 1 : 0);
    EXPECT_EQ(TestLinkState().RetryCountdown, c.waitEnds ? 0 : 9);
}

INSTANTIATE_TEST_SUITE_P(
    Table, LinkReplyMatching,
    ::testing::Values(
        MatchCase{"Write6Echo", 6, 40025, 0, 45, echo6(1, 40025, 45), "a6:40025", true},
        MatchCase{"Write6EchoOfTheWriteEnable", 6, 40025, 0, 45, WriteEnable, "", false},
        MatchCase{"Write6EchoOfAnotherValue", 6, 40025, 0, 45, echo6(1, 40025, 46), "", false},
        MatchCase{"Write6EchoFromAnotherCabinet", 6, 40025, 0, 45, echo6(2, 40025, 45), "", false},
        // A refusal stores nothing; the request keeps its retries.
        MatchCase{"Write6Refused", 6, 40025, 0, 45, WithCrc({1, 0x86, 2}), "", false, false},
        MatchCase{"Write6ExceptionOfARead", 6, 40025, 0, 45, WithCrc({1, 0x84, 2}), "", false},
        MatchCase{"Write16Echo", 16, 53000, 15, 0, WithCrc(HexBytes("01 10 CF 07 00 0F")), "a16:53000", true},
        MatchCase{"Write16EchoOfAnotherCount", 16, 53000, 15, 0, WithCrc(HexBytes("01 10 CF 07 00 1E")), "",
                  false},
        MatchCase{"ReadReply", 4, 40001, 34, 0, replyTo(readFrame(1, 4, 40001, 34)), "a4:40001", true},
        MatchCase{"ReadAnsweredByAnEcho", 4, 40001, 34, 0, echo6(1, 40025, 45), "", false},
        MatchCase{"ReadReplyOfAnotherCount", 4, 40001, 34, 0, replyTo(readFrame(1, 4, 30001, 44)), "", false},
        MatchCase{"ReadRefused", 4, 40001, 34, 0, WithCrc({1, 0x84, 2}), "", false, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(LinkTicks, AReplyBeforeTheWriteIsSentDoesNotCancelIt)
{
    fillSlot(1, 6, 40025, 0, 45);
    step(); // built; it goes out on the next tick
    ASSERT_TRUE(sent.empty());
    const Bytes early = echo6(1, 40025, 45); // a late echo of an earlier write of the same value
    form->Comm1ReceiveData(early.data(), int(early.size()));
    EXPECT_EQ(TestCommDebug().AckCount, 0);
    step();
    ASSERT_EQ(sent.size(), 1u) << "the write still goes out";
    EXPECT_EQ(sent[0].frame, echo6(1, 40025, 45));
}

TEST_F(LinkTicks, ALateEchoIsNeverTakenAsTheNextWritesAcknowledgement)
{
    // Write-enable, write and read-back, as the data set window queues them.
    fillSlot(1, 6, 50000, 0, 10);
    fillSlot(2, 6, 40025, 0, 45);
    fillSlot(3, 4, 40001, 34);
    run(13); // the write-enable went out on 2 and again on 13: the cabinet is slow
    ASSERT_EQ(sendTicks(), (std::vector<int>{2, 13}));
    answer(WriteEnable); // the echo of the first attempt: this same request's reply
    run(2);              // the write is built and sent
    ASSERT_EQ(sent.size(), 3u);
    ASSERT_EQ(sent[2].frame, echo6(1, 40025, 45));
    answer(WriteEnable); // the echo of the second attempt comes in now
    EXPECT_EQ(watch.line(), "a6:50000") << "the write is not acknowledged by it";
    EXPECT_EQ(TestLinkState().RetryCountdown, 10);
    step();
    answer(sent[2].frame); // the write's own echo
    run(2);
    ASSERT_EQ(sent.size(), 4u);
    EXPECT_EQ(sent[3].frame, readFrame(1, 4, 40001, 34));
    answer(sent[3].frame);
    EXPECT_EQ(watch.line(), "a6:50000 a6:40025 a4:40001");
    EXPECT_EQ(TestCommDebug().AckCount, 3);
}

// ---- Write groups ----------------------------------------------------------------------------

struct GroupCase {
    const char* name;
    int ticksBefore; // ticks run after queueing, with a silent cabinet
    const char* fate;  // "silent", "closed", "lost" or "refused"
    const char* told;
};

class LinkWriteGroups : public LinkTicks, public ::testing::WithParamInterface<GroupCase> {};

TEST_P(LinkWriteGroups, AWriteThatFailsTakesItsWholeGroupWithIt)
{
    const GroupCase& c = GetParam();
    TestSlots()[5].Pending = FlagOn; // a read of someone else's, queued on its own
    TestSlots()[5].Addr = 1;
    TestSlots()[5].Func = 3;
    TestSlots()[5].StartReg = 51000;
    TestSlots()[5].Count = 24;
    ASSERT_EQ(QueueWrite(nullptr, {{1, 6, 50000, 1, 10}, {2, 6, 40025, 1, 45}, {3, 4, 40001, 34}}),
              TWriteOutcome::Queued);
    run(c.ticksBefore);
    if (std::string(c.fate) == "silent") {
        run(40);
    } else if (std::string(c.fate) == "refused") {
        const Bytes no = WithCrc({1, 0x86, 4});
        form->Comm1ReceiveData(no.data(), int(no.size()));
        run(40); // the retries go unanswered; the drop tells the refusal
    } else {
        form->DropPendingWrites(); // what closing the port or losing it does
    }
    EXPECT_EQ(watch.line(), c.told);
    for (int slot : {1, 2, 3}) EXPECT_EQ(TestSlots()[slot].Pending, FlagOff) << slot;
    const bool ranOn = std::string(c.fate) == "silent" || std::string(c.fate) == "refused";
    EXPECT_EQ(TestSlots()[5].Pending, ranOn ? FlagOff : FlagOn)
        << "a read of its own is no part of the write";
    for (const Sent& s : sent) {
        EXPECT_NE(s.frame, echo6(1, 40025, 45)) << "the write never goes out after its write-enable failed";
        EXPECT_NE(s.frame, readFrame(1, 4, 40001, 34)) << "nor its read-back";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, LinkWriteGroups,
    ::testing::Values(GroupCase{"NoAnswerAfterThreeAttempts", 0, "silent", "d6:50000+ d6:40025- d4:40001-"},
                      GroupCase{"PortClosedBeforeItWasBuilt", 0, "closed", "d6:50000- d6:40025- d4:40001-"},
                      GroupCase{"PortClosedBeforeItWasSent", 1, "closed", "d6:50000- d6:40025- d4:40001-"},
                      GroupCase{"PortClosedWhileWaiting", 5, "closed", "d6:50000+ d6:40025- d4:40001-"},
                      GroupCase{"Refused", 2, "refused", "d6:50000! d6:40025- d4:40001-"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(LinkTicks, AClosedPortLeavesAWindowsOwnReadsPending)
{
    fillSlot(2, 3, 53000, 40);
    ASSERT_EQ(QueueWrite(nullptr, {{1, 6, 51201, 1, 27}}), TWriteOutcome::Queued);
    form->DropPendingWrites();
    EXPECT_EQ(watch.line(), "d6:51201-");
    EXPECT_EQ(TestSlots()[1].Pending, FlagOff);
    EXPECT_EQ(TestSlots()[2].Pending, FlagOn);
}

// ---- What goes in, and what the link tells -------------------------------------------------

TEST_F(LinkTicks, AnAcceptedReplyIsAnnouncedOnceWithItsRequestAndTheValuesItCarried)
{
    std::vector<TLinkRequest> built;
    TLinkConnections listening;
    listening << QObject::connect(form.get(), &TFrmCom::RequestBuilt,
                                  [&built](const TLinkRequest& r) { built.push_back(r); });
    step(); // builds the first poll request
    ASSERT_EQ(built.size(), 1u);
    EXPECT_EQ(built[0].startReg, 30001);
    EXPECT_TRUE(watch.told.empty()) << "nothing is answered before it is sent";
    step(); // sends it
    ASSERT_EQ(sent.size(), 1u);
    answer(sent[0].frame);
    run(3); // the next request is built and sent; nothing more is said of the first
    ASSERT_EQ(watch.told.size(), 1u);
    const Watch::Told& t = watch.told[0];
    EXPECT_EQ(t.what, 'a');
    EXPECT_EQ(t.request.slot, 0) << "the background poll";
    EXPECT_EQ(t.request.addr, 1);
    EXPECT_EQ(t.request.func, 4);
    EXPECT_EQ(t.request.startReg, 30001);
    EXPECT_EQ(t.request.count, 44);
    std::vector<uint16_t> values;
    for (int i = 0; i < 44; ++i) values.push_back(uint16_t(i + 1));
    EXPECT_EQ(t.regs, values);
    EXPECT_EQ(main.dataChanged, 1);
    EXPECT_EQ(built.size(), 2u);

    answer(sent[0].frame); // the same reply again answers nothing asked now
    EXPECT_EQ(watch.told.size(), 1u);
    EXPECT_EQ(main.dataChanged, 1);
}

TEST_F(LinkTicks, ARequestGoesInOnlyIntoAFreeSlotWhichKeepsItsOwnCount)
{
    TReqSlot r;
    r.Addr = 1;
    r.Func = 3;
    r.StartReg = 40051;
    r.Count = 4;
    r.Source = QStringLiteral("FrmTest");
    r.Counter = 99; // not the filler's to set
    TestSlots()[2].Counter = 7;
    EXPECT_TRUE(form->Submit(2, r));
    EXPECT_EQ(form->ReqSlot[2].Pending, FlagOn);
    EXPECT_EQ(form->ReqSlot[2].Counter, 7);
    EXPECT_EQ(form->ReqSlot[2].StartReg, 40051);
    EXPECT_EQ(form->ReqSlot[2].Source, "FrmTest");

    TReqSlot other = r;
    other.StartReg = 40001;
    EXPECT_FALSE(form->Submit(2, other)) << "a busy slot is left as it is";
    EXPECT_EQ(form->ReqSlot[2].StartReg, 40051);
    for (int outside : {0, -1, ReqSlotCount + 1}) EXPECT_FALSE(form->Submit(outside, r)) << outside;

    form->Withdraw(2);
    EXPECT_EQ(form->ReqSlot[2].Pending, FlagOff);
    run(2);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].frame, pollFrame(1)) << "a request taken back never goes out";

    ASSERT_TRUE(form->Submit(2, r));
    answer(sent[0].frame);
    run(2); // the reply is taken and the slot's request built, then sent
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[1].frame, readFrame(1, 3, 40051, 4));
    EXPECT_EQ(form->ReqSlot[2].Counter, 8);
}

// ---- The error rate ----------------------------------------------------------------------------

TEST_F(LinkTicks, TheErrorRateOfACleanLineIsZeroAndOfASilentLineAHundred)
{
    std::vector<double> rates;
    for (int i = 0; i < 120; ++i) { // 12 s of a cabinet answering every frame two ticks after it
        step(2);
        if (TestCommDebug().TraceCountdown == 10) rates.push_back(TestCommDebug().ErrRate);
    }
    ASSERT_GE(rates.size(), 10u);
    for (double r : rates) EXPECT_DOUBLE_EQ(r, 0.0);
    ASSERT_GT(TestCommDebug().AckCount, 20);

    TestCommDebug() = TCommDebug{};
    rates.clear();
    for (int i = 0; i < 120; ++i) { // 12 s of silence
        step();
        if (TestCommDebug().TraceCountdown == 10 && TestCommDebug().TxCount > 1) rates.push_back(TestCommDebug().ErrRate);
    }
    ASSERT_GE(rates.size(), 5u);
    for (double r : rates) EXPECT_DOUBLE_EQ(r, 100.0);
}

} // namespace
