// The service journal's bookkeeping of writes and read-backs, its window with the CSV export,
// the one-page service report, and the active alarms by name.
#include "comm/uCabinet.h"
#include "comm/uLinkRequest.h"
#include "model/UShareData.h"
#include "model/uActiveAlarms.h"
#include "model/uDataFunc.h"
#include "model/uUpsInfo.h"
#include "records/uFrmJournal.h"
#include "records/uJournalTexts.h"
#include "records/uServiceReport.h"
#include "store/uServiceJournal.h"
#include "support/TestSupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

namespace {

TLinkRequest write6(int addr, int reg, uint16_t value, const char* source = "FrmDataSet")
{
    TLinkRequest r;
    r.slot = 2;
    r.addr = uint8_t(addr);
    r.func = 6;
    r.startReg = reg;
    r.count = 1;
    r.value = value;
    r.source = QString::fromLatin1(source);
    return r;
}

TLinkRequest read3(int addr, int reg, int count)
{
    TLinkRequest r;
    r.slot = 3;
    r.addr = uint8_t(addr);
    r.func = 3;
    r.startReg = reg;
    r.count = count;
    return r;
}

class Journal : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetAll();
        ASSERT_TRUE(dir.isValid());
        journal.SetFailureHandler([](const QString& why) { ADD_FAILURE() << why.toStdString(); });
        ASSERT_TRUE(journal.Open(dir.filePath("journal.db")));
        SetServiceJournal(&journal);
        // The identification the entries carry.
        std::memcpy(Cabinet().CfgRx + 41, "ZYR\x01\x00\x32", 6);
        std::memcpy(Cabinet().CfgRx + 25, "V3.10.0025", 10);
    }
    void TearDown() override
    {
        SetServiceJournal(nullptr);
        ResetAll();
    }
    // One write through the link's notifications: built, then acknowledged or dropped.
    void write(const TLinkRequest& w, bool answered)
    {
        FrmCom->RequestBuilt(w);
        if (answered) {
            FrmCom->ReplyAccepted(w, nullptr, 0);
        } else {
            TLinkRequest sent = w; // it went out; nothing answered
            sent.sent = true;
            FrmCom->RequestDropped(sent);
        }
    }
    void read(int addr, int reg, std::vector<uint16_t> values)
    {
        const TLinkRequest r = read3(addr, reg, int(values.size()));
        FrmCom->RequestBuilt(r);
        FrmCom->ReplyAccepted(r, values.data(), int(values.size()));
    }
    QTemporaryDir dir;
    TServiceJournal journal;
};

TEST_F(Journal, VerdictFollowsTheFirstReadOfTheRegisterFromThatCabinet)
{
    read(1, 40015, {32, 0, 1});  // what the cabinet held before
    write(write6(1, 40015, 36), true);
    read(2, 40015, {99});        // another cabinet: no read-back of this write
    read(1, 40014, {0, 36});     // the read-back
    read(1, 40015, {40});        // later reads change nothing
    write(write6(1, 40017, 2), true);
    read(1, 40017, {1});         // a cabinet that kept its old value
    write(write6(1, 40025, 30), false); // never answered
    write(write6(1, 50000, 10, "FrmSetBit"), true); // nobody reads 50000 back

    const std::vector<TJournalEntry> e = journal.Entries();
    ASSERT_EQ(e.size(), 4u);
    // Newest first.
    EXPECT_EQ(e[0].reg, 50000);
    EXPECT_EQ(e[0].verdict, int(TWriteVerdict::Written));
    EXPECT_EQ(e[0].source, "FrmSetBit");
    EXPECT_EQ(e[1].reg, 40025);
    EXPECT_EQ(e[1].verdict, int(TWriteVerdict::NoAnswer));
    EXPECT_FALSE(e[1].valueBefore.has_value()) << "never read";
    EXPECT_EQ(e[2].reg, 40017);
    EXPECT_EQ(e[2].verdict, int(TWriteVerdict::ReadBackDifferent));
    EXPECT_EQ(e[2].valueBefore, 1);
    EXPECT_EQ(e[2].readBack, 1);
    EXPECT_EQ(e[3].reg, 40015);
    EXPECT_EQ(e[3].verdict, int(TWriteVerdict::ReadBackEqual));
    EXPECT_EQ(e[3].valueBefore, 32);
    EXPECT_EQ(e[3].valueSent, 36);
    EXPECT_EQ(e[3].readBack, 36);
    EXPECT_EQ(e[3].address, 1);
    EXPECT_EQ(e[3].cabinetType, "ZYR");
    EXPECT_EQ(e[3].cabinetRating, 50);
    EXPECT_EQ(e[3].cabinetVersion, "V3.10.0025");
    EXPECT_EQ(e[3].writtenAt.date(), QDate::currentDate());
}

// What became of a write that was dropped: it never left (the port closed first), it left and
// nothing answered, or the cabinet refused it. The slots of the same write dropped with it
// were never built and leave the verdict alone.
TEST_F(Journal, ADroppedWriteSaysWhetherItEverLeft)
{
    struct Case {
        bool sent, refused;
        TWriteVerdict verdict;
    };
    const Case cases[] = {{false, false, TWriteVerdict::NotSent},
                          {true, false, TWriteVerdict::NoAnswer},
                          {true, true, TWriteVerdict::Refused}};
    int reg = 40020;
    for (const Case& c : cases) {
        TLinkRequest w = write6(1, ++reg, 7);
        FrmCom->RequestBuilt(w);
        w.sent = c.sent;
        w.refused = c.refused;
        FrmCom->RequestDropped(w);
        // The read-back of the same write, dropped with it before it was built.
        FrmCom->RequestDropped(read3(1, reg, 1));
        // A write of another window waiting in a slot, dropped with the port.
        FrmCom->RequestDropped(write6(1, 40030, 1));
    }
    const std::vector<TJournalEntry> e = journal.Entries();
    ASSERT_EQ(e.size(), 3u) << "a slot never built has no entry";
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(e[size_t(2 - i)].reg, 40021 + i);
        EXPECT_EQ(e[size_t(2 - i)].verdict, int(cases[i].verdict));
    }
    EXPECT_EQ(JournalVerdictText(int(TWriteVerdict::NotSent)), "not sent");
}

TEST_F(Journal, FunctionSixteenIsOneEntryPerRegister)
{
    TLinkRequest w;
    w.slot = 1;
    w.addr = 1;
    w.func = 16;
    w.startReg = 53000;
    w.count = 3;
    const uint16_t words[3] = {'A', 'B', 'C'};
    w.words = words;
    write(w, true);
    read(1, 53000, {'A', 'X', 'C'});
    const std::vector<TJournalEntry> e = journal.Entries();
    ASSERT_EQ(e.size(), 3u);
    EXPECT_EQ(e[2].reg, 53000);
    EXPECT_EQ(e[2].verdict, int(TWriteVerdict::ReadBackEqual));
    EXPECT_EQ(e[1].reg, 53001);
    EXPECT_EQ(e[1].verdict, int(TWriteVerdict::ReadBackDifferent));
    EXPECT_EQ(e[0].reg, 53002);
}

TEST_F(Journal, ReopenedFileKeepsItsEntriesAndSchemaVersion)
{
    write(write6(3, 51024, 1), true);
    journal.Close();
    TServiceJournal again;
    ASSERT_TRUE(again.Open(dir.filePath("journal.db")));
    ASSERT_EQ(again.Entries(3).size(), 1u);
    EXPECT_TRUE(again.Entries(1).empty());
    EXPECT_TRUE(again.Entries(3, QDate::currentDate().addDays(-1)).empty());
    EXPECT_EQ(again.Entries(3, QDate::currentDate()).size(), 1u);
    EXPECT_EQ(again.Addresses(), std::vector<int>{3});
}

TEST_F(Journal, WindowListsNewestFirstFiltersAndExportsCsvWithBom)
{
    write(write6(1, 40015, 36), true);
    write(write6(2, 51024, 1, "frmMdbSet"), true);
    TfrmJournal w;
    w.RefreshList();
    ASSERT_EQ(w.sgrdJournal->rowCount(), 2);
    EXPECT_EQ(w.sgrdJournal->item(0, 4)->text(), "51024");
    EXPECT_EQ(w.sgrdJournal->item(0, 5)->text(), "Baud Rate");
    EXPECT_EQ(w.sgrdJournal->item(0, 9)->text(), "written");
    w.cbbCabinet->setCurrentIndex(1);
    ASSERT_EQ(w.sgrdJournal->rowCount(), 1);
    EXPECT_EQ(w.sgrdJournal->item(0, 4)->text(), "40015");
    w.chkDay->setChecked(true);
    EXPECT_EQ(w.sgrdJournal->rowCount(), 1);

    LocalPara.Language = 1;
    w.ApplyCaptions();
    w.RefreshList();
    EXPECT_EQ(w.windowTitle(), QString::fromUtf8("服务日志"));
    EXPECT_EQ(w.sgrdJournal->item(0, 9)->text(), QString::fromUtf8("已写入"));
    const QByteArray csv = w.CsvBytes();
    ASSERT_TRUE(csv.startsWith("\xEF\xBB\xBF"));
    const QStringList lines = QString::fromUtf8(csv.mid(3)).split("\r\n", Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[0].startsWith(QString::fromUtf8("时间,机柜"))) << lines[0].toStdString();
    EXPECT_TRUE(lines[1].contains(QString::fromUtf8(",40015,电池节数,"))) << lines[1].toStdString();
}

TEST_F(Journal, ServiceReportIsOnePdfPageInBothLanguages)
{
    Cabinet().UpsData[1].InVolt[0] = 230.4;
    Cabinet().UpsData[1].Status.CmmStaL = 0x8000;
    Cabinet().UpsData[1].Status.CmmAlmH = 0x8000; // rectifier fault
    Cabinet().UpsData[1].SysState = DecodeState(Cabinet().UpsData[1].Status);
    read(1, 40015, {32});
    write(write6(1, 40015, 36), true);
    read(1, 40015, {36});
    for (int i = 0; i < 60; ++i) write(write6(1, 40025, uint16_t(i)), true); // more than a page holds
    for (int language : {0, 1}) {
        LocalPara.Language = uint8_t(language);
        const TServiceReport r = CollectServiceReport(1, QDate::currentDate(), &journal);
        EXPECT_EQ(r.writes.size(), 61u);
        EXPECT_EQ(r.alarms, QStringList{AlarmText(1)});
        EXPECT_EQ(r.type, "ZYR");
        const QString pdf = dir.filePath(QStringLiteral("report_%1.pdf").arg(language ? "zh" : "en"));
        QString error;
        ASSERT_TRUE(WriteServiceReportPdf(pdf, r, &error)) << error.toStdString();
        const QByteArray bytes = FileBytes(pdf);
        EXPECT_TRUE(bytes.startsWith("%PDF-"));
        EXPECT_TRUE(bytes.contains("/Count 1")) << "one page";
        EXPECT_FALSE(bytes.contains("/Count 2"));
        // A copy to look at, when asked for.
        const QByteArray keep = qgetenv("ZYR_KEEP_REPORT");
        if (!keep.isEmpty()) QFile::copy(pdf, QString::fromLocal8Bit(keep) + QFileInfo(pdf).fileName());
    }
    QString error;
    EXPECT_FALSE(WriteServiceReportPdf(dir.filePath("no-such-folder/r.pdf"), CollectServiceReport(1, QDate(), nullptr), &error));
    EXPECT_TRUE(error.startsWith("cannot write")) << error.toStdString();
}

// The journal keeps the window's object name and the register number; what it shows is the
// window's caption and the write-enable command by name, in the language of the moment.
TEST(JournalTexts, SourcesAndRegistersAreShownByTheirNames)
{
    struct Case {
        const char* stored;
        const char* en;
        const char* zh;
    } sources[] = {
        {"FrmDataSet", "Data Set", "数据设置"},
        {"frmMask", "Alarm Bit", "掩码维护"},
        {"FrmSetBit", "Bit Setting", "位设置"},
        {"frmUpsRec", "Event Logo", "事件记录"},
        {"frmRestore", "Restore settings", "恢复设置"},
        {"FrmMain", "Engineering Tools(ZYR)", "工程工具(ZYR)"},
        {"frmMdbSet", "OPTION Port Set", "OPTION Port Set"},
        {"headless", "command line", "命令行"},
        {"frmNoSuchWindow", "frmNoSuchWindow", "frmNoSuchWindow"},
        {"", "", ""},
    };
    Case registers[] = {
        {"50000", "write enable", "写使能"},
        {"40015", "Battery Number", "电池节数"},
        {"51024", "Baud Rate", nullptr},
        {"12345", "12345", "12345"},
    };
    for (int language : {0, 1}) {
        LocalPara.Language = uint8_t(language);
        for (const Case& c : sources)
            EXPECT_EQ(JournalSourceText(QString::fromUtf8(c.stored)), QString::fromUtf8(language ? c.zh : c.en))
                << c.stored;
        for (const Case& c : registers) {
            const char* want = language ? c.zh : c.en;
            if (want) EXPECT_EQ(JournalRegisterText(QString::fromLatin1(c.stored).toInt()), QString::fromUtf8(want)) << c.stored;
        }
    }
    LocalPara.Language = 0;
}

// The grid, the CSV and the PDF show the names; the journal's rows keep what the link sent.
TEST_F(Journal, GridCsvAndReportShowTheWindowsCaptionAndTheWriteEnableByName)
{
    write(write6(1, 50000, 10), true);
    write(write6(1, 40015, 36, "frmRestore"), true);
    const std::vector<TJournalEntry> stored = journal.Entries();
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_EQ(stored[1].source, "FrmDataSet");
    EXPECT_EQ(stored[1].reg, 50000);
    EXPECT_EQ(stored[0].source, "frmRestore");

    struct Case {
        int language;
        const char* enableRow; // grid columns 3 to 5 of the write-enable row
        const char* restoreWindow;
        const char* csvLine;
    } cases[] = {
        {0, "Data Set|50000|write enable", "Restore settings", ",Data Set,50000,write enable,"},
        {1, "数据设置|50000|写使能", "恢复设置", ",数据设置,50000,写使能,"},
    };
    TfrmJournal w;
    for (const Case& c : cases) {
        LocalPara.Language = uint8_t(c.language);
        w.ApplyCaptions();
        w.RefreshList();
        ASSERT_EQ(w.sgrdJournal->rowCount(), 2);
        const QString row = QStringList{w.sgrdJournal->item(1, 3)->text(), w.sgrdJournal->item(1, 4)->text(),
                                        w.sgrdJournal->item(1, 5)->text()}
                                .join('|');
        EXPECT_EQ(row, QString::fromUtf8(c.enableRow));
        EXPECT_EQ(w.sgrdJournal->item(0, 3)->text(), QString::fromUtf8(c.restoreWindow));
        const QString csv = QString::fromUtf8(w.CsvBytes().mid(3));
        EXPECT_TRUE(csv.contains(QString::fromUtf8(c.csvLine))) << csv.toStdString();
        EXPECT_FALSE(csv.contains("FrmDataSet")) << csv.toStdString();

        // The report's text as a reader of the PDF gets it.
        const QString pdf = dir.filePath(QStringLiteral("names_%1.pdf").arg(c.language));
        QString error;
        ASSERT_TRUE(WriteServiceReportPdf(pdf, CollectServiceReport(1, QDate::currentDate(), &journal), &error))
            << error.toStdString();
        QProcess text;
        text.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
        ASSERT_TRUE(text.waitForFinished(30000)) << "pdftotext (poppler-utils, scripts/deps.sh) runs";
        ASSERT_EQ(text.exitCode(), 0);
        const QString page = QString::fromUtf8(text.readAllStandardOutput());
        const QString writeEnable = QString::fromUtf8(c.language ? "写使能" : "write enable");
        const QString dataSet = QString::fromUtf8(c.language ? "数据设置" : "Data Set");
        EXPECT_TRUE(page.contains(writeEnable)) << page.toStdString();
        EXPECT_TRUE(page.contains(dataSet)) << page.toStdString();
        EXPECT_FALSE(page.contains("FrmDataSet")) << page.toStdString();
        const QByteArray keep = qgetenv("ZYR_KEEP_REPORT");
        if (!keep.isEmpty()) QFile::copy(pdf, QString::fromLocal8Bit(keep) + QFileInfo(pdf).fileName());
    }
    // The rows are as the link wrote them.
    EXPECT_EQ(journal.Entries()[1].source, "FrmDataSet");
    EXPECT_EQ(journal.Entries()[1].reg, 50000);
}

// Another program holds data/journal.db locked (an open sqlite3 shell in a transaction): the
// link's notifications return at once, the rows wait in their order and are written once the
// lock goes, and the failure is told once. Locked before the journal opens it (the file is new
// and not in WAL yet) and locked while the journal already uses it.
TEST(JournalLocked, CallsReturnWhileLockedAndRowsFollowInOrderOnceItIsFree)
{
    for (const bool lockBeforeOpen : {true, false}) {
        SCOPED_TRACE(lockBeforeOpen ? "locked before the journal opens it" : "locked while in use");
        ResetAll();
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        const QString path = dir.filePath("journal.db");
        TServiceJournal journal;
        QStringList told;
        journal.SetFailureHandler([&](const QString& why) { told << why; });
        {
            QSqlDatabase locker =
                QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("locker"));
            locker.setDatabaseName(path);
            ASSERT_TRUE(locker.open());
            if (!lockBeforeOpen) {
                ASSERT_TRUE(journal.Open(path));
                ASSERT_TRUE(journal.WaitWritten(20000)) << "set up while nobody holds the file";
            }
            QSqlQuery lock(locker);
            ASSERT_TRUE(lock.exec(QStringLiteral("BEGIN EXCLUSIVE")))
                << lock.lastError().text().toStdString();
            if (lockBeforeOpen) ASSERT_TRUE(journal.Open(path));

            // Every one of these returns while the lock is held.
            auto write = [](const TLinkRequest& w, bool answered) {
                FrmCom->RequestBuilt(w);
                TLinkRequest gone = w;
                gone.sent = true; // it went out and nothing answered
                if (answered)
                    FrmCom->ReplyAccepted(w, nullptr, 0);
                else
                    FrmCom->RequestDropped(gone);
            };
            write(write6(1, 40015, 36), true);
            write(write6(1, 40016, 7), false);
            write(write6(1, 40017, 2), true);
            const TLinkRequest readBack = read3(1, 40015, 3);
            const std::vector<uint16_t> values{36, 0, 1};
            FrmCom->RequestBuilt(readBack);
            FrmCom->ReplyAccepted(readBack, values.data(), 3);

            for (int i = 0; i < 400 && told.isEmpty(); ++i) {
                QCoreApplication::processEvents();
                QThread::msleep(25);
            }
            ASSERT_EQ(told.size(), 1) << "the lock is told";
            EXPECT_TRUE(told[0].contains("locked")) << told[0].toStdString();
            EXPECT_FALSE(journal.WaitWritten(0)) << "nothing can be written while the lock holds";
            EXPECT_TRUE(journal.Entries().empty()) << "nothing came through the lock";

            ASSERT_TRUE(lock.exec(QStringLiteral("COMMIT")));
            lock.finish();
            locker.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("locker"));

        ASSERT_TRUE(journal.WaitWritten(20000)) << "the rows follow once the lock is gone";
        const std::vector<TJournalEntry> e = journal.Entries();
        EXPECT_TRUE(journal.LastReadError().isEmpty()) << journal.LastReadError().toStdString();
        ASSERT_EQ(e.size(), 3u);
        EXPECT_EQ(e[2].reg, 40015);
        EXPECT_EQ(e[2].verdict, int(TWriteVerdict::ReadBackEqual));
        EXPECT_EQ(e[2].readBack, 36);
        EXPECT_EQ(e[1].reg, 40016);
        EXPECT_EQ(e[1].verdict, int(TWriteVerdict::NoAnswer));
        EXPECT_EQ(e[0].reg, 40017);
        EXPECT_EQ(e[0].verdict, int(TWriteVerdict::ReadBackDifferent));
        EXPECT_GT(e[1].id, e[2].id);
        EXPECT_GT(e[0].id, e[1].id);
        QCoreApplication::processEvents();
        EXPECT_EQ(told.size(), 1) << "told once";
        journal.Close();
    }
}

TEST(ActiveAlarms, EachSetBitIsItsRowsAlarm)
{
    const struct {
        uint16_t TStatusBlock::*word;
        uint16_t bits;
        std::vector<int> codes;
    } cases[] = {
        {&TStatusBlock::CmmAlmH, 0x8000, {1}},
        {&TStatusBlock::CmmAlmH, 0x0001, {16}},
        {&TStatusBlock::CmmAlmL, 0x8000, {17}},
        {&TStatusBlock::CmmAlmL, 0x0040, {26}},
        {&TStatusBlock::CmmAlmL, 0x003F, {}}, // bits 5..0 are no alarm
        {&TStatusBlock::InvAlmH, 0x8001, {27, 42}},
        {&TStatusBlock::InvAlmL, 0x0080, {51}},
        {&TStatusBlock::InvAlmL, 0x007F, {}},
    };
    for (const auto& c : cases) {
        TStatusBlock b;
        b.*c.word = c.bits;
        QStringList expected;
        for (int code : c.codes) expected << AlarmText(code);
        EXPECT_EQ(ActiveAlarmNames(b), expected) << c.bits;
    }
}

} // namespace
