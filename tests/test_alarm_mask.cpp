// The alarm mask window and the bit-setting window, headless: the bit grid and its check
// cells, what OK and Cancel queue, the Edit buttons, the read rhythm, the bit names in both
// languages, and the main menu's way in behind the password.
#include "app/uDemoPrompt.h"
#include "comm/uCabinet.h"
#include "comm/uFrmCom.h"
#include "comm/uLinkState.h"
#include "model/UShareData.h"
#include "model/uDataFunc.h"
#include "model/uUpsInfo.h"
#include "settings/UFrmSetBit.h"
#include "settings/uFrmMask.h"
#include "settings/uMaskBitNames.h"
#include "support/DialogScript.h"
#include "support/FakeTransport.h"
#include "support/TestSupport.h"
#include "test_main_fixture.h"
#include "ui/uGraceWindows.h"
#include "ui/uGuard.h"
#include "ui/uStringGrid.h"
#include "ui/uViewRegistry.h"

#include <QFile>
#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

const TReqSlot Untouched{FlagOn, 9, 4, 12345, 1, 0, 0};

bool sameRequest(const TReqSlot& a, const TReqSlot& b)
{
    return a.Pending == b.Pending && a.Addr == b.Addr && a.Func == b.Func && a.StartReg == b.StartReg &&
           a.Count == b.Count && a.Value == b.Value;
}

std::string describe(const TReqSlot& s)
{
    return QStringLiteral("pending %1 addr %2 func %3 reg %4 count %5 value %6")
        .arg(s.Pending)
        .arg(s.Addr)
        .arg(s.Func)
        .arg(s.StartReg)
        .arg(s.Count)
        .arg(HexWord(s.Value))
        .toStdString();
}

class MaskTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetAll();
        ClearGraceWindowProbes();
        SetPswGraceCounter(&grace);
        LocalPara.Language = 0;
        MaskChannel = 0;
        MaskValue = 0;
        com = std::make_unique<TFrmCom>();
        com->Timer1.stop();
        UseFakeLine(
            *com, [this] { return portOpen; }, [](const uint8_t*, int) { return true; });
    }
    void TearDown() override
    {
        com.reset();
        SetPswGraceCounter(nullptr);
        ClearGraceWindowProbes();
        ResetAll();
    }

    // A bit-setting window shown (not modally) for channel and value.
    std::unique_ptr<TFrmSetBit> bitWindow(int channel, uint16_t value)
    {
        MaskChannel = static_cast<uint8_t>(channel);
        MaskValue = value;
        auto w = std::make_unique<TFrmSetBit>();
        w->show();
        return w;
    }
    static void click(TFrmSetBit& w, int col, int row, Qt::MouseButton button = Qt::LeftButton)
    {
        const QRect cell = w.strGrid->visualRect(w.strGrid->model()->index(row, col));
        QTest::mouseClick(w.strGrid->viewport(), button, {}, cell.center());
    }
    std::unique_ptr<TfrmMask> maskWindow()
    {
        auto w = std::make_unique<TfrmMask>();
        w->tmr1->stop(); // the tests are the clock
        return w;
    }

    bool portOpen = false;
    int32_t grace = 0;
    std::unique_ptr<TFrmCom> com;
};

// ---- the bit grid ----

TEST_F(MaskTest, ClickInTheCheckCellOfRowRTogglesBit16MinusR)
{
    auto w = bitWindow(3, 0);
    for (int row = 1; row <= 16; ++row) {
        const uint16_t bit = static_cast<uint16_t>(1u << (16 - row));
        click(*w, 2, row);
        EXPECT_EQ(MaskValue, bit) << "row " << row;
        EXPECT_EQ(w->edtMskVal->text(), HexWord(bit)) << "row " << row;
        for (int r = 1; r <= 16; ++r)
            EXPECT_EQ(CellText(w->strGrid, 2, r), r == row ? "1" : "0") << "row " << row << " cell " << r;
        click(*w, 2, row);
        EXPECT_EQ(MaskValue, 0) << "row " << row;
        EXPECT_EQ(w->edtMskVal->text(), "0000");
    }
}

TEST_F(MaskTest, RowOneMakesZeroIntoHex8000AndBack)
{
    auto w = bitWindow(1, 0);
    EXPECT_EQ(w->edtMskVal->text(), "0000");
    click(*w, 2, 1);
    EXPECT_EQ(w->edtMskVal->text(), "8000");
    click(*w, 2, 1);
    EXPECT_EQ(w->edtMskVal->text(), "0000");
}

TEST_F(MaskTest, RowWithoutANameStillTogglesItsBit)
{
    auto w = bitWindow(2, 0x8000); // only bit 15 of the second word has a name
    ASSERT_TRUE(CellText(w->strGrid, 1, 16).isEmpty());
    click(*w, 2, 16);
    EXPECT_EQ(MaskValue, 0x8001);
    EXPECT_EQ(w->edtMskVal->text(), "8001");
}

TEST_F(MaskTest, OnlyALeftClickInColumnTwoChangesTheValue)
{
    auto w = bitWindow(5, 0x1234);
    click(*w, 2, 3); // bit 13
    ASSERT_EQ(MaskValue, 0x3234);
    // The check cell of row 3 was the last one clicked: other columns, the heading row,
    // another button and the keyboard leave the value alone.
    struct Press {
        int col, row;
        Qt::MouseButton button;
    } const presses[] = {{1, 3, Qt::LeftButton},  {0, 3, Qt::LeftButton},  {0, 9, Qt::LeftButton},
                         {1, 16, Qt::LeftButton}, {2, 0, Qt::LeftButton},  {1, 0, Qt::LeftButton},
                         {2, 3, Qt::RightButton}, {2, 8, Qt::MiddleButton}};
    for (const Press& p : presses) {
        click(*w, p.col, p.row, p.button);
        EXPECT_EQ(MaskValue, 0x3234) << "col " << p.col << " row " << p.row << " button " << p.button;
    }
    w->strGrid->setFocus();
    for (Qt::Key key : {Qt::Key_Space, Qt::Key_Down, Qt::Key_Return, Qt::Key_Up, Qt::Key_Right})
        QTest::keyClick(w->strGrid, key);
    EXPECT_EQ(MaskValue, 0x3234);
    EXPECT_EQ(w->edtMskVal->text(), "3234");
}

TEST_F(MaskTest, GridShape)
{
    auto w = bitWindow(1, 0);
    QTableWidget* g = w->strGrid;
    EXPECT_EQ(g->columnCount(), 3);
    EXPECT_EQ(g->rowCount(), 17);
    for (int r = 0; r < 17; ++r) EXPECT_EQ(g->rowHeight(r), 18) << r;
    EXPECT_GE(g->columnWidth(0), 25);
    EXPECT_GE(g->columnWidth(1), 184);
    EXPECT_EQ(g->columnWidth(2), 30);
    for (int r = 1; r <= 16; ++r) EXPECT_EQ(CellText(g, 0, r), QString::number(r));
    // Every row and column is in sight: nothing to scroll.
    EXPECT_GE(g->viewport()->height(), g->rowViewportPosition(16) + 18);
    EXPECT_GE(g->viewport()->width(), g->columnViewportPosition(2) + 30);
}

// The longest bit name of any word, in either language, is not cut off.
TEST_F(MaskTest, EveryBitNameFitsItsColumn)
{
    for (uint8_t language : {uint8_t(0), uint8_t(1)}) {
        LocalPara.Language = language;
        auto w = bitWindow(1, 0);
        const QFontMetrics fm(w->strGrid->font());
        for (int c = 1; c <= MaskChannelCount; ++c)
            for (int b = 0; b < 16; ++b)
                EXPECT_LT(fm.horizontalAdvance(MaskBitName(c, b)), w->strGrid->columnWidth(1))
                    << "language " << int(language) << " channel " << c << " bit " << b;
        EXPECT_LT(fm.horizontalAdvance(CellText(w->strGrid, 0, 0)), w->strGrid->columnWidth(0));
    }
}

// The check cells show the platform's check box centred on the window colour: a set bit and
// a clear bit look different, equal bits look the same, and the glyph sits in the middle.
TEST_F(MaskTest, CheckCellsAreDrawnAsCentredCheckBoxes)
{
    auto w = bitWindow(5, 0xA000); // rows 1 and 3 set, rows 2 and 4 clear
    const QImage grid = w->strGrid->viewport()->grab().toImage();
    auto cellImage = [&](int row) {
        return grid.copy(w->strGrid->visualRect(w->strGrid->model()->index(row, 2)).adjusted(0, 0, -1, -1));
    };
    const QImage on1 = cellImage(1), off2 = cellImage(2), on3 = cellImage(3), off4 = cellImage(4);
    EXPECT_NE(on1, off2);
    EXPECT_EQ(on1, on3);
    EXPECT_EQ(off2, off4);

    const QRgb base = w->strGrid->palette().color(QPalette::Base).rgb();
    for (const QImage& cell : {on1, off2}) {
        int left = cell.width(), right = -1, top = cell.height(), bottom = -1;
        for (int y = 0; y < cell.height(); ++y)
            for (int x = 0; x < cell.width(); ++x)
                if (cell.pixel(x, y) != base) {
                    left = std::min(left, x);
                    right = std::max(right, x);
                    top = std::min(top, y);
                    bottom = std::max(bottom, y);
                }
        ASSERT_GE(right, left) << "something is drawn";
        EXPECT_LE(std::abs(left - (cell.width() - 1 - right)), 2) << "centred across";
        EXPECT_LE(std::abs(top - (cell.height() - 1 - bottom)), 2) << "centred down";
        EXPECT_GT(left, 2) << "a glyph, not a filled cell";
    }
}

// Both windows in both languages: every component lies inside its window and inside its
// panel, and no two components of one parent overlap. With ZYR_PICTURES_DIR set the pictures
// are written there to be looked at.
TEST_F(MaskTest, ComponentsInsideTheirWindowsInBothLanguages)
{
    auto checkLayout = [](QWidget* window, const char* name) {
        QList<QWidget*> parents = window->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
        parents << window;
        for (QWidget* parent : parents) {
            const QList<QWidget*> kids =
                parent->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
            for (int i = 0; i < kids.size(); ++i) {
                if (!kids[i]->isVisible() || kids[i]->isWindow()) continue;
                EXPECT_TRUE(parent->rect().contains(kids[i]->geometry()))
                    << name << ": " << kids[i]->objectName().toStdString() << " leaves "
                    << parent->objectName().toStdString();
                for (int j = i + 1; j < kids.size(); ++j)
                    if (kids[j]->isVisible() && !kids[j]->isWindow())
                        EXPECT_FALSE(kids[i]->geometry().intersects(kids[j]->geometry()))
                            << name << ": " << kids[i]->objectName().toStdString() << " overlaps "
                            << kids[j]->objectName().toStdString();
            }
        }
    };
    const QString pictures = qEnvironmentVariable("ZYR_PICTURES_DIR");
    Cabinet().MaskWords[4] = 0xFCFF;
    for (uint8_t language : {uint8_t(0), uint8_t(1)}) {
        LocalPara.Language = language;
        const QString suffix = language == 1 ? "_zh.png" : "_en.png";
        auto mask = maskWindow();
        mask->show();
        checkLayout(mask.get(), "frmMask");
        for (int channel : {3, 5, 9}) {
            auto bits = bitWindow(channel, Cabinet().MaskWords[4]);
            checkLayout(bits.get(), "FrmSetBit");
            if (!pictures.isEmpty())
                bits->grab().save(pictures + QStringLiteral("/FrmSetBit%1").arg(channel) + suffix);
        }
        if (!pictures.isEmpty()) mask->grab().save(pictures + "/frmMask" + suffix);
    }
}

// ---- OK and Cancel ----

struct OkCase {
    const char* name;
    std::vector<int> busy;     // slots holding another request
    std::vector<int> expected; // slots OK fills
};

void PrintTo(const OkCase& c, std::ostream* os) { *os << c.name; }

class OkTable : public MaskTest, public ::testing::WithParamInterface<OkCase> {};

TEST_P(OkTable, QueuesWriteEnableWordAndReadBackAllOrNothing)
{
    const OkCase& c = GetParam();
    portOpen = true;
    FrmCom->SetDevAddr(7); // the main window's selected address
    DialogScript script;
    for (int s : c.busy) {
        TestSlots()[s] = Untouched;
        TestSlots()[s].Group = 99; // the read-back of another write: it cannot make way
    }
    auto w = bitWindow(5, 0xFCFF);
    click(*w, 2, 16); // bit 0 off
    ASSERT_EQ(MaskValue, 0xFCFE);
    QTest::mouseClick(w->btnOK, Qt::LeftButton);
    const bool queued = !c.expected.empty();
    EXPECT_EQ(w->isVisible(), !queued) << "a refused write keeps the window and its bits";
    EXPECT_EQ(script.messageTexts(), queued ? QStringList() : QStringList{"Link busy, please try again"});

    const TReqSlot want[4] = {{},
                              {FlagOn, 7, 6, 50000, 0, 10, 0},
                              {FlagOn, 7, 6, 40086, 0, 0xFCFE, 0},
                              {FlagOn, 7, 3, 40082, 10, 0, 0}};
    for (int s = 1; s <= 3; ++s) {
        const bool busy = std::find(c.busy.begin(), c.busy.end(), s) != c.busy.end();
        const bool filled = std::find(c.expected.begin(), c.expected.end(), s) != c.expected.end();
        const TReqSlot& expect = busy ? Untouched : filled ? want[s] : TReqSlot{};
        EXPECT_TRUE(sameRequest(TestSlots()[s], expect)) << "slot " << s << ": " << describe(TestSlots()[s]);
    }
    for (int s = 4; s <= ReqSlotCount; ++s) EXPECT_EQ(TestSlots()[s].Pending, 0) << s;
}

INSTANTIATE_TEST_SUITE_P(Slots, OkTable,
                         ::testing::Values(OkCase{"allFree", {}, {1, 2, 3}}, OkCase{"slot1Busy", {1}, {}},
                                           OkCase{"slot1AndSlot3Busy", {1, 3}, {}},
                                           OkCase{"slot2Busy", {2}, {}}, OkCase{"slot3Busy", {3}, {}},
                                           OkCase{"slots2And3Busy", {2, 3}, {}}),
                         [](const ::testing::TestParamInfo<OkCase>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(MaskTest, EachChannelWritesItsOwnRegister)
{
    portOpen = true;
    for (int channel = 1; channel <= MaskChannelCount; ++channel) {
        ResetSharedData();
        for (int s = 1; s <= ReqSlotCount; ++s) FrmCom->Withdraw(s); // the last channel's write
        auto w = bitWindow(channel, static_cast<uint16_t>(0x0F00 + channel));
        w->btnOK->click();
        EXPECT_EQ(TestSlots()[2].StartReg, 40081 + channel);
        EXPECT_EQ(TestSlots()[2].Value, 0x0F00 + channel);
    }
}

TEST_F(MaskTest, CancelAndClosingSendNothing)
{
    for (bool viaButton : {true, false}) {
        ResetSharedData();
        auto w = bitWindow(5, 0x0000);
        click(*w, 2, 1);
        if (viaButton)
            QTest::mouseClick(w->btnCancel, Qt::LeftButton);
        else
            w->close();
        EXPECT_FALSE(w->isVisible());
        EXPECT_EQ(w->result(), QDialog::Rejected);
        for (int s = 1; s <= ReqSlotCount; ++s) EXPECT_EQ(TestSlots()[s].Pending, 0) << "slot " << s;
    }
}

TEST_F(MaskTest, CaptionsInBothLanguages)
{
    struct Lang {
        uint8_t flag;
        const char *title, *index, *description, *explain, *ok, *cancel, *topic;
    } const langs[] = {
        {0, "Bit Setting", "Index", "Description", "Note: Checked is Function Enable", "OK", "Cancel",
         "Alarm Info 2"},
        {1, "位设置", "序号", "说明", "说明: 选中则对应功能使能", "确定", "取消", "告警位信息2"},
    };
    for (const Lang& l : langs) {
        LocalPara.Language = l.flag;
        auto w = bitWindow(6, 0);
        EXPECT_EQ(w->windowTitle(), QString::fromUtf8(l.title));
        EXPECT_EQ(CellText(w->strGrid, 0, 0), QString::fromUtf8(l.index));
        EXPECT_EQ(CellText(w->strGrid, 1, 0), QString::fromUtf8(l.description));
        EXPECT_EQ(w->lblExplain->text(), QString::fromUtf8(l.explain));
        EXPECT_EQ(w->btnOK->text(), QString::fromUtf8(l.ok));
        EXPECT_EQ(w->btnCancel->text(), QString::fromUtf8(l.cancel));
        EXPECT_EQ(w->lblTopicInfo->text(), QString::fromUtf8(l.topic));
    }
}

// ---- bit names ----

struct NameCase {
    int channel, bit;
    const char* en;
    const char* zh;
};

void PrintTo(const NameCase& c, std::ostream* os) { *os << c.channel << "/" << c.bit; }

class BitNames : public MaskTest, public ::testing::WithParamInterface<NameCase> {};

TEST_P(BitNames, ShownInItsRowInBothLanguages)
{
    const NameCase& c = GetParam();
    const TMaskText t = MaskBitText(c.channel, c.bit);
    EXPECT_STREQ(t.en, c.en);
    EXPECT_STREQ(t.zh, c.zh);
    for (uint8_t language : {uint8_t(0), uint8_t(1)}) {
        LocalPara.Language = language;
        auto w = bitWindow(c.channel, 0);
        EXPECT_EQ(CellText(w->strGrid, 1, 16 - c.bit), QString::fromUtf8(language == 1 ? c.zh : c.en))
            << "language " << int(language);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Channels, BitNames,
    ::testing::Values(
        NameCase{1, 15, "Input Switch Status", "输入空开状态"},
        NameCase{1, 6, "N-battery Boost/Float Chargering", "负组电池均浮充"}, NameCase{1, 5, "", ""},
        NameCase{2, 15, "Communication online", "联机位"}, NameCase{2, 14, "", ""}, NameCase{2, 0, "", ""},
        NameCase{3, 5, "Inverter Off Result In Power Off ALarm", "关机将导致断电告警"},
        NameCase{3, 0, "Over Lock out times", "切换次数到"},
        NameCase{4, 11, "Inverter Stand By", "逆变待机(ECO状态位)"}, NameCase{4, 10, "", ""},
        NameCase{5, 15, "Rectifier fault", "整流器故障"}, NameCase{5, 0, "Soft start failed", "软启动失败"},
        NameCase{6, 6, "Mains volt. abnormal", "市电电压异常"}, NameCase{6, 5, "", ""},
        NameCase{7, 3, "IGBT over curren", "IGBT过流"},
        NameCase{7, 0, "Parallel relay fault", "并机继电器故障"},
        NameCase{8, 14, "Initializtion fault", "上电初始化故障"}, NameCase{8, 6, "Output Short", "输出短路"},
        NameCase{9, 14, "State Bit of Battery Volt low to off", "电池电压低关机状态位"},
        NameCase{9, 6, "Calculate Battery Backup Time", "后备时间计算位"},
        NameCase{10, 9, "Nachine Type Fault", "机型错误"},
        NameCase{10, 8, "Over Maintain Time", "预防性维护时间到"}, NameCase{10, 7, "", ""}),
    [](const ::testing::TestParamInfo<NameCase>& info) {
        return "ch" + std::to_string(info.param.channel) + "bit" + std::to_string(info.param.bit);
    });

// Channel 5 row by row, as the grid shows it in both languages.
TEST_F(MaskTest, AlarmWordOneAsATable)
{
    const char* const rows[16][2] = {
        {"Rectifier fault", "整流器故障"},
        {"Rectifier over temperature", "整流模块过温"},
        {"Inverter over temperature", "逆变模块过温"},
        {"Rectifier over current", "整流过流故障"},
        {"Auxiliary power 1 fault", "辅助电源1故障"},
        {"Auxiliary power 2 fault", "辅助电源2故障"},
        {"Input Thyristor fault", "输入晶闸管故障"},
        {"Discharge Thyristor fault", "电池放电晶闸管故障"},
        {"Charge Thyristor fault", "电池充电晶闸管故障"},
        {"Fan fault", "风扇故障"},
        {"Fan Power fault", "风扇电源故障"},
        {"DC Bus over voltage", "母线电压过压"},
        {"DC Bus below voltage", "母线电压欠压"},
        {"DC bus unbalance", "正负母线压差大"},
        {"Mains Site Wiring Fault", "输入电压相序反"},
        {"Soft start failed", "软启动失败"},
    };
    for (uint8_t language : {uint8_t(0), uint8_t(1)}) {
        LocalPara.Language = language;
        auto w = bitWindow(5, 0);
        for (int r = 1; r <= 16; ++r)
            EXPECT_EQ(CellText(w->strGrid, 1, r), QString::fromUtf8(rows[r - 1][language]))
                << "row " << r << " language " << int(language);
    }
}

TEST_F(MaskTest, NamedBitsAndTitlesOfEveryWord)
{
    const int named[MaskChannelCount] = {10, 1, 16, 5, 16, 10, 16, 10, 10, 8};
    const char* const titles[MaskChannelCount][2] = {
        {"State Info 1", "整机状态位信息1"},     {"State Info 2", "状态位信息2"},
        {"State Info 3", "状态位信息3"},         {"State Info 4", "状态位信息4"},
        {"Alarm Info 1", "告警位信息1"},         {"Alarm Info 2", "告警位信息2"},
        {"Alarm Info 3", "告警位信息3"},         {"Alarm Info 4", "告警位信息4"},
        {"System State Info", "监控状态位信息"}, {"System Alarm Info", "监控告警位信息"}};
    for (int c = 1; c <= MaskChannelCount; ++c) {
        int count = 0;
        bool gap = false;
        for (int b = 15; b >= 0; --b) {
            const TMaskText t = MaskBitText(c, b);
            const bool hasName = *t.en != 0;
            EXPECT_EQ(hasName, *t.zh != 0) << "channel " << c << " bit " << b << ": a name in both languages";
            if (hasName) {
                EXPECT_FALSE(gap) << "channel " << c << ": names run down from bit 15 without a gap";
                ++count;
            } else {
                gap = true;
            }
        }
        EXPECT_EQ(count, named[c - 1]) << "channel " << c;
        EXPECT_STREQ(MaskTitleText(c).en, titles[c - 1][0]);
        EXPECT_STREQ(MaskTitleText(c).zh, titles[c - 1][1]);
    }
    EXPECT_STREQ(MaskBitText(0, 15).en, "");
    EXPECT_STREQ(MaskBitText(11, 15).en, "");
    EXPECT_STREQ(MaskBitText(1, 16).en, "");
}

// ---- the mask window ----

TEST_F(MaskTest, MaskWindowComponentsAndCaptions)
{
    const char* const edits[] = {"edtState01", "edtState02", "edtState03", "edtState04", "edtAlarm01",
                                 "edtAlarm02", "edtAlarm03", "edtAlarm04", "edtMnState", "edtMnAlarm"};
    const char* const en[] = {"UPS State1",           "UPS State2",          "UPS State3", "UPS State4",
                              "UPS Alarm1",           "UPS Alarm2",          "UPS Alarm3", "UPS Alarm4",
                              "Monitor System State", "Monitor System Alarm"};
    const char* const zh[] = {"整机状态位信息1",    "整机状态位信息2",   "整机状态位信息3", "整机状态位信息4",
                              "整机告警位信息1",    "整机告警位信息2",   "整机告警位信息3", "整机告警位信息4",
                              "监控系统状态位信息", "监控系统告警位信息"};
    for (uint8_t language : {uint8_t(0), uint8_t(1)}) {
        LocalPara.Language = language;
        auto w = maskWindow();
        w->show();
        EXPECT_EQ(w->objectName(), "frmMask");
        EXPECT_EQ(w->windowTitle(), language == 1 ? QString::fromUtf8("掩码维护") : QString("Alarm Bit"));
        for (const char* p : {"Panel1", "Panel2", "Panel3"})
            EXPECT_NE(w->findChild<QFrame*>(p), nullptr) << p;
        EXPECT_NE(w->findChild<QTimer*>("tmr1"), nullptr);
        for (int n = 1; n <= 10; ++n) {
            auto* label = w->findChild<QLabel*>(QStringLiteral("Label%1").arg(n));
            auto* edit = w->findChild<QLineEdit*>(edits[n - 1]);
            auto* button =
                w->findChild<QPushButton*>(QStringLiteral("btnEdt%1").arg(n, 2, 10, QLatin1Char('0')));
            ASSERT_TRUE(label && edit && button) << n;
            EXPECT_EQ(label->text(), QString::fromUtf8(language == 1 ? zh[n - 1] : en[n - 1]));
            EXPECT_EQ(button->text(), "Edit") << "in both languages";
            EXPECT_TRUE(edit->isReadOnly());
            // The label's text is not cut off.
            EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->width()) << n;
        }
        const QFrame* p1 = w->Panel1;
        EXPECT_EQ(w->Label4->parentWidget(), p1);
        EXPECT_EQ(w->Label5->parentWidget(), w->Panel2);
        EXPECT_EQ(w->Label10->parentWidget(), w->Panel3);
    }
}

TEST_F(MaskTest, EditButtonsWaitForAMaskWordAlsoWithThePortClosed)
{
    auto w = maskWindow();
    QPushButton* buttons[] = {w->btnEdt01, w->btnEdt02, w->btnEdt03, w->btnEdt04, w->btnEdt05,
                              w->btnEdt06, w->btnEdt07, w->btnEdt08, w->btnEdt09, w->btnEdt10};
    auto enabledCount = [&] {
        int n = 0;
        for (QPushButton* b : buttons) n += b->isEnabled();
        return n;
    };
    EXPECT_EQ(enabledCount(), 0);
    w->tmr1Timer();
    EXPECT_EQ(enabledCount(), 0);
    // The neighbours of the mask words do not count.
    Cabinet().StoreRegister(Cabinet().UpsData[1], 40081, 0xFFFF);
    Cabinet().StoreRegister(Cabinet().UpsData[1], 40092, 0xFFFF);
    w->tmr1Timer();
    EXPECT_EQ(enabledCount(), 0);

    Cabinet().StoreRegister(Cabinet().UpsData[1], 40091, 0x00FF);
    EXPECT_EQ(enabledCount(), 0) << "not before the next tick";
    w->tmr1Timer();
    EXPECT_EQ(enabledCount(), 10);
    EXPECT_FALSE(portOpen);

    // A window opened later finds the flag still set.
    auto again = maskWindow();
    EXPECT_FALSE(again->btnEdt01->isEnabled());
    again->tmr1Timer();
    EXPECT_TRUE(again->btnEdt01->isEnabled());
}

TEST_F(MaskTest, PortClosedNeitherRefreshesNorReads)
{
    auto w = maskWindow();
    Cabinet().MaskWords[0] = 0x1234;
    Cabinet().MaskWords[9] = 0xBEEF;
    for (int i = 0; i < 6; ++i) w->tmr1Timer();
    EXPECT_EQ(w->edtState01->text(), "0000");
    EXPECT_EQ(TestSlots()[1].Pending, 0);

    portOpen = true;
    FrmCom->SetDevAddr(3);
    w->tmr1Timer();
    EXPECT_EQ(w->edtState01->text(), "1234");
    EXPECT_EQ(w->edtMnAlarm->text(), "BEEF");
    EXPECT_TRUE(sameRequest(TestSlots()[1], TReqSlot{FlagOn, 3, 3, 40082, 10, 0, 0})) << describe(TestSlots()[1]);
}

TEST_F(MaskTest, FormShowShowsTheWords)
{
    Cabinet().MaskWords[4] = 0xFCFF;
    auto w = maskWindow();
    w->show();
    EXPECT_EQ(w->edtAlarm01->text(), "FCFF");
}

// With the port open the first tick reads, then every fourth; a busy slot 1 skips that read
// but not the count.
TEST_F(MaskTest, ReadRhythm)
{
    portOpen = true;
    struct Rhythm {
        const char* name;
        int busyAt; // tick at which slot 1 holds another request, 0 none
        std::vector<int> reads;
    } const cases[] = {{"free", 0, {1, 5, 9, 13}}, {"busyAt5", 5, {1, 9, 13}}, {"busyAt2", 2, {1, 5, 9, 13}}};
    for (const Rhythm& c : cases) {
        ResetSharedData();
        auto w = maskWindow();
        std::vector<int> reads;
        for (int tick = 1; tick <= 14; ++tick) {
            if (tick == c.busyAt) TestSlots()[1] = Untouched;
            w->tmr1Timer();
            if (TestSlots()[1].Pending && TestSlots()[1].StartReg == 40082) reads.push_back(tick);
            TestSlots()[1].Pending = 0; // the link takes it
        }
        EXPECT_EQ(reads, c.reads) << c.name;
    }
}

// Edit n: the bit window for word n with the word last received, the grace period restarted.
TEST_F(MaskTest, EditOpensTheBitWindowForItsWord)
{
    for (int i = 0; i < 10; ++i) Cabinet().MaskWords[i] = static_cast<uint16_t>(0x1111 * (i % 9) + i);
    Cabinet().MaskRecvd = FlagOn;
    auto w = maskWindow();
    w->tmr1Timer();
    QPushButton* buttons[] = {w->btnEdt01, w->btnEdt02, w->btnEdt03, w->btnEdt04, w->btnEdt05,
                              w->btnEdt06, w->btnEdt07, w->btnEdt08, w->btnEdt09, w->btnEdt10};
    DialogScript script;
    for (int n = 1; n <= 10; ++n) {
        grace = 5;
        QString topic, shown;
        QWidget* owner = nullptr;
        script.otherModal = [&](QDialog* d) {
            auto* bits = qobject_cast<TFrmSetBit*>(d);
            EXPECT_NE(bits, nullptr);
            if (!bits) return int(QDialog::Rejected);
            bits->show();
            topic = bits->lblTopicInfo->text();
            shown = bits->edtMskVal->text();
            owner = bits->parentWidget();
            bits->btnCancel->click();
            return bits->result();
        };
        QTest::mouseClick(buttons[n - 1], Qt::LeftButton);
        EXPECT_EQ(MaskChannel, n);
        EXPECT_EQ(topic, MaskTitle(n)) << n;
        EXPECT_EQ(shown, HexWord(Cabinet().MaskWords[n - 1])) << n;
        EXPECT_EQ(owner, w.get());
        EXPECT_EQ(grace, 60) << n;
    }
    EXPECT_TRUE(script.messages.empty());
}

// A cancelled edit leaves its working value behind; the next Edit of the same word starts
// again from the word received from the cabinet.
TEST_F(MaskTest, NextEditStartsFromTheReceivedWord)
{
    Cabinet().MaskWords[4] = 0x1111;
    Cabinet().MaskRecvd = FlagOn;
    auto w = maskWindow();
    w->tmr1Timer();
    DialogScript script;
    QString shown;
    script.otherModal = [&](QDialog* d) {
        auto* bits = static_cast<TFrmSetBit*>(d);
        bits->show();
        shown = bits->edtMskVal->text();
        click(*bits, 2, 1);
        bits->btnCancel->click();
        return bits->result();
    };
    w->btnEdt05->click();
    EXPECT_EQ(shown, "1111");
    EXPECT_EQ(MaskValue, 0x9111) << "the working value keeps the last edit";
    w->btnEdt05->click();
    EXPECT_EQ(shown, "1111");
    for (int s = 1; s <= ReqSlotCount; ++s) EXPECT_EQ(TestSlots()[s].Pending, 0) << s;
}

TEST_F(MaskTest, GraceProbeFollowsTheWindow)
{
    EXPECT_FALSE(GraceWindowOpen(TGraceWindow::Mask));
    {
        auto w = maskWindow();
        EXPECT_FALSE(GraceWindowOpen(TGraceWindow::Mask)) << "created, not shown";
        w->show();
        EXPECT_TRUE(GraceWindowOpen(TGraceWindow::Mask));
        w->hide();
        EXPECT_FALSE(GraceWindowOpen(TGraceWindow::Mask));
        w->show();
    }
    EXPECT_FALSE(GraceWindowOpen(TGraceWindow::Mask)) << "freed";
}

// ---- the main menu ----

class MaskMenuTest : public MainWindowTest {};

TEST_F(MaskMenuTest, AlarmMaskOpensTheMaskWindowBehindThePassword)
{
    writeSettings("Language=0\n");
    TFrmMain& w = window();
    ASSERT_EQ(w.PswGraceCount, 0);
    DialogScript script;
    script.prompts.push_back({"tulip"});
    int seen = 0;
    int graceWhileOpen = -1;
    script.otherModal = [&](QDialog* d) {
        auto* mask = qobject_cast<TfrmMask*>(d);
        EXPECT_NE(mask, nullptr);
        if (!mask) return int(QDialog::Rejected);
        ++seen;
        EXPECT_EQ(mask->parentWidget(), &w);
        mask->show();
        // While the window is open the grace counter does not run down.
        period();
        period();
        graceWhileOpen = w.PswGraceCount;
        mask->hide();
        return int(QDialog::Rejected);
    };
    w.mni2003->trigger();
    EXPECT_EQ(script.promptsShown, 1);
    EXPECT_EQ(seen, 1);
    EXPECT_EQ(graceWhileOpen, 60);
    EXPECT_TRUE(script.messages.empty());
    EXPECT_FALSE(GraceWindowOpen(TGraceWindow::Mask)) << "freed after closing";

    // Within the grace period the prompt is skipped.
    w.PswGraceCount = 3;
    w.mni2003Click();
    EXPECT_EQ(script.promptsShown, 1);
    EXPECT_EQ(seen, 2);
    EXPECT_EQ(w.PswGraceCount, 60);
}

TEST_F(MaskMenuTest, WrongPasswordOpensNothing)
{
    writeSettings("Language=1\n");
    TFrmMain& w = window();
    DialogScript script;
    script.prompts.push_back({"wrong"});
    script.prompts.push_back({"", TPromptAnswer::Cancel});
    int seen = 0;
    script.otherModal = [&](QDialog*) {
        ++seen;
        return int(QDialog::Rejected);
    };
    w.mni2003Click();
    ASSERT_EQ(script.messages.size(), 1u);
    EXPECT_EQ(script.messages[0].text, QString::fromUtf8("密码错误 ! "));
    EXPECT_EQ(script.messages[0].title, "Warning");
    w.mni2003Click(); // cancelled: no message
    EXPECT_EQ(script.messages.size(), 1u);
    EXPECT_EQ(seen, 0);
    EXPECT_EQ(w.PswGraceCount, 0);
}

TEST_F(MaskMenuTest, WindowOptionOpensTheMaskWindowTheMenuWay)
{
    writeSettings("Language=0\n");
    window();
    EXPECT_TRUE(RegisteredViews().contains("frmMask"));
    DialogScript script;
    script.prompts.push_back({"QDN4172"});
    QString opened;
    script.otherModal = [&](QDialog* d) {
        opened = d->objectName();
        return int(QDialog::Rejected);
    };
    EXPECT_TRUE(OpenRegisteredView("frmMask"));
    EXPECT_EQ(script.promptsShown, 1);
    EXPECT_EQ(opened, "frmMask");
}

// A demonstration run answers the first prompt of the view it opens with the password the
// prompt expects, and only that one; afterwards the dialogs go back to whoever ran them.
TEST_F(MaskMenuTest, DemoRunAnswersOnlyTheFirstPrompt)
{
    QFile f(dir_.filePath(QStringLiteral("UserParaIni.ini")));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write("[LocalPara]\nLanguage=0\n[System]\nPassword=secret\n");
    f.close();
    DialogScript script; // cancels every prompt it is given
    {
        TDemoPromptAnswer answer;
        QString entered;
        EXPECT_EQ(RunPasswordPrompt(nullptr, {}, nullptr, &entered), QDialog::Accepted);
        EXPECT_EQ(entered, "secret");
        EXPECT_TRUE(answer.Answered());
        EXPECT_EQ(script.promptsShown, 0);
        EXPECT_EQ(RunPasswordPrompt(nullptr), QDialog::Rejected) << "the second prompt is not answered";
        EXPECT_EQ(script.promptsShown, 1);
    }
    EXPECT_EQ(RunPasswordPrompt(nullptr), QDialog::Rejected);
    EXPECT_EQ(script.promptsShown, 2) << "the test's own handler is back";
}

// A view that is not behind the prompt (the runtime counters, the configuration view) is shown
// first: the prompts its own Set or Edit raise afterwards are the operator's and are asked as
// usual, never answered by the demonstration.
TEST_F(MaskMenuTest, DemoRunDoesNotAnswerThePromptsOfAnOpenView)
{
    QFile f(dir_.filePath(QStringLiteral("UserParaIni.ini")));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write("[LocalPara]\nLanguage=0\n[System]\nPassword=secret\n");
    f.close();
    DialogScript script; // cancels every prompt it is given
    int promptsInsideView = -1;
    script.otherModal = [&](QDialog*) {
        // The operator presses Set inside the view.
        promptsInsideView = RunPasswordPrompt(nullptr) == QDialog::Accepted ? 1 : 0;
        return int(QDialog::Rejected);
    };
    TDemoPromptAnswer answer;
    QDialog view;
    view.setObjectName(QStringLiteral("frmRunTime"));
    ExecModal(&view);
    EXPECT_EQ(promptsInsideView, 0) << "the prompt inside the view is not answered";
    EXPECT_EQ(script.promptsShown, 1) << "it reached the operator";
    EXPECT_TRUE(answer.Answered());
}

} // namespace
