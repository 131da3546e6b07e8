// The command line: one table of options parsed once, each value kept where the run reads it,
// each refusal told with its own words, the run's command chosen by the parse; and a command's
// port and speed handed to the link, the settings record left as it was.
#include "cli/uCmdLine.h"
#include "cli/uHeadless.h"
#include "cli/uHeadlessLink.h"
#include "comm/uFrmCom.h"
#include "model/uLocalPara.h"
#include "support/TestSupport.h"
#include "test_comm_pty.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

namespace {

TCmdLine parsed(const QStringList& args, QString* error = nullptr)
{
    TCmdLine o;
    QString e;
    const bool ok = ParseCmdLine(QStringList{"zyrtool"} + args, o, e);
    EXPECT_TRUE(ok) << args.join(' ').toStdString() << ": " << e.toStdString();
    if (error) *error = e;
    return o;
}

// Each option's value lands in its own field, and the run does what the options ask.
struct TTakenCase {
    QStringList args;
    TCommand command;
    std::function<bool(const TCmdLine&)> holds;
};

TEST(CmdLineTable, EveryOptionKeepsItsValue)
{
    const TTakenCase cases[] = {
        {{"--port", " /dev/ttyUSB0 "},
         TCommand::Window,
         [](const TCmdLine& o) { return o.Port == "/dev/ttyUSB0"; }},
        {{"--baud", "9600"}, TCommand::Window, [](const TCmdLine& o) { return o.Baud == 9600; }},
        {{"--connect"}, TCommand::Window, [](const TCmdLine& o) { return o.Connect; }},
        {{"--demo"}, TCommand::Window, [](const TCmdLine& o) { return o.Demo && o.Port.isEmpty(); }},
        {{"--quit-after", "2.5"}, TCommand::Window, [](const TCmdLine& o) { return o.QuitAfterMs == 2500; }},
        {{"--quit-after", "0", "--screenshot", "a.png"},
         TCommand::Window,
         [](const TCmdLine& o) { return o.QuitAfterMs == 0 && o.Screenshot == "a.png"; }},
        {{"--window", " frmTrack:btnX "},
         TCommand::Window,
         [](const TCmdLine& o) { return o.Window == "frmTrack:btnX"; }},
        {{"--settings-dir", "/tmp/z"},
         TCommand::Window,
         [](const TCmdLine& o) { return o.SettingsDir == "/tmp/z"; }},
        {{"--time-first-values"}, TCommand::Window, [](const TCmdLine& o) { return o.TimeFirstValues; }},
        {{"--print-counters"}, TCommand::Window, [](const TCmdLine& o) { return o.PrintCounters; }},
        {{"--fast"}, TCommand::Window, [](const TCmdLine& o) { return o.Fast; }},
        {{"--language", " ZH "}, TCommand::Window, [](const TCmdLine& o) { return o.Language == 1; }},
        {{"--language", "en"}, TCommand::Window, [](const TCmdLine& o) { return o.Language == 0; }},
        {{"--from", "200"}, TCommand::Window, [](const TCmdLine& o) { return o.From == 200; }},
        {{"--analysis"}, TCommand::Window, [](const TCmdLine& o) { return o.Analysis; }},
        {{"--address", "15"}, TCommand::Window, [](const TCmdLine& o) { return o.Address == 15; }},
        {{"--help"}, TCommand::Help, [](const TCmdLine& o) { return o.Help; }},
        {{"--help-all"}, TCommand::Help, [](const TCmdLine& o) { return o.Help; }},
        {{"-v"}, TCommand::Version, [](const TCmdLine& o) { return o.Version; }},
        // Help wins over a command, as it did before any command ran.
        {{"--help", "--port", "C", "--snapshot", "-"},
         TCommand::Help,
         [](const TCmdLine& o) { return o.Help; }},
        {{"--port", "C", "--snapshot", "-"},
         TCommand::Snapshot,
         [](const TCmdLine& o) { return o.Snapshot == "-"; }},
        {{"--port", "C", "--download-log", "x.mdb", "--from", "3"},
         TCommand::DownloadLog,
         [](const TCmdLine& o) { return o.DownloadLog == "x.mdb" && o.From == 3; }},
        {{"--port", "C", "--backup", "b.json"},
         TCommand::Backup,
         [](const TCmdLine& o) { return o.Backup == "b.json"; }},
        {{"--port", "C", "--log-values", "v.csv", "--interval", "0.5", "--duration", "60"},
         TCommand::LogValues,
         [](const TCmdLine& o) {
             return o.LogValues == "v.csv" && o.LogIntervalMs == 500 && o.LogDurationMs == 60000;
         }},
        {{"--port", "C", "--log-values", "v.csv"},
         TCommand::LogValues,
         [](const TCmdLine& o) { return o.LogIntervalMs == 1000 && o.LogDurationMs == -1; }},
        {{"--scan"}, TCommand::Scan, [](const TCmdLine& o) { return o.Scan && o.Port.isEmpty(); }},
        {{"--port", "C", "--restore", "r.json", "--dry-run", "--force"},
         TCommand::Restore,
         [](const TCmdLine& o) { return o.Restore == "r.json" && o.DryRun && o.Force; }},
        // A flag said twice says the same thing once more.
        {{"--connect", "--connect", "--fast", "--fast"},
         TCommand::Window,
         [](const TCmdLine& o) { return o.Connect && o.Fast; }},
    };
    for (const TTakenCase& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const TCmdLine o = parsed(c.args);
        EXPECT_EQ(o.Command, c.command);
        EXPECT_EQ(NeedsNoWindow(o), c.command != TCommand::Window);
        EXPECT_TRUE(c.holds(o));
    }
}

TEST(CmdLineTable, NoOptionAsksForNothing)
{
    const TCmdLine o = parsed({});
    EXPECT_EQ(o.Command, TCommand::Window);
    EXPECT_FALSE(NeedsNoWindow(o));
    EXPECT_TRUE(o.Port.isEmpty() && o.Snapshot.isEmpty() && o.Restore.isEmpty());
    EXPECT_EQ(o.Baud, 0);
    EXPECT_EQ(o.Address, 1);
    EXPECT_EQ(o.From, 1);
    EXPECT_EQ(o.QuitAfterMs, -1);
}

// Each refusal with its exact words: what the operator reads on standard error.
struct TRefusedCase {
    QStringList args;
    const char* error;
};

TEST(CmdLineTable, EachMistakeIsToldInItsOwnWords)
{
    const TRefusedCase cases[] = {
        {{"--bogus"}, "Unknown option 'bogus'."},
        {{"--port"}, "Missing value after '--port'."},
        {{"stray"}, "Unexpected argument: stray"},
        {{"--port", " "}, "--port needs a port name"},
        {{"--baud", "0"}, "--baud needs a positive whole number, not \"0\""},
        {{"--baud", "fast"}, "--baud needs a positive whole number, not \"fast\""},
        {{"--quit-after", "90000"}, "--quit-after needs a number of seconds, not \"90000\""},
        {{"--quit-after", "inf"}, "--quit-after needs a number of seconds, not \"inf\""},
        {{"--screenshot", "a.png"}, "--screenshot needs a file name and --quit-after"},
        {{"--window", " "}, "--window needs the object name of a view"},
        {{"--snapshot", ""}, "--snapshot needs a file name (\"-\" for standard output)"},
        {{"--snapshot", "s.json"}, "--snapshot needs --port"},
        {{"--download-log", "d.csv"}, "--download-log needs --port"},
        {{"--port", "C", "--download-log", ""}, "--download-log needs a file name"},
        {{"--port", "C", "--download-log", "d", "--snapshot", "s"},
         "--download-log and --snapshot are separate runs"},
        {{"--backup", "b"}, "--backup needs --port"},
        {{"--port", "C", "--backup", "b", "--download-log", "d"},
         "--backup, --snapshot and --download-log are separate runs"},
        {{"--port", "C", "--log-values", ""}, "--log-values needs a file name"},
        {{"--port", "C", "--log-values", "v", "--backup", "b"},
         "--log-values, --snapshot, --download-log and --backup are separate runs"},
        {{"--port", "C", "--log-values", "v", "--interval", "0.4"},
         "--interval needs a number of seconds from 0.5 on, not \"0.4\""},
        {{"--port", "C", "--log-values", "v", "--duration", "-1"},
         "--duration needs a number of seconds, not \"-1\""},
        {{"--interval", "5"}, "--interval goes with --log-values"},
        {{"--duration", "5"}, "--duration goes with --log-values"},
        {{"--from", "0"}, "--from needs a record number from 1 to 65535, not \"0\""},
        {{"--language", "fr"}, "--language needs en or zh, not \"fr\""},
        {{"--address", "16"}, "--address needs a cabinet address from 1 to 15, not \"16\""},
        {{"--scan", "--port", "C", "--snapshot", "-"},
         "--scan is a run of its own; leave out --snapshot, --download-log, --backup and --log-values"},
        {{"--scan", "--address", "1"},
         "--scan tries every speed and address; leave out --baud and --address"},
        {{"--scan", "--demo"}, "--scan needs a real port (or none, for every port); leave out --demo"},
        {{"--restore", "r"}, "--restore needs --port"},
        {{"--port", "C", "--restore", "r", "--scan"},
         "--restore is a run of its own; leave out --snapshot, --download-log, --backup, --log-values and "
         "--scan"},
        {{"--port", "C", "--dry-run"}, "--dry-run goes with --restore"},
        {{"--port", "C", "--force"}, "--force goes with --restore"},
        {{"--demo", "--port", "C"}, "--demo chooses its own port; leave out --port"},
    };
    for (const TRefusedCase& c : cases) {
        TCmdLine o;
        QString error;
        EXPECT_FALSE(ParseCmdLine(QStringList{"zyrtool"} + c.args, o, error))
            << c.args.join(' ').toStdString();
        EXPECT_EQ(error, QString::fromUtf8(c.error)) << c.args.join(' ').toStdString();
    }
}

// A value given twice would leave one of them unused without a word.
TEST(CmdLineTable, AnOptionWithAValueGivenTwiceIsRefused)
{
    const QStringList valued{"port",       "baud",     "quit-after",   "screenshot",
                             "window",     "snapshot", "download-log", "backup",
                             "from",       "language", "address",      "settings-dir",
                             "log-values", "interval", "duration",     "restore"};
    for (const QString& name : valued) {
        TCmdLine o;
        QString error;
        const QString option = QStringLiteral("--") + name;
        EXPECT_FALSE(ParseCmdLine({"zyrtool", option, "1", option, "1"}, o, error)) << name.toStdString();
        EXPECT_EQ(error, QStringLiteral("--%1 is given more than once").arg(name));
    }
    TCmdLine o;
    QString error;
    EXPECT_FALSE(ParseCmdLine({"zyrtool", "--scan", "--scan"}, o, error));
    EXPECT_EQ(error, QStringLiteral("--scan is given more than once"));
}

TEST(CmdLineTable, TheHelpListsEveryOptionOfTheTable)
{
    const QString help = CmdLineHelpText();
    for (const char* option : {"--port <NAME>",
                               "--baud <N>",
                               "--connect",
                               "--demo",
                               "--quit-after <SECONDS>",
                               "--screenshot <FILE>",
                               "--window <OBJECTNAME>",
                               "--snapshot <FILE>",
                               "--download-log <FILE>",
                               "--backup <FILE>",
                               "--from <N>",
                               "--analysis",
                               "--language <en|zh>",
                               "--address <N>",
                               "--scan",
                               "--settings-dir <DIR>",
                               "--time-first-values",
                               "--print-counters",
                               "--log-values <FILE>",
                               "--interval <SECONDS>",
                               "--duration <SECONDS>",
                               "--fast",
                               "--restore <FILE>",
                               "--dry-run",
                               "--force",
                               "--help",
                               "--version"})
        EXPECT_TRUE(help.contains(QLatin1String(option))) << option;
    // Listed in the table's order.
    EXPECT_LT(help.indexOf("--port <NAME>"), help.indexOf("--baud <N>"));
    EXPECT_LT(help.indexOf("--log-values"), help.indexOf("--restore"));
}

// A command hands its own port and speed to the link; the operator's settings stay his.
class CommandPort : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetAll();
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(pty.ok());
        LocalPara.ComName = QStringLiteral("COM7");
        LocalPara.BaudRate = 4800;
    }
    void TearDown() override
    {
        SetSettingsFolderOverride(QString());
        ResetAll();
    }
    void expectSettingsUntouched()
    {
        EXPECT_EQ(LocalPara.ComName, QStringLiteral("COM7"));
        EXPECT_EQ(LocalPara.BaudRate, 4800);
    }
    QTemporaryDir dir;
    TestPty pty;
};

TEST_F(CommandPort, TheLinkOpensTheCommandsPortAtItsSpeed)
{
    const TCmdLine o =
        parsed({"--port", pty.slavePath(), "--baud", "19200", "--address", "3", "--backup", "-"});
    THeadlessLink link(o);
    ASSERT_TRUE(link.Open(QStringLiteral("reading the settings of")));
    ASSERT_TRUE(link.PortOpen());
    EXPECT_EQ(link.Com()->SerialPort().CommName(), pty.slavePath());
    EXPECT_EQ(link.Com()->SerialPort().BaudRate(), 19200u);
    EXPECT_EQ(link.Address(), 3);
    expectSettingsUntouched();
    link.Close();
    expectSettingsUntouched();
}

TEST_F(CommandPort, WithoutBaudTheSettingsFilesSpeedIsReadNotTheRecord)
{
    QFile ini(dir.filePath(QStringLiteral("UserParaIni.ini")));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("[LocalPara]\nComName=COM2\nBaudRate=9600\n");
    ini.close();
    SetSettingsFolderOverride(dir.path());
    const TCmdLine o = parsed({"--port", pty.slavePath(), "--snapshot", "-"});
    THeadlessLink link(o);
    ASSERT_TRUE(link.Open(QStringLiteral("reading")));
    EXPECT_EQ(link.Com()->SerialPort().CommName(), pty.slavePath());
    EXPECT_EQ(link.Com()->SerialPort().BaudRate(), 9600u);
    expectSettingsUntouched();
}

TEST_F(CommandPort, ACommandWhosePortCannotBeOpenedEndsWithStatusOneAndTheRecordKept)
{
    const QString missing = dir.filePath(QStringLiteral("ttyNoSuchAdapter"));
    const QString out = dir.filePath(QStringLiteral("backup.json"));
    const TCmdLine o =
        parsed({"--settings-dir", dir.path(), "--port", missing, "--baud", "9600", "--backup", out});
    EXPECT_EQ(RunCommand(o), 1);
    EXPECT_FALSE(QFile::exists(out));
    expectSettingsUntouched();
}

} // namespace
