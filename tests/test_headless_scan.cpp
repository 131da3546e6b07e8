// zyrtool --scan through the built executable, and the command line's usage errors, on a
// machine with no display.
#include "simharness/SimHarness.h"
#include "support/ProgramRun.h"
#include "test_comm_pty.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using namespace simtest;

QJsonArray parseArray(const QByteArray& json)
{
    QJsonParseError e{};
    const QJsonDocument doc = QJsonDocument::fromJson(json, &e);
    EXPECT_EQ(e.error, QJsonParseError::NoError) << e.errorString().toStdString() << ": " << json.toStdString();
    EXPECT_TRUE(doc.isArray());
    return doc.array();
}

// The tool where a window system is named but cannot start: no display at all.
TToolRun runWithoutDisplay(const QStringList& args) { return RunHeadlessTool(args, 120000, QStringLiteral("xcb")); }

TEST(ScanCommand, FindsTheCabinetsAtTheirSpeedAndAddresses)
{
    SimProcess sim;
    ASSERT_TRUE(sim.start({"--strict-speed", "--baud", "4800", "--addresses", "3,12", "--no-drift"}));
    const TToolRun run = runWithoutDisplay({"--port", sim.link(), "--scan"});
    ASSERT_EQ(run.exitCode, 0) << run.errors.toStdString();
    const QJsonArray cabinets = parseArray(run.out);
    ASSERT_EQ(cabinets.size(), 2) << run.out.toStdString();
    const int addresses[] = {3, 12};
    for (int i = 0; i < 2; ++i) {
        const QJsonObject c = cabinets.at(i).toObject();
        EXPECT_EQ(c.value("address").toInt(), addresses[i]);
        EXPECT_EQ(c.value("baud").toInt(), 4800);
        EXPECT_EQ(c.value("port").toString(), sim.link());
        EXPECT_EQ(c.value("type").toString(), "ZYR");
        EXPECT_EQ(c.value("rating").toInt(), 50);
        EXPECT_EQ(c.value("version").toString(), "V3.10.0025");
        EXPECT_EQ(c.keys(), (QStringList{"address", "baud", "port", "rating", "type", "version"}));
    }
    // Progress went to standard error: every speed, and what was found.
    for (const char* speed : {"19200", "9600", "4800", "2400", "1200"})
        EXPECT_TRUE(run.errors.contains(QStringLiteral("at %1 bit/s").arg(speed))) << speed;
    EXPECT_TRUE(run.errors.contains("found cabinet 12 at 4800 bit/s")) << run.errors.toStdString();
}

TEST(ScanCommand, SilentLineEndsWithStatusTwoAndAnEmptyList)
{
    TestPty line; // nobody on the far end
    ASSERT_TRUE(line.ok());
    const TToolRun run = RunHeadlessTool({"--port", line.slavePath(), "--scan"});
    EXPECT_EQ(run.exitCode, 2) << run.errors.toStdString();
    EXPECT_TRUE(parseArray(run.out).isEmpty());
    EXPECT_TRUE(run.errors.contains("no cabinet answered")) << run.errors.toStdString();
}

TEST(ScanCommand, PortThatCannotOpenEndsWithStatusOne)
{
    QTemporaryDir dir;
    const QString missing = dir.filePath("no-such-tty");
    const TToolRun run = runWithoutDisplay({"--scan", "--port", missing});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(parseArray(run.out).isEmpty());
    EXPECT_TRUE(run.errors.contains(missing)) << run.errors.toStdString();
    EXPECT_TRUE(run.errors.contains("Error opening serial port")) << run.errors.toStdString();
    EXPECT_TRUE(run.errors.contains("No such file or directory")) << run.errors.toStdString();
}

// Every command, help and version run on a core application: with a window system named and no
// display for it, each still ends as it should instead of aborting at the missing display.
struct NoDisplayCase {
    QStringList args; // "%PORT" and "%DIR" stand for a port that cannot open and a folder
    int status;
    const char* told; // on standard output for status 0, on standard error otherwise
};

class NoWindowSystem : public ::testing::TestWithParam<NoDisplayCase> {};

TEST_P(NoWindowSystem, RunsWithoutADisplay)
{
    QTemporaryDir dir;
    const QString missing = dir.filePath("no-such-tty");
    QStringList args;
    for (const QString& a : GetParam().args)
        args << QString(a).replace("%PORT", missing).replace("%DIR", dir.path());
    const TToolRun run = runWithoutDisplay(args);
    const std::string what = args.join(' ').toStdString();
    EXPECT_EQ(run.exitCode, GetParam().status) << what << ": " << run.errors.toStdString();
    const QString told = GetParam().status == 0 ? QString::fromLocal8Bit(run.out) : run.errors;
    EXPECT_TRUE(told.contains(QLatin1String(GetParam().told))) << what << ": " << told.toStdString();
    if (GetParam().status != 0) EXPECT_TRUE(told.contains(missing)) << what << ": " << told.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    CommandLine, NoWindowSystem,
    ::testing::Values(
        NoDisplayCase{{"--help"}, 0, "--snapshot"}, NoDisplayCase{{"--help-all"}, 0, "--snapshot"},
        NoDisplayCase{{"--version"}, 0, "zyrtool "},
        NoDisplayCase{{"--port", "%PORT", "--snapshot", "%DIR/s.json"}, 1, "Error opening serial port"},
        NoDisplayCase{{"--port", "%PORT", "--backup", "%DIR/b.json"}, 1, "Error opening serial port"},
        NoDisplayCase{{"--port", "%PORT", "--download-log", "%DIR/d.csv"}, 1, "Error opening serial port"},
        NoDisplayCase{{"--port", "%PORT", "--log-values", "%DIR/v.csv", "--duration", "1"}, 1,
                      "Error opening serial port"}),
    [](const ::testing::TestParamInfo<NoDisplayCase>& i) { return "Case" + std::to_string(i.index); });

struct UsageCase {
    QStringList args;
    const char* named; // what the one line names
};

class UsageErrors : public ::testing::TestWithParam<UsageCase> {};

// Told in one line, with exit status 1, before any window system starts: with none to start
// here, the tool would otherwise abort.
TEST_P(UsageErrors, OneLineAndStatusOneWithoutADisplay)
{
    const TToolRun run = runWithoutDisplay(GetParam().args);
    const std::string what = GetParam().args.join(' ').toStdString();
    EXPECT_EQ(run.exitCode, 1) << what << ": " << run.errors.toStdString();
    EXPECT_TRUE(run.out.isEmpty()) << what;
    const QStringList lines = run.errors.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 1) << what << ": " << run.errors.toStdString();
    EXPECT_TRUE(lines[0].contains(QLatin1String(GetParam().named))) << lines[0].toStdString();
    EXPECT_TRUE(lines[0].endsWith("see --help")) << lines[0].toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    CommandLine, UsageErrors,
    ::testing::Values(
        UsageCase{{"--bogus"}, "bogus"}, UsageCase{{"-platform", "offscreen", "--bogus"}, "bogus"},
        UsageCase{{"--port"}, "--port"}, UsageCase{{"--baud", "fast"}, "--baud"},
        UsageCase{{"--address", "16", "--port", "COM1", "--snapshot", "-"}, "--address"},
        UsageCase{{"--from", "0", "--port", "COM1", "--download-log", "x.csv"}, "--from"},
        UsageCase{{"--quit-after", "soon"}, "--quit-after"}, UsageCase{{"stray"}, "stray"},
        UsageCase{{"--scan", "--baud", "9600"}, "--baud"},
        UsageCase{{"--scan", "--snapshot", "-", "--port", "COM1"}, "--scan"},
        UsageCase{{"--snapshot", "-"}, "--port"},
        // An option given twice: the second value would go unused without a word.
        UsageCase{{"--port", "COM1", "--port", "COM2", "--snapshot", "-"}, "--port"},
        UsageCase{{"--port", "COM1", "--snapshot", "a.json", "--snapshot", "b.json"}, "--snapshot"},
        UsageCase{{"--port", "COM1", "--log-values", "a.csv", "--interval", "1", "--interval", "2"},
                  "--interval"},
        UsageCase{{"--scan", "--scan"}, "--scan"},
        UsageCase{{"-platform", "offscreen", "--baud", "9600", "--baud=19200"}, "--baud"}),
    [](const ::testing::TestParamInfo<UsageCase>& i) { return "Case" + std::to_string(i.index); });

} // namespace
