// The cabinet scan over a pseudo-terminal against the simulated cabinet: what it finds, how it
// reads a garbled answer again, and that it leaves the port closed.
#include "comm/SPComm.h"
#include "comm/uCabinetScan.h"
#include "simharness/SimHarness.h"
#include "test_comm_pty.h"

#include <QSerialPort>
#include <QSignalSpy>
#include <QTemporaryFile>
#include <QTest>

#include <gtest/gtest.h>

using namespace simtest;

namespace {

constexpr int ScanWaitMs = 60000; // the machine is shared and runs under sanitizers

// True when nobody holds the device: the scan's port is closed (a serial port is opened for
// one user at a time).
bool deviceIsFree(const QString& path)
{
    QSerialPort probe(path);
    const bool free = probe.open(QIODevice::ReadWrite);
    probe.close();
    return free;
}

bool runToEnd(TCabinetScan& scan, const QString& port)
{
    QSignalSpy finished(&scan, &TCabinetScan::Finished);
    scan.Start(port);
    return finished.wait(ScanWaitMs) && !scan.Running();
}

struct FaultCase {
    const char* name;
    QStringList simArgs;   // besides the strict speed and address 5
    bool found;            // the cabinet at address 5 is listed
    bool versionRead;      // with its version text
    bool garbled;          // address 5 is reported as answering garbled frames
    int tries;             // requests sent to addresses 4, 5 and 6
};

class ScanFaults : public ::testing::TestWithParam<FaultCase> {};

// One speed, addresses 4 to 6, the cabinet at 5: every try of the scan is counted.
TEST_P(ScanFaults, AGarbledAnswerIsReadASecondTime)
{
    const FaultCase& c = GetParam();
    SimProcess sim;
    ASSERT_TRUE(sim.start(QStringList{"--strict-speed", "--baud", "19200", "--addresses", "5", "--no-drift"} +
                          c.simArgs));
    TCabinetScan scan;
    scan.SetSpeeds({19200});
    scan.SetAddresses(4, 6);
    // What is counted here is what the scan makes of each answer, not how quickly a busy
    // machine delivers it.
    scan.SetMarginMs(300);
    QSignalSpy garbled(&scan, &TCabinetScan::GarbledAnswer);
    ASSERT_TRUE(runToEnd(scan, sim.link()));

    EXPECT_EQ(scan.Tries(), c.tries) << sim.logLines().join('\n').toStdString();
    EXPECT_EQ(scan.Done(), scan.Total());
    ASSERT_EQ(scan.Found().size(), c.found ? 1 : 0);
    if (c.found) {
        const TScanFound& f = scan.Found().constFirst();
        EXPECT_EQ(f.Address, 5);
        EXPECT_EQ(f.Baud, 19200);
        EXPECT_EQ(f.Port, sim.link());
        EXPECT_EQ(f.Version, c.versionRead ? QStringLiteral("V3.10.0025") : QString());
        EXPECT_EQ(f.Identified, c.versionRead);
        if (c.versionRead) {
            EXPECT_EQ(f.Type, QStringLiteral("ZYR"));
            EXPECT_EQ(f.Rating, 50);
        }
    }
    ASSERT_EQ(scan.Garbled().size(), c.garbled ? 1 : 0);
    EXPECT_EQ(garbled.size(), c.garbled ? 1 : 0);
    if (c.garbled) EXPECT_EQ(scan.Garbled().constFirst().Address, 5);
    EXPECT_TRUE(deviceIsFree(sim.link())) << "the scan ends with the port closed";
}

INSTANTIATE_TEST_SUITE_P(
    Faults, ScanFaults,
    ::testing::Values(
        // 4 silent, 5 object 2 and object 1, 6 silent.
        FaultCase{"Clean", {}, true, true, false, 4},
        // The first answer has a bad CRC: a second read of object 2 gets it.
        FaultCase{"FirstCrcBad", {"--bad-crc", "1"}, true, true, false, 5},
        // Stray bytes before the first answer.
        FaultCase{"FirstNoisy", {"--noise", "1"}, true, true, false, 5},
        // The first answer names another address.
        FaultCase{"FirstWrongAddress", {"--wrong-address", "1"}, true, true, false, 5},
        // Every answer is spoiled: something is there, but nothing can be read.
        FaultCase{"AlwaysCrcBad", {"--bad-crc", "1.0"}, false, false, true, 4},
        // The type read gets no answer: the cabinet told its version, so it is asked again.
        FaultCase{"TypeLostOnce", {"--silent-object", "1"}, true, true, false, 5},
        // The cabinet refuses the request: it is there, with nothing to tell.
        FaultCase{"Refused", {"--exception", "1.0"}, true, false, false, 3}),
    [](const ::testing::TestParamInfo<FaultCase>& i) { return std::string(i.param.name); });

TEST(CabinetScan, AnAnswerComingLateIsTheCabinetAskedBefore)
{
    // At 1200 bit/s address 5 answers 305 ms late: after its own try, within the try of 6 (and
    // its type within the longer try of object 1). A busy machine may serve the answer before
    // the end of 5's own try; then the case is not shown and the scan runs again.
    const QStringList lateOrder{"04/02", "05/02", "06/02", "05/01", "06/02"};
    QStringList addresses;
    QString trace;
    for (int run = 0; run < 4 && addresses != lateOrder; ++run) {
        SimProcess sim;
        ASSERT_TRUE(sim.start({"--strict-speed", "--baud", "1200", "--addresses", "5", "--no-drift", "--late", "305"}));
        TCabinetScan scan;
        scan.SetSpeeds({1200});
        scan.SetAddresses(4, 6);
        QSignalSpy garbled(&scan, &TCabinetScan::GarbledAnswer);
        ASSERT_TRUE(runToEnd(scan, sim.link()));
        // Whenever the answer is served, it is 5's and nobody else's.
        ASSERT_EQ(scan.Found().size(), 1);
        EXPECT_EQ(scan.Found().constFirst().Address, 5);
        EXPECT_EQ(scan.Found().constFirst().Version, "V3.10.0025");
        EXPECT_TRUE(garbled.isEmpty());
        EXPECT_EQ(scan.Done(), scan.Total());
        // 4; 5 silent; 6 hears 5; 5's type; 6 asked again.
        const QStringList asked = sim.logLines().filter(" RX ");
        addresses.clear();
        for (const QString& line : asked) addresses << line.section(' ', 2, 2) + '/' + line.section(' ', 6, 6);
        trace += asked.join('\n') + "\n--\n";
    }
    EXPECT_EQ(addresses, lateOrder) << trace.toStdString();
}

TEST(CabinetScan, EveryTryWaitsItsWireTimeAndAMargin)
{
    // At 1200 bit/s a character takes 9.17 ms: the request, a ten-character version reply and
    // the 3.5 characters of silence, then the margin.
    EXPECT_NEAR(TCabinetScan::TryWindowMs(1200, TCabinetScan::VersionReplyBytes),
                (7 + 22 + 3.5) * 11000.0 / 1200 + TCabinetScan::MarginMs, 1e-9);
    EXPECT_EQ(TCabinetScan::DefaultSpeeds(), (QList<int>{19200, 9600, 4800, 2400, 1200}));
}

TEST(CabinetScan, SilentLineFindsNothingAndCountsEveryTry)
{
    TestPty line; // nobody answers on its far end
    ASSERT_TRUE(line.ok());
    TCabinetScan scan;
    scan.SetSpeeds({19200, 9600});
    scan.SetAddresses(1, 3);
    QSignalSpy progress(&scan, &TCabinetScan::Progress);
    ASSERT_TRUE(runToEnd(scan, line.slavePath()));
    EXPECT_TRUE(scan.Found().isEmpty());
    EXPECT_EQ(scan.Tries(), 6);
    EXPECT_EQ(scan.Done(), 6);
    // Six version requests, in order of speed and address.
    const QByteArray sent = line.receive(6 * TCabinetScan::RequestBytes);
    ASSERT_EQ(sent.size(), 6 * TCabinetScan::RequestBytes);
    for (int i = 0; i < 6; ++i) {
        const Bytes expected = identificationRequest(i % 3 + 1, 2);
        EXPECT_EQ(sent.mid(i * 7, 7), QByteArray(reinterpret_cast<const char*>(expected.data()), 7)) << i;
    }
    ASSERT_EQ(progress.size(), 7); // one per try, one at the end
    EXPECT_EQ(progress.at(3).at(2).toInt(), 9600);
    EXPECT_EQ(progress.at(3).at(3).toInt(), 1);
    EXPECT_EQ(progress.last().at(0).toInt(), 6);
    const double wire = 3 * (7 + 22) * (11000.0 / 19200 + 11000.0 / 9600);
    EXPECT_NEAR(scan.WaitedWireMs(), wire, 1e-6);
    EXPECT_TRUE(deviceIsFree(line.slavePath()));
}

TEST(CabinetScan, PortsThatCannotBeOpenedSayWhy)
{
    TestPty line;
    ASSERT_TRUE(line.ok());
    QSerialPort holder(line.slavePath()); // another program has the port
    ASSERT_TRUE(holder.open(QIODevice::ReadWrite));
    QTemporaryFile plain;
    ASSERT_TRUE(plain.open());

    const struct {
        QString port;
        const char* message;
        QString reason;
        bool permission;
    } cases[] = {
        {line.slavePath(), TComm::MsgOpenFailed, QStringLiteral("in use by another program"), false},
        {QStringLiteral("/nonexistent/ttyX"), TComm::MsgOpenFailed, QStringLiteral("No such file or directory"),
         false},
        {plain.fileName(), TComm::MsgNotCommHandle, QStringLiteral("not a character device"), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.port.toStdString());
        TCabinetScan scan;
        QSignalSpy finished(&scan, &TCabinetScan::Finished);
        try {
            scan.Start(c.port);
            ADD_FAILURE() << "opened";
        } catch (const ECommsError& e) {
            EXPECT_STREQ(e.what(), c.message);
            EXPECT_EQ(e.Port, c.port);
            EXPECT_TRUE(e.Reason.startsWith(c.reason)) << e.Reason.toStdString();
            EXPECT_EQ(e.PermissionDenied, c.permission);
        }
        EXPECT_FALSE(scan.Running());
        QTest::qWait(20);
        EXPECT_EQ(finished.size(), 0);
    }
}

TEST(CabinetScan, CancelStopsAtOnceAndClosesThePort)
{
    TestPty line;
    ASSERT_TRUE(line.ok());
    TCabinetScan scan;
    QSignalSpy finished(&scan, &TCabinetScan::Finished);
    scan.Start(line.slavePath());
    ASSERT_TRUE(QTest::qWaitFor([&] { return scan.Tries() >= 2; }, ScanWaitMs));
    scan.Cancel();
    ASSERT_EQ(finished.size(), 1);
    EXPECT_TRUE(finished.at(0).at(0).toBool());
    EXPECT_FALSE(scan.Running());
    EXPECT_LT(scan.Done(), scan.Total());
    EXPECT_TRUE(deviceIsFree(line.slavePath()));
    const int tries = scan.Tries();
    QTest::qWait(300);
    EXPECT_EQ(scan.Tries(), tries) << "nothing more is sent";
}

} // namespace
