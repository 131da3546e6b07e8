// The service journal's bookkeeping of writes and read-backs, its window with the CSV export,
// the one-page service report, and the active alarms by name.
#include "comm/uLinkWatch.h"
#include "model/UShareData.h"
#include "model/uActiveAlarms.h"
#include "model/uDataFunc.h"
#include "model/uUpsInfo.h"
#include "records/uFrmJournal.h"
#include "records/uServiceJournal.h"
#include "records/uServiceReport.h"
#include "support/TestSupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>

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
        std::memcpy(CfgRx + 41, "ZYR\x01\x00\x32", 6);
        std::memcpy(CfgRx + 25, "V3.10.0025", 10);
    }
    void TearDown() override
    {
        SetServiceJournal(nullptr);
        ResetAll();
    }
    // One write through the link's notifications: built, then acknowledged or dropped.
    void write(const TLinkRequest& w, bool answered)
    {
        NotifyRequestBuilt(w);
        if (answered) {
            NotifyReplyAccepted(w, nullptr, 0);
        } else {
            TLinkRequest sent = w; // it went out; nothing answered
            sent.sent = true;
            NotifyRequestDropped(sent);
        }
    }
    void read(int addr, int reg, std::vector<uint16_t> values)
    {
        const TLinkRequest r = read3(addr, reg, int(values.size()));
        NotifyRequestBuilt(r);
        NotifyReplyAccepted(r, values.data(), int(values.size()));
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
        NotifyRequestBuilt(w);
        w.sent = c.sent;
        w.refused = c.refused;
        NotifyRequestDropped(w);
        // The read-back of the same write, dropped with it before it was built.
        NotifyRequestDropped(read3(1, reg, 1));
        // A write of another window waiting in a slot, dropped with the port.
        NotifyRequestDropped(write6(1, 40030, 1));
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
    UpsData[1].InVolt[0] = 230.4;
    UpsData[1].Status.CmmStaL = 0x8000;
    UpsData[1].Status.CmmAlmH = 0x8000; // rectifier fault
    UpsData[1].SysState = DecodeState(UpsData[1].Status);
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
