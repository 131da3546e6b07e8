// The simulated cabinet's OPTION port and runtime blocks, seen from the wire: their values at
// start, single writes, the rectifier hours kept alike in both places, and --run-hours.
#include "simharness/SimHarness.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

using namespace simtest;

namespace {

class SimRunTime : public ::testing::Test {
protected:
    void launch(QStringList args = {})
    {
        args << QStringLiteral("--no-pacing") << QStringLiteral("--no-drift");
        ASSERT_TRUE(sim.start(args));
        ASSERT_TRUE(port.open(sim.link()));
    }

    std::vector<uint16_t> readRegs(int function, int reg, int count)
    {
        const Bytes reply = port.transact(readRequest(1, function, reg, count), 5u + 2u * count);
        EXPECT_EQ(reply.size(), 5u + 2u * count);
        EXPECT_TRUE(RefCrc::valid(reply));
        return registersOf(reply);
    }

    void write(int reg, uint16_t value)
    {
        const Bytes request = writeSingleRequest(1, reg, value);
        EXPECT_EQ(port.transact(request, 8), request) << reg;
    }

    SimProcess sim;
    RawPort port;
};

TEST_F(SimRunTime, BlocksHoldPlausibleCodesHoursAndLimits)
{
    launch();
    const std::vector<uint16_t> option = readRegs(3, 51021, 10);
    ASSERT_EQ(option.size(), 10u);
    EXPECT_LE(option[3], 2) << "baud code 51024";
    EXPECT_LE(option[8], 2) << "protocol code 51029";
    const std::vector<uint16_t> rt = readRegs(3, 51051, 16);
    ASSERT_EQ(rt.size(), 16u);
    EXPECT_EQ(rt[1], readRegs(4, 30043, 1).at(0)) << "rectifier hours in both places";
    EXPECT_GT(rt[0], rt[1]) << "rectifier limit above its hours";
    EXPECT_GT(rt[10], rt[11]) << "battery limit above its hours";
    EXPECT_GT(rt[13], rt[14]) << "fan limit above its hours";
}

TEST_F(SimRunTime, SingleWritesShowOnReadBackAndTheRectifierHoursStayAlike)
{
    launch();
    write(51024, 0);
    write(51029, 2);
    write(51061, 20000);
    write(51065, 7);
    EXPECT_EQ(readRegs(3, 51024, 6), (std::vector<uint16_t>{0, 1, 0, 0, 0, 2}));
    EXPECT_EQ(readRegs(3, 51061, 5), (std::vector<uint16_t>{20000, 8760, 0, 43800, 7}));
    write(30043, 4321);
    EXPECT_EQ(readRegs(3, 51052, 1), std::vector<uint16_t>{4321});
    write(51052, 99);
    EXPECT_EQ(readRegs(4, 30043, 1), std::vector<uint16_t>{99});
}

TEST_F(SimRunTime, CountersRunOnlyWhenAsked)
{
    launch({QStringLiteral("--run-hours"), QStringLiteral("--hour-ms"), QStringLiteral("50")});
    const std::vector<uint16_t> before = readRegs(3, 51062, 4);
    std::vector<uint16_t> after = before;
    QElapsedTimer clock;
    clock.start();
    while (after[0] == before[0] && clock.elapsed() < 10000) {
        QThread::msleep(100);
        after = readRegs(3, 51062, 4);
    }
    EXPECT_GT(after[0], before[0]) << "battery hours";
    EXPECT_GT(after[3], before[3]) << "fan hours";
    EXPECT_EQ(after[2], before[2]) << "the fan limit stays";
    EXPECT_EQ(readRegs(3, 51052, 1), readRegs(4, 30043, 1)) << "rectifier hours alike while running";
}

TEST_F(SimRunTime, StillWithoutTheOption)
{
    launch();
    const std::vector<uint16_t> before = readRegs(3, 51051, 16);
    QThread::msleep(300);
    EXPECT_EQ(readRegs(3, 51051, 16), before);
}

TEST_F(SimRunTime, AnHourPeriodOutOfRangeIsRefused)
{
    QProcess p;
    p.start(QStringLiteral(ZYR_CABINET_SIM),
            {QStringLiteral("--pty"), sim.dirPath() + QStringLiteral("/x"), QStringLiteral("--run-hours"),
             QStringLiteral("--hour-ms"), QStringLiteral("5")});
    ASSERT_TRUE(p.waitForFinished(10000));
    EXPECT_EQ(p.exitCode(), 2);
    EXPECT_TRUE(p.readAllStandardError().contains("--hour-ms"));
}

} // namespace
