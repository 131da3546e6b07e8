// The event-record window headless: the download state machine tick by tick (the test plays
// the link: it takes slot 1 and answers with records), the record database and its rules, the
// list's order and position, the grid's columns, the erase, the counters read and the progress.
#include "comm/uCabinet.h"
#include "comm/uFrmCom.h"
#include "model/UShareData.h"
#include "model/uDataFunc.h"
#include "model/uLocalPara.h"
#include "records/uUpsRec.h"
#include "store/uRecordDb.h"
#include "support/DialogScript.h"
#include "support/FakeTransport.h"
#include "support/FileDialogScript.h"
#include "support/TestSupport.h"
#include "ui/uWidgets.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QSqlError>
#include <QSqlQuery>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace {

TRecordData sampleRecord(int recNo)
{
    TRecordData r;
    r.DevID = 1;
    r.RecNo = recNo;
    r.Year = 2010;
    r.Month = 5;
    r.Day = 23;
    r.Hour = 15;
    r.UpsState = 4;
    r.EventNo = 8;
    r.AlarmNo = 3;
    r.CMMState = 0x1234;
    r.MontAlarm = 0x00A0;
    r.InputV_A = 2219;
    r.OutputFreq = 501;
    r.NBattI = 9;
    r.Temperature = 33;
    return r;
}

class UpsRecTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetAll();
        ASSERT_TRUE(dir_.isValid());
        SetSettingsFolderOverride(dir_.path());
        com_ = std::make_unique<TFrmCom>();
        com_->Timer1.stop();
        UseFakeLine(
            *com_, [this] { return portOpen_; }, [](const uint8_t*, int) { return true; });
    }
    void TearDown() override
    {
        w_.reset();
        com_.reset();
        SetSettingsFolderOverride(QString());
        ResetAll();
    }
    TfrmUpsRec& window()
    {
        if (!w_) {
            w_ = std::make_unique<TfrmUpsRec>();
            w_->tmr1->stop(); // the tests are the clock
            w_->ActiveForTest = false;
        }
        return *w_;
    }
    // Stores records first..last straight into the window's database.
    void fill(int first, int last)
    {
        for (int n = first; n <= last; ++n) {
            TRecordData r = sampleRecord(n);
            ASSERT_TRUE(window().Db().StoreRecord(r).stored);
        }
    }
    QVariant column(int recNo, const char* name)
    {
        QSqlQuery q(window().Db().Database());
        q.prepare(QStringLiteral("Select %1 from UpsEvntRecord where RecNo=:r").arg(QLatin1String(name)));
        q.bindValue(QStringLiteral(":r"), recNo);
        if (!q.exec() || !q.next()) return {};
        return q.value(0);
    }
    int currentRecNo() { return window().List().RawValue(window().CurrentRowNo() - 1, "RecNo").toInt(); }

    QTemporaryDir dir_;
    std::unique_ptr<TFrmCom> com_;
    std::unique_ptr<TfrmUpsRec> w_;
    bool portOpen_ = true;
};

// The link as the tests play it: on every tick the window's request in slot 1 is taken and,
// when the cabinet answers, its reply lands before the next tick.
struct Request {
    int tick;
    int recNo;
};
struct DriveRun {
    std::vector<Request> requests;
    int idleTick = -1; // first tick after which PollHold is 0
};

DriveRun drive(TfrmUpsRec& w, int maxTicks, const std::function<std::optional<int>(int requested)>& answer)
{
    DriveRun run;
    for (int t = 1; t <= maxTicks; ++t) {
        w.tmr1Timer();
        if (TestSlots()[1].Pending) {
            TestSlots()[1].Pending = 0;
            EXPECT_EQ(TestSlots()[1].Func, 20);
            run.requests.push_back({t, TestSlots()[1].Value});
            if (const std::optional<int> reply = answer(TestSlots()[1].Value)) {
                Cabinet().RecInfo.Rec = sampleRecord(*reply);
                Cabinet().RecInfo.RecReplyRecvd = FlagOn;
            }
        }
        if (Cabinet().RecInfo.PollHold == 0) {
            run.idleTick = t;
            break;
        }
    }
    return run;
}

std::vector<int> recNos(const DriveRun& r)
{
    std::vector<int> v;
    for (const Request& q : r.requests) v.push_back(q.recNo);
    return v;
}

TEST_F(UpsRecTest, DownloadRequestsStoresAndEndsByItself)
{
    struct Case {
        const char* name;
        int allRec;
        int start;
        std::function<std::optional<int>(int)> cabinet;
        std::vector<int> requested;
        std::vector<int> stored;
        int nextRecNo;
    } cases[] = {
        {"three from one", 3, 1, [](int n) { return std::optional<int>(n); }, {1, 2, 3}, {1, 2, 3}, 4},
        {"start past the count", 3, 5, [](int n) { return std::optional<int>(n); }, {5}, {5}, 6},
        {"counters never read", 0, 1, [](int n) { return std::optional<int>(n); }, {1}, {1}, 2},
        // A reply for 7 while 8 is awaited is not stored; 8 is asked for again at once.
        {"stale reply",
         9,
         7,
         [calls = 0](int n) mutable { return std::optional<int>(++calls == 2 ? n - 1 : n); },
         {7, 8, 8, 9},
         {7, 8, 9},
         10},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        w_.reset();
        QFile::remove(RecordDbPath());
        ResetAll();
        Cabinet().RecInfo.AllRec = c.allRec;
        window().intgrtptRec->setValue(c.start);
        window().btnBegin->click();
        ASSERT_EQ(Cabinet().RecInfo.PollHold, FlagOn);
        EXPECT_TRUE(window().btnBegin->isChecked());
        const DriveRun run = drive(window(), 200, c.cabinet);
        EXPECT_EQ(recNos(run), c.requested);
        EXPECT_EQ(Cabinet().RecInfo.NextRecNo, c.nextRecNo);
        // Nothing is sent on the start itself: the first request goes out on tick 1.
        ASSERT_FALSE(run.requests.empty());
        EXPECT_EQ(run.requests.front().tick, 1);
        // Each following request goes out on the tick its predecessor's reply was handled.
        for (size_t i = 1; i < run.requests.size(); ++i)
            EXPECT_EQ(run.requests[i].tick, run.requests[i - 1].tick + 1);
        EXPECT_EQ(run.idleTick, run.requests.back().tick + 1);
        std::vector<int> stored;
        QSqlQuery q(window().Db().Database());
        ASSERT_TRUE(q.exec("Select RecNo from UpsEvntRecord order by RecNo"));
        while (q.next()) stored.push_back(q.value(0).toInt());
        EXPECT_EQ(stored, c.stored);
        // The button is raised at the tick after the end; the input follows the download.
        window().tmr1Timer();
        EXPECT_FALSE(window().btnBegin->isChecked());
        EXPECT_EQ(window().intgrtptRec->value(), c.requested.back());
    }
}

TEST_F(UpsRecTest, SilentCabinetIsAskedThreeTimesThenTheDownloadGivesUp)
{
    // Attempts left over from an earlier download do not shorten a new one.
    for (int leftOver : {0, 2}) {
        SCOPED_TRACE(leftOver);
        ResetAll();
        Cabinet().RecInfo.AllRec = 10;
        window().Download.Attempts = leftOver;
        window().btnBegin->click();
        const DriveRun run = drive(window(), 400, [](int) { return std::nullopt; });
        ASSERT_EQ(run.requests.size(), 3u);
        EXPECT_EQ(run.requests[0].tick, 1);
        EXPECT_EQ(run.requests[1].tick, 52);
        EXPECT_EQ(run.requests[2].tick, 103);
        for (const Request& r : run.requests) EXPECT_EQ(r.recNo, 1);
        EXPECT_EQ(run.idleTick, 154);
        EXPECT_EQ(window().Download.Attempts, 0);
        EXPECT_EQ(window().List().rowCount(), 0);
    }
}

TEST_F(UpsRecTest, SecondClickStopsAndClosedPortRefusesToStart)
{
    DialogScript script;
    Cabinet().RecInfo.AllRec = 50;
    window().btnBegin->click();
    EXPECT_EQ(Cabinet().RecInfo.PollHold, FlagOn);
    window().btnBegin->click();
    EXPECT_EQ(Cabinet().RecInfo.PollHold, 0);
    EXPECT_FALSE(window().btnBegin->isChecked());
    EXPECT_TRUE(script.messages.empty());

    portOpen_ = false;
    window().btnBegin->click();
    EXPECT_EQ(Cabinet().RecInfo.PollHold, 0);
    EXPECT_FALSE(window().btnBegin->isChecked());
    ASSERT_EQ(script.messages.size(), 1u);
    EXPECT_EQ(script.messages[0].text, "Com is off");
    EXPECT_EQ(script.messages[0].icon, QMessageBox::Warning);
    // With the port closed nothing is queued.
    window().RequestRecord();
    EXPECT_EQ(TestSlots()[1].Pending, 0);
}

TEST_F(UpsRecTest, StartingOverLocalRecordsAsksFirst)
{
    DialogScript script;
    Cabinet().RecInfo.AllRec = 50;
    // An empty database asks nothing.
    window().RefreshList();
    window().btnBegin->click();
    EXPECT_TRUE(script.messages.empty());
    EXPECT_EQ(Cabinet().RecInfo.PollHold, FlagOn);
    window().btnBegin->click();

    fill(1, 3);
    window().RefreshList();
    for (const bool yes : {false, true}) {
        SCOPED_TRACE(yes);
        script.messages.clear();
        script.buttons = {yes ? QMessageBox::Yes : QMessageBox::No};
        window().btnBegin->click();
        ASSERT_EQ(script.messages.size(), 1u);
        const TMessageBoxRequest& m = script.messages[0];
        EXPECT_EQ(m.text, "Local data will be replaced, do you want to continue? ");
        EXPECT_EQ(m.title, "");
        EXPECT_EQ(m.icon, QMessageBox::Question);
        EXPECT_EQ(m.buttons, QMessageBox::Yes | QMessageBox::No);
        EXPECT_EQ(m.defaultButton, QMessageBox::No);
        EXPECT_EQ(Cabinet().RecInfo.PollHold, yes ? FlagOn : 0);
        EXPECT_EQ(window().btnBegin->isChecked(), yes);
    }
}

TEST_F(UpsRecTest, EmptyFolderGetsADatabaseWithTheTableAndIndexes)
{
    window().RefreshList();
    ASSERT_TRUE(QFile::exists(dir_.filePath("data/record.mdb")));
    EXPECT_EQ(window().DbFile, dir_.path() + "/data/record.mdb");
    QSqlQuery q(window().Db().Database());
    ASSERT_TRUE(q.exec("Select name from sqlite_master where type='index' order by name"));
    QStringList indexes;
    while (q.next()) indexes << q.value(0).toString();
    EXPECT_TRUE(indexes.contains("IDIndex"));
    EXPECT_TRUE(indexes.contains("RecNoIndex"));
    ASSERT_TRUE(q.exec("PRAGMA journal_mode") && q.next());
    EXPECT_EQ(q.value(0).toString(), "wal");
    EXPECT_EQ(window().List().rowCount(), 0);
    EXPECT_EQ(window().List().columnCount(), 33);
    int shown = 0;
    for (int c = 0; c < window().List().columnCount(); ++c)
        shown += window().DBGrd1->isColumnHidden(c) ? 0 : 1;
    EXPECT_EQ(shown, 7);
}

TEST_F(UpsRecTest, StoringTwiceKeepsOneRowAndItsId)
{
    TRecordData first = sampleRecord(12);
    ASSERT_TRUE(window().Db().StoreRecord(first).stored);
    TRecordData other = sampleRecord(13);
    ASSERT_TRUE(window().Db().StoreRecord(other).stored);
    const QVariant id = column(12, "ID");

    TRecordData again = sampleRecord(12);
    again.DevID = 2;
    again.Minute = 7;
    again.UpsState = 5;
    again.ModuleID = 3;
    again.EventNo = 9;
    again.AlarmNo = 21;
    again.CMMState = 0xBEEF;
    again.MontAlarm = 0x0001;
    again.InputV_A = 2300;
    again.OutputFreq = 499;
    again.NBattI = 120;
    again.Temperature = 41;
    const TStoreOutcome out = window().Db().StoreRecord(again);
    EXPECT_TRUE(out.stored);
    EXPECT_TRUE(out.updated);
    EXPECT_EQ(window().Db().RowCount(), 2);
    EXPECT_EQ(column(12, "ID"), id);
    EXPECT_EQ(column(12, "DevID").toInt(), 2);
    EXPECT_EQ(column(12, "UPSDate").toString(), "2010-05-23 15:07:00");
    EXPECT_EQ(column(12, "UpsState").toInt(), 5);
    EXPECT_EQ(column(12, "ModuleID").toInt(), 3);
    EXPECT_EQ(column(12, "EventNo").toInt(), 9);
    EXPECT_EQ(column(12, "AlarmNo").toInt(), 21);
    EXPECT_EQ(column(12, "CMMState").toInt(), 0xBEEF);
    EXPECT_EQ(column(12, "MontAlarm").toInt(), 1);
    EXPECT_EQ(column(12, "InputV_A").toDouble(), 230.0);
    EXPECT_EQ(column(12, "OutputFreq").toDouble(), 49.0);
    EXPECT_EQ(column(12, "NBattI").toDouble(), 12.0);
    EXPECT_EQ(column(12, "Temperature").toDouble(), 41.0);
    // The other row is untouched.
    EXPECT_EQ(column(13, "DevID").toInt(), 1);
}

TEST_F(UpsRecTest, MeasurementAndTemperatureRules)
{
    struct Case {
        uint16_t temperature;
        double stored;
        int fixCount;
    } cases[] = {{33, 33, 0}, {99, 99, 0}, {100, 10, 1}, {345, 34, 1}, {65535, 6553, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.temperature);
        window().TempFixCount = 0;
        window().mmo2->clear();
        TRecordData r = sampleRecord(12);
        r.Temperature = c.temperature;
        window().StoreRecord(r);
        window().RefreshList();
        EXPECT_EQ(column(12, "Temperature").toDouble(), c.stored);
        EXPECT_EQ(column(12, "InputV_A").toDouble(), 221.0);
        EXPECT_EQ(window().TempFixCount, c.fixCount);
        EXPECT_EQ(window().lblCntErr->isVisibleTo(&window()), c.fixCount > 0);
        if (c.fixCount) {
            EXPECT_EQ(window().lblCntErr->text(), "1");
            EXPECT_EQ(window().mmo2->toPlainText(),
                      QStringLiteral("Rec: 12; DT=2010-5-23 15:0:0; Temp=%1").arg(c.temperature));
        } else {
            EXPECT_TRUE(window().mmo2->toPlainText().isEmpty());
        }
    }
    // Double clicks: the label shows and hides the lines; the lines themselves clear it all.
    window().show();
    window().lblCntErrDblClick();
    EXPECT_TRUE(window().mmo2->isVisible());
    window().lblCntErrDblClick();
    EXPECT_FALSE(window().mmo2->isVisible());
    window().lblCntErrDblClick();
    window().mmo2DblClick();
    EXPECT_FALSE(window().mmo2->isVisible());
    EXPECT_TRUE(window().mmo2->toPlainText().isEmpty());
    EXPECT_EQ(window().TempFixCount, 0);
    window().lblCntErrDblClick();
    EXPECT_FALSE(window().mmo2->isVisible());
}

TEST_F(UpsRecTest, DatesAreValidatedAndStoredSortable)
{
    struct Case {
        int year, month, day, hour, minute, second;
        const char* dateText;
        const char* stored;
    } cases[] = {
        {2010, 5, 23, 15, 0, 0, "", "2010-05-23 15:00:00"},
        {2099, 12, 31, 23, 59, 59, "", "2099-12-31 23:59:59"},
        {2025, 13, 2, 3, 44, 18, "", "2000-01-01 00:00:00"},
        {2010, 20, 5, 1, 1, 1, "", "2000-01-01 00:00:00"},
        {2010, 2, 30, 1, 1, 1, "", "2000-01-01 00:00:00"},
        {2010, 5, 23, 24, 0, 0, "", "2000-01-01 00:00:00"},
        {2010, 5, 23, 15, 60, 0, "", "2000-01-01 00:00:00"},
        {2010, 5, 23, 15, 0, 0, "2011-02-03 04:05:06", "2011-02-03 04:05:06"},
        {2010, 5, 23, 15, 0, 0, "2011-2-3", "2011-02-03 00:00:00"},
        {2010, 5, 23, 15, 0, 0, "23.05.2010 15:00:00", "2000-01-01 00:00:00"},
        {2010, 5, 23, 15, 0, 0, "2010-05-23 15:00:00; DROP", "2000-01-01 00:00:00"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        TRecordData r = sampleRecord(30);
        r.Year = static_cast<uint16_t>(c.year);
        r.Month = static_cast<uint8_t>(c.month);
        r.Day = static_cast<uint8_t>(c.day);
        r.Hour = static_cast<uint8_t>(c.hour);
        r.Minute = static_cast<uint8_t>(c.minute);
        r.Second = static_cast<uint8_t>(c.second);
        r.DateText = QString::fromLatin1(c.dateText);
        ASSERT_TRUE(window().Db().StoreRecord(r).stored);
        EXPECT_TRUE(r.DateText.isEmpty());
        EXPECT_EQ(column(30, "UPSDate").toString(), c.stored);
    }
    window().RefreshList();
    EXPECT_EQ(
        window().List().data(window().List().index(0, window().List().FieldIndex("UPSDate"))).toString(),
        "2000-01-01 00:00:00");
}

TEST_F(UpsRecTest, RefreshListKeepsItsOrderAndPosition)
{
    fill(1, 5);
    struct Case {
        int order; // 0 ascending, 1 descending
        bool followInput;
        int input;
        int clickedRow; // current row (0-based) before the refresh, when not following
        int expectedRecNo;
    } cases[] = {
        {1, true, 2, 0, 4}, {0, true, 2, 0, 2},  {1, true, 1, 3, 5},  {0, true, 9, 0, 5},
        {1, true, 5, 0, 1}, {0, false, 1, 3, 4}, {1, false, 9, 1, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.order << " " << c.followInput << " " << c.input);
        window().RefreshList();
        window().DBGrd1->setCurrentIndex(window().List().index(c.clickedRow, 0));
        window().chkRecNo->setChecked(c.followInput);
        window().intgrtptRec->setValue(c.input);
        window().rgIDOrderby->item(c.order)->click();
        EXPECT_EQ(window().rgIDOrderby->ItemIndex(), c.order);
        EXPECT_EQ(currentRecNo(), c.expectedRecNo);
    }
    // The list is in record-number order either way.
    window().rgIDOrderby->item(1)->click();
    for (int row = 0; row < 5; ++row) EXPECT_EQ(window().List().RawValue(row, "RecNo").toInt(), 5 - row);
    window().rgIDOrderby->item(0)->click();
    for (int row = 0; row < 5; ++row) EXPECT_EQ(window().List().RawValue(row, "RecNo").toInt(), row + 1);
}

TEST_F(UpsRecTest, TheListReadsOnlyThePagesItShows)
{
    window().Db().Begin();
    fill(1, 1000);
    window().Db().Commit();
    window().resize(670, 540);
    window().show();
    window().chkRecNo->setChecked(true);
    window().intgrtptRec->setValue(700);
    window().rgIDOrderby->item(1)->click();
    window().DBGrd1->viewport()->repaint();
    TRecordListModel& list = window().List();
    EXPECT_EQ(list.rowCount(), 1000);
    EXPECT_EQ(currentRecNo(), 301);
    EXPECT_LE(list.PagesRead(), 3) << "a refresh must not read every row";
    EXPECT_EQ(list.RawValue(0, "RecNo").toInt(), 1000);
    EXPECT_EQ(list.RawValue(999, "RecNo").toInt(), 1);
    EXPECT_EQ(list.RowRecord(500).value("RecNo").toInt(), 500);
    EXPECT_EQ(list.RowRecord(500).value("InputV_A").toDouble(), 221.0);
    EXPECT_TRUE(list.RowRecord(1000).isEmpty());

    // A stored record shows at once; the grid keeps its columns.
    TRecordData r = sampleRecord(1001);
    window().StoreRecord(r);
    window().RefreshList();
    EXPECT_EQ(list.rowCount(), 1001);
    EXPECT_EQ(list.RawValue(0, "RecNo").toInt(), 1001);
    EXPECT_TRUE(window().DBGrd1->isColumnHidden(list.FieldIndex("ID")));
    EXPECT_EQ(window().DBGrd1->columnWidth(list.FieldIndex("UPSDate")), 110);
    EXPECT_EQ(currentRecNo(), 302);
}

TEST_F(UpsRecTest, TheGridFollowsTheDownloadIntoView)
{
    window().resize(670, 540);
    window().show();
    const QTableView* grid = window().DBGrd1;
    for (int n = 1; n <= 60; ++n) {
        TRecordData r = sampleRecord(n);
        window().StoreRecord(r);
        window().intgrtptRec->setValue(n);
        window().tmr1Timer(); // the view's own timers may run between two ticks
        window().RefreshList();
        QCoreApplication::processEvents();
        ASSERT_EQ(currentRecNo(), n);
        const QRect cell =
            grid->visualRect(window().List().index(n - 1, window().List().FieldIndex("RecNo")));
        ASSERT_FALSE(cell.isEmpty()) << n;
        ASSERT_TRUE(grid->viewport()->rect().contains(cell.center())) << n;
        EXPECT_FALSE(grid->isColumnHidden(grid->currentIndex().column()));
    }
}

TEST_F(UpsRecTest, GridTitlesWidthsAndCellTextsInBothLanguages)
{
    fill(1, 1);
    struct Column {
        const char* field;
        const char* en;
        const char* zh;
        int widthEn, widthZh;
    } columns[] = {
        {"DevID", "DevId", "DevID", 20, 30},       {"RecNo", "Record", "记录号", 45, 45},
        {"UPSDate", "DateTime", "日期", 110, 110}, {"UpsState", "UPS State", "运行状态", 100, 100},
        {"ModuleID", "Module", "模块ID", 40, 40},  {"EventNo", "Event", "事件", 130, 130},
        {"AlarmNo", "Alarm", "告警", 130, 130},
    };
    for (int language : {0, 1}) {
        SCOPED_TRACE(language);
        LocalPara.Language = static_cast<uint8_t>(language);
        window().RefreshList();
        TRecordListModel& list = window().List();
        for (const Column& c : columns) {
            const int at = list.FieldIndex(c.field);
            ASSERT_GE(at, 0) << c.field;
            EXPECT_FALSE(window().DBGrd1->isColumnHidden(at)) << c.field;
            EXPECT_EQ(list.headerData(at, Qt::Horizontal).toString(),
                      QString::fromUtf8(language == 1 ? c.zh : c.en));
            EXPECT_EQ(window().DBGrd1->columnWidth(at), language == 1 ? c.widthZh : c.widthEn) << c.field;
        }
        for (const char* hidden : {"ID", "CMMState", "MontAlarm", "InputV_A", "NBattI", "Temperature"})
            EXPECT_TRUE(window().DBGrd1->isColumnHidden(list.FieldIndex(hidden))) << hidden;
        auto cell = [&](const char* f) { return list.data(list.index(0, list.FieldIndex(f))).toString(); };
        EXPECT_EQ(cell("UPSDate"), "2010-05-23 15:00:00");
        EXPECT_EQ(cell("UpsState"), StateText(4));
        EXPECT_EQ(cell("EventNo"), EventText(8));
        EXPECT_EQ(cell("AlarmNo"), AlarmText(3));
        EXPECT_EQ(cell("RecNo"), "1");
        EXPECT_FALSE(StateText(4).isEmpty());
    }
    EXPECT_EQ(window().DBGrd1->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(window().DBGrd1->editTriggers(), QAbstractItemView::NoEditTriggers);
}

TEST_F(UpsRecTest, CaptionsFollowTheLanguageAndTheDownload)
{
    struct Case {
        int language;
        uint8_t pollHold;
        const char* title;
        const char* begin;
        const char* maxCount;
        const char* asc;
    } cases[] = {
        {0, 0, "Event Logo", "Load", "Amount of volume", "ASC"},
        {0, FlagOn, "Event Logo", "Loading", "Amount of volume", "ASC"},
        {1, 0, "事件记录", "下载", "额定记录总数", "升序"},
        {1, FlagOn, "事件记录", "下载中", "额定记录总数", "升序"},
    };
    for (const Case& c : cases) {
        LocalPara.Language = static_cast<uint8_t>(c.language);
        Cabinet().RecInfo.PollHold = c.pollHold;
        window().FormActivate();
        EXPECT_EQ(window().windowTitle(), QString::fromUtf8(c.title));
        EXPECT_EQ(window().btnBegin->text(), QString::fromUtf8(c.begin));
        EXPECT_EQ(window().lblMaxCount->text(), QString::fromUtf8(c.maxCount));
        EXPECT_EQ(window().rgIDOrderby->item(0)->text(), QString::fromUtf8(c.asc));
    }
    EXPECT_EQ(window().width(), 670);
    EXPECT_EQ(window().pgcRec->currentIndex(), 0);
    EXPECT_TRUE(window().chkRecNo->isChecked());
    EXPECT_EQ(window().intgrtptRec->minimum(), 1);
    EXPECT_EQ(window().intgrtptRec->maximum(), 9999);
    EXPECT_EQ(window().tmr1->interval(), 100);
}

TEST_F(UpsRecTest, EraseAsksTheQuestionThenThePasswordThenQueuesTwoWrites)
{
    struct Case {
        const char* name;
        QMessageBox::StandardButton answer;
        const char* typed;
        bool slot1Busy;
        bool queued;
        bool refused;
        bool portOpen = true;
        const char* refusal = nullptr; // the second message of a write that cannot go out
    } cases[] = {
        {"right password", QMessageBox::Yes, "tulip", false, true, false},
        {"question declined", QMessageBox::No, "tulip", false, false, false},
        {"wrong password", QMessageBox::Yes, "tulipx", false, false, true},
        {"slot 1 busy", QMessageBox::Yes, "tulip", true, false, false, true, "Link busy, please try again"},
        {"port closed", QMessageBox::Yes, "tulip", false, false, false, false, "COM Port is off !"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ResetAll();
        portOpen_ = c.portOpen;
        DialogScript script;
        script.buttons = {c.answer};
        script.prompts = {{QString::fromLatin1(c.typed), TPromptAnswer::Ensure}};
        if (c.slot1Busy) { // another window's write
            TestSlots()[1].Pending = FlagOn;
            TestSlots()[1].Func = 6;
        }
        window().btnClrRec->click();
        ASSERT_GE(script.messages.size(), 1u);
        EXPECT_EQ(script.messages[0].text, "Do you want Clear Records of UPS ? ");
        EXPECT_EQ(script.messages[0].defaultButton, QMessageBox::No);
        EXPECT_EQ(script.promptsShown, c.answer == QMessageBox::Yes ? 1 : 0);
        if (script.promptsShown) EXPECT_EQ(script.promptPasswords[0], "tulip");
        EXPECT_EQ(script.messages.size(), c.refused || c.refusal ? 2u : 1u);
        if (c.refused) EXPECT_EQ(script.messages[1].text, "Password is incorrect ! ");
        if (c.refusal && script.messages.size() > 1) EXPECT_EQ(script.messages[1].text, c.refusal);
        EXPECT_EQ(TestSlots()[2].Pending, c.queued ? FlagOn : 0);
        if (c.queued) {
            EXPECT_EQ(TestSlots()[1].Func, 6);
            EXPECT_EQ(TestSlots()[1].StartReg, 50000);
            EXPECT_EQ(TestSlots()[1].Value, 10);
            EXPECT_EQ(TestSlots()[2].Func, 6);
            EXPECT_EQ(TestSlots()[2].StartReg, 40054);
            EXPECT_EQ(TestSlots()[2].Value, 0);
            EXPECT_EQ(TestSlots()[1].Addr, 1);
        } else if (!c.slot1Busy) {
            EXPECT_EQ(TestSlots()[1].Pending, 0);
        }
    }
}

TEST_F(UpsRecTest, CountersAreReadWhileActiveAndIdle)
{
    window().ActiveForTest = true;
    window().tmr1Timer();
    ASSERT_EQ(TestSlots()[2].Pending, FlagOn);
    EXPECT_EQ(TestSlots()[2].Func, 3);
    EXPECT_EQ(TestSlots()[2].StartReg, 40051);
    EXPECT_EQ(TestSlots()[2].Count, 6);
    EXPECT_EQ(window().InfoCountdown, 300);
    TestSlots()[2].Pending = 0;

    Cabinet().RecInfo.MaxRec = 1000;
    Cabinet().RecInfo.AllRec = -2;
    Cabinet().RecInfo.RecCntRecvd = FlagOn;
    window().tmr1Timer();
    EXPECT_EQ(window().redtMaxRec->text(), "1000");
    EXPECT_EQ(window().redtAllRec->text(), "-2");
    EXPECT_EQ(window().InfoCountdown, 100);
    EXPECT_EQ(Cabinet().RecInfo.RecCntRecvd, 0);
    for (int i = 0; i < 100; ++i) window().tmr1Timer();
    EXPECT_EQ(TestSlots()[2].Pending, 0);
    window().tmr1Timer();
    EXPECT_EQ(TestSlots()[2].Pending, FlagOn) << "10 s after a reply";
    TestSlots()[2].Pending = 0;

    // Inactive, or downloading: the countdown stops at 0 and nothing is read.
    window().InfoCountdown = 0;
    window().ActiveForTest = false;
    for (int i = 0; i < 5; ++i) window().tmr1Timer();
    EXPECT_EQ(TestSlots()[2].Pending, 0);
    EXPECT_EQ(window().InfoCountdown, 0);
    window().ActiveForTest = true;
    Cabinet().RecInfo.PollHold = FlagOn;
    Cabinet().RecInfo.AllRec = 5;
    window().tmr1Timer();
    EXPECT_EQ(TestSlots()[2].Pending, 0);
    Cabinet().RecInfo.PollHold = 0;
    window().tmr1Timer();
    EXPECT_EQ(TestSlots()[2].Pending, FlagOn);
}

TEST_F(UpsRecTest, StoreErrorIsShownOncePerCauseAndTheTickIsNotReentered)
{
    window().RefreshList();
    QSqlQuery q(window().Db().Database());
    ASSERT_TRUE(q.exec("Create Trigger Full Before Insert On UpsEvntRecord Begin Select Raise(Abort, 'disk "
                       "full'); End"))
        << q.lastError().text().toStdString();

    DialogScript script;
    int ticksUnderTheMessage = 0;
    SetMessageBoxHandler([&](const TMessageBoxRequest& r) {
        script.messages.push_back(r);
        // The timer keeps firing while a message box is open.
        for (int i = 0; i < 3; ++i) {
            window().tmr1Timer();
            ++ticksUnderTheMessage;
        }
        return QMessageBox::Ok;
    });
    Cabinet().RecInfo.AllRec = 3;
    window().btnBegin->click();
    const DriveRun run = drive(window(), 400, [](int n) { return std::optional<int>(n); });
    // Each reply fails to store; the record is asked for again after the reply timeout, and
    // the download gives up after its three attempts.
    ASSERT_EQ(run.requests.size(), 3u);
    for (const Request& r : run.requests) EXPECT_EQ(r.recNo, 1);
    EXPECT_EQ(run.requests[1].tick, run.requests[0].tick + 52);
    ASSERT_EQ(script.messages.size(), 1u);
    EXPECT_TRUE(script.messages[0].text.contains("disk full")) << script.messages[0].text.toStdString();
    EXPECT_TRUE(script.messages[0].text.contains("record.mdb"));
    EXPECT_EQ(ticksUnderTheMessage, 3);
    EXPECT_EQ(Cabinet().RecInfo.NextRecNo, 1);
    EXPECT_EQ(window().Db().RowCount(), 0);
    EXPECT_EQ(Cabinet().RecInfo.PollHold, 0);

    // Once the cause is gone the same download stores.
    ASSERT_TRUE(q.exec("Drop Trigger Full"));
    window().btnBegin->click();
    drive(window(), 100, [](int n) { return std::optional<int>(n); });
    EXPECT_EQ(window().Db().RowCount(), 3);
    EXPECT_EQ(script.messages.size(), 1u);
}

TEST_F(UpsRecTest, AFileThatIsNotARecordDatabaseIsReportedAndKept)
{
    QDir(dir_.path()).mkdir("data");
    const QString path = dir_.filePath("data/record.mdb");
    struct Case {
        const char* name;
        std::function<void()> make;
    } cases[] = {
        {"text file",
         [&] {
             QFile f(path);
             f.open(QIODevice::WriteOnly | QIODevice::Truncate);
             f.write("Operator's notes, not a database\n");
         }},
        {"database without the table",
         [&] {
             QFile::remove(path);
             TRecordDb other;
             other.SetFilePath(path);
             ASSERT_TRUE(other.CreateRecordDb());
             QSqlQuery q(other.Database());
             ASSERT_TRUE(q.exec("Alter Table UpsEvntRecord Rename To Other"));
             other.Close();
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        w_.reset();
        c.make();
        QFile before(path);
        ASSERT_TRUE(before.open(QIODevice::ReadOnly));
        const QByteArray content = before.readAll();
        before.close();

        DialogScript script;
        script.buttons = {QMessageBox::No};
        window().RefreshList();
        window().RefreshList(); // the same cause is told once
        ASSERT_EQ(script.messages.size(), 1u);
        EXPECT_TRUE(script.messages[0].text.contains(QDir::toNativeSeparators(path)))
            << script.messages[0].text.toStdString();
        EXPECT_FALSE(window().Db().IsOpen());
        TRecordData r = sampleRecord(1);
        EXPECT_FALSE(window().Db().StoreRecord(r).stored);
        QFile after(path);
        ASSERT_TRUE(after.open(QIODevice::ReadOnly));
        EXPECT_EQ(after.readAll(), content);
        after.close();

        // With the operator's consent the file is moved aside, not overwritten.
        w_.reset();
        script.messages.clear();
        script.buttons = {QMessageBox::Yes};
        window().RefreshList();
        ASSERT_EQ(script.messages.size(), 1u);
        EXPECT_TRUE(window().Db().IsOpen());
        const QStringList aside = QDir(dir_.filePath("data")).entryList({"record.mdb.unreadable-*"});
        ASSERT_EQ(aside.size(), 1);
        QFile kept(dir_.filePath("data/" + aside[0]));
        ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
        EXPECT_EQ(kept.readAll(), content);
        kept.remove();
        w_.reset();
    }
}

TEST_F(UpsRecTest, ProgressShowsStoredOutOfTotalRateAndTimeLeft)
{
    TDownloadProgress p;
    p.Start(1, 200, 1000);
    EXPECT_EQ(p.Total(), 200);
    EXPECT_EQ(p.Rate(), 0.0);
    EXPECT_EQ(p.SecondsLeft(), -1);
    for (int i = 1; i <= 50; ++i) p.Stored(1000 + i * 400); // 2.5 records a second
    EXPECT_EQ(p.Done(), 50);
    EXPECT_EQ(p.Percent(), 25);
    EXPECT_DOUBLE_EQ(p.Rate(), 2.5);
    EXPECT_EQ(p.SecondsLeft(), 60);
    LocalPara.Language = 0;
    EXPECT_EQ(p.Text(), "50 of 200 records, 2.5 rec/s, 1:00 left");
    LocalPara.Language = 1;
    EXPECT_EQ(p.Text(), "50/200 条记录, 2.5 条/秒, 剩余 1:00");
    // A start past the count fetches one record; the total never falls below what is stored.
    p.Start(5, 3, 0);
    EXPECT_EQ(p.Total(), 0);
    p.Stored(100);
    EXPECT_EQ(p.Total(), 1);
    EXPECT_EQ(p.Percent(), 100);
    EXPECT_EQ(p.SecondsLeft(), 0);

    // The window's bar follows the download, with the window's clock.
    LocalPara.Language = 0;
    int64_t clock = 0;
    window().ProgressClock = [&clock] { return clock; };
    Cabinet().RecInfo.AllRec = 4;
    window().btnBegin->click();
    drive(window(), 3, [&clock](int n) {
        clock += 500;
        return std::optional<int>(n);
    });
    EXPECT_EQ(window().pbDownload->value(), 50);
    EXPECT_EQ(window().lblProgress->text(), "2 of 4 records, 2.0 rec/s, 0:01 left");
}

// Stop in the middle of a long log: what was stored stays, the request waiting in slot 1 is
// taken back, no record is asked for again and the link goes back to its poll. A reply that
// came in since the last tick is kept too.
TEST_F(UpsRecTest, StopKeepsTheStoredRecordsAndThePollGoesOn)
{
    struct Case {
        bool replyWaiting; // record 6 arrived between the last tick and the press
        int stored;
        const char* en;
        const char* zh;
    } cases[] = {
        {false, 5, "Stopped: 5 of 9999 records stored", "已停止: 已存储 5/9999 条记录"},
        {true, 6, "Stopped: 6 of 9999 records stored", "已停止: 已存储 6/9999 条记录"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.replyWaiting ? "reply waiting" : "request waiting");
        LocalPara.Language = 0;
        TfrmUpsRec& w = window();
        EXPECT_FALSE(w.btnStop->isEnabled());
        Cabinet().RecInfo.AllRec = 9999;
        w.btnBegin->click();
        EXPECT_TRUE(w.btnStop->isEnabled());
        // Records 1 to 5 stored; the request for 6 waits in slot 1.
        const DriveRun run = drive(w, 5, [](int n) { return std::optional<int>(n); });
        ASSERT_EQ(recNos(run), (std::vector<int>{1, 2, 3, 4, 5}));
        w.tmr1Timer();
        ASSERT_EQ(TestSlots()[1].Pending, FlagOn);
        ASSERT_EQ(TestSlots()[1].Value, 6);
        EXPECT_TRUE(w.btnStop->isEnabled());
        if (c.replyWaiting) {
            TestSlots()[1].Pending = 0; // the link took it and the cabinet answered
            Cabinet().RecInfo.Rec = sampleRecord(6);
            Cabinet().RecInfo.RecReplyRecvd = FlagOn;
        }

        w.btnStop->click();
        EXPECT_EQ(Cabinet().RecInfo.PollHold, 0);
        EXPECT_EQ(TestSlots()[1].Pending, 0) << "the request for the next record is taken back";
        EXPECT_FALSE(w.btnBegin->isChecked());
        EXPECT_FALSE(w.btnStop->isEnabled());
        EXPECT_EQ(w.Db().RowCount(), c.stored);
        for (int n = 1; n <= c.stored; ++n) EXPECT_EQ(column(n, "RecNo").toInt(), n);
        EXPECT_FALSE(column(c.stored + 1, "RecNo").isValid());
        EXPECT_EQ(w.lblProgress->text(), QString::fromUtf8(c.en));
        LocalPara.Language = 1;
        w.ApplyCaptions();
        EXPECT_EQ(w.btnStop->text(), QString::fromUtf8("停止"));
        EXPECT_EQ(w.lblProgress->text(), QString::fromUtf8(c.zh));
        LocalPara.Language = 0;
        w.ApplyCaptions();
        EXPECT_EQ(w.btnStop->text(), "Stop");

        // The window asks for nothing more, and the link polls again: a minute of ticks sends
        // the poll cycle's requests and no function-20 frame.
        std::vector<QByteArray> frames;
        UseFakeLine(
            *com_, [] { return true; },
            [&frames](const uint8_t* b, int n) {
                frames.emplace_back(reinterpret_cast<const char*>(b), n);
                return true;
            });
        for (int t = 0; t < 600; ++t) {
            w.tmr1Timer();
            EXPECT_EQ(TestSlots()[1].Pending, 0);
            com_->LinkTick();
        }
        ASSERT_FALSE(frames.empty());
        for (const QByteArray& f : frames) ASSERT_NE(uint8_t(f[1]), 20) << f.toHex().toStdString();
        EXPECT_EQ(uint8_t(frames[0][1]), 4);
        EXPECT_EQ((uint8_t(frames[0][2]) << 8) | uint8_t(frames[0][3]), 30000) << "30001, the first poll step";
        EXPECT_FALSE(w.btnStop->isEnabled());

        // The next case starts from nothing: no window, no records, a fresh link.
        w_.reset();
        com_.reset();
        ResetAll();
        ASSERT_TRUE(QDir(dir_.filePath("data")).removeRecursively());
        com_ = std::make_unique<TFrmCom>();
        com_->Timer1.stop();
        UseFakeLine(
            *com_, [this] { return portOpen_; }, [](const uint8_t*, int) { return true; });
    }
}

TEST(RecordDates, IsValidDateTimeAcceptsTheToolsDateForm)
{
    struct Case {
        const char* text;
        bool valid;
    } cases[] = {
        {"2010-5-23 15:0:0", true},
        {"2010-05-23 15:00:00", true},
        {"2010-5-23", true},
        {"2010-5-23 15:00", true},
        {"10-5-23 1:2:3", true},
        {"2010-13-1 0:0:0", false},
        {"2010-0-1", false},
        {"2010-2-29", false},
        {"2012-2-29", true},
        {"", false},
        {"2010/05/23", false},
        {"2010-05-23T15:00:00", false},
        {"0000-1-1", false},
        {"2010-5-23 15:0:61", false},
        {"abc", false},
    };
    for (const Case& c : cases) EXPECT_EQ(IsValidDateTime(QString::fromLatin1(c.text)), c.valid) << c.text;
}

// A copy the record database would refuse (here one whose table lacks the ID column) is
// opened by the database class before it replaces anything: it is refused with a message and
// record.mdb stays exactly as it was.
TEST_F(UpsRecTest, ACopyWithoutIdIsRefusedBeforeItReplacesTheLocalRecords)
{
    TfrmUpsRec& w = window();
    fill(1, 4);
    w.Db().Close();
    const QByteArray before = FileBytes(w.DbFile);
    ASSERT_FALSE(before.isEmpty());
    ASSERT_TRUE(w.Db().OpenRecordDb());

    const QString copy = dir_.filePath(QStringLiteral("NoId.mdb"));
    {
        // Every column but ID: the table check of the copy's source passes, the database
        // class refuses it.
        QSqlDatabase other = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("noid"));
        other.setDatabaseName(copy);
        ASSERT_TRUE(other.open());
        QString sql = QString::fromLatin1(TRecordDb::CreateTableSql);
        sql.replace(QStringLiteral("ID INTEGER PRIMARY KEY AUTOINCREMENT,"), QString());
        QSqlQuery q(other);
        ASSERT_TRUE(q.exec(sql)) << q.lastError().text().toStdString();
        ASSERT_TRUE(q.exec(QStringLiteral("Insert into UpsEvntRecord(DevID,RecNo) values(1,77)")));
        q.finish();
        other.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("noid"));

    DialogScript dialogs;
    dialogs.buttons = {QMessageBox::Ok};
    FileDialogScript files;
    files.answers = {copy};
    w.btnLoadFile->click();
    ASSERT_EQ(dialogs.messages.size(), 2u) << dialogs.messageTexts().join('|').toStdString();
    EXPECT_TRUE(dialogs.messages[1].text.contains(QStringLiteral("has no column ID")))
        << dialogs.messages[1].text.toStdString();
    EXPECT_TRUE(dialogs.messages[1].text.contains(QStringLiteral("The local records are kept.")));
    EXPECT_EQ(w.Db().RowCount(), 4);
    w.Db().Close();
    EXPECT_EQ(FileBytes(w.DbFile), before) << "record.mdb unchanged byte for byte";
    const QStringList left = QDir(w.DataFolder).entryList(QDir::Files | QDir::Hidden);
    EXPECT_EQ(left, QStringList{QStringLiteral("record.mdb")}) << "no temporary copy is left";
}

} // namespace
