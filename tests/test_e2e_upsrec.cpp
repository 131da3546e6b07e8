// The event log end to end: the tool downloads the simulated cabinet's log over a
// pseudo-terminal at 19200 bit/s into its record database, the rows are compared field by
// field with the log the simulator prints, the erase empties the simulator's log, and a tool
// killed in the middle of a download leaves a sound database with every record stored so far.
#include "app/UFrmMain.h"
#include "app/uStartup.h"
#include "cli/uCmdLine.h"
#include "comm/uCabinet.h"
#include "comm/uFrmCom.h"
#include "model/UShareData.h"
#include "model/uLocalPara.h"
#include "records/uUpsRec.h"
#include "simharness/SimHarness.h"
#include "store/uRecordDb.h"
#include "support/DialogScript.h"
#include "support/ProgramRun.h"
#include "support/SimRecordLog.h"
#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProcessEnvironment>
#include <QProgressBar>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>
#include <map>

namespace {

// The window's download stores the same records whatever the pace; it runs on a line-speed link.
QStringList toolArgs(const QString& dir, const QString& link)
{
    return {"zyrtool", "--settings-dir", dir, "--port", link, "--baud", "19200", "--connect", "--fast"};
}

// The tool's main window and its event-record window against a running simulator.
struct ToolRun {
    std::unique_ptr<TStartup> startup;
    TfrmUpsRec* rec = nullptr;
    bool start(const QString& dir, const QString& link, QString& error)
    {
        TCmdLine options;
        if (!ParseCmdLine(toolArgs(dir, link), options, error)) return false;
        startup = std::make_unique<TStartup>(options);
        if (!startup->CreateWindows(error)) return false;
        startup->Start();
        if (!FrmCom->PortOpen()) {
            error = "port not open";
            return false;
        }
        startup->Main()->mni3001Click();
        rec = startup->Main()->frmUpsRec;
        if (!rec) return false;
        rec->ActiveForTest = true; // the counters are read while the window is active and idle
        return QTest::qWaitFor([&] { return rec->redtAllRec->text() != ""; }, 20000);
    }
};

QString shotPath(const char* name)
{
    QDir().mkpath(QStringLiteral(ZYR_BINARY_DIR "/shots"));
    return QStringLiteral(ZYR_BINARY_DIR "/shots/%1.png").arg(QLatin1String(name));
}

// Pictures the window in both languages.
void picture(TfrmUpsRec* w, const char* stem)
{
    for (int language : {0, 1}) {
        LocalPara.Language = static_cast<uint8_t>(language);
        w->FormActivate();
        QCoreApplication::processEvents();
        const QImage image = w->grab().toImage();
        EXPECT_EQ(image.width(), 670);
        EXPECT_TRUE(
            image.save(shotPath(QStringLiteral("%1-%2").arg(stem, language ? "zh" : "en").toLatin1())));
    }
    LocalPara.Language = 0;
    w->FormActivate();
}

class RecordDownloadEndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetAll();
        ASSERT_TRUE(dir_.isValid());
    }
    void TearDown() override
    {
        tool_.startup.reset();
        SetSettingsFolderOverride(QString());
        ResetAll();
    }
    QTemporaryDir dir_;
    ToolRun tool_;
};

// Seventy records fill the list past its first page and hold invalid dates (the cabinet's
// records 7 and 57) and temperatures the window corrects; hundreds show no more.
TEST_F(RecordDownloadEndToEnd, SeventyRecordsEqualTheCabinetsLogAndTheEraseEmptiesIt)
{
    constexpr int Records = 70;
    const QStringList simArgs{"--records", QString::number(Records), "--invalid-dates"};
    const std::map<int, QStringList> expected = simulatorLog(simArgs);
    ASSERT_EQ(expected.size(), size_t(Records));

    simtest::SimProcess sim;
    ASSERT_TRUE(sim.start(simArgs + QStringList{"--baud", "19200", "--no-drift"}));
    DialogScript script;
    QString error;
    ASSERT_TRUE(tool_.start(dir_.path(), sim.link(), error)) << error.toStdString();
    TfrmUpsRec* w = tool_.rec;
    EXPECT_EQ(w->redtAllRec->text(), QString::number(Records));
    EXPECT_EQ(w->redtMaxRec->text(), "1000");

    w->btnBegin->click();
    ASSERT_EQ(Cabinet().RecInfo.PollHold, FlagOn);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Cabinet().RecInfo.NextRecNo > 40; }, 120000));
    picture(w, "upsrec-downloading");
    EXPECT_TRUE(w->lblProgress->text().contains(QStringLiteral("of %1 records").arg(Records)))
        << w->lblProgress->text().toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Cabinet().RecInfo.PollHold == 0; }, 240000))
        << "stopped at " << Cabinet().RecInfo.NextRecNo;
    EXPECT_EQ(Cabinet().RecInfo.NextRecNo, Records + 1);
    EXPECT_TRUE(script.messages.empty()) << script.messageTexts().join('|').toStdString();

    // Field by field against the simulator's own account of its log.
    QSqlQuery q(w->Db().Database());
    ASSERT_TRUE(q.exec("Select * from UpsEvntRecord order by RecNo"));
    int rows = 0;
    int corrected = 0;
    while (q.next()) {
        const int n = q.value("RecNo").toInt();
        ++rows;
        ASSERT_EQ(n, rows);
        const QString wrong = compareRow(q.record(), expected.at(n), &corrected);
        EXPECT_TRUE(wrong.isEmpty()) << "record " << n << ": " << wrong.toStdString();
    }
    EXPECT_EQ(rows, Records);
    EXPECT_GT(corrected, 0);
    EXPECT_EQ(w->TempFixCount, corrected);
    EXPECT_EQ(w->lblCntErr->text(), QString::number(corrected));
    EXPECT_EQ(w->mmo2->toPlainText().split('\n').size(), corrected);
    EXPECT_EQ(w->pbDownload->value(), 100);
    picture(w, "upsrec-downloaded");

    // The erase: the question, the prompt with its own password, then the two writes.
    script.buttons = {QMessageBox::Yes};
    script.prompts = {{"tulip", TPromptAnswer::Ensure}};
    // The erase queues nothing while the counters read or the main window's reads hold slot 1
    // or 2: the operator presses it when the link is free.
    ASSERT_TRUE(QTest::qWaitFor([] { return TestSlots()[1].Pending == 0 && TestSlots()[2].Pending == 0; }, 10000));
    w->btnClrRecClick();
    EXPECT_EQ(TestSlots()[2].Pending, FlagOn);
    EXPECT_EQ(script.promptsShown, 1);
    // Once both writes are out, the next counters read shows the empty log.
    ASSERT_TRUE(QTest::qWaitFor([] { return TestSlots()[1].Pending == 0 && TestSlots()[2].Pending == 0; }, 10000));
    w->InfoCountdown = 0;
    EXPECT_TRUE(QTest::qWaitFor([&] { return w->redtAllRec->text() == "0"; }, 30000))
        << w->redtAllRec->text().toStdString();

    // The simulator itself, asked over the line by the test's own port, holds no record.
    tool_.startup->Main()->spbComLinkClick();
    ASSERT_FALSE(FrmCom->PortOpen());
    simtest::RawPort port;
    ASSERT_TRUE(port.open(sim.link(), 19200));
    // The cabinet may still be answering the request the tool sent just before it let go.
    port.read(512, 300, 100);
    const simtest::Bytes counters = port.transact(simtest::readRequest(1, 3, 40053, 2), 9);
    ASSERT_TRUE(simtest::RefCrc::valid(counters));
    EXPECT_EQ(simtest::registersOf(counters), (std::vector<uint16_t>{0, 0}));
    EXPECT_EQ(port.transact(simtest::recordRequest(1, 1), 5), simtest::withCrc({1, 0x94, 2}));
    // The local records stay.
    EXPECT_EQ(w->Db().RowCount(), Records);
}

// The child half of the kill test: a tool that downloads until it is killed.
TEST(RecordKillChild, DownloadsUntilKilled)
{
    const QString dir = qEnvironmentVariable("ZYR_KILL_CHILD_DIR");
    const QString link = qEnvironmentVariable("ZYR_KILL_CHILD_PORT");
    if (dir.isEmpty() || link.isEmpty()) GTEST_SKIP() << "run by RecordDownloadKill only";
    ResetAll();
    ToolRun tool;
    QString error;
    ASSERT_TRUE(tool.start(dir, link, error)) << error.toStdString();
    DialogScript script;
    tool.rec->btnBegin->click();
    ASSERT_EQ(Cabinet().RecInfo.PollHold, FlagOn);
    QTest::qWait(600000); // the parent kills this process long before
}

TEST(RecordDownloadKill, AKilledDownloadLeavesASoundDatabaseWithEveryStoredRecord)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QStringList simArgs{"--records", "200"};
    const std::map<int, QStringList> expected = simulatorLog(simArgs);
    simtest::SimProcess sim;
    ASSERT_TRUE(sim.start(simArgs + QStringList{"--baud", "19200", "--no-drift"}));

    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("ZYR_KILL_CHILD_DIR", dir.path());
    env.insert("ZYR_KILL_CHILD_PORT", sim.link());
    env.insert("QT_QPA_PLATFORM", "offscreen");
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.start(QCoreApplication::applicationFilePath(),
                {"--gtest_filter=RecordKillChild.DownloadsUntilKilled"});
    ASSERT_TRUE(child.waitForStarted(10000));

    // Watch the rows grow from another connection, as another program would.
    const QString db = dir.filePath("data/record.mdb");
    auto countRows = [&db]() {
        int rows = -1;
        {
            QSqlDatabase c = QSqlDatabase::addDatabase("QSQLITE", "watch");
            c.setDatabaseName(db);
            c.setConnectOptions("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=2000");
            if (QFile::exists(db) && c.open()) {
                QSqlQuery q(c);
                if (q.exec("Select count(*) from UpsEvntRecord") && q.next()) rows = q.value(0).toInt();
            }
            c.close();
        }
        QSqlDatabase::removeDatabase("watch");
        return rows;
    };
    int seen = -1;
    const bool grew = QTest::qWaitFor(
        [&] {
            seen = countRows();
            return seen >= 15 || child.state() == QProcess::NotRunning;
        },
        180000);
    ASSERT_TRUE(grew);
    ASSERT_EQ(child.state(), QProcess::Running) << "the child ended by itself";
    ASSERT_GE(seen, 15);
    ::kill(static_cast<pid_t>(child.processId()), SIGKILL);
    ASSERT_TRUE(child.waitForFinished(10000));
    EXPECT_EQ(child.exitStatus(), QProcess::CrashExit);

    // The killed writer left its write-ahead log behind; a new connection recovers from it.
    TRecordDb after;
    after.SetFilePath(db);
    QString error;
    ASSERT_TRUE(after.OpenRecordDb(&error)) << error.toStdString();
    QSqlQuery q(after.Database());
    ASSERT_TRUE(q.exec("PRAGMA integrity_check") && q.next());
    EXPECT_EQ(q.value(0).toString(), "ok");
    ASSERT_TRUE(q.exec("Select * from UpsEvntRecord order by RecNo"));
    int rows = 0;
    while (q.next()) {
        ++rows;
        ASSERT_EQ(q.value("RecNo").toInt(), rows);
        const QString wrong = compareRow(q.record(), expected.at(rows), nullptr);
        EXPECT_TRUE(wrong.isEmpty()) << "record " << rows << ": " << wrong.toStdString();
    }
    EXPECT_GE(rows, seen) << "every record stored before the kill is there";
    EXPECT_LT(rows, 200);
}

TEST(RecordWindowProgram, WindowOptionPicturesTheEventRecordWindowInBothLanguages)
{
    for (int language : {0, 1}) {
        const TProgramRun run = RunViewScreenshot(QStringLiteral("frmUpsRec"), language, 3);
        ASSERT_TRUE(run.ended);
        EXPECT_EQ(run.exitCode, 0) << run.errors.toStdString();
        ASSERT_FALSE(run.picture.isNull());
        EXPECT_EQ(run.picture.width(), 670);
        run.picture.save(shotPath(language ? "upsrec-window-zh" : "upsrec-window-en"));
    }
}

} // namespace
