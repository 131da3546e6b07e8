// The serial-port component over a pseudo-terminal: the test plays the cabinet on the
// master side, TComm opens the slave side as it would open a serial adapter.
#include "comm/SPComm.h"
#include "support/TestSupport.h"
#include "test_comm_pty.h"

#include <QByteArray>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

QByteArray pattern(int size)
{
    QByteArray out(size, 0);
    for (int i = 0; i < size; ++i) out[i] = char((i * 7 + 1) % 251);
    return out;
}

class CommPortTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetAll();
        ASSERT_TRUE(pty.ok()) << "no pseudo-terminal available";
        comm.SetCommName(pty.slavePath());
        // As the link form sets the line for the cabinets: no software flow control (the
        // replies carry 0x11 and 0x13 as data) and two stop bits.
        comm.SetInx_XonXoffFlow(false);
        comm.SetOutx_XonXoffFlow(false);
        comm.SetStopBits(TStopBits::_2);
        comm.SetBaudRate(2400);
        comm.SetReadIntervalTimeout(200);
        comm.OnReceiveData = [this](TComm* sender, const uint8_t* buffer, uint16_t length) {
            EXPECT_EQ(sender, &comm);
            chunks.push_back(QByteArray(reinterpret_cast<const char*>(buffer), length));
        };
        comm.OnRequestHangup = [this](TComm*) { ++hangups; };
    }
    void TearDown() override { comm.CloseComm(); }

    void openOrFail()
    {
        try {
            comm.OpenComm();
        } catch (const ECommsError& e) {
            FAIL() << "OpenComm failed: " << e.what();
        }
        ASSERT_TRUE(comm.IsOpen());
    }

    // Collects chunks in a plain event loop, as the tool runs (a waiting helper that sleeps
    // between looks would itself gather the bytes), until quietMs pass after a chunk, so that
    // anything split off it still arrives; WaitMs at the most.
    void collectChunksUntilQuiet(int quietMs)
    {
        QEventLoop loop;
        QTimer::singleShot(WaitMs, &loop, &QEventLoop::quit);
        comm.OnReceiveData = [&](TComm*, const uint8_t* buffer, uint16_t length) {
            chunks.push_back(QByteArray(reinterpret_cast<const char*>(buffer), length));
            QTimer::singleShot(quietMs, &loop, &QEventLoop::quit);
        };
        loop.exec();
        // The loop is gone: later chunks are only collected.
        comm.OnReceiveData = [this](TComm*, const uint8_t* buffer, uint16_t length) {
            chunks.push_back(QByteArray(reinterpret_cast<const char*>(buffer), length));
        };
    }

    bool waitForBytes(int total)
    {
        return QTest::qWaitFor(
            [&] {
                qsizetype got = 0;
                for (const QByteArray& c : chunks) got += c.size();
                return got >= total;
            },
            WaitMs);
    }

    TestPty pty;
    TComm comm;
    std::vector<QByteArray> chunks;
    int hangups = 0;
};

TEST(CommDefaults, PublishedPropertiesStartAtTheComponentDefaults)
{
    TComm c;
    EXPECT_EQ(c.CommName(), QStringLiteral("COM2"));
    EXPECT_EQ(c.BaudRate(), 9600u);
    EXPECT_FALSE(c.ParityCheck());
    EXPECT_FALSE(c.Outx_CtsFlow());
    EXPECT_FALSE(c.Outx_DsrFlow());
    EXPECT_EQ(c.DtrControl(), TDtrControl::DtrEnable);
    EXPECT_FALSE(c.DsrSensitivity());
    EXPECT_TRUE(c.TxContinueOnXoff());
    EXPECT_TRUE(c.Outx_XonXoffFlow());
    EXPECT_TRUE(c.Inx_XonXoffFlow());
    EXPECT_FALSE(c.ReplaceWhenParityError());
    EXPECT_FALSE(c.IgnoreNullChar());
    EXPECT_EQ(c.RtsControl(), TRtsControl::RtsEnable);
    EXPECT_EQ(c.XonLimit(), 500);
    EXPECT_EQ(c.XoffLimit(), 500);
    EXPECT_EQ(c.ByteSize(), TByteSize::_8);
    EXPECT_EQ(c.Parity(), TParity::None);
    EXPECT_EQ(c.StopBits(), TStopBits::_1);
    EXPECT_EQ(c.XonChar(), 17);
    EXPECT_EQ(c.XoffChar(), 19);
    EXPECT_EQ(c.ReplacedChar(), 0);
    EXPECT_EQ(c.ReadIntervalTimeout(), 100u);
    EXPECT_EQ(c.ReadTotalTimeoutMultiplier(), 0u);
    EXPECT_EQ(c.ReadTotalTimeoutConstant(), 0u);
    EXPECT_EQ(c.WriteTotalTimeoutMultiplier(), 0u);
    EXPECT_EQ(c.WriteTotalTimeoutConstant(), 0u);
    EXPECT_FALSE(c.IsOpen());
    EXPECT_EQ(c.Handle(), -1);
    EXPECT_TRUE(c.SendQueueEmpty());
}

TEST(CommDefaults, CloseOnAClosedPortDoesNothing)
{
    TComm c;
    c.CloseComm();
    c.CloseComm();
    EXPECT_FALSE(c.IsOpen());
    const uint8_t byte = 1;
    EXPECT_FALSE(c.WriteComm(&byte, 1));
}

TEST(CommDefaults, BareNamesLiveUnderDevAndPathsAreTakenAsGiven)
{
    EXPECT_EQ(TComm::SystemLocation("ttyUSB0"), QStringLiteral("/dev/ttyUSB0"));
    EXPECT_EQ(TComm::SystemLocation("/dev/ttyS3"), QStringLiteral("/dev/ttyS3"));
    EXPECT_EQ(TComm::SystemLocation("/tmp/x/cabinet"), QStringLiteral("/tmp/x/cabinet"));
}

TEST_F(CommPortTest, OneReplyFollowedBySilenceArrivesAsOneChunk)
{
    openOrFail();
    const QByteArray reply = QByteArray::fromHex("0106c34f000a045e");
    ASSERT_TRUE(pty.send(reply));
    ASSERT_TRUE(waitForBytes(reply.size()));
    // Anything split off the reply would follow within the silence; give it the time.
    QTest::qWait(500);
    ASSERT_EQ(chunks.size(), 1u);
    EXPECT_EQ(chunks[0], reply);
}

TEST_F(CommPortTest, TwoRepliesCloserThanTheSilenceArriveTogether)
{
    // The silence is lengthened while the port is open, which must take effect at once: the
    // pause between the replies is longer than the 200 ms the port opened with. The long
    // silence also keeps the shared machine's scheduling out of the result. The event loop
    // runs during the pause, so the first reply is read before the second comes.
    openOrFail();
    comm.SetReadIntervalTimeout(2000);
    const QByteArray first = QByteArray::fromHex("010400020001");
    const QByteArray second = QByteArray::fromHex("0104000300023344");
    ASSERT_TRUE(pty.send(first));
    QTest::qWait(400);
    ASSERT_TRUE(pty.send(second));
    EXPECT_TRUE(chunks.empty());
    ASSERT_TRUE(waitForBytes(first.size() + second.size()));
    QTest::qWait(300);
    ASSERT_EQ(chunks.size(), 1u);
    EXPECT_EQ(chunks[0], first + second);
}

TEST_F(CommPortTest, SilenceEndsAChunk)
{
    openOrFail();
    const QByteArray first = QByteArray::fromHex("0103020001");
    const QByteArray second = QByteArray::fromHex("0103020002");
    ASSERT_TRUE(pty.send(first));
    ASSERT_TRUE(waitForBytes(first.size()));
    ASSERT_TRUE(pty.send(second));
    ASSERT_TRUE(waitForBytes(first.size() + second.size()));
    ASSERT_EQ(chunks.size(), 2u);
    EXPECT_EQ(chunks[0], first);
    EXPECT_EQ(chunks[1], second);
}

TEST_F(CommPortTest, AStreamWithoutPauseArrivesIn2048ByteChunks)
{
    openOrFail();
    const QByteArray stream = pattern(5000);
    ASSERT_TRUE(pty.send(stream));
    ASSERT_TRUE(waitForBytes(stream.size()));
    ASSERT_EQ(chunks.size(), 3u);
    EXPECT_EQ(chunks[0].size(), 2048);
    EXPECT_EQ(chunks[1].size(), 2048);
    EXPECT_EQ(chunks[2].size(), 5000 - 2 * 2048);
    EXPECT_EQ(chunks[0] + chunks[1] + chunks[2], stream);
}

// A reply that trickles in a few bytes at a time, as a cabinet paces it on a fast line, is
// delivered whole after the silence, and the port is not woken for every byte of it.
TEST_F(CommPortTest, AReplyTricklingInArrivesWholeWithoutAWakeUpPerByte)
{
    for (const uint32_t baud : {19200u, 115200u}) {
        SCOPED_TRACE(baud);
        chunks.clear();
        comm.SetBaudRate(baud);
        // A long silence keeps the shared machine's scheduling out of the result.
        comm.SetReadIntervalTimeout(1000);
        openOrFail();
        const QByteArray reply = pattern(400);
        const quint64 before = comm.Wakeups();
        // Four bytes a millisecond from a thread of its own, as a paced line brings them.
        constexpr int Step = 4;
        std::atomic<int> writes{0};
        std::thread writer([&] {
            for (qsizetype sent = 0; sent < reply.size();) {
                const ssize_t n = ::write(pty.masterFd(), reply.constData() + sent, Step);
                if (n > 0) {
                    sent += n;
                    ++writes;
                } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
                    return;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        });
        collectChunksUntilQuiet(300);
        writer.join();
        ASSERT_EQ(chunks.size(), 1u) << "the reply was split";
        EXPECT_EQ(chunks[0], reply);
        EXPECT_LT(comm.Wakeups() - before, quint64(writes)) << "woken for every write of the line";
        comm.CloseComm();
    }
}

// On a slow line, a reply whose length the request tells is slept through, at the defined pace
// and in line-speed mode: at 2400 bit/s its bytes come 4.6 ms apart, and the port is not woken
// for each of them.
TEST_F(CommPortTest, AReplyOfKnownLengthOnASlowLineIsSleptThrough)
{
    const std::vector<uint8_t> request = WithCrc(HexBytes("01 04 75 30 00 23"));
    std::vector<uint8_t> body = HexBytes("01 04 46");
    for (int i = 0; i < 70; ++i) body.push_back(uint8_t(i * 3));
    const std::vector<uint8_t> reply = WithCrc(body);
    for (const bool fast : {false, true}) {
        SCOPED_TRACE(fast ? "line-speed mode" : "defined pace");
        chunks.clear();
        comm.SetBaudRate(2400);
        comm.SetFastLine(fast);
        openOrFail();
        ASSERT_TRUE(comm.WriteComm(request.data(), int(request.size())));
        ASSERT_EQ(pty.receive(8).size(), 8);
        const quint64 before = comm.Wakeups();
        std::thread writer([&] {
            for (const uint8_t byte : reply) {
                while (::write(pty.masterFd(), &byte, 1) < 0 && (errno == EAGAIN || errno == EINTR)) {
                }
                std::this_thread::sleep_for(std::chrono::microseconds(4583)); // a character at 2400 bit/s
            }
        });
        collectChunksUntilQuiet(400);
        writer.join();
        ASSERT_EQ(chunks.size(), 1u) << "the reply was split";
        EXPECT_EQ(chunks[0], QByteArray(reinterpret_cast<const char*>(reply.data()), int(reply.size())));
        // The first bytes, a sleep or two, the silence or the frame's end: nowhere near 75.
        EXPECT_LT(comm.Wakeups() - before, quint64(25)) << "woken for the bytes of a " << reply.size() << "-byte reply";
        comm.CloseComm();
    }
}

// On a line-speed link a request waits for the inter-frame gap after the last byte received;
// the port sleeps through that gap instead of looking at the device again and again.
TEST_F(CommPortTest, ARequestWaitingForTheGapDoesNotSpin)
{
    comm.SetBaudRate(1200); // a gap of 32 ms: a spinning wait would wake thousands of times
    comm.SetFastLine(true);
    openOrFail();
    const uint8_t frame[] = {0x01, 0x04, 0x75, 0x30, 0x00, 0x2C, 0xEB, 0xD4};
    for (int round = 0; round < 3; ++round) {
        ASSERT_TRUE(pty.send(QByteArray("\x01", 1)));
        // The byte is taken in; the request then falls inside the gap that follows it.
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        const quint64 before = comm.Wakeups();
        ASSERT_TRUE(comm.WriteComm(frame, 8));
        ASSERT_EQ(pty.receive(8), QByteArray(reinterpret_cast<const char*>(frame), 8));
        EXPECT_LT(comm.Wakeups() - before, quint64(20)) << "round " << round;
        QTest::qWait(100); // the byte's chunk ends by silence
    }
}

TEST_F(CommPortTest, WrittenBytesReachTheLineAndAnEmptyWriteSendsNothing)
{
    const uint8_t frame[] = {0x01, 0x04, 0x75, 0x30, 0x00, 0x2C, 0xEB, 0xD4};
    EXPECT_FALSE(comm.WriteComm(frame, 8)); // closed
    openOrFail();
    EXPECT_FALSE(comm.WriteComm(frame, 0));
    EXPECT_FALSE(comm.WriteComm(nullptr, 8));
    EXPECT_TRUE(comm.SendQueueEmpty());
    ASSERT_TRUE(comm.WriteComm(frame, 8));
    // Only the one real frame may come out: the refused writes added nothing before it.
    const QByteArray got = pty.receive(8);
    EXPECT_EQ(got, QByteArray(reinterpret_cast<const char*>(frame), 8));
    EXPECT_TRUE(QTest::qWaitFor([&] { return comm.SendQueueEmpty(); }, WaitMs));
}

// A write that went out is told to OnSendDataEmpty, once, when it was set before the port
// opened. Without it the queue still reads empty, and nothing is posted to this thread.
TEST_F(CommPortTest, AWriteThatWentOutIsToldOnlyToAListener)
{
    const uint8_t frame[] = {0x01, 0x04, 0x75, 0x30, 0x00, 0x2C, 0xEB, 0xD4};
    for (const bool listening : {true, false}) {
        SCOPED_TRACE(listening ? "listening" : "not listening");
        int told = 0;
        comm.OnSendDataEmpty = listening ? std::function<void(TComm*)>([&](TComm*) { ++told; }) : nullptr;
        openOrFail();
        QTest::qWait(20); // the notice of the empty queue at opening
        const int atOpen = told;
        EXPECT_EQ(atOpen, listening ? 1 : 0);
        ASSERT_TRUE(comm.WriteComm(frame, 8));
        ASSERT_EQ(pty.receive(8).size(), 8);
        EXPECT_TRUE(QTest::qWaitFor([&] { return comm.SendQueueEmpty(); }, WaitMs));
        if (listening) EXPECT_TRUE(QTest::qWaitFor([&] { return told == atOpen + 1; }, WaitMs));
        QTest::qWait(50);
        EXPECT_EQ(told, listening ? atOpen + 1 : 0);
        comm.CloseComm();
    }
    comm.OnSendDataEmpty = nullptr;
}

TEST_F(CommPortTest, OpeningAnOpenPortFailsAndLeavesItOpen)
{
    openOrFail();
    const qintptr handle = comm.Handle();
    try {
        comm.OpenComm();
        FAIL() << "a second open succeeded";
    } catch (const ECommsError& e) {
        EXPECT_STREQ(e.what(), "This serial port already opened");
    }
    EXPECT_TRUE(comm.IsOpen());
    EXPECT_EQ(comm.Handle(), handle);
    const uint8_t byte = 0x5A;
    ASSERT_TRUE(comm.WriteComm(&byte, 1));
    EXPECT_EQ(pty.receive(1), QByteArray(1, char(0x5A)));
}

TEST_F(CommPortTest, OpenFailuresRaiseTheirMessagesAndLeaveThePortClosed)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QTemporaryFile plain(dir.filePath("plainXXXXXX"));
    ASSERT_TRUE(plain.open());
    plain.write("not a serial port");
    plain.flush();

    struct Case {
        QString name;
        const char* message;
    };
    const Case cases[] = {
        {dir.filePath("no-such-port"), "Error opening serial port"},
        {"ttyZyrNoSuchAdapter9", "Error opening serial port"},
        {plain.fileName(), "File handle is not a comm handle "},
        {dir.path(), "File handle is not a comm handle "},
        {"/dev/null", "Cannot setup comm buffer"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        comm.SetCommName(c.name);
        try {
            comm.OpenComm();
            ADD_FAILURE() << "opened";
            comm.CloseComm();
        } catch (const ECommsError& e) {
            EXPECT_STREQ(e.what(), c.message);
        }
        EXPECT_FALSE(comm.IsOpen());
        EXPECT_EQ(comm.Handle(), -1);
    }
    // A failed open leaves nothing behind: the real device opens afterwards.
    comm.SetCommName(pty.slavePath());
    openOrFail();
}

TEST_F(CommPortTest, LineSettingsReachTheDeviceAndBaudRateIsReappliedWhileOpen)
{
    openOrFail();
    termios tio{};
    ASSERT_EQ(::tcgetattr(int(comm.Handle()), &tio), 0);
    EXPECT_EQ(cfgetospeed(&tio), speed_t(B2400));
    EXPECT_EQ(tio.c_cflag & CSIZE, tcflag_t(CS8));
    EXPECT_NE(tio.c_cflag & CSTOPB, 0u);
    EXPECT_EQ(tio.c_cflag & PARENB, 0u);
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF), 0u);

    comm.SetBaudRate(9600);
    ASSERT_EQ(::tcgetattr(int(comm.Handle()), &tio), 0);
    EXPECT_EQ(cfgetospeed(&tio), speed_t(B9600));

    comm.SetStopBits(TStopBits::_1);
    comm.SetOutx_XonXoffFlow(true);
    ASSERT_EQ(::tcgetattr(int(comm.Handle()), &tio), 0);
    EXPECT_EQ(tio.c_cflag & CSTOPB, 0u);
    EXPECT_NE(tio.c_iflag & IXON, 0u);

    // The name takes effect only at the next open.
    const qintptr handle = comm.Handle();
    comm.SetCommName("ttyZyrNoSuchAdapter9");
    EXPECT_TRUE(comm.IsOpen());
    EXPECT_EQ(comm.Handle(), handle);
    EXPECT_EQ(comm.CommName(), QStringLiteral("ttyZyrNoSuchAdapter9"));
}

TEST_F(CommPortTest, AVanishedDeviceClosesThePortOnce)
{
    openOrFail();
    ASSERT_TRUE(pty.send(QByteArray::fromHex("0102")));
    pty.closeMaster();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !comm.IsOpen(); }, WaitMs)) << "the port stayed open";
    // Let the event loop run on: a loop that kept reporting the loss would show here.
    QTest::qWait(300);
    EXPECT_EQ(hangups, 1);
    EXPECT_FALSE(comm.IsOpen());
    EXPECT_EQ(comm.Handle(), -1);
    const uint8_t byte = 1;
    EXPECT_FALSE(comm.WriteComm(&byte, 1));
    comm.CloseComm();
    EXPECT_FALSE(comm.IsOpen());
}

TEST_F(CommPortTest, TheReceiverMayCloseThePortFromInsideTheEvent)
{
    openOrFail();
    comm.OnReceiveData = [this](TComm*, const uint8_t* buffer, uint16_t length) {
        chunks.push_back(QByteArray(reinterpret_cast<const char*>(buffer), length));
        comm.CloseComm();
    };
    ASSERT_TRUE(pty.send(pattern(3000)));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !chunks.empty(); }, WaitMs));
    QTest::qWait(300);
    ASSERT_EQ(chunks.size(), 1u);
    EXPECT_EQ(chunks[0].size(), 2048);
    EXPECT_FALSE(comm.IsOpen());
}

TEST_F(CommPortTest, ReopensAfterClose)
{
    openOrFail();
    comm.CloseComm();
    EXPECT_FALSE(comm.IsOpen());
    openOrFail();
    const QByteArray reply = QByteArray::fromHex("01830259c1");
    ASSERT_TRUE(pty.send(reply));
    ASSERT_TRUE(waitForBytes(reply.size()));
    EXPECT_EQ(chunks.back(), reply);
}

} // namespace
