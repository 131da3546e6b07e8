// What the operator (or a script) is told when the line or the settings go wrong: message
// boxes nobody can answer, the open-failure text with its device and reason, speeds a port
// does not take, and the live view of a lost device.
#include "comm/SPComm.h"
#include "comm/uCabinet.h"
#include "comm/uOpenFailure.h"
#include "model/UShareData.h"
#include "model/uDataFunc.h"
#include "support/TestSupport.h"
#include "test_comm_pty.h"
#include "test_main_fixture.h"
#include "ui/uUiSeam.h"

#include <QLineEdit>
#include <QTemporaryFile>

#include <gtest/gtest.h>

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

// Runs f with standard error sent to a file, and returns what was written there.
template <typename F> QString capturedStderr(F f)
{
    QTemporaryFile file;
    if (!file.open()) return QStringLiteral("<no file>");
    std::fflush(stderr);
    const int saved = ::dup(2);
    ::dup2(static_cast<int>(file.handle()), 2);
    f();
    std::fflush(stderr);
    ::dup2(saved, 2);
    ::close(saved);
    file.seek(0);
    return QString::fromLocal8Bit(file.readAll());
}

TEST(MessageSeam, BoxNobodyCanAnswerGoesToStandardErrorWithItsDefaultButton)
{
    SetMessageBoxHandler(nullptr);
    ASSERT_TRUE(NoOneCanAnswer()) << "the tests run on the offscreen platform";
    const struct {
        QMessageBox::StandardButtons buttons;
        QMessageBox::StandardButton defaultButton;
        QMessageBox::StandardButton answer;
    } cases[] = {
        {QMessageBox::Ok, QMessageBox::NoButton, QMessageBox::Ok},
        {QMessageBox::Yes | QMessageBox::No, QMessageBox::No, QMessageBox::No},
        {QMessageBox::Yes | QMessageBox::No, QMessageBox::NoButton, QMessageBox::Yes},
        {QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel, QMessageBox::Cancel},
        {QMessageBox::Abort | QMessageBox::Ignore, QMessageBox::NoButton, QMessageBox::Abort},
        {QMessageBox::Ok, QMessageBox::Cancel, QMessageBox::Ok}, // a default it does not have
    };
    for (const auto& c : cases) {
        TMessageBoxRequest r;
        r.icon = QMessageBox::Warning;
        r.title = QStringLiteral("Settings file");
        r.text = QStringLiteral("first line\nsecond line");
        r.buttons = c.buttons;
        r.defaultButton = c.defaultButton;
        QMessageBox::StandardButton got = QMessageBox::NoButton;
        const QString err = capturedStderr([&] { got = ShowMessageBox(r); });
        EXPECT_EQ(got, c.answer);
        EXPECT_EQ(err, "Settings file: warning: first line\n  second line\n");
    }
}

TEST(OpenFailureText, DefinedMessageThenPortAndReasonThenTheGroupHint)
{
    ResetAll();
    const ECommsError permission(TComm::MsgOpenFailed, "/dev/zyr-no-such-adapter", "Permission denied", true);
    const QStringList lines = OpenFailureText(permission).split('\n');
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[0], "Error opening serial port");
    EXPECT_EQ(lines[1], "Port /dev/zyr-no-such-adapter: Permission denied");
    EXPECT_TRUE(lines[2].contains("group dialout")) << lines[2].toStdString();
    EXPECT_TRUE(lines[2].contains("usermod -aG dialout")) << lines[2].toStdString();
    EXPECT_TRUE(lines[2].contains("log out and in again")) << lines[2].toStdString();

    const ECommsError missing(TComm::MsgOpenFailed, "/dev/ttyUSB7", "No such file or directory");
    EXPECT_EQ(OpenFailureText(missing),
              "Error opening serial port\nPort /dev/ttyUSB7: No such file or directory");
    EXPECT_EQ(OpenFailureText(ECommsError(TComm::MsgAlreadyOpen)), "This serial port already opened");

    // A port another program holds: said so, with the port's own reason, and no group hint.
    const ECommsError busy(TComm::MsgOpenFailed, "/dev/ttyUSB0", "Permission error while locking the device",
                           false, true);
    EXPECT_EQ(OpenFailureText(busy), "Error opening serial port\nPort /dev/ttyUSB0: in use by another program "
                                     "(Permission error while locking the device)");

    LocalPara.Language = 1;
    const QStringList zh = OpenFailureText(permission).split('\n');
    ASSERT_EQ(zh.size(), 3);
    EXPECT_EQ(zh[0], "Error opening serial port") << "the defined message stays as it is";
    EXPECT_TRUE(zh[1].startsWith(QString::fromUtf8("端口 /dev/zyr-no-such-adapter"))) << zh[1].toStdString();
    EXPECT_TRUE(zh[2].contains("dialout"));
    ResetAll();
}

TEST(PortSpeed, SpeedThePortDoesNotTakeFailsTheOpenAndLeavesItClosed)
{
    TestPty pty;
    ASSERT_TRUE(pty.ok());
    TComm comm;
    comm.SetCommName(pty.slavePath());
    for (uint32_t speed : {0u, static_cast<uint32_t>(-5), 49u, 4000001u, 999999999u}) {
        SCOPED_TRACE(speed);
        comm.SetBaudRate(speed);
        try {
            comm.OpenComm();
            ADD_FAILURE() << "opened";
            comm.CloseComm();
        } catch (const ECommsError& e) {
            EXPECT_STREQ(e.what(), TComm::MsgOpenFailed);
            EXPECT_EQ(e.Port, pty.slavePath());
            EXPECT_TRUE(e.Reason.contains(QStringLiteral("speed %1 bit/s").arg(int32_t(speed))))
                << e.Reason.toStdString();
        }
        EXPECT_FALSE(comm.IsOpen());
    }
    comm.SetBaudRate(19200);
    EXPECT_NO_THROW(comm.OpenComm());
    EXPECT_TRUE(comm.IsOpen());
    // A write goes out at the speed the port took.
    const uint8_t frame[3] = {1, 2, 3};
    EXPECT_TRUE(comm.WriteComm(frame, 3));
    EXPECT_EQ(pty.receive(3), QByteArray("\x01\x02\x03", 3));
}

using LostView = MainWindowTest;

TEST_F(LostView, LostDeviceEmptiesTheLiveValuesInBothLanguages)
{
    for (int language : {0, 1}) {
        SCOPED_TRACE(language);
        TFrmMain& w = window();
        LocalPara.Language = static_cast<uint8_t>(language);
        w.ApplyCaptions();
        Cabinet().UpsData[1].InVolt[0] = 230.2;
        Cabinet().UpsData[1].SysState = 4;
        Cabinet().ModuleData[1].InvVolt[0] = 220.0;
        Cabinet().ModuleData[1].MdSend = 9;
        w.NeedsRepaint = true;
        w.tmr1Timer();
        ASSERT_EQ(CellText(w.sgrdUPS_AC, 1, 1), "230.2");
        ASSERT_EQ(CellText(w.sgrdModule, 1, 1), "220.0");

        w.NeedsRepaint = true; // a reply counted before the loss
        FrmCom->DeviceLost(QStringLiteral("COM3"));
        w.tmr1Timer();
        const QString lost = language == 1 ? QString::fromUtf8("COM3 已断开") : QStringLiteral("COM3 lost");
        EXPECT_EQ(CellText(w.sgrdUPS_AC, 1, 1), "");
        EXPECT_EQ(CellText(w.sgrdUPS_DC, 1, 1), "");
        EXPECT_EQ(CellText(w.sgrdModule, 1, 1), "");
        EXPECT_EQ(CellText(w.sgrdUPS_AC, 0, 1),
                  language == 1 ? QString::fromUtf8("输入电压(V) ") : "Input Volt.(V)")
            << "the headings stay";
        EXPECT_EQ(w.mdtSysSta->text(), "");
        EXPECT_EQ(w.edtSend->text(), "");
        EXPECT_EQ(w.edtSysState->text(), lost);
        EXPECT_EQ(w.edtMdState->text(), lost);
        EXPECT_EQ(Cabinet().UpsData[1].InVolt[0], 230.2) << "the device record itself is kept";

        // The first reply after the reopen fills the view again.
        w.NeedsRepaint = true;
        w.tmr1Timer();
        EXPECT_EQ(CellText(w.sgrdUPS_AC, 1, 1), "230.2");
        EXPECT_EQ(w.edtSysState->text(), StateText(4));
        w_.reset();
    }
}

} // namespace
