// The data set window: the rows' value controls, the check of every row with its refusal,
// and the requests a Set queues.
#include "app/UFrmMain.h"
#include "comm/uCabinet.h"
#include "comm/uKModbus.h"
#include "model/uLocalPara.h"
#include "settings/uParaRegisters.h"
#include "test_data_set_fixture.h"
#include "ui/uPassword.h"
#include "ui/uReqSlots.h"
#include "ui/uWidgets.h"

#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QGroupBox>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>

namespace {

// ---- The check of each row ---------------------------------------------------------------

struct CheckCase {
    const char* name;
    int row;
    const char* entry; // edit rows: the text in Edit1; choice rows: nullptr
    int choice;        // choice rows: the item chosen, -1 for none
    int sysState;
    bool accepted;
    int reg;
    uint16_t value;      // written when accepted
    const char* message; // "" for none
    const char* focus;   // "Edit1", "ComboBox1" or "" (focus not moved)
    const char* editAfter = nullptr;
};

class CheckTable : public DataSetTest, public ::testing::WithParamInterface<CheckCase> {};

TEST_P(CheckTable, AcceptsOrRefuses)
{
    const CheckCase& c = GetParam();
    Cabinet().UpsData[1].SysState = c.sysState;
    TFrmDataSet& w = window();
    choose(c.row);
    ASSERT_EQ(w.TargetRegister(), c.reg);
    if (c.entry)
        w.Edit1->setText(QString::fromUtf8(c.entry));
    else if (c.row != 15)
        w.ComboBox1->setCurrentIndex(c.choice);
    w.lstUpsSet->setFocus(); // so that a refusal's focus move shows
    const TParaSet before = ParaSet;
    DialogScript script;

    w.btnSetToClick();

    if (*c.message) {
        ASSERT_EQ(script.messages.size(), 1u) << script.messageTexts().join('|').toStdString();
        EXPECT_EQ(script.messages[0].text, QString::fromUtf8(c.message));
    } else {
        EXPECT_TRUE(script.messages.empty()) << script.messageTexts().join('|').toStdString();
    }
    if (c.editAfter) EXPECT_EQ(w.Edit1->text(), QString::fromUtf8(c.editAfter));
    if (c.accepted) {
        EXPECT_EQ(w.NewValue(), c.value);
        EXPECT_EQ(ParaSetValue(ParaSet, c.reg), c.value);
        EXPECT_EQ(TestSlots()[1].Pending, FlagOn) << "Forced is ticked when the window opens";
        EXPECT_EQ(TestSlots()[1].Func, 6);
        EXPECT_EQ(TestSlots()[1].StartReg, 50000);
        EXPECT_EQ(TestSlots()[1].Value, 10);
        EXPECT_EQ(TestSlots()[2].Pending, FlagOn);
        EXPECT_EQ(TestSlots()[2].Addr, 1);
        EXPECT_EQ(TestSlots()[2].Func, 6);
        EXPECT_EQ(TestSlots()[2].StartReg, c.reg);
        EXPECT_EQ(TestSlots()[2].Count, 1);
        EXPECT_EQ(TestSlots()[2].Value, c.value);
        EXPECT_EQ(TestSlots()[3].Pending, FlagOn);
        EXPECT_EQ(TestSlots()[3].Func, 4);
        EXPECT_EQ(TestSlots()[3].StartReg, 40001);
        EXPECT_EQ(TestSlots()[3].Count, 34);
    } else {
        EXPECT_TRUE(slotsUntouched());
        EXPECT_EQ(ParaSetValue(ParaSet, c.reg), ParaSetValue(before, c.reg)) << "a refusal stores nothing";
        const QString focus = QString::fromUtf8(c.focus);
        if (focus.isEmpty())
            EXPECT_EQ(w.focusWidget(), w.lstUpsSet) << "the state refusal moves no focus";
        else
            EXPECT_EQ(w.focusWidget() ? w.focusWidget()->objectName() : QString(), focus);
    }
}

const char* const E = "Edit1";
const char* const C = "ComboBox1";
INSTANTIATE_TEST_SUITE_P(
    Rows, CheckTable,
    ::testing::Values(
        CheckCase{"WorkModeGreenTest", 0, nullptr, 3, 3, true, 40004, 7, "", ""},
        CheckCase{"WorkModeNone", 0, nullptr, -1, 3, false, 40004, 0, "[Work Mode] value is invalid", C},
        CheckCase{"VoltLevelOnBypass", 1, nullptr, 2, 3, true, 40005, 240, "", ""},
        CheckCase{"VoltLevelOnline", 1, nullptr, 2, 4, false, 40005, 0, "Need at Bypass Mode! ", ""},
        CheckCase{"VoltLevelOnBattery", 1, nullptr, 0, 5, false, 40005, 0, "Need at Bypass Mode! ", ""},
        CheckCase{"VoltLevelSelfTest", 1, nullptr, 0, 6, false, 40005, 0, "Need at Bypass Mode! ", ""},
        CheckCase{"VoltLevelNone", 1, nullptr, -1, 1, false, 40005, 0,
                  "[System Voltage Level] value is invalid", C},
        CheckCase{"FreqNone", 2, nullptr, -1, 3, false, 40006, 0, "[System Frequence Level] value is invalid",
                  C},
        CheckCase{"Freq60", 2, nullptr, 1, 3, true, 40006, 60, "", ""},
        CheckCase{"BpsFreqNone", 3, nullptr, -1, 3, false, 40011, 0,
                  "[Bypass Frequence Range] value is invalid", C},
        CheckCase{"BpsVMaxNone", 4, nullptr, -1, 3, false, 40012, 0,
                  "[Bypass Volt Upper Limit] value is invalid", C},
        CheckCase{"BpsVMinMinus45", 5, nullptr, 0, 3, true, 40013, 65491, "", ""},
        CheckCase{"BpsVMinNone", 5, nullptr, -1, 3, false, 40013, 0,
                  "[Bypass Volt lower Limit] value is invalid", C},
        CheckCase{"VFine5", 6, nullptr, 5, 3, true, 40014, 50, "", ""},
        CheckCase{"VFineNone", 6, nullptr, -1, 3, false, 40014, 0,
                  "[Invert-Volt adjustment] value is invalid", C},
        CheckCase{"BattNum40", 7, nullptr, 4, 3, true, 40015, 40, "", ""},
        CheckCase{"BattNumNone", 7, nullptr, -1, 3, false, 40015, 0, "[Battery Num] value is invalid", C},
        CheckCase{"BattGroup1", 8, "1", 0, 3, true, 40017, 1, "", ""},
        CheckCase{"BattGroup8", 8, "8", 0, 3, true, 40017, 8, "", ""},
        CheckCase{"BattGroup0", 8, "0", 0, 3, false, 40017, 0, "[Battery Group] value is invalid", E},
        CheckCase{"BattGroup9", 8, "9", 0, 3, false, 40017, 0, "[Battery Group] value is invalid", E},
        CheckCase{"BattGroupEmpty", 8, "", 0, 3, false, 40017, 0, "[Battery Group] value is invalid", E},
        CheckCase{"BattGroupWrapsNot", 8, "65537", 0, 3, false, 40017, 0, "[Battery Group] value is invalid",
                  E},
        CheckCase{"BoostV240", 9, nullptr, 10, 3, true, 40018, 240, "", ""},
        CheckCase{"BoostVNone", 9, nullptr, -1, 3, false, 40018, 0,
                  "[Boost upper limit Volt] value is invalid", C},
        CheckCase{"FloatV229", 10, nullptr, 9, 3, true, 40019, 229, "", ""},
        CheckCase{"FloatVNone", 10, nullptr, -1, 3, false, 40019, 0, "[Float base Volt] value is invalid", C},
        CheckCase{"Eod185", 11, "1.85", 0, 3, true, 40020, 185, "", "", "1.85"},
        CheckCase{"EodLowBound", 11, "1.2", 0, 3, true, 40020, 120, "", "", "1.20"},
        CheckCase{"EodHighBound", 11, "1.9", 0, 3, true, 40020, 190, "", "", "1.90"},
        CheckCase{"EodTruncated", 11, "1.759", 0, 3, true, 40020, 175, "", "", "1.75"},
        CheckCase{"EodTooHigh", 11, "2", 0, 3, false, 40020, 0, "[EOD Volt] value is invalid (1.20 to 1.90)",
                  E, "1.80"},
        CheckCase{"EodTooLow", 11, "1.19", 0, 3, false, 40020, 0,
                  "[EOD Volt] value is invalid (1.20 to 1.90)", E, "1.80"},
        CheckCase{"EodEmpty", 11, "", 0, 3, false, 40020, 0, "[EOD Volt] value is invalid (1.20 to 1.90)", E,
                  "1.80"},
        CheckCase{"EodNoNumber", 11, "1..8", 0, 3, false, 40020, 0,
                  "[EOD Volt] value is invalid (1.20 to 1.90)", E, "1.80"},
        CheckCase{"Capacity2000", 12, "2000", 0, 3, true, 40021, 2000, "", ""},
        CheckCase{"Capacity2001", 12, "2001", 0, 3, false, 40021, 0,
                  "[Single Battery Capability] value is invalid", E},
        CheckCase{"Capacity0", 12, "0", 0, 3, false, 40021, 0, "[Single Battery Capability] value is invalid",
                  E},
        // 100 Ah x 2 groups / 4: at most 50 A.
        CheckCase{"ChargeAtLimit", 13, "50", 0, 3, true, 40023, 50, "", ""},
        CheckCase{"ChargeAboveLimit", 13, "51", 0, 3, false, 40023, 0,
                  "[Max Charge current] value is invalid", E, "50"},
        CheckCase{"ChargeEmpty", 13, "", 0, 3, false, 40023, 0, "[Max Charge current] value is invalid", E,
                  "50"},
        CheckCase{"BoostLast45", 14, "45", 0, 3, true, 40025, 45, "", ""},
        CheckCase{"BoostLast600", 14, "600", 0, 3, true, 40025, 600, "", ""},
        CheckCase{"BoostLast601", 14, "601", 0, 3, false, 40025, 0, "[Boost Last Time] value is invalid", E,
                  "30"},
        CheckCase{"BoostLastEmpty", 14, "", 0, 3, false, 40025, 0, "[Boost Last Time] value is invalid", E,
                  "30"},
        CheckCase{"ParallelAmount3", 16, "3", 0, 3, true, 40007, 3, "", ""},
        CheckCase{"ParallelAmountPastedText", 16, "abc", 0, 3, false, 40007, 0,
                  "[Parallel Amount] value is invalid", E},
        CheckCase{"ParallelAmountEmpty", 16, "", 0, 3, false, 40007, 0, "[Parallel Amount] value is invalid",
                  E},
        CheckCase{"ParallelAmountNotAByte", 16, "256", 0, 3, false, 40007, 0,
                  "[Parallel Amount] value is invalid", E},
        CheckCase{"Modules32", 17, "32", 0, 3, true, 40003, 32, "", ""},
        CheckCase{"Modules33", 17, "33", 0, 3, false, 40003, 0, "[Module Number] value is invalid", E},
        CheckCase{"Modules0", 17, "0", 0, 3, false, 40003, 0, "[Module Number] value is invalid", E},
        CheckCase{"ParallelId14", 18, "14", 0, 3, true, 40002, 14, "", ""},
        CheckCase{"ParallelId15", 18, "15", 0, 3, false, 40002, 0, "[Parallel ID] value is invalid", E},
        CheckCase{"ParallelIdEmpty", 18, "", 0, 3, false, 40002, 0, "[Parallel ID] value is invalid", E},
        CheckCase{"OperateFreqVariable", 19, nullptr, 2, 3, true, 40029, 2, "", ""},
        CheckCase{"OperateNone", 19, nullptr, -1, 3, false, 40029, 0, "[Operate Mode] value is invalid", C},
        CheckCase{"GridPower0", 20, "0", 0, 3, true, 40030, 0, "", ""},
        CheckCase{"GridPower101", 20, "101", 0, 3, false, 40030, 0, "[Grid-connected Power] value is invalid",
                  E},
        CheckCase{"Distribution3in1out", 21, nullptr, 2, 3, true, 40034, 2, "", ""},
        CheckCase{"DistributionNone", 21, nullptr, -1, 3, false, 40034, 0,
                  "[Power Distribution Mode] is invalid", C},
        CheckCase{"Revise0007", 22, nullptr, 7, 3, true, 40028, 7, "", ""},
        CheckCase{"ReviseNoneIsDroppedSilently", 22, nullptr, -1, 3, false, 40028, 0, "", C},
        CheckCase{"WalkIn0", 23, "0", 0, 3, true, 40024, 0, "", ""},
        CheckCase{"WalkInEmpty", 23, "", 0, 3, false, 40024, 0, "[Power Walk In] value is invalid", E},
        CheckCase{"WalkInNotAWord", 23, "70000", 0, 3, false, 40024, 0, "[Power Walk In] value is invalid",
                  E},
        CheckCase{"ShiftDelay65535", 24, "65535", 0, 3, true, 40035, 65535, "", ""},
        CheckCase{"ShiftDelayEmpty", 24, "", 0, 3, false, 40035, 0, "[Power Shift Delay] value is invalid",
                  E}),
    [](const ::testing::TestParamInfo<CheckCase>& info) { return std::string(info.param.name); });

// ---- The current value a choice row selects --------------------------------------------------

struct SelectCase {
    const char* name;
    int row;
    uint16_t value;     // the record's value of the row's register
    uint8_t voltLevel;  // register 40005
    uint8_t moduleType; // configuration byte 38
    int items;
    int selected;
};

class SelectTable : public DataSetTest, public ::testing::WithParamInterface<SelectCase> {};

TEST_P(SelectTable, SelectsTheItem)
{
    const SelectCase& c = GetParam();
    TUpsData& r = Cabinet().UpsData[1];
    r.Para40005 = c.voltLevel;
    Cabinet().CfgRx[38] = c.moduleType;
    switch (c.row) {
    case 4: r.Para40012 = static_cast<uint8_t>(c.value); break;
    case 6: r.Para40014 = c.value; break;
    case 7: r.Para40015 = c.value; break;
    case 21: r.Para40034 = c.value; break;
    case 22: r.Para40028 = c.value; break;
    case 0: r.Para40004 = c.value; break;
    case 9: r.Para40018 = c.value; break;
    default: FAIL() << "no case for row " << c.row;
    }
    choose(c.row);
    EXPECT_EQ(window().ComboBox1->count(), c.items);
    EXPECT_EQ(window().ComboBox1->currentIndex(), c.selected);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SelectTable,
    ::testing::Values(
        SelectCase{"UpperLimit0", 4, 0, 230, 0, 3, 0}, SelectCase{"UpperLimit10", 4, 10, 230, 0, 3, 0},
        SelectCase{"UpperLimit11", 4, 11, 230, 0, 3, 1}, SelectCase{"UpperLimit15", 4, 15, 230, 0, 3, 1},
        SelectCase{"UpperLimit16", 4, 16, 230, 0, 3, 2}, SelectCase{"UpperLimit20", 4, 20, 230, 0, 3, 2},
        SelectCase{"UpperLimit21", 4, 21, 230, 0, 3, -1}, SelectCase{"UpperLimit24", 4, 24, 220, 0, 4, -1},
        SelectCase{"UpperLimit25At400V", 4, 25, 230, 0, 3, -1},
        SelectCase{"UpperLimit25At380V", 4, 25, 220, 0, 4, 3},
        SelectCase{"UpperLimit40At380V", 4, 40, 220, 0, 4, 3},
        SelectCase{"UpperLimit25At415V", 4, 25, 240, 0, 3, -1},
        SelectCase{"VFineMinus1", 6, 65526, 230, 0, 6, 0}, SelectCase{"VFine0", 6, 0, 230, 0, 6, 0},
        SelectCase{"VFine9", 6, 9, 230, 0, 6, 0}, SelectCase{"VFine10", 6, 10, 230, 0, 6, 1},
        SelectCase{"VFine19", 6, 19, 230, 0, 6, 1}, SelectCase{"VFine45", 6, 45, 230, 0, 6, 4},
        SelectCase{"VFine50", 6, 50, 230, 0, 6, 5}, SelectCase{"VFine300", 6, 300, 230, 0, 6, 5},
        SelectCase{"Cells32", 7, 32, 230, 0, 5, 0}, SelectCase{"Cells33", 7, 33, 230, 0, 5, 0},
        SelectCase{"Cells31TruncatesToZero", 7, 31, 230, 0, 5, 0},
        SelectCase{"Cells30", 7, 30, 230, 0, 5, -1}, SelectCase{"Cells40", 7, 40, 230, 0, 5, 4},
        SelectCase{"Cells42", 7, 42, 230, 0, 5, -1}, SelectCase{"Type1Cells16", 7, 16, 230, 1, 3, 0},
        SelectCase{"Type1Cells20", 7, 20, 230, 1, 3, 2}, SelectCase{"Type1Cells22", 7, 22, 230, 1, 3, -1},
        SelectCase{"Type1Cells32", 7, 32, 230, 1, 3, -1}, SelectCase{"Distribution0", 21, 0, 230, 0, 3, 0},
        SelectCase{"Distribution1", 21, 1, 230, 0, 3, 1}, SelectCase{"Distribution2", 21, 2, 230, 0, 3, 2},
        SelectCase{"Distribution3", 21, 3, 230, 0, 3, 0}, SelectCase{"Distribution9", 21, 9, 230, 0, 3, 0},
        SelectCase{"Revise0", 22, 0, 230, 0, 8, 0}, SelectCase{"Revise7", 22, 7, 230, 0, 8, 7},
        SelectCase{"Revise8", 22, 8, 230, 0, 8, -1}, SelectCase{"WorkModeMaster", 0, 2, 230, 0, 5, -1},
        SelectCase{"WorkModeBattery", 0, 8, 230, 0, 5, 4}, SelectCase{"Boost235", 9, 235, 230, 0, 11, 5},
        SelectCase{"Boost229", 9, 229, 230, 0, 11, -1}),
    [](const ::testing::TestParamInfo<SelectCase>& info) { return std::string(info.param.name); });

TEST_F(DataSetTest, ChoiceTextsStandForTheirValues)
{
    TFrmDataSet& w = window();
    choose(9);
    EXPECT_EQ(w.ComboBox1->itemText(0), "2.30");
    EXPECT_EQ(w.ComboBox1->itemText(10), "2.40");
    choose(22);
    EXPECT_EQ(w.ComboBox1->itemText(0), "0");
    EXPECT_EQ(w.ComboBox1->itemText(7), "0.007");
    Cabinet().CfgRx[38] = 1;
    choose(7);
    EXPECT_EQ(w.ComboBox1->itemText(2), "20");
    choose(5);
    EXPECT_EQ(w.ComboBox1->itemText(2), "-20%");
    EXPECT_EQ(w.ComboBox1->currentIndex(), 2) << "65516 is -20 %";
}

// ---- Edit rows and their current values ------------------------------------------------------

TEST_F(DataSetTest, EditRowsShowTheCurrentValue)
{
    TFrmDataSet& w = window();
    choose(11);
    EXPECT_EQ(w.Edit1->text(), "1.75");
    choose(13);
    EXPECT_EQ(w.Edit1->text(), "20");
    choose(18);
    EXPECT_EQ(w.Edit1->text(), "1");
    Cabinet().UpsData[1].Para40002 = 0; // a record updated meanwhile shows at the next choice
    choose(17);
    choose(18);
    EXPECT_EQ(w.Edit1->text(), "0");
}

TEST_F(DataSetTest, KeyFilterLetsThroughDigitsPointAndEditingKeysOnly)
{
    TFrmDataSet& w = window();
    choose(16);
    w.Edit1->clear();
    w.Edit1->setFocus();
    QTest::keyClicks(w.Edit1, "1a2-.b3 ");
    EXPECT_EQ(w.Edit1->text(), "12.3");
    QTest::keyClick(w.Edit1, Qt::Key_Backspace);
    EXPECT_EQ(w.Edit1->text(), "12.");
    QTest::keyClick(w.Edit1, Qt::Key_Left);
    QTest::keyClick(w.Edit1, Qt::Key_Delete);
    EXPECT_EQ(w.Edit1->text(), "12") << "keys that type nothing are not filtered";

    // Pasting is allowed; a pasted text that is no number is refused, never written as 0.
    QApplication::clipboard()->setText(QStringLiteral("xyz"));
    w.Edit1->clear();
    QTest::keyClick(w.Edit1, Qt::Key_V, Qt::ControlModifier);
    if (QApplication::clipboard()->text() != QLatin1String("xyz"))
        w.Edit1->insert(QStringLiteral("xyz")); // a platform without a clipboard: paste by hand
    EXPECT_EQ(w.Edit1->text(), "xyz");
    DialogScript script;
    w.btnSetToClick();
    EXPECT_EQ(script.messageTexts(), QStringList{"[Parallel Amount] value is invalid"});
    EXPECT_TRUE(slotsUntouched());

    for (QChar c : QStringLiteral("0123456789.")) EXPECT_TRUE(w.Edit1KeyPress(c)) << c.toLatin1();
    for (int code : {8, 3, 22, 24}) EXPECT_TRUE(w.Edit1KeyPress(QChar(code))) << code;
    for (int code : {int('-'), int('+'), int('e'), int(','), int(' '), 1, 13, 26, 27})
        EXPECT_FALSE(w.Edit1KeyPress(QChar(code))) << code;
    // Only the ASCII digits are digits: full-width and Arabic-Indic digits are letters here.
    for (char16_t code : {u'\uFF13', u'\u0663', u'\u096A'})
        EXPECT_FALSE(w.Edit1KeyPress(QChar(code))) << int(code);
}

// Text committed through an input method is checked like typed text.
TEST_F(DataSetTest, InputMethodTextIsFilteredLikeTypedText)
{
    TFrmDataSet& w = window();
    choose(16);
    w.Edit1->clear();
    const struct {
        const char* commit;
        const char* after;
    } cases[] = {{"１２", ""}, {"十二", ""}, {"12", "12"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.commit);
        w.Edit1->clear();
        QInputMethodEvent e;
        e.setCommitString(QString::fromUtf8(c.commit));
        QCoreApplication::sendEvent(w.Edit1, &e);
        EXPECT_EQ(w.Edit1->text(), QString::fromUtf8(c.after));
    }
}

// ---- Switches ----------------------------------------------------------------------------------

TEST_F(DataSetTest, SwitchesShowTheStatusBitsAndBuildTheWholeWord)
{
    Cabinet().UpsData[1].Para40027 = 0x1800 | 0x0005; // charge and buzzer off, other bits set too
    TFrmDataSet& w = window();
    choose(15);
    EXPECT_EQ(w.rgBuzzerSet->ItemIndex(), 1);
    EXPECT_EQ(w.rgBoostChg->ItemIndex(), 0);
    EXPECT_EQ(w.rgEnCharge->ItemIndex(), 1);

    DialogScript script;
    w.btnSetToClick();
    EXPECT_EQ(TestSlots()[2].StartReg, 40027);
    EXPECT_EQ(TestSlots()[2].Value, 0x1800) << "the other bits are written as 0";

    for (int i = 1; i <= 3; ++i) TestSlots()[i].Pending = 0;
    w.rgBuzzerSet->SetItemIndex(0);
    w.rgEnCharge->SetItemIndex(0);
    w.btnSetToClick();
    EXPECT_EQ(TestSlots()[2].Value, 0) << "all on Enable";

    for (int i = 1; i <= 3; ++i) TestSlots()[i].Pending = 0;
    w.rgBuzzerSet->SetItemIndex(1);
    w.rgBoostChg->SetItemIndex(1);
    w.rgEnCharge->SetItemIndex(1);
    w.btnSetToClick();
    EXPECT_EQ(TestSlots()[2].Value, 4096 + 8192 + 2048);
    EXPECT_TRUE(script.messages.empty());
}

// ---- Layouts -----------------------------------------------------------------------------------

TEST_F(DataSetTest, EachRowShowsItsLayout)
{
    TFrmDataSet& w = window();
    EXPECT_EQ(w.Layout(), TSetLayout::None);
    EXPECT_FALSE(w.grpSetting->isVisible());
    EXPECT_EQ(w.lstUpsSet->count(), 25);
    EXPECT_TRUE(w.chkForced->isChecked());

    choose(0);
    EXPECT_EQ(w.Layout(), TSetLayout::Choices);
    EXPECT_TRUE(w.grpSetting->isVisible());
    EXPECT_EQ(w.grpSetting->height(), 70);
    EXPECT_TRUE(w.lb_Value->isVisible());
    EXPECT_TRUE(w.ComboBox1->isVisible());
    EXPECT_FALSE(w.Edit1->isVisible());
    EXPECT_TRUE(w.btnSetTo->isVisible());
    EXPECT_TRUE(w.chkForced->isVisible());
    EXPECT_FALSE(w.rgBuzzerSet->isVisible());

    choose(8);
    EXPECT_EQ(w.Layout(), TSetLayout::Edit);
    EXPECT_EQ(w.grpSetting->height(), 70);
    EXPECT_FALSE(w.ComboBox1->isVisible());
    EXPECT_EQ(w.ComboBox1->count(), 0) << "the list is emptied";
    EXPECT_TRUE(w.Edit1->isVisible());
    EXPECT_TRUE(w.lb_Value->isVisible());

    choose(15);
    EXPECT_EQ(w.Layout(), TSetLayout::Switches);
    EXPECT_EQ(w.grpSetting->height(), 230);
    EXPECT_FALSE(w.lb_Value->isVisible());
    EXPECT_FALSE(w.ComboBox1->isVisible());
    EXPECT_FALSE(w.Edit1->isVisible());
    for (TRadioGroup* g : {w.rgBuzzerSet, w.rgBoostChg, w.rgEnCharge}) {
        EXPECT_TRUE(g->isVisible());
        EXPECT_TRUE(w.grpSetting->rect().contains(g->geometry()));
        EXPECT_FALSE(g->geometry().intersects(w.btnSetTo->geometry()));
        EXPECT_FALSE(g->geometry().intersects(w.chkForced->geometry()));
    }
    EXPECT_TRUE(w.grpSetting->rect().contains(w.btnSetTo->geometry()));

    choose(2);
    EXPECT_FALSE(w.rgBuzzerSet->isVisible());
    EXPECT_EQ(w.grpSetting->height(), 70);
    EXPECT_TRUE(w.grpSetting->rect().contains(w.btnSetTo->geometry()));

    w.lstUpsSet->clearSelection();
    EXPECT_EQ(w.Layout(), TSetLayout::None);
    EXPECT_FALSE(w.grpSetting->isVisible());
}

TEST_F(DataSetTest, ChoosingARowCopiesTheParametersIntoTheWorkingCopy)
{
    TUpsData& r = Cabinet().UpsData[1];
    r.Para40009 = 9;
    r.Para40016 = 16;
    r.Para40022 = 22;
    r.Para40029 = 2;
    r.Para40027 = 0x2000;
    r.Para40028 = 3;
    r.Para40034 = 2;
    ParaSet.Para40029 = 1;
    choose(3);
    EXPECT_EQ(ParaSet.Para40002, 1);
    EXPECT_EQ(ParaSet.Para40004, 0);
    EXPECT_EQ(ParaSet.Para40005, 230);
    EXPECT_EQ(ParaSet.Para40013, 65516);
    EXPECT_EQ(ParaSet.Para40020, 175);
    EXPECT_EQ(ParaSet.Para40025, 30);
    EXPECT_EQ(ParaSet.Para40027, 0x2000);
    EXPECT_EQ(ParaSet.Para40028, 3);
    EXPECT_EQ(ParaSet.Para40034, 2);
    EXPECT_EQ(ParaSet.Para40035, 5);
    // Registers the window does not offer for copying keep what the working copy held.
    EXPECT_EQ(ParaSet.Para40009, 0);
    EXPECT_EQ(ParaSet.Para40016, 0);
    EXPECT_EQ(ParaSet.Para40022, 0);
    EXPECT_EQ(ParaSet.Para40029, 1);
}

// ---- What Set queues ---------------------------------------------------------------------------

TEST_F(DataSetTest, PortClosedSaysSerialPortOffAndQueuesNothing)
{
    portOpen = false;
    TFrmDataSet& w = window();
    choose(14);
    w.Edit1->setText("45");
    const TParaSet before = ParaSet;
    DialogScript script;
    w.btnSetToClick();
    EXPECT_EQ(script.messageTexts(), QStringList{"Serial Port Off"});
    EXPECT_TRUE(slotsUntouched());
    EXPECT_EQ(ParaSet.Para40025, before.Para40025);
}

TEST_F(DataSetTest, AnotherProtocolStoresTheValueButSendsNothing)
{
    TestLinkState().ActiveProtocol = 1;
    TFrmDataSet& w = window();
    choose(14);
    w.Edit1->setText("45");
    DialogScript script;
    w.btnSetToClick();
    EXPECT_TRUE(script.messages.empty());
    EXPECT_EQ(ParaSet.Para40025, 45);
    EXPECT_TRUE(slotsUntouched());
}

struct EnableCase {
    const char* name;
    bool forced;
    const char* accepted; // AcceptedPsw
    bool writeEnable;
};

class WriteEnableTable : public DataSetTest, public ::testing::WithParamInterface<EnableCase> {};

TEST_P(WriteEnableTable, PrecedesTheWriteWhenForcedOrMaster)
{
    const EnableCase& c = GetParam();
    AcceptedPsw = QString::fromUtf8(c.accepted);
    TFrmDataSet& w = window();
    choose(14);
    w.chkForced->setChecked(c.forced);
    w.Edit1->setText("45");
    w.btnSetToClick();
    EXPECT_EQ(TestSlots()[1].Pending, c.writeEnable ? FlagOn : FlagOff);
    EXPECT_EQ(TestSlots()[2].Pending, FlagOn);
    EXPECT_EQ(TestSlots()[2].Value, 45);
    EXPECT_EQ(TestSlots()[3].Pending, FlagOn);
}

INSTANTIATE_TEST_SUITE_P(Cases, WriteEnableTable,
                         ::testing::Values(EnableCase{"ForcedOperator", true, "tulip", true},
                                           EnableCase{"UntickedOperator", false, "tulip", false},
                                           EnableCase{"UntickedMaster", false, "QDN4172", true},
                                           EnableCase{"UntickedMasterLowerCase", false, "qdn4172", false},
                                           EnableCase{"ForcedMaster", true, "QDN4172", true}),
                         [](const ::testing::TestParamInfo<EnableCase>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(DataSetTest, AnOccupiedSlotRefusesTheWholeWriteAndKeepsTheEntry)
{
    TestSlots()[2] = TReqSlot{FlagOn, 1, 6, 40017, 0, 3, 0}; // another window's write, not yet taken
    TFrmDataSet& w = window();
    choose(14);
    w.Edit1->setText("45");
    DialogScript script;
    w.btnSetToClick();
    EXPECT_EQ(script.messageTexts(), QStringList{"Link busy, please try again"});
    EXPECT_EQ(TestSlots()[1].Pending, FlagOff) << "no write-enable without its write";
    EXPECT_EQ(TestSlots()[2].Func, 6) << "left as it was";
    EXPECT_EQ(TestSlots()[2].StartReg, 40017);
    EXPECT_EQ(TestSlots()[3].Pending, FlagOff);
    EXPECT_EQ(w.Edit1->text(), "45") << "pressing again works";

    TestSlots()[2].Pending = FlagOff; // the link took the write
    w.btnSetToClick();
    EXPECT_EQ(TestSlots()[1].StartReg, 50000);
    EXPECT_EQ(TestSlots()[2].StartReg, 40025);
    EXPECT_EQ(TestSlots()[2].Value, 45);
    EXPECT_EQ(TestSlots()[3].StartReg, 40001);
}

TEST_F(DataSetTest, AWindowsOwnReadMakesWayForTheWriteAndIsServedAfterIt)
{
    TestSlots()[2] = TReqSlot{FlagOn, 1, 3, 53000, 40, 0, 0}; // the main window's configuration read
    TestSlots()[3] = TReqSlot{FlagOn, 1, 43, 2, 0, 0, 0};     // and its version read
    TestSlots()[2].Source = QStringLiteral("FrmMain");
    TFrmDataSet& w = window();
    choose(14);
    w.Edit1->setText("45");
    DialogScript script;
    w.btnSetToClick();
    EXPECT_TRUE(script.messages.empty()) << script.messageTexts().join('\n').toStdString();
    EXPECT_EQ(TestSlots()[1].StartReg, 50000);
    EXPECT_EQ(TestSlots()[2].StartReg, 40025);
    EXPECT_EQ(TestSlots()[3].StartReg, 40001);
    // The reads wait in the slots no window fills, in the order they were in.
    EXPECT_EQ(TestSlots()[4].Pending, FlagOff);
    EXPECT_EQ(TestSlots()[5].Pending, FlagOn);
    EXPECT_EQ(TestSlots()[5].StartReg, 53000);
    EXPECT_EQ(TestSlots()[5].Source, "FrmMain");
    EXPECT_EQ(TestSlots()[6].Pending, FlagOn);
    EXPECT_EQ(TestSlots()[6].Func, 43);
    // Whoever filled them hears of their replies under the slot they filled.
    TMModbus& mb = *com->Modbus;
    std::vector<int> order;
    for (int i = 0; i < 5; ++i) {
        mb.BuildNextRequest(TestSlots(), TestLinkState(), 1, 1);
        order.push_back(mb.ReqStartReg);
        if (i >= 3) EXPECT_EQ(mb.CurrentRequest().slot, i - 1);
    }
    EXPECT_EQ(order, (std::vector<int>{50000, 40025, 40001, 53000, 2}));
}

TEST_F(DataSetTest, AReadBackStillWaitingMakesTheNextWriteWait)
{
    window();
    ASSERT_EQ(QueueWrite(dlg.get(), {{3, 4, 40001, 34}}), TWriteOutcome::Queued); // part of a write
    choose(14);
    dlg->Edit1->setText("45");
    DialogScript script;
    dlg->btnSetToClick();
    EXPECT_EQ(script.messageTexts(), QStringList{"Link busy, please try again"});
    EXPECT_EQ(TestSlots()[2].Pending, FlagOff);
}

// At a site the first Set on a healthy, idle link was refused as busy and the second went
// through: the main window's periodic reads had just filled a slot the write needs. Here the
// main window ticks as it does (scanning the modules, which fills slot 2 every period), the
// link polls a cabinet that answers every frame, and Set is pressed at every phase of the
// main window's period: each first press is taken.
TEST_F(DataSetTest, AWriteOnAnIdlePollingLinkIsTakenOnTheFirstPress)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    SetSettingsFolderOverride(dir.path());
    std::vector<std::vector<uint8_t>> toAnswer;
    UseFakeLine(
        *com, [] { return true; },
        [&toAnswer](const uint8_t* b, int n) {
            toAnswer.emplace_back(b, b + n);
            return true;
        });
    auto mainWindow = std::make_unique<TFrmMain>();
    mainWindow->tmr1->stop();
    mainWindow->chkMdSta->setChecked(true);
    TFrmDataSet& w = window();
    choose(14);
    int tick = 0;
    // One tick of both timers; the cabinet answers the frame sent one tick before.
    auto step = [&] {
        std::vector<std::vector<uint8_t>> due;
        due.swap(toAnswer);
        com->Timer1Timer();
        mainWindow->tmr1Timer();
        for (const auto& f : due) {
            std::vector<uint8_t> reply = f;
            if (f[1] == 3 || f[1] == 4) {
                const int count = (f[4] << 8) | f[5];
                reply = {f[0], f[1], uint8_t(2 * count)};
                reply.resize(3 + 2 * size_t(count), 0);
                reply = WithCrc(reply);
            } else if (f[1] == 43) {
                reply = WithCrc({f[0], 0x2B, 0x0E, 0x01, 0x01, 0x00, 0x00, 0x00});
            }
            com->Comm1ReceiveData(reply.data(), int(reply.size()));
        }
        ++tick;
    };
    for (int press = 0; press < 22; ++press) {
        SCOPED_TRACE(press);
        while (tick % 11 != press % 11 || TestSlots()[1].Pending || TestSlots()[2].Group || TestSlots()[3].Group) step();
        w.Edit1->setText(QString::number(40 + press % 10));
        DialogScript script;
        w.btnSetToClick();
        EXPECT_TRUE(script.messages.empty()) << script.messageTexts().join('\n').toStdString();
        EXPECT_EQ(TestSlots()[2].StartReg, 40025);
        EXPECT_EQ(TestSlots()[2].Value, 40 + press % 10);
        for (int i = 0; i < 11; ++i) step();
    }
    mainWindow.reset();
    SetSettingsFolderOverride(QString());
}

TEST_F(DataSetTest, SetWithoutARowDoesNothing)
{
    DialogScript script;
    window().btnSetToClick();
    EXPECT_TRUE(script.messages.empty());
    EXPECT_TRUE(slotsUntouched());
}

// ---- Captions and the grace rule ---------------------------------------------------------------

TEST_F(DataSetTest, CaptionsFollowTheLanguageAndMessagesStayEnglish)
{
    LocalPara.Language = 1;
    TFrmDataSet& w = window();
    EXPECT_EQ(w.windowTitle(), "数据设置");
    EXPECT_EQ(w.lbTopic->text(), "项目名称");
    EXPECT_EQ(w.lstUpsSet->item(14)->text(), "均充持续时间（分钟）");
    EXPECT_EQ(w.btnSetTo->text(), "设置");
    EXPECT_EQ(w.chkForced->text(), "Forced");
    EXPECT_EQ(w.rgBoostChg->title(), "均充");
    EXPECT_EQ(w.rgBoostChg->item(1)->text(), "Disable");
    choose(14);
    w.Edit1->setText("601");
    DialogScript script;
    w.btnSetToClick();
    EXPECT_EQ(script.messageTexts(), QStringList{"[Boost Last Time] value is invalid"});

    LocalPara.Language = 0;
    w.ApplyCaptions();
    EXPECT_EQ(w.lstUpsSet->item(14)->text(), "Boost Last Time(Min)");
    EXPECT_EQ(w.lstUpsSet->item(15)->text(), "Staus Control");
    EXPECT_EQ(w.lstUpsSet->currentRow(), 14) << "re-captioning keeps the chosen row";
    EXPECT_EQ(w.Layout(), TSetLayout::Edit);
}

TEST_F(DataSetTest, ItsPresenceHoldsTheGraceCounter)
{
    EXPECT_FALSE(GraceWindowOpen(TGraceWindow::DataSet));
    window();
    EXPECT_TRUE(GraceWindowOpen(TGraceWindow::DataSet));
    dlg->hide();
    EXPECT_FALSE(GraceWindowOpen(TGraceWindow::DataSet));
    dlg.reset();
    EXPECT_FALSE(GraceWindowOpen(TGraceWindow::DataSet));
}

} // namespace

// ---- Pictures ----------------------------------------------------------------------------------

#include "support/LayoutCheck.h"

namespace {

struct PictureCase {
    const char* name;
    int language;
    int row; // -1: nothing chosen
};

class DataSetPicture : public DataSetTest, public ::testing::WithParamInterface<PictureCase> {};

TEST_P(DataSetPicture, NothingCutOff)
{
    const PictureCase& c = GetParam();
    LocalPara.Language = static_cast<uint8_t>(c.language);
    TFrmDataSet& w = window();
    if (c.row >= 0) choose(c.row);
    EXPECT_TRUE(CutOffWidgets(&w).isEmpty()) << CutOffWidgets(&w).join('\n').toStdString();
    EXPECT_TRUE(w.rect().contains(w.grpSetting->geometry()));
    SavePicture(&w, QStringLiteral("FrmDataSet-%1").arg(QLatin1String(c.name)));
}

INSTANTIATE_TEST_SUITE_P(Layouts, DataSetPicture,
                         ::testing::Values(PictureCase{"none-en", 0, -1}, PictureCase{"choices-en", 0, 0},
                                           PictureCase{"edit-en", 0, 14}, PictureCase{"switches-en", 0, 15},
                                           PictureCase{"none-zh", 1, -1}, PictureCase{"choices-zh", 1, 21},
                                           PictureCase{"edit-zh", 1, 14}, PictureCase{"switches-zh", 1, 15}),
                         [](const ::testing::TestParamInfo<PictureCase>& info) {
                             std::string n = info.param.name;
                             std::replace(n.begin(), n.end(), '-', '_');
                             return n;
                         });

} // namespace
