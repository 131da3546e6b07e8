// mbpoll, Debian's Modbus master, reads and writes the simulated cabinet: what it gets must be
// what the cabinet holds, read again through the tests' own raw port.
#include "simharness/SimHarness.h"
#include "support/TestSupport.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

#include <map>

using namespace simtest;

namespace {

class PeerMbpoll : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetAll();
        ASSERT_TRUE(sim.start({QStringLiteral("--baud"), QStringLiteral("9600"), QStringLiteral("--no-drift"),
                               QStringLiteral("--addresses"), QStringLiteral("1,7")}));
    }

    // Runs mbpoll once (writing when values are given); returns register -> value as it printed them.
    std::map<int, int> mbpoll(QStringList args, int* exitCode = nullptr, const QStringList& writeValues = {})
    {
        args = QStringList{QStringLiteral("-m"),   QStringLiteral("rtu"), QStringLiteral("-b"),
                           QStringLiteral("9600"), QStringLiteral("-P"),  QStringLiteral("none"),
                           QStringLiteral("-s"),   QStringLiteral("2"),   QStringLiteral("-1"),
                           QStringLiteral("-o"),   QStringLiteral("3")} +
               args;
        args << sim.link() << writeValues;
        QProcess p;
        p.start(QStringLiteral(ZYR_MBPOLL), args);
        EXPECT_TRUE(p.waitForFinished(20000));
        if (exitCode) *exitCode = p.exitCode();
        std::map<int, int> values;
        static const QRegularExpression line(QStringLiteral("^\\[(\\d+)\\]:\\s+(-?\\d+)"),
                                             QRegularExpression::MultilineOption);
        auto it = line.globalMatch(QString::fromLatin1(p.readAllStandardOutput()));
        while (it.hasNext()) {
            const auto m = it.next();
            values[m.captured(1).toInt()] = m.captured(2).toInt();
        }
        return values;
    }

    // The same registers through the test's own port (the mbpoll run has closed its end).
    std::map<int, int> direct(int address, int function, int reg, int count)
    {
        RawPort port;
        EXPECT_TRUE(port.open(sim.link(), 9600));
        const Bytes reply = port.transact(readRequest(address, function, reg, count), 5u + 2u * count);
        EXPECT_TRUE(RefCrc::valid(reply));
        std::map<int, int> values;
        const std::vector<uint16_t> regs = registersOf(reply);
        for (size_t i = 0; i < regs.size(); ++i) values[reg + static_cast<int>(i)] = regs[i];
        return values;
    }

    SimProcess sim;
};

TEST_F(PeerMbpoll, ReadsInputRegistersTheCabinetHolds)
{
    // mbpoll numbers from 1 by default: reference 30001 travels as 30000, as the tool sends it.
    const std::map<int, int> got =
        mbpoll({QStringLiteral("-a"), QStringLiteral("1"), QStringLiteral("-t"), QStringLiteral("3"),
                QStringLiteral("-r"), QStringLiteral("30001"), QStringLiteral("-c"), QStringLiteral("44")});
    ASSERT_EQ(got.size(), 44u);
    EXPECT_EQ(got, direct(1, 4, 30001, 44));
    EXPECT_NEAR(got.at(30004), 500, 5);
    EXPECT_TRUE(sim.logLines().first().contains(QStringLiteral("RX 01 04 75 30 00 2C")))
        << "wire address 0x7530";
}

TEST_F(PeerMbpoll, ZeroBasedReferenceIsTheWireAddress)
{
    const std::map<int, int> zeroBased =
        mbpoll({QStringLiteral("-0"), QStringLiteral("-t"), QStringLiteral("3"), QStringLiteral("-r"),
                QStringLiteral("30081"), QStringLiteral("-c"), QStringLiteral("10")});
    ASSERT_EQ(zeroBased.size(), 10u);
    std::map<int, int> shifted;
    for (const auto& [reg, value] : zeroBased) shifted[reg + 1] = value;
    EXPECT_EQ(shifted, direct(1, 4, 30082, 10));
}

TEST_F(PeerMbpoll, ReadsHoldingRegistersOfEachAddress)
{
    for (int address : {1, 7}) {
        SCOPED_TRACE(address);
        const std::map<int, int> got = mbpoll(
            {QStringLiteral("-a"), QString::number(address), QStringLiteral("-t"), QStringLiteral("4"),
             QStringLiteral("-r"), QStringLiteral("40001"), QStringLiteral("-c"), QStringLiteral("35")});
        ASSERT_EQ(got.size(), 35u);
        EXPECT_EQ(got, direct(address, 3, 40001, 35));
        EXPECT_EQ(got.at(40002), address) << "parallel id follows the address";
    }
}

TEST_F(PeerMbpoll, WriteShowsInTheCabinet)
{
    int rc = -1;
    mbpoll({QStringLiteral("-t"), QStringLiteral("4"), QStringLiteral("-r"), QStringLiteral("40021")}, &rc,
           {QStringLiteral("321")});
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(direct(1, 3, 40021, 1).at(40021), 321);
    EXPECT_NE(direct(7, 3, 40021, 1).at(40021), 321);
    const std::map<int, int> back =
        mbpoll({QStringLiteral("-t"), QStringLiteral("4"), QStringLiteral("-r"), QStringLiteral("40021")});
    EXPECT_EQ(back.at(40021), 321);
}

TEST_F(PeerMbpoll, TooLongReadIsRefusedByException)
{
    int rc = 0;
    // mbpoll itself stops at 125; ask for a block that runs past the last register instead.
    const std::map<int, int> got =
        mbpoll({QStringLiteral("-0"), QStringLiteral("-t"), QStringLiteral("4"), QStringLiteral("-r"),
                QStringLiteral("65530"), QStringLiteral("-c"), QStringLiteral("10")},
               &rc);
    EXPECT_TRUE(got.empty());
    bool exception = false;
    for (const QString& line : sim.logLines())
        exception = exception || line.contains(QStringLiteral(" TX 01 83 02"));
    EXPECT_TRUE(exception);
}

} // namespace
