// The simulated cabinet as a Modbus RTU slave, seen from the wire: a raw termios port and a
// CRC of the test's own, reply by reply and byte by byte.
#include "simharness/SimHarness.h"
#include "support/TestSupport.h"

#include "model/uUpsInfo.h"

#include <gtest/gtest.h>

using namespace simtest;

namespace {

// First register of module m's block of 50.
int moduleFirst(int m) { return 30101 + 50 * (m - 1); }

class SimProtocol : public ::testing::Test {
protected:
    void SetUp() override { ResetAll(); }

    void launch(QStringList args = {})
    {
        args << QStringLiteral("--no-pacing") << QStringLiteral("--no-drift");
        ASSERT_TRUE(sim.start(args));
        ASSERT_TRUE(port.open(sim.link()));
    }

    std::vector<uint16_t> readRegs(int address, int function, int reg, int count)
    {
        const Bytes reply = port.transact(readRequest(address, function, reg, count), 5u + 2u * count);
        EXPECT_EQ(reply.size(), 5u + 2u * count);
        EXPECT_TRUE(RefCrc::valid(reply));
        return registersOf(reply);
    }

    // The running state the tool derives from the status words 30082..30091 of a reply.
    static uint8_t stateOf(const std::vector<uint16_t>& status)
    {
        TStatusBlock block;
        block.CmmStaH = status[0];
        block.CmmStaL = status[1];
        block.InvStaH = status[2];
        block.InvStaL = status[3];
        block.CmmAlmH = status[4];
        block.CmmAlmL = status[5];
        block.InvAlmH = status[6];
        block.InvAlmL = status[7];
        return DecodeState(block);
    }

    SimProcess sim;
    RawPort port;
};

TEST_F(SimProtocol, TestCrcMatchesKnownAnswer)
{
    const Bytes text{'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(RefCrc::of(text), 0x4B37);
    EXPECT_EQ(HexLine(readRequest(1, 4, 30001, 44).data(), 8), QStringLiteral("01 04 75 30 00 2C EB D4"));
}

TEST_F(SimProtocol, InputRegisterReplyIsWellFormedAndPlausible)
{
    launch();
    const Bytes reply = port.transact(readRequest(1, 4, 30001, 44), 93);
    ASSERT_EQ(reply.size(), 93u);
    EXPECT_EQ(reply[0], 1);
    EXPECT_EQ(reply[1], 4);
    EXPECT_EQ(reply[2], 88);
    EXPECT_TRUE(RefCrc::valid(reply));
    const std::vector<uint16_t> v = registersOf(reply);
    for (int phase = 0; phase < 3; ++phase) {
        EXPECT_GE(v[phase], 2100) << "input voltage of a 230 V line, in 0.1 V";
        EXPECT_LE(v[phase], 2500);
        EXPECT_GE(v[10 + phase], 2100) << "output voltage";
        EXPECT_LE(v[10 + phase], 2500);
        EXPECT_LE(v[20 + phase], 1000) << "load in 0.1 %";
    }
    EXPECT_NEAR(v[3], 500, 5) << "input frequency 50.0 Hz";
    EXPECT_NEAR(v[13], 500, 5) << "output frequency";
}

TEST_F(SimProtocol, StatusWordsSayOnlineByDefault)
{
    launch({QStringLiteral("--modules"), QStringLiteral("3")});
    EXPECT_EQ(stateOf(readRegs(1, 4, 30082, 10)), 4);
    // Modules present carry the same state; an absent one reads zeros, which says no link.
    const int module2 = moduleFirst(2);
    EXPECT_EQ(stateOf(readRegs(1, 4, module2 + 11, 8)), 4);
    const std::vector<uint16_t> absent = readRegs(1, 4, moduleFirst(4), 35);
    for (uint16_t word : absent) EXPECT_EQ(word, 0);
}

TEST_F(SimProtocol, StateOptionGivesEveryRunningState)
{
    for (int state : {1, 2, 3, 4, 5, 6, 7, 9, 10, 11, 15}) {
        SCOPED_TRACE(state);
        SimProcess one;
        ASSERT_TRUE(
            one.start({QStringLiteral("--no-pacing"), QStringLiteral("--state"), QString::number(state)}));
        RawPort line;
        ASSERT_TRUE(line.open(one.link()));
        const Bytes reply = line.transact(readRequest(1, 4, 30082, 10), 25);
        ASSERT_EQ(reply.size(), 25u);
        EXPECT_EQ(stateOf(registersOf(reply)), state);
        const Bytes module = line.transact(readRequest(1, 4, moduleFirst(1) + 11, 8), 21);
        ASSERT_EQ(module.size(), 21u);
        EXPECT_EQ(stateOf(registersOf(module)), state);
    }
}

TEST_F(SimProtocol, UnknownStateIsRefused)
{
    QProcess p;
    p.start(QStringLiteral(ZYR_CABINET_SIM), {QStringLiteral("--pty"), sim.dirPath() + QStringLiteral("/x"),
                                              QStringLiteral("--state"), QStringLiteral("8")});
    ASSERT_TRUE(p.waitForFinished(10000));
    EXPECT_EQ(p.exitCode(), 2);
    EXPECT_FALSE(QFileInfo::exists(sim.dirPath() + QStringLiteral("/x")));
}

TEST_F(SimProtocol, HelpListsTheOptions)
{
    QProcess p;
    p.start(QStringLiteral(ZYR_CABINET_SIM), {QStringLiteral("--help")});
    ASSERT_TRUE(p.waitForFinished(10000));
    EXPECT_EQ(p.exitCode(), 0);
    const QString text = QString::fromLatin1(p.readAllStandardOutput());
    for (const char* option : {"--pty", "--device", "--baud", "--no-pacing", "--addresses", "--state",
                               "--modules", "--records", "--drop", "--bad-crc", "--wrong-address", "--split",
                               "--late", "--noise", "--exception", "--seed", "--log", "--strict-speed"})
        EXPECT_TRUE(text.contains(QLatin1String(option))) << option;
}

TEST_F(SimProtocol, HoldingAndConfigurationRegistersHaveSensibleValues)
{
    launch({QStringLiteral("--records"), QStringLiteral("37")});
    const std::vector<uint16_t> para = readRegs(1, 3, 40001, 35);
    EXPECT_EQ(para[1], 1) << "parallel id of address 1";
    EXPECT_GE(para[2], 1);
    EXPECT_LE(para[2], 32);
    EXPECT_TRUE(para[4] == 220 || para[4] == 230 || para[4] == 240);
    EXPECT_TRUE(para[5] == 50 || para[5] == 60);
    EXPECT_GE(para[17], 230);
    EXPECT_LE(para[17], 240);
    const std::vector<uint16_t> counters = readRegs(1, 3, 40051, 4);
    EXPECT_EQ(counters[2] << 16 | counters[3], 37) << "records held";
    EXPECT_GE(counters[0] << 16 | counters[1], 37) << "capacity";
    const std::vector<uint16_t> text = readRegs(1, 3, 53000, 30);
    for (int i = 0; i < 30; ++i)
        if (i < 15 || i >= 20)
            EXPECT_TRUE(text[i] >= 0x20 && text[i] < 0x7F)
                << "one printable character per register, " << 53000 + i;
    const std::vector<uint16_t> runtime = readRegs(1, 3, 51051, 2);
    EXPECT_GT(runtime[0], 0);
    EXPECT_EQ(runtime[1], readRegs(1, 4, 30043, 1)[0]) << "hours run, the same in both places";
    EXPECT_EQ(readRegs(1, 3, 54102, 1)[0], 64);
    EXPECT_EQ(readRegs(1, 4, 60000, 3), (std::vector<uint16_t>{0, 0, 0})) << "unmodelled registers read 0";
}

TEST_F(SimProtocol, FunctionsThreeAndFourReadTheSameImage)
{
    launch();
    EXPECT_EQ(readRegs(1, 3, 30001, 20), readRegs(1, 4, 30001, 20));
    EXPECT_EQ(readRegs(1, 4, 40081, 11), readRegs(1, 3, 40081, 11));
}

TEST_F(SimProtocol, WritesShowOnReadBack)
{
    launch();
    const Bytes single = writeSingleRequest(1, 40017, 3);
    EXPECT_EQ(port.transact(single, 8), single) << "function 6 echoes the request";
    EXPECT_EQ(readRegs(1, 3, 40017, 1), std::vector<uint16_t>{3});

    const Bytes multiple = writeMultipleRequest(1, 53000, {'A', 'C', 'M', 'E'});
    const Bytes echo = port.transact(multiple, 8);
    ASSERT_EQ(echo.size(), 8u);
    EXPECT_TRUE(RefCrc::valid(echo));
    EXPECT_EQ(Bytes(echo.begin(), echo.begin() + 6), Bytes(multiple.begin(), multiple.begin() + 6));
    EXPECT_EQ(readRegs(1, 4, 53000, 4), (std::vector<uint16_t>{'A', 'C', 'M', 'E'}));
}

TEST_F(SimProtocol, ExceptionsForUnsupportedRequests)
{
    launch();
    struct Case {
        const char* what;
        Bytes request;
        Bytes reply;
    };
    const Case cases[] = {
        {"function 5", withCrc({1, 5, 0, 0, 0xFF, 0}), withCrc({1, 0x85, 1})},
        {"function 1", withCrc({1, 1, 0, 0, 0, 8}), withCrc({1, 0x81, 1})},
        {"function 0x41, length unknown", withCrc({1, 0x41, 0x12}), withCrc({1, 0xC1, 1})},
        {"126 registers", readRequest(1, 4, 30001, 126), withCrc({1, 0x84, 3})},
        {"no register", readRequest(1, 3, 40001, 0), withCrc({1, 0x83, 3})},
        {"past the end", readRequest(1, 3, 65530, 10), withCrc({1, 0x83, 2})},
        {"record 0", recordRequest(1, 0), withCrc({1, 0x94, 2})},
        {"record 51", recordRequest(1, 51), withCrc({1, 0x94, 2})},
        {"identification object 3 alone", withCrc({1, 0x2B, 0x0E, 0x04, 0x03}), withCrc({1, 0xAB, 2})},
    };
    for (const Case& c : cases) EXPECT_EQ(port.transact(c.request, c.reply.size()), c.reply) << c.what;
    EXPECT_EQ(readRegs(1, 4, 30001, 125).size(), 125u) << "125 registers is still one read";
}

TEST_F(SimProtocol, EventRecordLayout)
{
    launch({QStringLiteral("--records"), QStringLiteral("12")});
    for (int n : {1, 5, 12}) {
        SCOPED_TRACE(n);
        const Bytes r = port.transact(recordRequest(1, n), 71);
        ASSERT_EQ(r.size(), 71u);
        EXPECT_TRUE(RefCrc::valid(r));
        EXPECT_EQ(r[0], 1);
        EXPECT_EQ(r[1], 20);
        EXPECT_EQ(r[2], 66) << "response data length";
        EXPECT_EQ(r[3], 65) << "file response length";
        EXPECT_EQ(r[4], 6) << "reference type";
        EXPECT_EQ(wordAt(r, 5), n);
        auto bcd = [&](size_t at) {
            EXPECT_LE(r[at] >> 4, 9);
            EXPECT_LE(r[at] & 0x0F, 9);
            return (r[at] >> 4) * 10 + (r[at] & 0x0F);
        };
        EXPECT_GE(bcd(7), 20);
        const int month = bcd(8), day = bcd(9);
        EXPECT_TRUE(month >= 1 && month <= 12);
        EXPECT_TRUE(day >= 1 && day <= 31);
        EXPECT_LE(bcd(10), 23);
        EXPECT_LE(bcd(11), 59);
        EXPECT_LE(bcd(12), 59);
        // The state byte agrees with the status words the record carries in wire order:
        // common state, a spare word, inverter state high and low, then the alarm words.
        TStatusBlock block;
        block.CmmStaL = wordAt(r, 17) & 0x8000;
        block.CmmStaH = wordAt(r, 17) & 0x7FFF;
        block.InvStaH = wordAt(r, 21);
        block.InvStaL = wordAt(r, 23);
        block.CmmAlmH = wordAt(r, 25);
        block.CmmAlmL = wordAt(r, 27);
        block.InvAlmH = wordAt(r, 29);
        block.InvAlmL = wordAt(r, 31);
        EXPECT_EQ(DecodeState(block), r[13]);
        EXPECT_GE(r[15], 1) << "event code";
        EXPECT_LE(r[15], 56);
        EXPECT_NEAR(wordAt(r, 37), 2300, 100) << "input voltage A";
        EXPECT_NEAR(wordAt(r, 43), 500, 5) << "input frequency";
        const uint16_t temperature = wordAt(r, 67);
        if (r[14] != 0)
            EXPECT_NEAR(temperature / 10, 35, 10) << "a module's temperature in tenths";
        else
            EXPECT_NEAR(temperature, 35, 10) << "whole degrees";
    }
    // Records are in time order.
    const Bytes first = port.transact(recordRequest(1, 1), 71);
    const Bytes last = port.transact(recordRequest(1, 12), 71);
    EXPECT_LT(Bytes(first.begin() + 7, first.begin() + 13), Bytes(last.begin() + 7, last.begin() + 13));
}

TEST_F(SimProtocol, EraseNeedsTheWriteEnableCommand)
{
    launch();
    EXPECT_EQ(readRegs(1, 3, 40054, 1)[0], 50);
    port.transact(writeSingleRequest(1, 40054, 0), 8);
    EXPECT_EQ(readRegs(1, 3, 40054, 1)[0], 50) << "no erase without the write-enable command";
    EXPECT_EQ(port.transact(recordRequest(1, 50), 71).size(), 71u);

    port.transact(writeSingleRequest(1, 50000, 10), 8);
    EXPECT_EQ(port.transact(writeSingleRequest(1, 40054, 0), 8), writeSingleRequest(1, 40054, 0));
    EXPECT_EQ(readRegs(1, 3, 40053, 2), (std::vector<uint16_t>{0, 0}));
    EXPECT_EQ(port.transact(recordRequest(1, 1), 5), withCrc({1, 0x94, 2}));
}

TEST_F(SimProtocol, IdentificationObjects)
{
    launch();
    const Bytes one = port.transact(identificationRequest(1, 1), 512, 5000);
    ASSERT_GE(one.size(), 18u);
    EXPECT_TRUE(RefCrc::valid(one));
    EXPECT_EQ(Bytes(one.begin(), one.begin() + 4), (Bytes{1, 0x2B, 0x0E, 0x01}));
    EXPECT_EQ(one[8], 1) << "first object is the one asked for";
    EXPECT_EQ(one[9], 6);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(&one[10]), 3), QByteArray("ZYR"));
    EXPECT_GT(wordAt(one, 14), 0) << "module rating";

    const Bytes two = port.transact(identificationRequest(1, 2), 512, 5000);
    ASSERT_GE(two.size(), 22u);
    EXPECT_TRUE(RefCrc::valid(two));
    EXPECT_EQ(two[7], 1) << "one object";
    EXPECT_EQ(two[8], 2);
    EXPECT_EQ(two[9], 10);
    for (int i = 10; i < 20; ++i) EXPECT_TRUE(two[i] >= 0x20 && two[i] < 0x7F);
}

TEST_F(SimProtocol, StrictSpeedAnswersOnlyWhileTheLineIsAtItsOwnSpeed)
{
    ASSERT_TRUE(sim.start({"--strict-speed", "--baud", "9600", "--no-pacing", "--no-drift"}));
    // The same request at three speeds, the line set by this end as the tool would set it.
    for (const int baud : {2400, 9600, 19200}) {
        SCOPED_TRACE(baud);
        RawPort line;
        ASSERT_TRUE(line.open(sim.link(), baud));
        const Bytes reply = line.transact(identificationRequest(1, 2), 22, baud == 9600 ? 5000 : 600);
        if (baud == 9600) {
            EXPECT_EQ(reply.size(), 22u);
            EXPECT_TRUE(RefCrc::valid(reply));
        } else {
            EXPECT_TRUE(reply.empty());
        }
    }
    const QStringList log = sim.logLines();
    EXPECT_GE(log.filter(QStringLiteral("NOISE")).size(), 2) << log.join('\n').toStdString();
    EXPECT_EQ(log.filter(QStringLiteral("RX")).size(), 1);
}

TEST_F(SimProtocol, EachAddressHasItsOwnImage)
{
    launch({QStringLiteral("--addresses"), QStringLiteral("1,3")});
    EXPECT_EQ(readRegs(3, 3, 40002, 1)[0], 3);
    port.transact(writeSingleRequest(1, 40021, 777), 8);
    EXPECT_EQ(readRegs(1, 3, 40021, 1)[0], 777);
    EXPECT_NE(readRegs(3, 3, 40021, 1)[0], 777);
    EXPECT_NE(readRegs(1, 4, 30001, 1), readRegs(3, 4, 30001, 1));
    EXPECT_TRUE(port.transact(readRequest(2, 4, 30001, 1), 7, 600).empty()) << "address 2 is nobody";
    // A broadcast write reaches every image and gets no reply.
    EXPECT_TRUE(port.transact(writeSingleRequest(0, 40025, 45), 8, 600).empty());
    EXPECT_EQ(readRegs(1, 3, 40025, 1)[0], 45);
    EXPECT_EQ(readRegs(3, 3, 40025, 1)[0], 45);
}

TEST_F(SimProtocol, FramingCopesWithBackToBackSplitAndStrayBytes)
{
    launch();
    const Bytes a = readRequest(1, 4, 30004, 1);
    const Bytes b = readRequest(1, 3, 40002, 1);
    Bytes both = a;
    both.insert(both.end(), b.begin(), b.end());
    const Bytes replies = port.transact(both, 14);
    ASSERT_EQ(replies.size(), 14u);
    EXPECT_TRUE(RefCrc::valid(Bytes(replies.begin(), replies.begin() + 7)));
    EXPECT_EQ(replies[8], 3);
    EXPECT_EQ(wordAt(replies, 10), 1);

    Bytes noisy{0xFF, 0x13, 0x00};
    noisy.insert(noisy.end(), b.begin(), b.end());
    const Bytes afterNoise = port.transact(noisy, 7);
    ASSERT_EQ(afterNoise.size(), 7u);
    EXPECT_EQ(wordAt(afterNoise, 3), 1);

    ASSERT_TRUE(port.write(Bytes(b.begin(), b.begin() + 3)));
    QThread::msleep(2);
    const Bytes rest = port.transact(Bytes(b.begin() + 3, b.end()), 7);
    ASSERT_EQ(rest.size(), 7u);
    EXPECT_TRUE(RefCrc::valid(rest));

    Bytes corrupt = b;
    corrupt[3] ^= 0x01;
    EXPECT_TRUE(port.transact(corrupt, 7, 600).empty()) << "a request with a bad CRC is not answered";
    EXPECT_EQ(port.transact(b, 7).size(), 7u) << "and the next good one is";
}

TEST_F(SimProtocol, LogAndCleanStopOnEitherSignal)
{
    for (int signal : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(signal);
        SimProcess one;
        ASSERT_TRUE(one.start({QStringLiteral("--no-pacing")}));
        RawPort line;
        ASSERT_TRUE(line.open(one.link()));
        const Bytes request = readRequest(1, 4, 30001, 2);
        const Bytes reply = line.transact(request, 9);
        ASSERT_EQ(reply.size(), 9u);
        line.close();
        EXPECT_TRUE(one.stop(signal));
        EXPECT_FALSE(QFileInfo(one.link()).isSymLink()) << "the link is removed";
        const QStringList lines = one.logLines();
        ASSERT_EQ(lines.size(), 2);
        EXPECT_TRUE(lines[0].contains(QStringLiteral(" RX ") + HexLine(request.data(), 8)));
        EXPECT_TRUE(lines[1].contains(QStringLiteral(" TX ") + HexLine(reply.data(), 9)));
    }
}

// --device serves a line that already exists: here the slave side of a pseudo-terminal the
// test holds, talking through its master side.
TEST_F(SimProtocol, ServesAnExistingDevice)
{
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const QString slave = QString::fromLocal8Bit(ptsname(master));
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start(QStringLiteral(ZYR_CABINET_SIM),
            {QStringLiteral("--device"), slave, QStringLiteral("--no-pacing")});
    ASSERT_TRUE(p.waitForStarted(10000));
    ASSERT_TRUE(p.waitForReadyRead(10000)) << "the cabinet says when it is ready";
    const Bytes request = readRequest(1, 3, 40002, 1);
    ASSERT_EQ(::write(master, request.data(), request.size()), static_cast<ssize_t>(request.size()));
    Bytes reply;
    QElapsedTimer clock;
    clock.start();
    while (reply.size() < 7 && clock.elapsed() < 5000) {
        pollfd pfd{master, POLLIN, 0};
        if (::poll(&pfd, 1, 100) > 0) {
            uint8_t buffer[64];
            const ssize_t n = ::read(master, buffer, sizeof buffer);
            if (n > 0) reply.insert(reply.end(), buffer, buffer + n);
        }
    }
    EXPECT_EQ(reply, withCrc({1, 3, 2, 0, 1}));
    ::kill(static_cast<pid_t>(p.processId()), SIGTERM);
    EXPECT_TRUE(p.waitForFinished(10000));
    EXPECT_EQ(p.exitCode(), 0);
    ::close(master);
}

TEST_F(SimProtocol, PacedRepliesArriveWhole)
{
    launch({QStringLiteral("--baud"), QStringLiteral("19200")});
    SimProcess paced;
    ASSERT_TRUE(
        paced.start({QStringLiteral("--baud"), QStringLiteral("19200"), QStringLiteral("--no-drift")}));
    RawPort line;
    ASSERT_TRUE(line.open(paced.link(), 19200));
    const Bytes reply = line.transact(readRequest(1, 4, 30001, 44), 93);
    EXPECT_EQ(reply.size(), 93u);
    EXPECT_TRUE(RefCrc::valid(reply));
    EXPECT_EQ(registersOf(reply), readRegs(1, 4, 30001, 44)) << "paced or not, the same image";
}

TEST_F(SimProtocol, ValuesDriftSlowly)
{
    ASSERT_TRUE(sim.start({QStringLiteral("--no-pacing"), QStringLiteral("--seed"), QStringLiteral("3")}));
    ASSERT_TRUE(port.open(sim.link()));
    const std::vector<uint16_t> before = readRegs(1, 4, 30001, 3);
    std::vector<uint16_t> after = before;
    QElapsedTimer clock;
    clock.start();
    while (after == before && clock.elapsed() < 10000) {
        QThread::msleep(250);
        after = readRegs(1, 4, 30001, 3);
    }
    EXPECT_NE(after, before);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(after[i], before[i], 40);
}

} // namespace
