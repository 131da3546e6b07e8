// The status code viewer: which rows a status or alarm word marks, the derived state and
// modes, the snapshot taken on show and activation, the captions of both languages, and the
// main window's two "Detail" buttons.
#include "comm/uCabinet.h"
#include "diag/uInCode.h"

#include "model/UShareData.h"
#include "model/uDataFunc.h"
#include "support/DialogScript.h"
#include "support/ProgramRun.h"
#include "test_main_fixture.h"
#include "ui/uStringGrid.h"

#include <QLineEdit>
#include <QPointer>
#include <QTabWidget>
#include <QTableWidget>

#include <gtest/gtest.h>

#include <memory>
#include <set>

namespace {

using Rows = std::set<int>;

Rows markedRows(const QTableWidget* grid, const QString& mark)
{
    Rows rows;
    for (int r = 0; r < grid->rowCount(); ++r) {
        const QString text = CellText(grid, 1, r);
        if (text == mark)
            rows.insert(r);
        else
            EXPECT_TRUE(text.isEmpty()) << "row " << r << " holds " << text.toStdString();
    }
    return rows;
}

class StatusViewerTest : public ::testing::Test {
protected:
    void SetUp() override { ResetAll(); }
    void TearDown() override
    {
        viewer_.reset();
        Cabinet().CodeSource = nullptr;
        Cabinet().CodeIsSystem = 0;
        ResetAll();
    }
    // A viewer of block, shown and activated as the main window's button does, then one tick.
    TfrmInCode& open(const TStatusBlock& block, uint8_t isSystem = 1)
    {
        source_ = block;
        Cabinet().CodeSource = &source_;
        Cabinet().CodeIsSystem = isSystem;
        viewer_ = std::make_unique<TfrmInCode>();
        viewer_->tmr1->stop();
        viewer_->FormShow();
        viewer_->FormActivate();
        viewer_->tmr1Timer();
        return *viewer_;
    }

    TStatusBlock source_;
    std::unique_ptr<TfrmInCode> viewer_;
};

struct WordCase {
    int word; // block word index
    uint16_t value;
    Rows statusRows;
    Rows alarmRows;
};

TEST_F(StatusViewerTest, EachWordMarksTheRowsOfItsBits)
{
    const WordCase cases[] = {
        // Status words: CmmStaH bits 15..6 are rows 1..10, InvStaH rows 11..26, InvStaL bits
        // 15..9 rows 27..33; CmmStaL has no row at all.
        {0, 0x8000, {1}, {}},
        {0, 0x0040, {10}, {}},
        {0, 0x003F, {}, {}},
        {1, 0xFFFF, {}, {}},
        {4, 0x8000, {11}, {}},
        {4, 0x0001, {26}, {}},
        {5, 0x0600, {32, 33}, {}},
        {5, 0x8000, {27}, {}},
        {5, 0x01FF, {}, {}},
        // Alarm words: CmmAlmH rows 1..16, CmmAlmL bits 15..6 rows 17..26, InvAlmH rows
        // 27..42, InvAlmL bits 15..7 rows 43..51.
        {2, 0x8000, {}, {1}},
        {2, 0x0001, {}, {16}},
        {3, 0x8000, {}, {17}},
        {3, 0x0040, {}, {26}},
        {3, 0x003F, {}, {}},
        {6, 0x8000, {}, {27}},
        {6, 0x0001, {}, {42}},
        {7, 0x8000, {}, {43}},
        {7, 0x0080, {}, {51}},
        {7, 0x007F, {}, {}},
        // The system words have only the legends of the second page.
        {8, 0xFFFF, {}, {}},
        {9, 0xFFFF, {}, {}},
    };
    for (const WordCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "word " << c.word << " = 0x" << std::hex << c.value);
        TStatusBlock block;
        block.Word(c.word) = c.value;
        TfrmInCode& v = open(block);
        EXPECT_EQ(markedRows(v.mtlcmgrd1, "On"), c.statusRows);
        EXPECT_EQ(markedRows(v.mtlcmgrd2, "Alarm"), c.alarmRows);
        EXPECT_EQ(markedRows(v.mtlcmgrd3, "On"), Rows{});
        EXPECT_EQ(markedRows(v.mtlcmgrd4, "Alarm"), Rows{});
    }
}

TEST_F(StatusViewerTest, EveryWordIsShownInHexadecimal)
{
    TStatusBlock block;
    for (int i = 0; i < 10; ++i) block.Word(i) = static_cast<uint16_t>(0x1A2B + 0x1111 * i);
    TfrmInCode& v = open(block);
    const std::pair<QLineEdit*, int> fields[] = {
        {v.mdt_CMMStatusH, 0}, {v.mdt_CMMStatusL, 1}, {v.mdt_CMMAlarmH, 2}, {v.mdt_CMMAlarmL, 3},
        {v.mdt_INVStatusH, 4}, {v.mdt_INVStatusL, 5}, {v.mdt_INVAlarmH, 6}, {v.mdt_INVAlarmL, 7},
        {v.mdt_SysState, 8},   {v.mdt_SysAlarm, 9}};
    for (const auto& [field, word] : fields)
        EXPECT_EQ(field->text(), HexWord(block.Word(word))) << field->objectName().toStdString();
    EXPECT_EQ(v.mdt_CMMStatusL->text(), "2B3C");
}

TEST_F(StatusViewerTest, ActivationDerivesTheStateAndTheModes)
{
    struct Case {
        uint16_t cmmStaH, cmmStaL, invStaH;
        uint8_t state, supply, inv;
    } cases[] = {
        {0x0000, 0x8000, 0x0280, 3, 1, 1},  {0x4400, 0x8000, 0x0700, 4, 2, 3},
        {0x4000, 0x8000, 0x0780, 5, 3, 3},  {0x0000, 0x8000, 0x0080, 3, 1, 0},
        {0x0000, 0x0000, 0x0600, 15, 0, 3}, // no data-valid bit
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "InvStaH 0x" << std::hex << c.invStaH);
        TStatusBlock block;
        block.CmmStaH = c.cmmStaH;
        block.CmmStaL = c.cmmStaL;
        block.InvStaH = c.invStaH;
        TfrmInCode& v = open(block);
        EXPECT_EQ(v.Block.State, c.state);
        EXPECT_EQ(v.Block.SupplyMode, c.supply);
        EXPECT_EQ(v.Block.InvMode, c.inv);
        EXPECT_EQ(v.edtUpsRunMode->text(), StateText(c.state));
        EXPECT_TRUE(v.edtSupply->text().isEmpty());
        EXPECT_TRUE(v.edtInvert->isHidden());
    }
    // The source itself is left as it was: the viewer decodes its own snapshot.
    EXPECT_EQ(source_.State, 0);
}

TEST_F(StatusViewerTest, TheDisplayIsASnapshotRetakenOnActivation)
{
    TStatusBlock block;
    block.CmmStaL = 0x8000;
    TfrmInCode& v = open(block);
    EXPECT_EQ(markedRows(v.mtlcmgrd1, "On"), Rows{});
    source_.CmmStaH = 0x8000; // the link stores a new value while the viewer stays active
    source_.CmmAlmL = 0x0040;
    for (int i = 0; i < 3; ++i) v.tmr1Timer();
    EXPECT_EQ(markedRows(v.mtlcmgrd1, "On"), Rows{});
    EXPECT_EQ(v.mdt_CMMStatusH->text(), "0000");
    v.FormActivate();
    v.tmr1Timer();
    EXPECT_EQ(markedRows(v.mtlcmgrd1, "On"), Rows{1});
    EXPECT_EQ(markedRows(v.mtlcmgrd2, "Alarm"), Rows{26});
    EXPECT_EQ(v.mdt_CMMStatusH->text(), "8000");
}

TEST_F(StatusViewerTest, WithoutASourceTheViewerStaysEmpty)
{
    Cabinet().CodeSource = nullptr;
    TfrmInCode v;
    v.tmr1->stop();
    v.FormShow();
    v.FormActivate();
    v.tmr1Timer();
    EXPECT_FALSE(v.StatusDirty || v.AlarmDirty);
    for (QLineEdit* f : {v.mdt_CMMStatusH, v.mdt_INVAlarmL, v.mdt_SysState, v.edtUpsRunMode})
        EXPECT_TRUE(f->text().isEmpty()) << f->objectName().toStdString();
    for (QTableWidget* g : {v.mtlcmgrd1, v.mtlcmgrd2})
        for (int r = 0; r < g->rowCount(); ++r) EXPECT_TRUE(CellText(g, 1, r).isEmpty());
}

TEST_F(StatusViewerTest, AModuleBlockHidesTheSystemPage)
{
    TfrmInCode& module = open(TStatusBlock{}, 0);
    const int second = module.pgc1->indexOf(module.ts2);
    EXPECT_FALSE(module.pgc1->isTabVisible(second));
    EXPECT_EQ(module.pgc1->tabText(module.pgc1->indexOf(module.ts1)), "");
    EXPECT_EQ(module.pgc1->currentWidget(), module.ts1);

    TfrmInCode& cabinet = open(TStatusBlock{}, 1);
    EXPECT_TRUE(cabinet.pgc1->isTabVisible(cabinet.pgc1->indexOf(cabinet.ts2)));
    EXPECT_EQ(cabinet.pgc1->tabText(0), "Page1");
    EXPECT_EQ(cabinet.pgc1->tabText(1), "Page2");
}

TEST_F(StatusViewerTest, ComponentsHaveTheirShapes)
{
    TfrmInCode& v = open(TStatusBlock{});
    EXPECT_EQ(v.size(), QSize(490, 625));
    EXPECT_EQ(v.windowTitle(), "frmInCode");
    EXPECT_EQ(v.tmr1->interval(), 120);
    EXPECT_FALSE(v.grpCode->isEnabled());
    EXPECT_FALSE(v.grp8->isEnabled());
    struct Shape {
        QTableWidget* grid;
        int rows, markWidth;
    } shapes[] = {{v.mtlcmgrd1, 34, 40}, {v.mtlcmgrd2, 52, 50}, {v.mtlcmgrd3, 17, 40}, {v.mtlcmgrd4, 17, 50}};
    for (const Shape& s : shapes) {
        EXPECT_EQ(s.grid->columnCount(), 2);
        EXPECT_EQ(s.grid->rowCount(), s.rows);
        EXPECT_EQ(s.grid->columnWidth(1), s.markWidth);
        EXPECT_EQ(s.grid->rowHeight(1), 15);
        EXPECT_TRUE(v.findChild<QTableWidget*>(s.grid->objectName()));
    }
    // Every list fits inside its page.
    v.show();
    for (QTableWidget* g : {v.mtlcmgrd1, v.mtlcmgrd2})
        EXPECT_LE(g->geometry().bottom(), v.ts1->height()) << g->objectName().toStdString();
}

struct CaptionCase {
    QTableWidget* TfrmInCode::*grid;
    int row;
    const char* en;
    const char* zh;
};

TEST_F(StatusViewerTest, RowNamesInBothLanguages)
{
    const CaptionCase cases[] = {
        {&TfrmInCode::mtlcmgrd1, 0, "Status", "状态"},
        {&TfrmInCode::mtlcmgrd1, 1, "Input Switch", "输入空开状态"},
        {&TfrmInCode::mtlcmgrd1, 21, "INV. Off coming to PowerOff", "关机将导致断电告警"},
        {&TfrmInCode::mtlcmgrd1, 33, "request init of Inverter", "逆变初始化请求"},
        {&TfrmInCode::mtlcmgrd2, 0, "Alarm", "报警"},
        {&TfrmInCode::mtlcmgrd2, 7, "Input Thyristor failed", "输入晶闸管故障"},
        {&TfrmInCode::mtlcmgrd2, 26, "Mains volt. abnormal", "市电电压异常"},
        {&TfrmInCode::mtlcmgrd2, 36, "System Not Sync. To Bypass", "不同步"},
        {&TfrmInCode::mtlcmgrd2, 44, "Initializtion fault", "加上电初始化故障"},
        {&TfrmInCode::mtlcmgrd2, 50, "Feedback protection", "回馈保护"},
        {&TfrmInCode::mtlcmgrd2, 51, "DC Bus fault", "BUS电压异常"},
        {&TfrmInCode::mtlcmgrd3, 1, "Dynamotor", "发电机接入"},
        {&TfrmInCode::mtlcmgrd3, 9, "", "(保留)"},
        {&TfrmInCode::mtlcmgrd4, 8, "System need maintenance", "预防性维护时间到"},
        {&TfrmInCode::mtlcmgrd4, 16, "", "(保留)"},
    };
    for (uint8_t language : {0, 1}) {
        LocalPara.Language = language;
        TfrmInCode& v = open(TStatusBlock{});
        for (const CaptionCase& c : cases) {
            SCOPED_TRACE(testing::Message() << (v.*c.grid)->objectName().toStdString() << " row " << c.row);
            EXPECT_EQ(CellText(v.*c.grid, 0, c.row), QString::fromUtf8(language == 1 ? c.zh : c.en));
        }
        // Every bit has a name; each list's names are in the viewer's language.
        for (int r = 0; r < StatusBitRows; ++r) EXPECT_FALSE(CellText(v.mtlcmgrd1, 0, r).isEmpty()) << r;
        for (int r = 0; r < AlarmBitRows; ++r) EXPECT_FALSE(CellText(v.mtlcmgrd2, 0, r).isEmpty()) << r;
        EXPECT_EQ(v.lbCmm->text(), language == 1 ? QString::fromUtf8("整流模块") : QString("Rectifier"));
        EXPECT_EQ(v.lbMonitor->text(), language == 1 ? QString::fromUtf8("监控") : QString("monitor"));
        EXPECT_EQ(v.windowTitle(), "frmInCode");
    }
}

TEST_F(StatusViewerTest, CaptionsAreTakenWhenTheViewerIsCreated)
{
    LocalPara.Language = 1;
    TfrmInCode& v = open(TStatusBlock{});
    LocalPara.Language = 0; // switched while the viewer is open
    v.FormShow();
    v.FormActivate();
    v.tmr1Timer();
    EXPECT_EQ(CellText(v.mtlcmgrd1, 0, 1), QString::fromUtf8("输入空开状态"));
    EXPECT_EQ(v.lbUpsRunMode->text(), QString::fromUtf8("运行状态"));
    // The marks are the same in both languages.
    source_.CmmStaH = 0x8000;
    v.FormActivate();
    v.tmr1Timer();
    EXPECT_EQ(CellText(v.mtlcmgrd1, 1, 1), "On");
}

TEST(StatusBitRows, RowsOutsideTheListsHaveNoBit)
{
    for (int row : {0, 34, -1}) EXPECT_EQ(StatusBitOfRow(row).word, -1) << row;
    for (int row : {0, 52}) EXPECT_EQ(AlarmBitOfRow(row).word, -1) << row;
    // No two rows name the same bit.
    std::set<std::pair<int, int>> seen;
    for (int r = 1; r < StatusBitRows; ++r)
        EXPECT_TRUE(seen.insert({StatusBitOfRow(r).word, StatusBitOfRow(r).bit}).second) << r;
    for (int r = 1; r < AlarmBitRows; ++r)
        EXPECT_TRUE(seen.insert({AlarmBitOfRow(r).word, AlarmBitOfRow(r).bit}).second) << r;
}

// The main window's "Detail" buttons.
class DetailButtonTest : public MainWindowTest {};

TEST_F(DetailButtonTest, SystemAndModuleButtonsOpenAViewerOfTheirBlock)
{
    TFrmMain& w = window();
    Cabinet().UpsData[1].Status.CmmStaH = 0x8000;
    Cabinet().UpsData[1].Status.CmmStaL = 0x8000;
    Cabinet().UpsData[1].Status.SysAlm = 0x00F0;
    w.CurModule = 5;
    Cabinet().ModuleData[5].Status.InvAlmL = 0x0080;
    Cabinet().ModuleData[5].Status.CmmStaL = 0x8000;

    DialogScript script;
    QPointer<TfrmInCode> seen;
    struct Shown {
        Rows status, alarm;
        bool secondPage;
        QString sysAlarm;
    } shown{};
    script.otherModal = [&](QDialog* d) {
        auto* v = qobject_cast<TfrmInCode*>(d);
        EXPECT_NE(v, nullptr);
        if (!v) return int(QDialog::Rejected);
        seen = v;
        v->tmr1->stop();
        v->show();
        v->FormActivate();
        v->tmr1Timer();
        shown = {markedRows(v->mtlcmgrd1, "On"), markedRows(v->mtlcmgrd2, "Alarm"),
                 v->pgc1->isTabVisible(v->pgc1->indexOf(v->ts2)), v->mdt_SysAlarm->text()};
        v->close();
        return int(QDialog::Rejected);
    };
    w.btnZyrCode->click();
    EXPECT_EQ(Cabinet().CodeIsSystem, 1);
    EXPECT_EQ(shown.status, Rows{1});
    EXPECT_EQ(shown.alarm, Rows{});
    EXPECT_TRUE(shown.secondPage);
    EXPECT_EQ(shown.sysAlarm, "00F0");
    EXPECT_TRUE(seen.isNull()); // freed when closed

    w.btnMdCode->click();
    EXPECT_EQ(Cabinet().CodeIsSystem, 0);
    EXPECT_EQ(Cabinet().CodeSource, &Cabinet().ModuleData[5].Status);
    EXPECT_EQ(shown.status, Rows{});
    EXPECT_EQ(shown.alarm, Rows{51});
    EXPECT_FALSE(shown.secondPage);
    EXPECT_TRUE(seen.isNull());
}

TEST_F(DetailButtonTest, AnEarlierViewerIsClosedAndFreedFirst)
{
    TFrmMain& w = window();
    DialogScript script;
    std::vector<QPointer<TfrmInCode>> viewers;
    bool earlierGoneWhenSecondShown = false;
    script.otherModal = [&](QDialog* d) {
        viewers.push_back(qobject_cast<TfrmInCode*>(d));
        if (viewers.size() == 1) {
            d->show();
            w.btnMdCodeClick(); // the other button while the first viewer is still up
        } else {
            earlierGoneWhenSecondShown = viewers.front().isNull();
        }
        return int(QDialog::Rejected);
    };
    w.btnZyrCodeClick();
    ASSERT_EQ(viewers.size(), 2u);
    EXPECT_TRUE(earlierGoneWhenSecondShown);
    EXPECT_TRUE(viewers.back().isNull());
    EXPECT_EQ(Cabinet().CodeIsSystem, 0);
}

TEST_F(DetailButtonTest, AViewerOpenedAfterALanguageSwitchShowsTheNewLanguage)
{
    TFrmMain& w = window();
    DialogScript script;
    QString heading;
    script.otherModal = [&](QDialog* d) {
        heading = CellText(static_cast<TfrmInCode*>(d)->mtlcmgrd1, 0, 0);
        return int(QDialog::Rejected);
    };
    w.btnZyrCodeClick();
    EXPECT_EQ(heading, "Status");
    w.rgLanguage->SetItemIndex(1);
    w.rgLanguageClick();
    w.btnZyrCodeClick();
    EXPECT_EQ(heading, QString::fromUtf8("状态"));
}

} // namespace

namespace {

// `zyrtool --window frmInCode` opens the viewer of the cabinet as the System page's button does.
TEST(StatusViewerProgram, TheWindowOptionOpensTheViewer)
{
    const TProgramRun run = RunViewScreenshot(QStringLiteral("frmInCode"), 1, 3);
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_FALSE(run.errors.contains(QLatin1String("not shown"))) << run.errors.toStdString();
    EXPECT_EQ(run.picture.size(), QSize(490, 625));
}

} // namespace
