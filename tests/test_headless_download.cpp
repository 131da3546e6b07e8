// zyrtool --download-log through the built executable against the simulated cabinet.
#include "model/UShareData.h"
#include "model/uDataFunc.h"
#include "simharness/SimHarness.h"
#include "support/ProgramRun.h"
#include "support/SimRecordLog.h"

#include <QDir>
#include <QFile>
#include <QThread>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>

namespace {

using namespace simtest;

using ToolRun = TToolRun;

ToolRun runTool(const QStringList& args) { return RunHeadlessTool(args, 800000); }

// The rows of a CSV record file as records of named values; the status words, written in
// hexadecimal, are turned back into numbers.
std::vector<QSqlRecord> csvRows(const QString& path, QStringList* header = nullptr)
{
    std::vector<QSqlRecord> rows;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return rows;
    QString text = QString::fromUtf8(f.readAll());
    if (text.startsWith(QChar(0xFEFF))) text.remove(0, 1);
    const QStringList lines = text.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    if (lines.isEmpty()) return rows;
    const QStringList names = DelimitedItems(lines.first(), QLatin1Char(','));
    if (header) *header = names;
    static const QStringList words = {"CMMState",  "CMMAlarmH", "CMMAlarmL", "INVStateH", "INVStateL",
                                      "INVAlarmH", "INVAlarmL", "MontState", "MontAlarm"};
    for (int i = 1; i < lines.size(); ++i) {
        const QStringList items = DelimitedItems(lines[i], QLatin1Char(','));
        QSqlRecord rec;
        for (int c = 0; c < names.size() && c < items.size(); ++c) {
            QSqlField field(names[c], QMetaType(QMetaType::QString));
            field.setValue(words.contains(names[c]) ? QString::number(items[c].toUInt(nullptr, 16))
                                                    : items[c]);
            rec.append(field);
        }
        rows.push_back(rec);
    }
    return rows;
}

class DownloadTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QStringList simArgs(const QStringList& extra) const
    {
        return QStringList{"--baud", "19200", "--no-pacing", "--no-drift"} + extra;
    }
    QStringList toolArgs(const QStringList& extra) const
    {
        return QStringList{"--port", sim.link(), "--baud", "19200", "--settings-dir", dir.path()} + extra;
    }
    // What a download stores does not depend on the pace: these run on a line-speed link.
    QStringList fastToolArgs(const QStringList& extra) const { return toolArgs(QStringList{"--fast"} + extra); }
    QTemporaryDir dir;
    SimProcess sim;
};

TEST_F(DownloadTest, ThreeHundredRecordsToCsvEqualTheCabinetsLog)
{
    const QStringList args = simArgs({"--records", "300", "--invalid-dates"});
    const std::map<int, QStringList> log = simulatorLog(args);
    ASSERT_EQ(log.size(), 300u);
    ASSERT_TRUE(sim.start(args));
    const QString file = dir.filePath("log.csv");
    const ToolRun run = runTool(fastToolArgs({"--download-log", file}));
    ASSERT_EQ(run.exitCode, 0) << run.errors.toStdString();
    EXPECT_TRUE(run.errors.contains("300 records written")) << run.errors.toStdString();
    QStringList header;
    const std::vector<QSqlRecord> rows = csvRows(file, &header);
    EXPECT_EQ(header.size(), 32);
    ASSERT_EQ(rows.size(), 300u);
    for (size_t i = 0; i < rows.size(); ++i) {
        const int recNo = rows[i].value("RecNo").toInt();
        EXPECT_EQ(recNo, int(i) + 1) << "ascending record numbers";
        ASSERT_TRUE(log.count(recNo));
        EXPECT_EQ(compareRow(rows[i], log.at(recNo), nullptr), QString()) << "record " << recNo;
    }
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("data/record.mdb"))) << "the local records are not touched";
}

TEST_F(DownloadTest, ASilentCabinetEndsWithStatusTwoAndKeepsWhatCame)
{
    const QStringList args = simArgs({"--records", "40"});
    const std::map<int, QStringList> log = simulatorLog(args);
    ASSERT_TRUE(sim.start(args + QStringList{"--silent-after-record", "30"}));
    const QString file = dir.filePath("log.mdb");
    const ToolRun run = runTool(fastToolArgs({"--download-log", file}));
    EXPECT_EQ(run.exitCode, 2) << run.errors.toStdString();
    EXPECT_TRUE(run.errors.contains("records 31 to 40 are missing")) << run.errors.toStdString();

    // The copy is a record database holding the 30 records that came.
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("copy"));
        db.setDatabaseName(file);
        ASSERT_TRUE(db.open());
        QSqlQuery q(db);
        ASSERT_TRUE(q.exec("select * from UpsEvntRecord order by RecNo"));
        int n = 0;
        while (q.next()) {
            ++n;
            EXPECT_EQ(q.value("RecNo").toInt(), n);
            EXPECT_EQ(compareRow(q.record(), log.at(n), nullptr), QString()) << "record " << n;
        }
        EXPECT_EQ(n, 30);
    }
    QSqlDatabase::removeDatabase(QStringLiteral("copy"));
}

// A line-speed download against a cabinet that paces its replies at the line speed, as a real
// line does: every record arrives whole and equals the cabinet's own account of it.
TEST_F(DownloadTest, FastDownloadOfAPacedLineEqualsTheCabinetsLog)
{
    const QStringList args{"--baud", "19200", "--no-drift", "--records", "150", "--invalid-dates"};
    const std::map<int, QStringList> log = simulatorLog(args);
    ASSERT_EQ(log.size(), 150u);
    ASSERT_TRUE(sim.start(args));
    const QString file = dir.filePath("log.csv");
    const ToolRun run = runTool(fastToolArgs({"--download-log", file}));
    ASSERT_EQ(run.exitCode, 0) << run.errors.toStdString();
    EXPECT_TRUE(run.errors.contains("150 records written")) << run.errors.toStdString();
    const std::vector<QSqlRecord> rows = csvRows(file);
    ASSERT_EQ(rows.size(), 150u);
    for (size_t i = 0; i < rows.size(); ++i) {
        const int recNo = rows[i].value("RecNo").toInt();
        EXPECT_EQ(recNo, int(i) + 1);
        ASSERT_TRUE(log.count(recNo));
        EXPECT_EQ(compareRow(rows[i], log.at(recNo), nullptr), QString()) << "record " << recNo;
    }
}

// At the defined pace, as the cabinet's download was always run.
TEST_F(DownloadTest, FromARecordWithChineseAnalysisTexts)
{
    const QStringList args = simArgs({"--records", "8"});
    const std::map<int, QStringList> log = simulatorLog(args);
    ASSERT_TRUE(sim.start(args));
    const QString file = dir.filePath("log.csv");
    const ToolRun run =
        runTool(toolArgs({"--download-log", file, "--from", "5", "--analysis", "--language", "zh"}));
    ASSERT_EQ(run.exitCode, 0) << run.errors.toStdString();
    const std::vector<QSqlRecord> rows = csvRows(file);
    ASSERT_EQ(rows.size(), 4u) << "exactly the records of this download";
    LocalPara.Language = 1;
    for (size_t i = 0; i < rows.size(); ++i) {
        const QStringList& e = log.at(5 + int(i));
        EXPECT_EQ(rows[i].value("RecNo").toInt(), 5 + int(i));
        EXPECT_EQ(rows[i].value("UpsState").toString(), StateText(e[7].toInt()) + "(" + e[7] + ")");
        EXPECT_EQ(rows[i].value("EventNo").toString(), EventText(e[9].toInt()) + "(" + e[9] + ")");
        EXPECT_EQ(rows[i].value("AlarmNo").toString(), AlarmText(e[10].toInt()) + "(" + e[10] + ")");
    }
    LocalPara.Language = 0;
}

TEST_F(DownloadTest, PortThatCannotOpenEndsWithStatusOne)
{
    const QString missing = dir.filePath("no-such-tty");
    const ToolRun run =
        runTool({"--port", missing, "--download-log", dir.filePath("x.csv"), "--settings-dir", dir.path()});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.errors.contains(missing)) << run.errors.toStdString();
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("x.csv")));
}

TEST_F(DownloadTest, FileThatCannotBeWrittenEndsWithStatusOne)
{
    ASSERT_TRUE(sim.start(simArgs({"--records", "2"})));
    const ToolRun run = runTool(toolArgs({"--download-log", dir.filePath("no-such-folder/log.csv")}));
    EXPECT_EQ(run.exitCode, 1) << run.errors.toStdString();
}

// The request for one record as the cabinet's frame log shows it ("01 14 07 06 00 01 00 06 00 40").
QString recordRequestLogged(int record)
{
    return QStringLiteral("01 14 07 06 00 01 %1 %2 00 40")
        .arg(record >> 8, 2, 16, QLatin1Char('0'))
        .arg(record & 0xFF, 2, 16, QLatin1Char('0'))
        .toUpper();
}

// Ctrl-C or SIGTERM while record 6 of 30 is awaited: the link is stopped, the five records
// stored are written, the message names the missing ones, the status is the shell's, and the
// temporary database goes with its folder.
TEST_F(DownloadTest, InterruptAtRecordFiveOfThirtyWritesWhatWasStored)
{
    const struct {
        int signal;
        int status;
        const char* word;
    } cases[] = {{SIGINT, 130, "interrupted"}, {SIGTERM, 143, "terminated"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.word);
        SimProcess cabinet;
        // The cabinet answers records 1 to 5, then nothing: the signal comes while 6 is awaited.
        ASSERT_TRUE(cabinet.start(simArgs({"--records", "30", "--silent-after-record", "5"})));
        QTemporaryDir tmp;
        ASSERT_TRUE(tmp.isValid());
        const QString file = dir.filePath(QStringLiteral("log-%1.csv").arg(c.signal));
        QProcess tool;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        env.insert(QStringLiteral("TMPDIR"), tmp.path());
        tool.setProcessEnvironment(env);
        // The records before the signal come on a line-speed link: what an interrupt leaves
        // does not depend on the pace.
        tool.start(QStringLiteral(ZYR_BINARY_DIR "/zyrtool"), {"--port", cabinet.link(), "--baud", "19200", "--fast",
                                                               "--settings-dir", dir.path(), "--download-log", file});
        ASSERT_TRUE(tool.waitForStarted(10000));
        const QString sixth = recordRequestLogged(6);
        bool asked = false;
        for (int i = 0; i < 600 && !asked && tool.state() == QProcess::Running; ++i) {
            asked = cabinet.logLines().join('\n').contains(sixth);
            if (!asked) QThread::msleep(50);
        }
        ASSERT_TRUE(asked) << "record 6 was never asked for";
        ::kill(static_cast<pid_t>(tool.processId()), c.signal);
        ASSERT_TRUE(tool.waitForFinished(30000));
        const QString errors = QString::fromLocal8Bit(tool.readAllStandardError());
        EXPECT_EQ(tool.exitStatus(), QProcess::NormalExit) << "the tool ends by itself, not by the signal";
        EXPECT_EQ(tool.exitCode(), c.status) << errors.toStdString();
        EXPECT_TRUE(errors.contains(QStringLiteral("%1; records 6 to 30 are missing").arg(c.word)))
            << errors.toStdString();
        EXPECT_TRUE(errors.contains("5 records written")) << errors.toStdString();
        const std::vector<QSqlRecord> rows = csvRows(file);
        ASSERT_EQ(rows.size(), 5u);
        for (size_t i = 0; i < rows.size(); ++i) EXPECT_EQ(rows[i].value("RecNo").toInt(), int(i) + 1);
        const QStringList left = QDir(tmp.path()).entryList({"zyrtool*"}, QDir::AllEntries | QDir::Hidden);
        EXPECT_TRUE(left.isEmpty()) << "temporary folder left: " << left.join(' ').toStdString();
    }
}

// An output that cannot be written is refused at once, naming it, before the cabinet is asked
// anything.
TEST_F(DownloadTest, BadOutputPathIsRefusedBeforeTheFirstRequest)
{
    QFile plain(dir.filePath("plain"));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder.csv"));
    ASSERT_TRUE(sim.start(simArgs({"--records", "12"})));
    const struct {
        QString path;
        QString reason;
    } cases[] = {
        {dir.filePath("no-such-folder/log.csv"),
         QStringLiteral("the folder %1 does not exist").arg(dir.filePath("no-such-folder"))},
        {dir.filePath("folder.csv"), QStringLiteral("it is a folder")},
        {dir.filePath("plain/log.mdb"), QStringLiteral("the folder %1 does not exist").arg(dir.filePath("plain"))},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        const ToolRun run = runTool(toolArgs({"--download-log", c.path}));
        EXPECT_EQ(run.exitCode, 1) << run.errors.toStdString();
        EXPECT_TRUE(run.errors.contains(QStringLiteral("cannot write %1: %2").arg(c.path, c.reason)))
            << run.errors.toStdString();
    }
    EXPECT_TRUE(sim.logLines().isEmpty()) << "nothing was sent: " << sim.logLines().join('\n').toStdString();
}

} // namespace
