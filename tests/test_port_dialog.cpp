// The port dialog against the real link form, with a pseudo-terminal standing in for the
// cabinet's line.
#include "app/UFrmCommInterface.h"
#include "comm/uFrmCom.h"
#include "model/UShareData.h"
#include "model/uLocalPara.h"
#include "support/TestSupport.h"
#include "ui/uUiSeam.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSerialPortInfo>
#include <QTemporaryDir>
#include <QTest>

#include <QCheckBox>
#include <QDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>

namespace {

// A pseudo-terminal; the dialog opens its slave side by path, the test reads the master side.
class Pty {
public:
    Pty()
    {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) return;
        fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
        slavePath_ = QString::fromLocal8Bit(ptsname(master_));
    }
    ~Pty()
    {
        if (master_ >= 0) ::close(master_);
    }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    bool valid() const { return master_ >= 0 && !slavePath_.isEmpty(); }
    QString slavePath() const { return slavePath_; }
    // Bytes that arrived on the master side within the time given, events running meanwhile.
    QByteArray read(int waitMs)
    {
        QByteArray got;
        QDeadlineTimer deadline(waitMs);
        do {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            char buf[256];
            for (ssize_t n; (n = ::read(master_, buf, sizeof buf)) > 0;) got.append(buf, int(n));
            if (!got.isEmpty()) break;
            QTest::qSleep(10);
        } while (!deadline.hasExpired());
        return got;
    }

private:
    int master_ = -1;
    QString slavePath_;
};

class PortDialog : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetAll();
        ASSERT_TRUE(dir.isValid());
        SetSettingsFolderOverride(dir.path());
        SetMessageBoxHandler([this](const TMessageBoxRequest& r) {
            messages << r.text;
            return QMessageBox::Ok;
        });
        com = std::make_unique<TFrmCom>();
        com->Timer1.stop(); // ticks are driven by hand
        dialog = std::make_unique<TFrmCommInterface>();
    }
    void TearDown() override
    {
        dialog.reset();
        com.reset();
        SetSettingsFolderOverride(QString());
        ResetAll();
    }

    QString settingsPath() const { return dir.filePath(QStringLiteral("UserParaIni.ini")); }
    QString settingsText() const
    {
        QFile f(settingsPath());
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }
    // Shows the dialog as the menu does (modeless here, so the test can press its buttons).
    void showWith(const QString& port, const QString& speed, const QString& protocol)
    {
        dialog->show();
        dialog->ComboBox1->setEditText(port);
        dialog->ComboBox2->setEditText(speed);
        const int index = dialog->ComboBox3->findText(protocol);
        if (index >= 0)
            dialog->ComboBox3->setCurrentIndex(index);
        else
            dialog->ComboBox3->setEditText(protocol);
    }
    void confirm() { QTest::mouseClick(dialog->Button1, Qt::LeftButton); }

    QTemporaryDir dir;
    QStringList messages;
    std::unique_ptr<TFrmCom> com;
    std::unique_ptr<TFrmCommInterface> dialog;
};

QStringList itemsOf(const QComboBox* box)
{
    QStringList items;
    for (int i = 0; i < box->count(); ++i) items << box->itemText(i);
    return items;
}

TEST_F(PortDialog, ComponentsAndLists)
{
    for (const char* name : {"ComboBox1", "ComboBox2", "ComboBox3"}) {
        auto* box = dialog->findChild<QComboBox*>(QLatin1String(name));
        ASSERT_NE(box, nullptr) << name;
        EXPECT_TRUE(box->isEditable()) << name;
    }
    for (const char* name : {"Label1", "Label2", "Label3"})
        EXPECT_NE(dialog->findChild<QLabel*>(QLatin1String(name)), nullptr) << name;
    for (const char* name : {"Button1", "Button2"})
        EXPECT_NE(dialog->findChild<QPushButton*>(QLatin1String(name)), nullptr) << name;

    const QStringList ports = itemsOf(dialog->ComboBox1);
    ASSERT_GE(ports.size(), 20);
    for (int n = 1; n <= 20; ++n) EXPECT_EQ(ports[n - 1], QStringLiteral("COM%1").arg(n));
    // Every real port of this machine is offered, once, either as one of the COM names or
    // by its own name.
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        int offered = ports.count(info.systemLocation());
        for (int n = 1; n <= 20; ++n)
            if (TFrmCom::DeviceName(QStringLiteral("COM%1").arg(n)) == info.systemLocation()) ++offered;
        EXPECT_EQ(offered, 1) << qPrintable(info.systemLocation());
    }
    EXPECT_EQ(QStringList(ports).removeDuplicates(), 0);

    EXPECT_EQ(itemsOf(dialog->ComboBox2), (QStringList{"1200", "2400", "4800", "9600", "19200"}));
    EXPECT_EQ(itemsOf(dialog->ComboBox3), (QStringList{"ModBus", "YDT V3.1", "DSP Comm", "TCP+ModBus"}));
    dialog->show();
    EXPECT_EQ(dialog->size(), QSize(233, 178));
}

TEST_F(PortDialog, ShowFillsTheTextsAndCaptionsInBothLanguages)
{
    const struct {
        uint8_t language;
        const char *port, *speed, *protocol, *confirm, *cancel, *title;
    } cases[] = {
        {0, "Port", "Bound Rate", "Protocol", "Confirm", "Cancel", "Set Port"},
        {1, "串口", "波特率", "通讯协议", "确定", "取消", "通讯端口设置"},
    };
    LocalPara.ComName = "COM7";
    LocalPara.BaudRate = 4800;
    LocalPara.curProtocol = 1;
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.language));
        LocalPara.Language = c.language;
        TFrmCommInterface fresh;
        fresh.show();
        EXPECT_EQ(fresh.Label1->text(), QString::fromUtf8(c.port));
        EXPECT_EQ(fresh.Label2->text(), QString::fromUtf8(c.speed));
        EXPECT_EQ(fresh.Label3->text(), QString::fromUtf8(c.protocol));
        EXPECT_EQ(fresh.Button1->text(), QString::fromUtf8(c.confirm));
        EXPECT_EQ(fresh.Button2->text(), QString::fromUtf8(c.cancel));
        EXPECT_EQ(fresh.windowTitle(), QString::fromUtf8(c.title));
        EXPECT_EQ(fresh.ComboBox1->currentText(), "COM7");
        EXPECT_EQ(fresh.ComboBox2->currentText(), "4800");
        EXPECT_EQ(fresh.ComboBox3->currentIndex(), 1);
        EXPECT_EQ(fresh.ComboBox3->currentText(), "YDT V3.1");
    }

    LocalPara.ComName = "/dev/ttyUSB3";
    LocalPara.BaudRate = 38400;
    LocalPara.curProtocol = -1;
    dialog->show();
    EXPECT_EQ(dialog->ComboBox1->currentText(), "/dev/ttyUSB3");
    EXPECT_EQ(dialog->ComboBox2->currentText(), "38400");
    EXPECT_EQ(dialog->ComboBox3->currentIndex(), -1);
    EXPECT_EQ(dialog->ComboBox3->currentText(), "");
}

TEST_F(PortDialog, ConfirmStoresAndReopensThePort)
{
    Pty pty;
    ASSERT_TRUE(pty.valid());

    showWith(pty.slavePath(), "2400", "ModBus");
    confirm();
    ASSERT_TRUE(messages.isEmpty()) << qPrintable(messages.join('\n'));
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_FALSE(dialog->isVisible());
    ASSERT_TRUE(com->PortOpen());
    EXPECT_EQ(com->SerialPort().BaudRate(), 2400u);

    // Opened again at another speed: the port is closed first and reopened.
    showWith(pty.slavePath(), "9600", "ModBus");
    confirm();
    ASSERT_TRUE(messages.isEmpty()) << qPrintable(messages.join('\n'));
    EXPECT_TRUE(com->PortOpen());
    EXPECT_EQ(com->SerialPort().BaudRate(), 9600u);
    EXPECT_EQ(LocalPara.ComName, pty.slavePath());
    EXPECT_EQ(LocalPara.BaudRate, 9600);
    EXPECT_EQ(LocalPara.curProtocol, 0);
    EXPECT_EQ(TestLinkState().ActiveProtocol, 0);
    const QString text = settingsText();
    EXPECT_TRUE(text.contains("ComName=" + pty.slavePath() + "\n")) << qPrintable(text);
    EXPECT_TRUE(text.contains("BaudRate=9600\n")) << qPrintable(text);
    EXPECT_TRUE(text.contains("curProtocol=0\n")) << qPrintable(text);
    EXPECT_TRUE(text.contains("PageSheet=11\n")) << "all eleven keys are saved";

    // The Modbus master polls on the reopened line.
    com->Timer1Timer();
    com->Timer1Timer();
    EXPECT_EQ(pty.read(3000).toHex(' ').toUpper(),
              QByteArray(HexLine(WithCrc(HexBytes("01 04 75 30 00 2C")).data(), 8).toLatin1()));
}

// The line-speed box: its captions, its state from the settings, and on Confirm the mode of the
// link, the port and the settings file.
TEST_F(PortDialog, FastLineBoxChoosesTheLineSpeedMode)
{
    for (const uint8_t language : {uint8_t(0), uint8_t(1)}) {
        LocalPara.Language = language;
        LocalPara.FastLine = language == 1;
        TFrmCommInterface fresh;
        fresh.show();
        auto* box = fresh.findChild<QCheckBox*>("chkFastLine");
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->text(), language ? QString::fromUtf8("快速通讯") : QString("Fast line"));
        EXPECT_EQ(box->isChecked(), language == 1);
        EXPECT_TRUE(fresh.rect().contains(box->geometry())) << "the box lies inside the dialog";
        QDir().mkpath(QStringLiteral(ZYR_BINARY_DIR "/shots"));
        fresh.grab().save(QStringLiteral(ZYR_BINARY_DIR "/shots/portdialog-%1.png").arg(language ? "zh" : "en"));
    }
    LocalPara.Language = 0;
    LocalPara.FastLine = false;

    Pty pty;
    ASSERT_TRUE(pty.valid());
    showWith(pty.slavePath(), "19200", "ModBus");
    dialog->chkFastLine->setChecked(true);
    confirm();
    ASSERT_TRUE(messages.isEmpty()) << qPrintable(messages.join('\n'));
    EXPECT_TRUE(LocalPara.FastLine);
    EXPECT_TRUE(com->FastLine());
    EXPECT_TRUE(com->SerialPort().FastLine());
    EXPECT_TRUE(settingsText().contains("FastLine=1\n")) << qPrintable(settingsText());
    // On a line-speed link the first tick builds and sends at once.
    com->Timer1Timer();
    EXPECT_EQ(pty.read(3000).toHex(' ').toUpper(),
              QByteArray(HexLine(WithCrc(HexBytes("01 04 75 30 00 2C")).data(), 8).toLatin1()));

    showWith(pty.slavePath(), "19200", "ModBus");
    EXPECT_TRUE(dialog->chkFastLine->isChecked());
    dialog->chkFastLine->setChecked(false);
    confirm();
    EXPECT_FALSE(com->FastLine());
    EXPECT_FALSE(com->SerialPort().FastLine());
    EXPECT_TRUE(settingsText().contains("FastLine=0\n")) << qPrintable(settingsText());
}

TEST_F(PortDialog, Com12IsStoredAsTyped)
{
    // COM12 is a device of its own (/dev/ttyS11 here), which this machine may or may not have;
    // whatever the open does, the typed name is what the settings hold.
    showWith("COM12", "9600", "ModBus");
    confirm();
    EXPECT_EQ(LocalPara.ComName, "COM12");
    EXPECT_EQ(LocalPara.BaudRate, 9600);
    EXPECT_EQ(com->SerialPort().CommName(), TFrmCom::DeviceName("COM12"));
    if (com->PortOpen()) {
        EXPECT_TRUE(settingsText().contains("ComName=COM12\n"));
        EXPECT_TRUE(settingsText().contains("BaudRate=9600\n"));
    } else {
        EXPECT_EQ(messages.size(), 1);
    }
}

TEST_F(PortDialog, DspCommStoresTwoAndSendsNothing)
{
    Pty pty;
    ASSERT_TRUE(pty.valid());
    showWith(pty.slavePath(), "9600", "DSP Comm");
    confirm();
    ASSERT_TRUE(messages.isEmpty()) << qPrintable(messages.join('\n'));
    EXPECT_EQ(LocalPara.curProtocol, 2);
    EXPECT_EQ(TestLinkState().ActiveProtocol, 2);
    EXPECT_TRUE(settingsText().contains("curProtocol=2\n"));
    EXPECT_TRUE(com->PortOpen()) << "the port reopens";
    for (int i = 0; i < 40; ++i) com->Timer1Timer();
    EXPECT_EQ(pty.read(300), QByteArray());
    EXPECT_EQ(TestCommDebug().TxCount, 0);
}

TEST_F(PortDialog, ProtocolIndexOfTheText)
{
    const struct {
        const char* text;
        int protocol;
    } cases[] = {{"ModBus", 0}, {"YDT V3.1", 1}, {"TCP+ModBus", 3}, {"modbus", 0}, {"RTU", -1}, {"", -1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        Pty pty;
        ASSERT_TRUE(pty.valid());
        showWith(pty.slavePath(), "9600", "ModBus");
        dialog->ComboBox3->setEditText(QString::fromUtf8(c.text));
        confirm();
        EXPECT_EQ(LocalPara.curProtocol, c.protocol);
        EXPECT_EQ(TestLinkState().ActiveProtocol, c.protocol);
        com->ClosePort();
    }
}

TEST_F(PortDialog, SpeedThatIsNotAWholeNumber)
{
    const char* const texts[] = {"abc", "96 00", "9600.0", "", "99999999999", "0x2580"};
    for (const char* speed : texts) {
        SCOPED_TRACE(speed);
        messages.clear();
        LocalPara = TLocalPara{};
        LocalPara.curProtocol = 1;
        TestLinkState().ActiveProtocol = 1;
        showWith("COM5", QString::fromUtf8(speed), "DSP Comm");
        confirm();
        ASSERT_EQ(messages.size(), 1);
        EXPECT_EQ(messages[0],
                  QStringLiteral("'%1' is not a valid integer value").arg(QString::fromUtf8(speed)));
        EXPECT_EQ(LocalPara.ComName, "COM5") << "already taken when the speed fails";
        EXPECT_EQ(LocalPara.BaudRate, 2400);
        EXPECT_EQ(LocalPara.curProtocol, 1);
        EXPECT_EQ(TestLinkState().ActiveProtocol, 1);
        EXPECT_TRUE(dialog->isVisible()) << "the dialog stays open";
        EXPECT_FALSE(com->PortOpen());
        EXPECT_FALSE(QFile::exists(settingsPath())) << "nothing is saved";
    }
}

TEST_F(PortDialog, PortThatCannotBeOpened)
{
    TestLinkState().ActiveProtocol = 0;
    const QString missing = dir.filePath("no-such-tty");
    showWith(missing, "19200", "YDT V3.1");
    confirm();
    ASSERT_EQ(messages.size(), 1);
    // The defined message as it stands, then the device and the system's reason.
    EXPECT_EQ(messages[0].section('\n', 0, 0), QString::fromLatin1(TComm::MsgOpenFailed));
    EXPECT_EQ(messages[0].section('\n', 1), "Port " + missing + ": No such file or directory");
    EXPECT_EQ(LocalPara.ComName, missing);
    EXPECT_EQ(LocalPara.BaudRate, 19200);
    EXPECT_EQ(LocalPara.curProtocol, 1);
    EXPECT_EQ(TestLinkState().ActiveProtocol, 0) << "the link keeps its protocol";
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_FALSE(com->PortOpen());
    EXPECT_FALSE(QFile::exists(settingsPath()));

    // A plain file is not a port either.
    messages.clear();
    QFile plain(dir.filePath("plain"));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    showWith(plain.fileName(), "9600", "ModBus");
    confirm();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages[0].section('\n', 0, 0), QString::fromLatin1(TComm::MsgNotCommHandle));
    EXPECT_EQ(messages[0].section('\n', 1), "Port " + plain.fileName() + ": not a character device");
    EXPECT_TRUE(dialog->isVisible());
}

TEST_F(PortDialog, CancelChangesNothing)
{
    TestLinkState().ActiveProtocol = 0;
    const TLocalPara before = LocalPara;
    showWith("COM9", "abc", "DSP Comm");
    QTest::mouseClick(dialog->Button2, Qt::LeftButton);
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(LocalPara.ComName, before.ComName);
    EXPECT_EQ(LocalPara.BaudRate, before.BaudRate);
    EXPECT_EQ(LocalPara.curProtocol, before.curProtocol);
    EXPECT_EQ(TestLinkState().ActiveProtocol, 0);
    EXPECT_FALSE(com->PortOpen());
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_FALSE(QFile::exists(settingsPath()));
}

TEST_F(PortDialog, RunsModallyThroughTheSeam)
{
    Pty pty;
    ASSERT_TRUE(pty.valid());
    LocalPara.ComName = pty.slavePath();
    LocalPara.BaudRate = 1200;
    SetModalHandler([](QDialog* d) {
        auto* dlg = qobject_cast<TFrmCommInterface*>(d);
        dlg->show();
        dlg->Button1Click();
        return dlg->result();
    });
    TFrmCommInterface modal;
    EXPECT_EQ(ExecModal(&modal), QDialog::Accepted);
    EXPECT_TRUE(com->PortOpen());
    EXPECT_EQ(com->SerialPort().BaudRate(), 1200u) << "the shown texts are what Confirm takes";
}

} // namespace
