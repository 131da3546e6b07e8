// The tool's link (TFrmCom with the real TComm and codec) against an RTU server written with
// libmodbus: reads of input and holding registers land where they belong, and writes with
// functions 6 and 16 reach the server.
#include "comm/uCabinet.h"
#include "peers/PeerPattern.h"
#include "simharness/LinkDriver.h"
#include "support/TestSupport.h"

#include "model/uUpsInfo.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>

using simtest::LinkDriver;

namespace {

class PeerLibmodbus : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetAll();
        link = dir.filePath(QStringLiteral("peer"));
        writes = dir.filePath(QStringLiteral("writes.txt"));
        server.start(QStringLiteral(ZYR_PEER_SERVER), {link, QStringLiteral("1"), writes});
        ASSERT_TRUE(server.waitForStarted(10000));
        QElapsedTimer clock;
        clock.start();
        while (!QFileInfo(link).isSymLink() && clock.elapsed() < 10000) QThread::msleep(10);
        ASSERT_TRUE(QFileInfo(link).isSymLink());
        ASSERT_TRUE(driver.open(link, 9600));
    }

    void TearDown() override
    {
        driver.close();
        ::kill(static_cast<pid_t>(server.processId()), SIGTERM);
        server.waitForFinished(10000);
        EXPECT_FALSE(QFileInfo(link).isSymLink());
    }

    QStringList serverWrites() const
    {
        QFile f(writes);
        if (!f.open(QIODevice::ReadOnly | QIODevice::Text)) return {};
        return QString::fromLatin1(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    QTemporaryDir dir;
    QString link, writes;
    QProcess server;
    LinkDriver driver;
};

TEST_F(PeerLibmodbus, PollCycleReadsTheServersRegisters)
{
    // Steps 1 to 4 are inside the server's tables; step 5 (40081 by function 4) is not, and
    // libmodbus refuses it with an exception, which the link takes silently.
    ASSERT_TRUE(driver.tickUntil([] { return TestCommDebug().TxCount >= 6; }, 120));
    EXPECT_GE(TestCommDebug().AckCount, 4);
    EXPECT_LT(TestCommDebug().AckCount, TestCommDebug().TxCount);

    const TUpsData& d = Cabinet().UpsData[1];
    EXPECT_DOUBLE_EQ(d.InVolt[0], PeerStartValue(30001) * 0.1);
    EXPECT_DOUBLE_EQ(d.InVolt[2], PeerStartValue(30003) * 0.1);
    EXPECT_DOUBLE_EQ(d.InPF[0], PeerStartValue(30008) * 0.01);
    EXPECT_DOUBLE_EQ(d.BattDisCurr[0], PeerStartValue(30033) * 0.1);
    EXPECT_DOUBLE_EQ(d.BattChgCurr[0], PeerStartValue(30035) * 0.1);
    EXPECT_EQ(d.BattChgRate, PeerStartValue(30037));
    EXPECT_EQ(d.Status.CmmStaH, PeerStartValue(30082));
    EXPECT_EQ(d.Status.InvStaH, PeerStartValue(30084));
    EXPECT_EQ(d.Status.CmmAlmH, PeerStartValue(30086));
    EXPECT_EQ(d.Para40021, PeerStartValue(40021));
    EXPECT_EQ(d.Para40002, PeerStartValue(40002) & 0xFF);
    EXPECT_DOUBLE_EQ(Cabinet().ModuleData[1].BusVolt[0], PeerStartValue(30101) * 0.1);
    EXPECT_EQ(Cabinet().ModuleData[1].Status.CmmStaL, PeerStartValue(30113));
    EXPECT_EQ(Cabinet().RegMirror[30044], PeerStartValue(30044));
    EXPECT_EQ(Cabinet().RegMirror[30091], PeerStartValue(30091));
    EXPECT_EQ(Cabinet().RegMirror[40081], 0) << "the refused read stored nothing";
}

TEST_F(PeerLibmodbus, WritesReachTheServerAndReadBack)
{
    ParaSet.Para40018 = 236;
    ParaSet.Para40019 = 227;
    ParaSet.Para40020 = 180;
    auto fill = [](int n, uint8_t func, int reg, int count, uint16_t value) {
        TestSlots()[n] = {};
        TestSlots()[n].Addr = 1;
        TestSlots()[n].Func = func;
        TestSlots()[n].StartReg = reg;
        TestSlots()[n].Count = count;
        TestSlots()[n].Value = value;
        // A function-16 slot carries its words, taken when it is filled, as the windows' kit does.
        if (func == 16)
            for (int i = 0; i < count && i < MaxSlotWords; ++i) TestSlots()[n].Words[i] = WriteValue(reg + i);
        TestSlots()[n].Pending = FlagOn;
    };
    fill(1, 6, 40021, 0, 1234);
    fill(2, 16, 40018, 3, 0);
    fill(3, 3, 40001, 35, 0);
    ASSERT_TRUE(driver.tickUntil([] { return TestSlots()[3].Pending == 0 && TestCommDebug().AckCount >= 3; }, 120));
    EXPECT_EQ(TestCommDebug().TxCount, 3) << "three slots, each answered at the first attempt";

    const QStringList w = serverWrites();
    EXPECT_EQ(w, (QStringList{QStringLiteral("40021 1234"), QStringLiteral("40018 236"),
                              QStringLiteral("40019 227"), QStringLiteral("40020 180")}));
    const TUpsData& d = Cabinet().UpsData[1];
    EXPECT_EQ(d.Para40021, 1234);
    EXPECT_EQ(d.Para40018, 236);
    EXPECT_EQ(d.Para40019, 227);
    EXPECT_EQ(d.Para40020, 180);
    EXPECT_EQ(d.Para40017, PeerStartValue(40017)) << "its neighbours untouched";
}

} // namespace
