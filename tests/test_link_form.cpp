// The link form itself: what its creation sets, how port names map to devices, and the
// whole path from Timer1 to the line and back over a pseudo-terminal.
#include "comm/uFrmCom.h"
#include "model/UShareData.h"
#include "support/TestSupport.h"
#include "test_comm_pty.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace {

class LinkForm : public ::testing::Test {
protected:
    void SetUp() override { ResetAll(); }
};

TEST_F(LinkForm, CreationForTheModbusProtocolSetsTheCabinetLine)
{
    TestLinkState().CommPaused = true;
    TFrmCom form;
    EXPECT_EQ(FrmCom, &form);
    EXPECT_EQ(form.objectName(), QStringLiteral("FrmCom"));
    EXPECT_EQ(TestLinkState().ActiveProtocol, 0);
    EXPECT_FALSE(TestLinkState().CommPaused);
    EXPECT_EQ(form.SerialPort().CommName(), QStringLiteral("COM1"));
    EXPECT_EQ(form.SerialPort().BaudRate(), 2400u);
    EXPECT_EQ(form.SerialPort().ReadIntervalTimeout(), 200u);
    EXPECT_FALSE(form.SerialPort().Inx_XonXoffFlow());
    EXPECT_FALSE(form.SerialPort().Outx_XonXoffFlow());
    EXPECT_EQ(form.SerialPort().StopBits(), TStopBits::_2);
    EXPECT_FALSE(form.PortOpen());
    EXPECT_TRUE(form.Timer1.isActive());
    EXPECT_EQ(form.Timer1.interval(), 100);
    ASSERT_TRUE(form.Modbus);
    ASSERT_TRUE(form.Ydt);
    EXPECT_EQ(static_cast<const uint8_t*>(form.Modbus->TxBuf), form.TxBuf) << "the codec builds into the link's buffer";
}

TEST_F(LinkForm, CreationForAnotherProtocolKeepsTheFormsLine)
{
    for (int protocol : {1, 2, -1}) {
        SCOPED_TRACE(protocol);
        LocalPara.curProtocol = protocol;
        TFrmCom form;
        EXPECT_EQ(TestLinkState().ActiveProtocol, protocol);
        EXPECT_TRUE(form.SerialPort().Inx_XonXoffFlow());
        EXPECT_TRUE(form.SerialPort().Outx_XonXoffFlow());
        EXPECT_EQ(form.SerialPort().StopBits(), TStopBits::_1);
    }
}

TEST_F(LinkForm, TheGlobalFormIsClearedWhenItGoes)
{
    auto form = std::make_unique<TFrmCom>();
    EXPECT_EQ(FrmCom, form.get());
    form.reset();
    EXPECT_EQ(FrmCom, nullptr);
}

TEST_F(LinkForm, PortNamesMapToDevices)
{
    struct Case {
        const char* name;
        const char* device;
    };
#ifdef Q_OS_WIN
    const Case cases[] = {{"COM1", "COM1"}, {"COM9", "COM9"}, {"COM10", "\\\\.\\COM10"}, {"COMx", "COM1"}};
#else
    const Case cases[] = {
        {"COM1", "/dev/ttyS0"},
        {"COM4", "/dev/ttyS3"},
        {"COM12", "/dev/ttyS11"},
        {"/dev/ttyUSB0", "/dev/ttyUSB0"},
        {"ttyUSB0", "ttyUSB0"},
        {"/dev/pts/7", "/dev/pts/7"},
        {"/tmp/zyr/cabinet", "/tmp/zyr/cabinet"},
        {"COM0", "COM0"},
        {"COMx", "COMx"},
        {"COM+3", "COM+3"},
    };
#endif
    for (const Case& c : cases) EXPECT_EQ(TFrmCom::DeviceName(c.name), QString::fromUtf8(c.device)) << c.name;
}

TEST_F(LinkForm, OpenPortUsesItsArgumentsAndReportsFailures)
{
    TestPty pty;
    ASSERT_TRUE(pty.ok());
    TFrmCom form;
    // The settings record names another port and speed: the link opens the one it is handed.
    LocalPara.ComName = QStringLiteral("ttyZyrNoSuchAdapter8");
    LocalPara.BaudRate = 2400;
    form.OpenPort(pty.slavePath(), 9600);
    ASSERT_TRUE(form.PortOpen());
    EXPECT_EQ(form.SerialPort().CommName(), pty.slavePath());
    EXPECT_EQ(form.SerialPort().BaudRate(), 9600u);
    EXPECT_EQ(LocalPara.ComName, QStringLiteral("ttyZyrNoSuchAdapter8"));
    EXPECT_EQ(LocalPara.BaudRate, 2400);
    form.OpenPort(pty.slavePath(), 19200); // an open port is closed and opened again
    EXPECT_TRUE(form.PortOpen());
    EXPECT_EQ(form.SerialPort().BaudRate(), 19200u);
    form.ClosePort();
    EXPECT_FALSE(form.PortOpen());
    form.ClosePort();
    EXPECT_FALSE(form.PortOpen());

    form.OpenPort(pty.slavePath(), 9600);
    try {
        form.OpenPort(QStringLiteral("ttyZyrNoSuchAdapter9"), 9600);
        FAIL() << "opened a missing device";
    } catch (const ECommsError& e) {
        EXPECT_STREQ(e.what(), "Error opening serial port");
    }
    EXPECT_FALSE(form.PortOpen());
}

TEST_F(LinkForm, AFrameGoesOutOnTheLineAndTheReplyComesBackAccepted)
{
    TestPty pty;
    ASSERT_TRUE(pty.ok());
    TFrmCom form;
    form.Timer1.stop(); // the test is the clock
    form.OpenPort(pty.slavePath(), 2400);
    ASSERT_TRUE(form.PortOpen());

    form.Timer1Timer(); // builds poll step 1
    form.Timer1Timer(); // sends it
    const QByteArray request = pty.receive(8);
    EXPECT_EQ(request, QByteArray::fromHex("01047530002cebd4"));

    std::vector<uint8_t> body{0x01, 0x04, 88};
    for (int i = 0; i < 44; ++i) {
        body.push_back(0x00);
        body.push_back(uint8_t(i));
    }
    const std::vector<uint8_t> reply = WithCrc(body);
    ASSERT_TRUE(pty.send(QByteArray(reinterpret_cast<const char*>(reply.data()), int(reply.size()))));
    ASSERT_TRUE(QTest::qWaitFor([] { return TestCommDebug().AckCount == 1; }, WaitMs));
    EXPECT_EQ(TestCommDebug().RxCount, 1);
    EXPECT_TRUE(TestLinkState().ReplyAccepted);

    form.Timer1Timer(); // ends the wait and builds step 2
    form.Timer1Timer();
    const std::vector<uint8_t> step2 = WithCrc(HexBytes("01 04 75 6C 00 1F"));
    EXPECT_EQ(pty.receive(8), QByteArray(reinterpret_cast<const char*>(step2.data()), 8));
}

TEST_F(LinkForm, AVanishedAdapterShowsThePortClosedAndTheLinkWaits)
{
    TestPty pty;
    ASSERT_TRUE(pty.ok());
    // The adapter's device node goes with it, as a USB adapter's does: the link opens it by a
    // name of its own, which is removed when it is pulled. (The pseudo-terminal's own number
    // may be handed to another program's new terminal at once, which the link would then open.)
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString adapter = dir.filePath(QStringLiteral("ttyAdapter"));
    ASSERT_TRUE(QFile::link(pty.slavePath(), adapter));
    TFrmCom form;
    form.Timer1.stop();
    form.OpenPort(adapter, 2400);
    form.Timer1Timer();
    form.Timer1Timer();
    ASSERT_EQ(TestCommDebug().TxCount, 1);
    pty.closeMaster();
    ASSERT_TRUE(QFile::remove(adapter));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form.PortOpen(); }, WaitMs));
    for (int i = 0; i < 40; ++i) form.Timer1Timer();
    EXPECT_EQ(TestCommDebug().TxCount, 1);       // nothing more is sent
    EXPECT_TRUE(TestLinkState().ReqOutstanding); // and the request waits for the port
    EXPECT_DOUBLE_EQ(TestCommDebug().ErrRate, 100.0);
}

} // namespace
