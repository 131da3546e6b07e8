// End to end: the tool against the simulated cabinet on a pseudo-terminal, in this process
// (the main window's grids are read directly) and as the built program with its demonstration
// run and its pictures in both languages.
#include "app/UFrmMain.h"
#include "app/uStartup.h"
#include "cli/uCmdLine.h"
#include "comm/uCabinet.h"
#include "comm/uFrmCom.h"
#include "model/UShareData.h"
#include "model/uDataFunc.h"
#include "model/uLocalPara.h"
#include "support/ProgramRun.h"
#include "support/TestSupport.h"
#include "ui/uStringGrid.h"
#include "ui/uUiSeam.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLineEdit>
#include <QProcess>
#include <QProcessEnvironment>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

namespace {

// cabinet-sim on a pseudo-terminal of its own, stopped when the test ends.
class SimulatedCabinet {
public:
    bool start(const QString& link, const QStringList& extra = {})
    {
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start(QStringLiteral(ZYR_CABINET_SIM),
                       QStringList{"--pty", link, "--baud", "19200", "--no-drift"} + extra);
        if (!process_.waitForStarted(10000)) return false;
        return QTest::qWaitFor([&] { return QFileInfo::exists(link); }, 10000);
    }
    ~SimulatedCabinet()
    {
        if (process_.state() == QProcess::NotRunning) return;
        process_.terminate();
        if (!process_.waitForFinished(5000)) {
            process_.kill();
            process_.waitForFinished(5000);
        }
    }

private:
    QProcess process_;
};

class EndToEndTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetAll();
        ASSERT_TRUE(dir_.isValid());
    }
    void TearDown() override
    {
        SetSettingsFolderOverride(QString());
        SetMessageBoxHandler(nullptr);
    }
    QTemporaryDir dir_;
};

TEST_F(EndToEndTest, MainWindowShowsTheSimulatedCabinet)
{
    const QString link = dir_.filePath("ttyZYR");
    SimulatedCabinet sim;
    ASSERT_TRUE(sim.start(link));

    TCmdLine options;
    QString error;
    ASSERT_TRUE(ParseCmdLine(
        {"zyrtool", "--settings-dir", dir_.path(), "--port", link, "--baud", "19200", "--connect"}, options,
        error))
        << error.toStdString();
    QString shown;
    SetMessageBoxHandler([&shown](const TMessageBoxRequest& r) {
        shown = r.text;
        return QMessageBox::Ok;
    });
    TStartup startup(options);
    ASSERT_TRUE(startup.CreateWindows(error)) << error.toStdString();
    startup.Start();
    ASSERT_TRUE(shown.isEmpty()) << shown.toStdString();
    ASSERT_TRUE(FrmCom->PortOpen());
    TFrmMain* w = startup.Main();

    // The type read is the operator's Read button; the version comes with the start.
    w->btnRead->click();
    const bool arrived = QTest::qWaitFor(
        [&] {
            return CellText(w->sgrdUPS_AC, 1, 1) == "230.2" && CellText(w->sgrdUPS_DC, 1, 4) == "100.0" &&
                   w->edtUpsVer->text() == "V3.10.0025" && w->edtTypeInfo->text() == "ZYR" &&
                   w->edtSysState->text() == StateText(4);
        },
        20000);
    ASSERT_TRUE(arrived) << "AC " << CellText(w->sgrdUPS_AC, 1, 1).toStdString() << " version "
                         << w->edtUpsVer->text().toStdString() << " state "
                         << w->edtSysState->text().toStdString();

    // The simulator's values, as its register image holds them for address 1.
    struct CellCase {
        QTableWidget* grid;
        int col, row;
        const char* text;
    } cells[] = {
        {w->sgrdUPS_AC, 2, 1, "229.7"}, {w->sgrdUPS_AC, 3, 1, "230.6"}, {w->sgrdUPS_AC, 1, 3, "50.0"},
        {w->sgrdUPS_AC, 1, 7, "50.0"},  {w->sgrdUPS_DC, 1, 1, "272.0"}, {w->sgrdUPS_DC, 2, 1, "271.6"},
        {w->sgrdUPS_DC, 1, 5, "45.0"},  {w->sgrdUPS_DC, 1, 6, "25.1"},  {w->sgrdUPS_DC, 1, 7, "30.5"}};
    for (const CellCase& c : cells)
        EXPECT_EQ(CellText(c.grid, c.col, c.row), QString::fromLatin1(c.text))
            << c.grid->objectName().toStdString() << " " << c.col << "," << c.row;
    EXPECT_EQ(w->edtMdRate->text(), "50");
    EXPECT_EQ(w->edtSysState->text(), StateText(4));
    EXPECT_EQ(w->edtSysState->text(), "Online");
    EXPECT_GT(TestCommDebug().AckCount, 0);

    // The link button closes the line; pressed again it opens it and polling goes on.
    w->spbComLinkClick();
    EXPECT_FALSE(FrmCom->PortOpen());
    w->tmr1Timer();
    EXPECT_EQ(w->spbComLink->toolTip(), "Trun On");
    w->spbComLinkClick();
    EXPECT_TRUE(FrmCom->PortOpen());
    EXPECT_FALSE(TestLinkState().CommPaused);
    w->tmr1Timer();
    EXPECT_EQ(w->spbComLink->toolTip(), "Trun Off");

    w->close(); // closes the port and saves the settings
    EXPECT_FALSE(FrmCom->PortOpen());
}

// The built program, as the run command starts it.
struct Shot {
    const char* name;
    int language;
};

class ProgramTest : public ::testing::TestWithParam<Shot> {};

TEST_P(ProgramTest, DemoRunWritesItsPictureAndKeepsTheSettingsFilesPort)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    {
        QFile ini(dir.filePath("UserParaIni.ini"));
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write(QStringLiteral("[LocalPara]\nComName=COM2\nBaudRate=2400\nLanguage=%1\n")
                      .arg(GetParam().language)
                      .toUtf8());
    }
    const QString png = dir.filePath(QStringLiteral("%1.png").arg(GetParam().name));
    QProcess tool;
    tool.setProcessChannelMode(QProcess::ForwardedChannels);
    tool.start(QStringLiteral(ZYR_BINARY_DIR "/zyrtool"),
               {"-platform", "offscreen", "--demo", "--settings-dir", dir.path(), "--quit-after", "6",
                "--screenshot", png});
    ASSERT_TRUE(tool.waitForStarted(10000));
    ASSERT_TRUE(tool.waitForFinished(120000));
    EXPECT_EQ(tool.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(tool.exitCode(), 0);

    const QFileInfo info(png);
    ASSERT_TRUE(info.exists());
    EXPECT_GT(info.size(), 0);
    const QImage image(png);
    EXPECT_EQ(image.size(), QSize(742, 582));

    QFile ini(dir.filePath("UserParaIni.ini"));
    ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
    const QString saved = QString::fromUtf8(ini.readAll());
    EXPECT_TRUE(saved.contains("ComName=COM2")) << saved.toStdString();
    EXPECT_TRUE(saved.contains("BaudRate=2400")) << saved.toStdString();
    EXPECT_TRUE(saved.contains("PageSheet", Qt::CaseInsensitive));
    // Only the pictures and the settings file are left: the demo's pseudo-terminal is gone.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 2);
}

INSTANTIATE_TEST_SUITE_P(Languages, ProgramTest, ::testing::Values(Shot{"English", 0}, Shot{"Chinese", 1}),
                         [](const ::testing::TestParamInfo<Shot>& i) { return std::string(i.param.name); });

TEST(Program, HelpListsTheOptions)
{
    // With a platform named, and on a machine with no display and none named.
    const QStringList withPlatform{"-platform", "offscreen", "--help"};
    for (const QStringList& args : {withPlatform, QStringList{"--help"}}) {
        QProcess tool;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        tool.setProcessEnvironment(env);
        tool.start(QStringLiteral(ZYR_BINARY_DIR "/zyrtool"), args);
        ASSERT_TRUE(tool.waitForFinished(60000));
        EXPECT_EQ(tool.exitStatus(), QProcess::NormalExit) << args.join(' ').toStdString();
        EXPECT_EQ(tool.exitCode(), 0) << args.join(' ').toStdString();
        const QString out = QString::fromLocal8Bit(tool.readAllStandardOutput());
        for (const char* opt : {"--port", "--baud", "--connect", "--demo", "--quit-after", "--screenshot"})
            EXPECT_TRUE(out.contains(QLatin1String(opt))) << opt;
    }
}

} // namespace

namespace {

TEST(Program, ATimedEndIsNotHeldOffByAPortThatCannotOpen)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QProcess tool;
    tool.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    tool.start(QStringLiteral(ZYR_BINARY_DIR "/zyrtool"),
               {"-platform", "offscreen", "--settings-dir", dir.path(), "--port", dir.filePath("no-such-tty"),
                "--connect", "--quit-after", "1"});
    ASSERT_TRUE(tool.waitForStarted(10000));
    const bool ended = tool.waitForFinished(60000);
    if (!ended) tool.kill(), tool.waitForFinished(5000);
    ASSERT_TRUE(ended);
    EXPECT_EQ(tool.exitCode(), 0);
    EXPECT_TRUE(QFileInfo::exists(dir.filePath("UserParaIni.ini")));
}

} // namespace

namespace {

TEST(Program, WindowOptionOpensTheViewAndPicturesIt)
{
    const TProgramRun run = RunViewScreenshot(QStringLiteral("frmTrack"), 0, 3);
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(run.exitCode, 0) << run.errors.toStdString();
    ASSERT_FALSE(run.picture.isNull());
    EXPECT_NE(run.picture.size(), QSize(742, 582))
        << "the picture is of the trace window, not the main window";
}

TEST(Program, AnUnknownViewIsNamedAndTheMainWindowPictured)
{
    const TProgramRun run = RunViewScreenshot(QStringLiteral("frmNoSuchView"), 0, 2);
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.errors.contains(QStringLiteral("no view is named frmNoSuchView")))
        << run.errors.toStdString();
    EXPECT_TRUE(run.errors.contains(QStringLiteral("frmTrack"))) << "the known views are listed";
    EXPECT_EQ(run.picture.size(), QSize(742, 582));
}

} // namespace
