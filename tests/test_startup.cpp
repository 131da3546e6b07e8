// Program start and end: the always-present windows in their order, the defaults of a first
// start, the settings saved at the end, and the run's own port kept out of the file.
#include "app/UFrmMain.h"
#include "app/uStartup.h"
#include "cli/uCmdLine.h"
#include "comm/uCabinet.h"
#include "comm/uFrmCom.h"
#include "diag/uFrmTrack.h"
#include "model/UShareData.h"
#include "model/uLocalPara.h"
#include "records/uRecDetail.h"
#include "support/TestSupport.h"

#include "ui/uUiSeam.h"
#include <QDialog>
#include <QFile>
#include <QImage>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

// The always-present window of that class, as the start created it.
QWidget* createdWindow(const TStartup& s, const char* className)
{
    for (QObject* o : s.Created())
        if (qstrcmp(o->metaObject()->className(), className) == 0) return qobject_cast<QWidget*>(o);
    return nullptr;
}

class StartupTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetAll();
        ASSERT_TRUE(dir_.isValid());
    }
    void TearDown() override { SetSettingsFolderOverride(QString()); }

    QString iniPath() const { return dir_.filePath(QStringLiteral("UserParaIni.ini")); }
    void writeSettings(const char* text)
    {
        QFile f(iniPath());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    }
    QString readSettings() const
    {
        QFile f(iniPath());
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }
    TCmdLine options(QStringList extra = {})
    {
        TCmdLine o;
        QString error;
        EXPECT_TRUE(ParseCmdLine(QStringList{"zyrtool", "--settings-dir", dir_.path()} + extra, o, error))
            << error.toStdString();
        return o;
    }

    QTemporaryDir dir_;
};

TEST_F(StartupTest, WindowsAreCreatedInTheirOrderAfterTheSettingsAreRead)
{
    writeSettings("[LocalPara]\ncurProtocol=2\nLanguage=1\n");
    TStartup s(options());
    QString error;
    ASSERT_TRUE(s.CreateWindows(error)) << error.toStdString();
    QStringList order;
    for (QObject* o : s.Created()) order << QString::fromLatin1(o->metaObject()->className());
    EXPECT_EQ(order, (QStringList{"TFrmMain", "TFrmCommInterface", "TFrmAbout", "TfrmTrack", "TFrmCom",
                                  "TfrmPassword", "TfrmViewMdbuff", "TfrmDict", "TfrmRecDetail", "TfrmMdbCfg",
                                  "TfrmRunTime", "TfrmEdtMdRegist"}));
    // The OPTION-port view's creation marks both codes as not read yet.
    EXPECT_EQ(Cabinet().OptBaud, -1);
    EXPECT_EQ(Cabinet().OptProtocol, -1);
    // The link form took the protocol the main window's creation had read.
    EXPECT_EQ(TestLinkState().ActiveProtocol, 2);
    ASSERT_NE(FrmCom, nullptr);
    EXPECT_FALSE(FrmCom->PortOpen());
    TFrmMain* w = s.Main();
    EXPECT_EQ(w->DevAddr, 1);
    EXPECT_EQ(w->CurModule, 1);
    EXPECT_EQ(w->PageControl1->currentWidget(), w->TabSheet1);
    s.Start();
    w->tmr1->stop();
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(w->windowTitle(), QString::fromUtf8("工程工具(ZYR)"));
    // FormShow queued the version read.
    EXPECT_EQ(TestSlots()[3].Pending, FlagOn);
    EXPECT_EQ(TestSlots()[3].Func, 43);
    EXPECT_EQ(TestSlots()[3].StartReg, 2);
    ASSERT_NE(createdWindow(s, "TfrmTrack"), nullptr);
    EXPECT_FALSE(createdWindow(s, "TfrmTrack")->isVisible()); // the trace window stays hidden
    // The record detail view: hidden, on top, in its place, and the one the grid will show.
    QWidget* detail = createdWindow(s, "TfrmRecDetail");
    ASSERT_NE(detail, nullptr);
    EXPECT_EQ(detail, RecDetailWindow());
    EXPECT_FALSE(detail->isVisible());
    EXPECT_TRUE(detail->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(detail->pos(), QPoint(470, 200));
    EXPECT_EQ(detail->size(), QSize(432, 420));
    EXPECT_EQ(detail->windowTitle(), QStringLiteral("Record Detail"));
}

TEST_F(StartupTest, FirstStartWritesTheLineKeysAndTheEndWritesAll)
{
    TStartup s(options());
    QString error;
    ASSERT_TRUE(s.CreateWindows(error));
    const QString first = readSettings();
    for (const char* key :
         {"ComName=COM1", "BaudRate=2400", "curProtocol=0", "ModuleNum=1", "SelectedAddr=1"})
        EXPECT_TRUE(first.contains(QLatin1String(key), Qt::CaseInsensitive)) << key;
    EXPECT_FALSE(first.contains(QLatin1String("Menu02"), Qt::CaseInsensitive));
    s.Start();
    s.Main()->tmr1->stop();
    EXPECT_EQ(s.Main()->windowTitle(), "Engineering Tools(ZYR)");
    bool finished = false;
    QObject::connect(&s, &TStartup::finished, [&finished] { finished = true; });
    LocalPara.Language = 1; // changed during the run
    s.Main()->close();
    EXPECT_TRUE(finished);
    const QString last = readSettings();
    for (const char* key : {"ComName", "BaudRate", "curProtocol", "ModuleNum", "SelectedAddr", "Language",
                            "Menu01", "Menu02", "Menu03", "Menu04", "PageSheet"})
        EXPECT_TRUE(last.contains(QLatin1String(key), Qt::CaseInsensitive)) << key;
    EXPECT_TRUE(last.contains(QLatin1String("Language=1"), Qt::CaseInsensitive));
}

TEST_F(StartupTest, TheRunsOwnPortStaysOutOfTheFile)
{
    writeSettings("[LocalPara]\nComName=COM3\nBaudRate=4800\n");
    TStartup s(options({"--port", "/dev/ttyUSB7", "--baud", "9600"}));
    QString error;
    ASSERT_TRUE(s.CreateWindows(error));
    s.Main()->tmr1->stop();
    EXPECT_EQ(LocalPara.ComName, "/dev/ttyUSB7");
    EXPECT_EQ(LocalPara.BaudRate, 9600);
    s.Main()->tmr1Timer();
    EXPECT_TRUE(s.Main()->lblCommName->text().startsWith("/dev/ttyUSB7\n9600 bps"));
    s.Main()->close();
    const QString saved = readSettings();
    EXPECT_TRUE(saved.contains(QLatin1String("ComName=COM3")));
    EXPECT_TRUE(saved.contains(QLatin1String("BaudRate=4800")));
}

TEST_F(StartupTest, APortConfirmedInTheDialogIsSaved)
{
    writeSettings("[LocalPara]\nComName=COM3\nBaudRate=4800\n");
    TStartup s(options({"--port", "/dev/ttyUSB7"}));
    QString error;
    ASSERT_TRUE(s.CreateWindows(error));
    s.Main()->tmr1->stop();
    ASSERT_TRUE(s.PortOverridden());
    s.Main()->PortDialogDone(true); // as the dialog reports a Confirm
    LocalPara.ComName = "COM9";
    s.Main()->close();
    EXPECT_TRUE(readSettings().contains(QLatin1String("ComName=COM9")));
}

TEST_F(StartupTest, TimedEndClosesTheWindowSavesAndWritesThePicture)
{
    const QString png = dir_.filePath("shot.png");
    TStartup s(options({"--quit-after", "0.05", "--screenshot", png}));
    QString error;
    ASSERT_TRUE(s.CreateWindows(error));
    bool finished = false;
    QObject::connect(&s, &TStartup::finished, [&finished] { finished = true; });
    s.Start();
    ASSERT_TRUE(QTest::qWaitFor([&finished] { return finished; }, 30000));
    ASSERT_TRUE(finished);
    EXPECT_FALSE(s.Main()->isVisible());
    QImage image(png);
    EXPECT_EQ(image.size(), QSize(742, 582));
    EXPECT_TRUE(readSettings().contains(QLatin1String("PageSheet"), Qt::CaseInsensitive));
}

TEST_F(StartupTest, ALinkButtonThatCannotOpenShowsTheMessage)
{
    TStartup s(options({"--port", dir_.filePath("no-such-tty"), "--connect"}));
    QString error;
    ASSERT_TRUE(s.CreateWindows(error));
    QString shown;
    SetMessageBoxHandler([&shown](const TMessageBoxRequest& r) {
        shown = r.text;
        return QMessageBox::Ok;
    });
    s.Start();
    s.Main()->tmr1->stop();
    EXPECT_FALSE(shown.isEmpty());
    EXPECT_FALSE(FrmCom->PortOpen());
}

// Command-line options.
struct CmdCase {
    QStringList args;
    bool ok;
};

class CmdLineTest : public ::testing::TestWithParam<CmdCase> {};

TEST_P(CmdLineTest, AcceptsGoodValuesAndRefusesBadOnes)
{
    TCmdLine o;
    QString error;
    EXPECT_EQ(ParseCmdLine(QStringList{"zyrtool"} + GetParam().args, o, error), GetParam().ok)
        << GetParam().args.join(' ').toStdString() << ": " << error.toStdString();
    if (!GetParam().ok) EXPECT_FALSE(error.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Options, CmdLineTest,
    ::testing::Values(CmdCase{{}, true}, CmdCase{{"--port", "COM3", "--baud", "9600", "--connect"}, true},
                      CmdCase{{"--demo", "--quit-after", "2.5", "--screenshot", "a.png"}, true},
                      CmdCase{{"--baud", "fast"}, false}, CmdCase{{"--baud", "0"}, false},
                      CmdCase{{"--baud", "-9600"}, false}, CmdCase{{"--quit-after", "soon"}, false},
                      CmdCase{{"--quit-after", "-1"}, false}, CmdCase{{"--screenshot", "a.png"}, false},
                      CmdCase{{"--port"}, false}, CmdCase{{"--port", " "}, false},
                      CmdCase{{"--demo", "--port", "COM2"}, false}, CmdCase{{"--bogus"}, false},
                      CmdCase{{"stray"}, false}, CmdCase{{"--scan"}, true},
                      CmdCase{{"--scan", "--port", "/dev/ttyUSB0"}, true},
                      CmdCase{{"--scan", "--baud", "9600"}, false}, CmdCase{{"--scan", "--address", "2"}, false},
                      CmdCase{{"--scan", "--demo"}, false},
                      CmdCase{{"--scan", "--port", "COM1", "--snapshot", "-"}, false}));

INSTANTIATE_TEST_SUITE_P(
    Restore, CmdLineTest,
    ::testing::Values(CmdCase{{"--port", "COM1", "--restore", "b.json"}, true},
                      CmdCase{{"--port", "COM1", "--address", "3", "--restore", "b.json", "--dry-run"}, true},
                      CmdCase{{"--port", "COM1", "--restore", "b.json", "--force"}, true},
                      CmdCase{{"--restore", "b.json"}, false}, CmdCase{{"--port", "COM1", "--restore", ""}, false},
                      CmdCase{{"--port", "COM1", "--dry-run"}, false}, CmdCase{{"--port", "COM1", "--force"}, false},
                      CmdCase{{"--port", "COM1", "--restore", "b.json", "--backup", "c.json"}, false},
                      CmdCase{{"--port", "COM1", "--restore", "b.json", "--scan"}, false}));

TEST(CmdLine, ToolkitOptionsAreLeftOutAsTheApplicationWouldTakeThem)
{
    EXPECT_EQ(WithoutToolkitOptions({"zyrtool", "-platform", "offscreen", "--scan", "-reverse", "--style", "fusion",
                                     "--port", "COM1", "-qwindowtitle", "x"}),
              (QStringList{"zyrtool", "--scan", "--port", "COM1"}));
    // Only options: a value that looks like one stays with its own option.
    EXPECT_EQ(WithoutToolkitOptions({"zyrtool", "--port", "style"}), (QStringList{"zyrtool", "--port", "style"}));
    EXPECT_EQ(UsageErrorLine("Unknown option 'bogus'."), "zyrtool: Unknown option 'bogus'; see --help");
}

TEST(CmdLine, NoOptionChangesNothing)
{
    TCmdLine o;
    QString error;
    ASSERT_TRUE(ParseCmdLine({"zyrtool"}, o, error));
    EXPECT_TRUE(o.Port.isEmpty());
    EXPECT_EQ(o.Baud, 0);
    EXPECT_FALSE(o.Connect || o.Demo || o.Help);
    EXPECT_EQ(o.QuitAfterMs, -1);
    EXPECT_TRUE(o.Screenshot.isEmpty());
    ASSERT_TRUE(ParseCmdLine({"zyrtool", "--quit-after", "1.5", "--baud", "19200"}, o, error));
    EXPECT_EQ(o.QuitAfterMs, 1500);
    EXPECT_EQ(o.Baud, 19200);
    for (const char* opt : {"--port", "--baud", "--connect", "--demo", "--quit-after", "--screenshot"})
        EXPECT_TRUE(o.HelpText.contains(QLatin1String(opt))) << opt;
}

} // namespace

namespace {

TEST_F(StartupTest, PortDialogFromTheMenuAndTheLabelDecidesWhichPortIsSaved)
{
    writeSettings("[LocalPara]\nComName=COM3\n");
    TStartup s(options({"--port", "/dev/ttyUSB7"}));
    QString error;
    ASSERT_TRUE(s.CreateWindows(error));
    s.Main()->tmr1->stop();
    QStringList opened;
    int answer = QDialog::Rejected;
    SetModalHandler([&](QDialog* d) {
        opened << QString::fromLatin1(d->metaObject()->className());
        return answer;
    });
    s.Main()->mni1001->trigger(); // cancelled: the run keeps its own port
    EXPECT_EQ(opened, QStringList{"TFrmCommInterface"});
    EXPECT_TRUE(s.PortOverridden());
    answer = QDialog::Accepted;
    s.Main()->lblCommNameClick(); // confirmed: the operator's choice is the file's from now on
    EXPECT_EQ(opened.size(), 2);
    EXPECT_FALSE(s.PortOverridden());
    SetModalHandler(nullptr);
}

TEST_F(StartupTest, TraceWindowOpensFromTheMenuAndTheLeds)
{
    TStartup s(options());
    QString error;
    ASSERT_TRUE(s.CreateWindows(error));
    TFrmMain* w = s.Main();
    w->tmr1->stop();
    QWidget* track = createdWindow(s, "TfrmTrack");
    ASSERT_NE(track, nullptr);
    EXPECT_FALSE(track->isVisible());
    w->iLedRx->doubleClicked();
    EXPECT_TRUE(track->isVisible());
    track->hide();
    w->mni4002->trigger();
    EXPECT_TRUE(track->isVisible());
    EXPECT_EQ(static_cast<QWidget*>(w->TrackWindow.data()), track);
    bool finished = false;
    QObject::connect(&s, &TStartup::finished, [&finished] { finished = true; });
    w->mni1002->trigger(); // Exit
    EXPECT_TRUE(finished);
    EXPECT_FALSE(w->isVisible());
}

TEST_F(StartupTest, ALongPortNameIsShortenedOnTheLabelButShownWhole)
{
    const QString path = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
    TStartup s(options({"--port", path}));
    QString error;
    ASSERT_TRUE(s.CreateWindows(error));
    TFrmMain* w = s.Main();
    w->tmr1->stop();
    w->show();
    w->tmr1Timer();
    EXPECT_TRUE(w->lblCommName->text().startsWith(path + "\n"));
    EXPECT_TRUE(w->lblCommName->isElided());
    EXPECT_EQ(w->lblCommName->toolTip(), w->lblCommName->text());
    LocalPara.ComName = "COM1";
    w->tmr1Timer();
    EXPECT_FALSE(w->lblCommName->isElided());
    // The tip names the port whether or not the label had to shorten it.
    EXPECT_EQ(w->lblCommName->toolTip(), w->lblCommName->text());
}

} // namespace
