// zyrtool --log-values through the built executable against the simulated cabinet on a
// pseudo-terminal: the values are the cabinet's registers scaled, one line per interval, the
// header rule holds, a silent cabinet gets "No reply" lines, and SIGTERM ends the run in order.
#include "model/uValueColumns.h"
#include "simharness/SimHarness.h"
#include "support/ProgramRun.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/stat.h>
#include <thread>

namespace {

using namespace simtest;

constexpr int Baud = 19200;

struct LogFile {
    QByteArray raw;
    QString header;
    QList<QStringList> lines; // the fields of each line after the header
};

LogFile readLog(const QString& path)
{
    LogFile log;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return log;
    log.raw = f.readAll();
    QByteArray body = log.raw;
    if (body.startsWith(QByteArray(ValueLogBom, 3))) body.remove(0, 3);
    const QList<QByteArray> rows = body.split('\n');
    for (int i = 0; i < rows.size(); ++i) {
        QByteArray row = rows[i];
        if (row.isEmpty()) continue;
        if (row.endsWith('\r')) row.chop(1);
        if (i == 0)
            log.header = QString::fromUtf8(row);
        else
            log.lines << QString::fromUtf8(row).split(QLatin1Char(','));
    }
    return log;
}

class ValueLogTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QStringList args(const QString& file, const QStringList& extra)
    {
        return QStringList{"--port", sim.link(), "--baud", QString::number(Baud), "--settings-dir", dir.path(),
                           "--log-values", file} +
               extra;
    }
    std::vector<uint16_t> simRegisters(int reg, int count)
    {
        RawPort port;
        if (!port.open(sim.link(), Baud)) return {};
        return registersOf(port.transact(readRequest(1, 4, reg, count), size_t(5 + 2 * count)));
    }
    QTemporaryDir dir;
    SimProcess sim;
};

TEST_F(ValueLogTest, LinesHoldTheCabinetsRegistersScaledOncePerInterval)
{
    ASSERT_TRUE(sim.start({"--baud", QString::number(Baud), "--no-pacing", "--no-drift", "--state", "4"}));
    const QString file = dir.filePath("values.csv");
    const TToolRun run = RunHeadlessTool(args(file, {"--interval", "1", "--duration", "8"}));
    ASSERT_EQ(run.exitCode, 0) << run.errors.toStdString();
    // A second a line, or the poll cycle when the tool said it raised the interval to it.
    double interval = 1.0;
    const QRegularExpressionMatch raised =
        QRegularExpression(QStringLiteral("interval is raised to ([0-9.]+) s")).match(run.errors);
    if (raised.hasMatch()) interval = raised.captured(1).toDouble();
    ASSERT_GE(interval, 1.0);
    ASSERT_LE(interval, 4.0);
    const int expectedLines = int(8.0 / interval) + 1;

    const LogFile log = readLog(file);
    ASSERT_TRUE(log.raw.startsWith(QByteArray(ValueLogBom, 3)));
    EXPECT_EQ(log.raw.count("\r\n"), log.raw.count('\n')); // every line ends in CR LF
    EXPECT_TRUE(log.raw.endsWith("\r\n"));
    EXPECT_EQ(log.header, ValueLogHeader(AllValueColumns()));
    EXPECT_GE(log.lines.size(), expectedLines - 1);
    EXPECT_LE(log.lines.size(), expectedLines + 1);
    ASSERT_GE(log.lines.size(), 2);

    const std::vector<uint16_t> r = simRegisters(30001, 44);
    ASSERT_EQ(r.size(), 44u);
    const QStringList heads = log.header.split(QLatin1Char(','));
    auto field = [&](const QStringList& line, const char* heading) {
        const int i = heads.indexOf(QString::fromUtf8(heading));
        return i >= 0 && i < line.size() ? line[i] : QStringLiteral("<none>");
    };
    auto tenth = [&](int reg) { return QString::number(r[size_t(reg - 30001)] / 10.0, 'f', 1); };
    auto hundredth = [&](int reg) { return QString::number(r[size_t(reg - 30001)] / 100.0, 'f', 2); };
    QList<qint64> times;
    for (const QStringList& line : log.lines) {
        ASSERT_EQ(line.size(), heads.size());
        EXPECT_EQ(field(line, "InVolt_A (V)"), tenth(30001));
        EXPECT_EQ(field(line, "InVolt_C (V)"), tenth(30003));
        EXPECT_EQ(field(line, "InFreq (Hz)"), tenth(30004));
        EXPECT_EQ(field(line, "InPF_B"), hundredth(30009));
        EXPECT_EQ(field(line, "OutCurr_B (A)"), tenth(30016));
        EXPECT_EQ(field(line, "LoadPct_C (%)"), tenth(30023));
        EXPECT_EQ(field(line, "BpsVolt_A (V)"), tenth(30027));
        EXPECT_EQ(field(line, "BattVolt_N (V)"), tenth(30032));
        EXPECT_EQ(field(line, "BattChgRate (%)"), QString::number(r[36]));
        EXPECT_EQ(field(line, "InsideTemp (°C)"), tenth(30040));
        EXPECT_EQ(field(line, "State"), "Online");
        const QDateTime t = QDateTime::fromString(line[0], Qt::ISODateWithMs);
        ASSERT_TRUE(t.isValid()) << line[0].toStdString();
        EXPECT_NE(t.timeSpec(), Qt::LocalTime) << "the time carries its offset";
        times << t.toMSecsSinceEpoch();
    }
    // One line per interval, loosely: the lines are planned from the start, so the spacing
    // stays near the interval and the whole run spans about the duration.
    const qint64 step = qint64(interval * 1000);
    for (int i = 1; i < times.size(); ++i) {
        EXPECT_GE(times[i] - times[i - 1], step / 2) << i;
        EXPECT_LE(times[i] - times[i - 1], step * 2) << i;
    }
    EXPECT_GE(times.last() - times.first(), step * (log.lines.size() - 1) - step / 2);
    EXPECT_LE(times.last() - times.first(), step * (log.lines.size() - 1) + step / 2);

    // A second run appends under the same header.
    const int before = log.lines.size();
    const TToolRun again = RunHeadlessTool(args(file, {"--duration", "1"}));
    ASSERT_EQ(again.exitCode, 0) << again.errors.toStdString();
    const LogFile appended = readLog(file);
    EXPECT_EQ(appended.raw.count(ValueLogHeader(AllValueColumns()).toUtf8()), 1);
    EXPECT_EQ(appended.raw.count(QByteArray(ValueLogBom, 3)), 1);
    EXPECT_GE(appended.lines.size(), before + 1);
    EXPECT_TRUE(appended.raw.startsWith(log.raw));
}

TEST_F(ValueLogTest, AFileWithAnotherHeaderIsRefusedAndLeftAlone)
{
    ASSERT_TRUE(sim.start({"--baud", QString::number(Baud), "--no-pacing"}));
    const QString file = dir.filePath("other.csv");
    const QByteArray content = QByteArray(ValueLogBom, 3) + "Time,InVolt_A (V),State\r\n2026-01-01T00:00:00.000+00:00,230.0,Online\r\n";
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
    }
    const QDateTime modified = QFileInfo(file).lastModified();
    const TToolRun run = RunHeadlessTool(args(file, {"--duration", "1"}));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.errors.contains(QStringLiteral("left as it is"))) << run.errors.toStdString();
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), content);
    EXPECT_EQ(QFileInfo(file).lastModified(), modified);
}

TEST_F(ValueLogTest, ACabinetThatNeverAnswersEndsWithStatusTwoAndNoFile)
{
    ASSERT_TRUE(sim.start({"--baud", QString::number(Baud), "--no-pacing", "--drop", "1.0"}));
    const QString file = dir.filePath("none.csv");
    // How a cabinet that never answers ends does not depend on the pace: a line-speed link
    // gives up after its three poll cycles in a fraction of the time.
    const TToolRun run = RunHeadlessTool(args(file, {"--duration", "30", "--fast"}));
    EXPECT_EQ(run.exitCode, 2) << run.errors.toStdString();
    EXPECT_FALSE(QFile::exists(file));
}

// The cabinet stops answering (its process is stopped) and comes back; SIGTERM then ends the
// run with status 0 after a last line.
TEST_F(ValueLogTest, ASilentCabinetGetsNoReplyLinesAndSigtermEndsTheRunInOrder)
{
    ASSERT_TRUE(sim.start({"--baud", QString::number(Baud), "--no-pacing", "--state", "4"}));
    const QString file = dir.filePath("silence.csv");
    QProcess tool;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    tool.setProcessEnvironment(env);
    // What a silence writes and how SIGTERM ends the run do not depend on the pace: a
    // line-speed link notices the silence and the return within a second or two.
    tool.start(QStringLiteral(ZYR_BINARY_DIR "/zyrtool"), args(file, {"--interval", "0.5", "--fast"}));
    ASSERT_TRUE(tool.waitForStarted(10000));
    const auto waitFor = [&](const std::function<bool(const LogFile&)>& done) {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 60000) {
            if (done(readLog(file))) return true;
            if (tool.state() == QProcess::NotRunning) return false;
            QThread::msleep(100);
        }
        return false;
    };
    const auto noReply = [](const QStringList& l) { return l.last() == QLatin1String("No reply"); };
    ASSERT_TRUE(waitFor([](const LogFile& l) { return l.lines.size() >= 2; }));
    const pid_t simPid = static_cast<pid_t>(sim.process().processId());
    ::kill(simPid, SIGSTOP);
    ASSERT_TRUE(waitFor([&](const LogFile& l) { return !l.lines.isEmpty() && noReply(l.lines.last()); }));
    ::kill(simPid, SIGCONT);
    ASSERT_TRUE(waitFor([&](const LogFile& l) { return !l.lines.isEmpty() && l.lines.last().last() == "Online"; }));
    const int before = readLog(file).lines.size();
    ::kill(static_cast<pid_t>(tool.processId()), SIGTERM);
    ASSERT_TRUE(tool.waitForFinished(20000));
    EXPECT_EQ(tool.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(tool.exitCode(), 0) << tool.readAllStandardError().toStdString();

    const LogFile log = readLog(file);
    EXPECT_GT(log.lines.size(), before);
    EXPECT_TRUE(log.raw.endsWith("\r\n"));
    for (const QStringList& line : log.lines) {
        ASSERT_EQ(line.size(), int(ValueColumns().size()) + 2);
        if (noReply(line))
            for (int i = 1; i + 1 < line.size(); ++i) EXPECT_TRUE(line[i].isEmpty()) << i;
        else
            EXPECT_FALSE(line[1].isEmpty());
    }
    const auto silent = std::count_if(log.lines.begin(), log.lines.end(), noReply);
    EXPECT_GE(silent, 1);
    EXPECT_LT(silent, log.lines.size());
}

// The output is checked before the port opens: a port that does not exist is never reached.
TEST(ValueLogOutput, IsCheckedBeforeThePortOpens)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const struct {
        QString file;
        QString reason;
    } cases[] = {
        {dir.filePath("gone/values.csv"),
         QStringLiteral("the folder %1 does not exist").arg(dir.filePath("gone"))},
        {dir.path(), QStringLiteral("it is a folder")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file.toStdString());
        const TToolRun run = RunHeadlessTool(
            {"--port", "/dev/zyr-no-such-port", "--settings-dir", dir.path(), "--log-values", c.file}, 60000);
        EXPECT_EQ(run.exitCode, 1) << run.errors.toStdString();
        EXPECT_TRUE(run.errors.contains(QStringLiteral("cannot write %1: %2").arg(c.file, c.reason)))
            << run.errors.toStdString();
        EXPECT_FALSE(run.errors.contains("zyr-no-such-port")) << "the port was not tried";
    }
}

// "-" is standard output, as for --snapshot; /dev/stdout reaches the same pipe. A pipe has no
// disk to sync to, which is no failure.
TEST_F(ValueLogTest, StandardOutputAndItsPipeTakeTheLines)
{
    ASSERT_TRUE(sim.start({"--baud", QString::number(Baud), "--no-pacing", "--no-drift", "--state", "4"}));
    for (const QString& name : {QStringLiteral("-"), QStringLiteral("/dev/stdout")}) {
        SCOPED_TRACE(name.toStdString());
        const TToolRun run = RunHeadlessTool(args(name, {"--duration", "2", "--fast"}));
        ASSERT_EQ(run.exitCode, 0) << run.errors.toStdString();
        EXPECT_TRUE(run.out.startsWith(QByteArray(ValueLogBom, 3) +
                                       ValueLogHeader(AllValueColumns()).toUtf8() + "\r\n"));
        EXPECT_GE(run.out.count("\r\n"), 2) << "the header and a line at least";
        EXPECT_FALSE(QFileInfo::exists(QDir::current().filePath("-"))) << "no file named \"-\"";
    }
}

// The logger as a process of its own, its standard error gathered as it comes.
struct LoggerRun {
    QProcess tool;
    QString errors;
    void start(const QStringList& arguments)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        tool.setProcessEnvironment(env);
        tool.start(QStringLiteral(ZYR_BINARY_DIR "/zyrtool"), arguments);
    }
    bool waitForError(const QString& text, int ms = 60000)
    {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < ms) {
            tool.waitForReadyRead(100);
            errors += QString::fromLocal8Bit(tool.readAllStandardError());
            if (errors.contains(text)) return true;
            if (tool.state() == QProcess::NotRunning) return false;
        }
        return false;
    }
    int endWith(int signal)
    {
        ::kill(static_cast<pid_t>(tool.processId()), signal);
        if (!tool.waitForFinished(20000)) return -1;
        errors += QString::fromLocal8Bit(tool.readAllStandardError());
        return tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1;
    }
};

// A FIFO with no reader: the logger waits for one and says so, and a signal still ends it
// with its status; with a reader, the reader gets the header and the lines.
TEST_F(ValueLogTest, FifoWaitsForItsReaderAndSignalsEndTheWait)
{
    ASSERT_TRUE(sim.start({"--baud", QString::number(Baud), "--no-pacing", "--no-drift", "--state", "4"}));
    const QString fifo = dir.filePath("values.fifo");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    for (const auto& [signal, status] : {std::pair{SIGTERM, 143}, std::pair{SIGINT, 130}}) {
        LoggerRun run;
        run.start(args(fifo, {"--fast"}));
        ASSERT_TRUE(run.waitForError(QStringLiteral("waiting for a program to read %1").arg(fifo)))
            << run.errors.toStdString();
        EXPECT_EQ(run.endWith(signal), status) << run.errors.toStdString();
    }

    QByteArray fromFifo;
    std::thread reader([&] {
        QFile in(fifo);
        if (in.open(QIODevice::ReadOnly)) fromFifo = in.readAll();
    });
    const TToolRun run = RunHeadlessTool(args(fifo, {"--duration", "2", "--fast"}));
    reader.join();
    EXPECT_EQ(run.exitCode, 0) << run.errors.toStdString();
    EXPECT_TRUE(fromFifo.startsWith(QByteArray(ValueLogBom, 3) + ValueLogHeader(AllValueColumns()).toUtf8()));
    EXPECT_GE(fromFifo.count("\r\n"), 2);
}

// A closed terminal (SIGHUP) ends the logger as SIGTERM does, with its last line, and the
// status says so: 129.
TEST_F(ValueLogTest, SighupEndsTheRunWithItsLastLineAndStatus129)
{
    ASSERT_TRUE(sim.start({"--baud", QString::number(Baud), "--no-pacing", "--no-drift", "--state", "4"}));
    const QString file = dir.filePath("hup.csv");
    LoggerRun run;
    run.start(args(file, {"--interval", "0.5", "--fast"}));
    QElapsedTimer clock;
    clock.start();
    while (readLog(file).lines.size() < 2 && clock.elapsed() < 60000 &&
           run.tool.state() != QProcess::NotRunning)
        QThread::msleep(100);
    const int before = readLog(file).lines.size();
    ASSERT_GE(before, 2);
    EXPECT_EQ(run.endWith(SIGHUP), 129) << run.errors.toStdString();
    EXPECT_GT(readLog(file).lines.size(), before) << "the last line";
    EXPECT_TRUE(readLog(file).raw.endsWith("\r\n"));
}

} // namespace
