// End to end: the tool's link form with the real TComm and codec against the simulated
// cabinet on a pseudo-terminal. What the cabinet sent is taken from its own frame log, so the
// expected values are the ones that really crossed the line.
#include "comm/uCabinet.h"
#include "simharness/LinkDriver.h"
#include "simharness/SimHarness.h"
#include "support/TestSupport.h"

#include "model/uUpsInfo.h"

#include <gtest/gtest.h>

#include <map>

using namespace simtest;

namespace {

// The frames of a frame-log line ("12:00:00.000 TX 01 04 ... # note").
struct LoggedFrame {
    QString direction;
    Bytes bytes;
    QString note;
};

std::vector<LoggedFrame> parseLog(const QStringList& lines)
{
    std::vector<LoggedFrame> frames;
    for (const QString& line : lines) {
        const QStringList halves = line.split(QStringLiteral(" # "));
        const QStringList words = halves[0].split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (words.size() < 2) continue;
        LoggedFrame f;
        f.direction = words[1];
        const QByteArray hex = QByteArray::fromHex(words.mid(2).join(QString()).toLatin1());
        f.bytes.assign(hex.begin(), hex.end());
        f.note = halves.size() > 1 ? halves[1] : QString();
        frames.push_back(f);
    }
    return frames;
}

// Register number -> value, from every read request the cabinet received and the clean
// reply it sent to it.
std::map<int, uint16_t> registersSent(const std::vector<LoggedFrame>& frames)
{
    std::map<int, uint16_t> regs;
    for (size_t i = 0; i + 1 < frames.size(); ++i) {
        const LoggedFrame& q = frames[i];
        const LoggedFrame& r = frames[i + 1];
        if (q.direction != QLatin1String("RX") || r.direction != QLatin1String("TX") || !r.note.isEmpty())
            continue;
        if (q.bytes.size() != 8 || (q.bytes[1] != 3 && q.bytes[1] != 4) || r.bytes.size() < 5 ||
            r.bytes[1] != q.bytes[1])
            continue;
        const int first = wordAt(q.bytes, 2) + 1;
        const std::vector<uint16_t> values = registersOf(r.bytes);
        for (size_t k = 0; k < values.size(); ++k) regs[first + static_cast<int>(k)] = values[k];
    }
    return regs;
}

// The read requests the cabinet received, as (function, first register, count).
std::vector<std::tuple<int, int, int>> readsReceived(const std::vector<LoggedFrame>& frames)
{
    std::vector<std::tuple<int, int, int>> reads;
    for (const LoggedFrame& f : frames)
        if (f.direction == QLatin1String("RX") && f.bytes.size() == 8 && (f.bytes[1] == 3 || f.bytes[1] == 4))
            reads.emplace_back(f.bytes[1], wordAt(f.bytes, 2) + 1, wordAt(f.bytes, 4));
    return reads;
}

void fillSlot(int n, uint8_t func, int reg, int count, uint16_t value = 0)
{
    TestSlots()[n].Addr = 1;
    TestSlots()[n].Func = func;
    TestSlots()[n].StartReg = reg;
    TestSlots()[n].Count = count;
    TestSlots()[n].Value = value;
    // A function-16 slot carries its words, taken when it is filled, as the windows' kit does.
    if (func == 16)
        for (int i = 0; i < count && i < MaxSlotWords; ++i) TestSlots()[n].Words[i] = WriteValue(reg + i);
    TestSlots()[n].Pending = FlagOn;
}

class E2eLink : public ::testing::Test {
protected:
    void SetUp() override { ResetAll(); }

    void launch(QStringList args, int baud = 9600)
    {
        args << QStringLiteral("--baud") << QString::number(baud) << QStringLiteral("--no-drift");
        ASSERT_TRUE(sim.start(args));
        ASSERT_TRUE(driver.open(sim.link(), baud));
    }

    SimProcess sim;
    LinkDriver driver;
};

struct CycleCase {
    const char* name;
    int baud;
    bool paced;
};

class E2ePollCycle : public E2eLink, public ::testing::WithParamInterface<CycleCase> {};

TEST_P(E2ePollCycle, LandsTheCabinetsValuesScaled)
{
    const CycleCase c = GetParam();
    QStringList args{QStringLiteral("--modules"), QStringLiteral("2")};
    if (!c.paced) args << QStringLiteral("--no-pacing");
    launch(args, c.baud);
    ASSERT_TRUE(driver.tickUntil([] { return TestCommDebug().AckCount >= 5; }, 150));
    EXPECT_EQ(TestCommDebug().TxCount, 5) << "every poll frame answered at once";
    EXPECT_EQ(TestCommDebug().RxCount, 5);

    const std::vector<LoggedFrame> frames = parseLog(sim.logLines());
    using Read = std::tuple<int, int, int>;
    EXPECT_EQ(readsReceived(frames),
              (std::vector<Read>{Read{4, 30001, 44}, Read{4, 30061, 31}, Read{3, 40001, 35},
                                 Read{4, 30101, 35}, Read{4, 40081, 11}}));
    const std::map<int, uint16_t> sent = registersSent(frames);
    ASSERT_EQ(sent.size(), 44u + 31u + 35u + 35u + 11u);
    for (const auto& [reg, value] : sent) EXPECT_EQ(Cabinet().RegMirror[reg], value) << reg;

    const TUpsData& d = Cabinet().UpsData[1];
    struct Scaled {
        int reg;
        double field;
        double scale;
    };
    const Scaled system[] = {
        {30001, d.InVolt[0], 0.1},      {30003, d.InVolt[2], 0.1},      {30004, d.InFreq, 0.1},
        {30006, d.InCurr[1], 0.1},      {30008, d.InPF[0], 0.01},       {30012, d.OutVolt[1], 0.1},
        {30014, d.OutFreq, 0.1},        {30017, d.OutCurr[2], 0.1},     {30018, d.OutPower[0], 0.1},
        {30021, d.LoadPct[0], 0.1},     {30025, d.LoadPeak[1], 0.01},   {30029, d.BpsVolt[2], 0.1},
        {30030, d.BpsFreq, 0.1},        {30031, d.BattVolt[0], 0.1},    {30032, d.BattVolt[1], 0.1},
        {30033, d.BattDisCurr[0], 0.1}, {30035, d.BattChgCurr[0], 0.1}, {30036, d.BattChgCurr[1], 0.1},
        {30039, d.BattTemp, 0.1},       {30040, d.InsideTemp, 0.1},
    };
    for (const Scaled& s : system) EXPECT_DOUBLE_EQ(s.field, sent.at(s.reg) * s.scale) << s.reg;
    EXPECT_EQ(d.BattChgRate, sent.at(30037));
    EXPECT_EQ(d.BattSupport, sent.at(30038));
    EXPECT_EQ(d.UpsRunTime, sent.at(30043));
    EXPECT_EQ(d.Status.CmmStaL, sent.at(30083));
    EXPECT_EQ(d.Status.InvStaH, sent.at(30084));
    EXPECT_EQ(d.SysState, 4) << "Online";
    EXPECT_EQ(d.Para40002, 1);
    EXPECT_EQ(d.Para40005, sent.at(40005) & 0xFF);
    EXPECT_EQ(d.Para40013, sent.at(40013));
    EXPECT_EQ(d.Para40035, sent.at(40035));
    for (int i = 0; i < 10; ++i) EXPECT_EQ(Cabinet().MaskWords[i], sent.at(40082 + i));

    const TModuleData& m = Cabinet().ModuleData[1];
    const Scaled module[] = {
        {30101, m.BusVolt[0], 0.1},  {30103, m.InvVolt[0], 0.1},     {30108, m.InvCurr[2], 0.1},
        {30109, m.InvFreq, 0.1},     {30110, m.Temp[0], 0.1},        {30120, m.DcBusVolt[0], 0.1},
        {30125, m.BattVolt[0], 0.1}, {30129, m.BattChgCurr[0], 0.1},
    };
    for (const Scaled& s : module) EXPECT_DOUBLE_EQ(s.field, sent.at(s.reg) * s.scale) << s.reg;
    EXPECT_DOUBLE_EQ(m.ChgRate, sent.at(30131));
    EXPECT_EQ(m.MdSend, sent.at(30122));
    EXPECT_EQ(m.ModState, 4);
}

INSTANTIATE_TEST_SUITE_P(Lines, E2ePollCycle,
                         ::testing::Values(CycleCase{"unpaced9600", 9600, false},
                                           CycleCase{"paced19200", 19200, true}),
                         [](const ::testing::TestParamInfo<CycleCase>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(E2eLink, WriteThroughSlotOneThenReadBack)
{
    launch({QStringLiteral("--no-pacing")});
    ParaSet.Para40018 = 238;
    ParaSet.Para40019 = 226;
    ParaSet.Para40020 = 185;
    const char company[] = "ACME UPS WORKS ";
    for (int i = 0; i < 15; ++i) CfgEdit[i] = static_cast<uint8_t>(company[i]);
    fillSlot(1, 6, 40021, 0, 150);
    fillSlot(2, 3, 40001, 35);
    fillSlot(3, 16, 40018, 3);
    fillSlot(4, 16, 53000, 15);
    fillSlot(5, 3, 53000, 30);
    ASSERT_TRUE(driver.tickUntil([] { return TestSlots()[5].Pending == 0 && TestCommDebug().AckCount >= 5; }, 150));
    EXPECT_EQ(TestCommDebug().TxCount, 5);
    EXPECT_EQ(Cabinet().UpsData[1].Para40021, 150) << "the read-back in slot 2 carries the new value";
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(Cabinet().CfgRx), 15), QByteArray(company, 15));

    // The cabinet itself holds the new values: ask it directly, the link's port closed.
    driver.close();
    RawPort port;
    ASSERT_TRUE(port.open(sim.link(), 9600));
    const std::vector<uint16_t> params = registersOf(port.transact(readRequest(1, 3, 40018, 4), 13));
    EXPECT_EQ(params, (std::vector<uint16_t>{238, 226, 185, 150}));
}

struct FaultCase {
    const char* name;
    const char* option;
    int firstAttemptChunks; // chunks the spoiled reply arrives as
};

class E2eFault : public E2eLink, public ::testing::WithParamInterface<FaultCase> {};

// A slot request whose first reply is spoiled: nothing lands, the frame goes out again eleven
// ticks after the first send, and the clean second reply is taken, all without a word.
TEST_P(E2eFault, SlotRequestRetriesSilently)
{
    const FaultCase c = GetParam();
    launch({QStringLiteral("--no-pacing"), QLatin1String(c.option), QStringLiteral("1")});
    fillSlot(1, 3, 40001, 35);

    ASSERT_TRUE(driver.tickUntil([] { return TestCommDebug().TxCount == 1; }, 5));
    EXPECT_EQ(driver.ticks(), 2) << "built on the first tick, sent on the second";
    ASSERT_TRUE(driver.tickUntil([&] { return TestCommDebug().RxCount >= c.firstAttemptChunks; }, 10));
    LinkDriver::pump(250); // anything else on its way arrives
    EXPECT_EQ(TestCommDebug().RxCount, c.firstAttemptChunks);
    EXPECT_EQ(TestCommDebug().AckCount, 0);
    for (int reg = 40001; reg <= 40035; ++reg)
        ASSERT_EQ(Cabinet().RegMirror[reg], 0) << "a spoiled reply stores nothing, " << reg;

    ASSERT_TRUE(driver.tickUntil([] { return TestCommDebug().TxCount == 2; }, 20));
    EXPECT_EQ(driver.ticks(), 13) << "resent on t + 12";
    ASSERT_TRUE(driver.tickUntil([] { return TestCommDebug().AckCount == 1; }, 10));
    EXPECT_EQ(TestCommDebug().TxCount, 2);
    EXPECT_EQ(TestCommDebug().RxCount, c.firstAttemptChunks + 1);
    EXPECT_EQ(TestSlots()[1].Counter, 1);

    const std::map<int, uint16_t> sent = registersSent(parseLog(sim.logLines()));
    EXPECT_EQ(Cabinet().UpsData[1].Para40021, sent.at(40021));
    EXPECT_EQ(Cabinet().UpsData[1].Para40002, 1);

    // One counter refresh with the link paused, so that no further frame goes out.
    TestLinkState().CommPaused = true;
    TestCommDebug().TraceCountdown = 0;
    driver.frm().Timer1Timer();
    EXPECT_EQ(TestCommDebug().TxCount, 2);
    EXPECT_DOUBLE_EQ(TestCommDebug().ErrRate, 50.0);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, E2eFault,
    ::testing::Values(FaultCase{"drop", "--drop", 0}, FaultCase{"badCrc", "--bad-crc", 1},
                      FaultCase{"wrongAddress", "--wrong-address", 1}, FaultCase{"split", "--split", 2},
                      FaultCase{"noise", "--noise", 1}, FaultCase{"exception", "--exception", 1}),
    [](const ::testing::TestParamInfo<FaultCase>& info) { return std::string(info.param.name); });

TEST_F(E2eLink, UnansweredPollStepIsDroppedAndTheCycleMovesOn)
{
    launch({QStringLiteral("--no-pacing"), QStringLiteral("--drop"), QStringLiteral("1")});
    ASSERT_TRUE(driver.tickUntil([] { return TestCommDebug().TxCount == 2; }, 30));
    EXPECT_EQ(driver.ticks(), 15)
        << "step 1 sent on tick 2, dropped on 13, step 2 built on 14 and sent on 15";
    ASSERT_TRUE(driver.tickUntil([] { return TestCommDebug().AckCount == 1; }, 10));
    using Read = std::tuple<int, int, int>;
    EXPECT_EQ(readsReceived(parseLog(sim.logLines())),
              (std::vector<Read>{Read{4, 30001, 44}, Read{4, 30061, 31}}));
    EXPECT_EQ(Cabinet().UpsData[1].InVolt[0], 0.0)
        << "step 1 is not asked again before the cycle comes round";
}

TEST_F(E2eLink, LateReplyWithinTheWaitIsTaken)
{
    launch({QStringLiteral("--no-pacing"), QStringLiteral("--late"), QStringLiteral("400")});
    fillSlot(1, 3, 40001, 35);
    ASSERT_TRUE(driver.tickUntil([] { return TestCommDebug().AckCount == 1; }, 13));
    EXPECT_EQ(TestCommDebug().TxCount, 1);
    EXPECT_EQ(Cabinet().UpsData[1].Para40002, 1);
}

} // namespace
