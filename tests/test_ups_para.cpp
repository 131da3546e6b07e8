// The UPS parameters window: display rules of every row, blanking with the port closed, the
// timer's life, the Set button behind the password guard, and its place in the main window.
#include "comm/uCabinet.h"
#include "model/uLocalPara.h"
#include "settings/uFrmUpsPara.h"
#include "test_data_set_fixture.h"
#include "test_main_fixture.h"
#include "ui/uGuard.h"
#include "ui/uViewRegistry.h"

#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

namespace {

class UpsParaTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetAll();
        ClearGraceWindowProbes();
        ASSERT_TRUE(dir.isValid());
        SetSettingsFolderOverride(dir.path());
        SetPswGraceCounter(&grace);
        com = std::make_unique<TFrmCom>();
        com->Timer1.stop();
        UseFakeLine(
            *com, [this] { return portOpen; }, [](const uint8_t*, int) { return true; });
        w = std::make_unique<TfrmUpsPara>();
    }
    void TearDown() override
    {
        w.reset();
        com.reset();
        SetPswGraceCounter(nullptr);
        SetSettingsFolderOverride(QString());
        ClearGraceWindowProbes();
        ResetAll();
    }
    QLineEdit* edit(const char* name) const { return w->findChild<QLineEdit*>(QLatin1String(name)); }

    QTemporaryDir dir;
    bool portOpen = true;
    int32_t grace = 0;
    std::unique_ptr<TFrmCom> com;
    std::unique_ptr<TfrmUpsPara> w;
};

// ---- Display rules -----------------------------------------------------------------------------

struct ShowCase {
    const char* name;
    int reg;
    uint16_t value; // as received
    const char* edit;
    const char* text;
};

class ShowTable : public UpsParaTest, public ::testing::WithParamInterface<ShowCase> {};

TEST_P(ShowTable, FormatsTheRegister)
{
    const ShowCase& c = GetParam();
    Cabinet().StoreRegister(Cabinet().UpsData[1], c.reg, c.value);
    w->Timer1Timer();
    QLineEdit* e = edit(c.edit);
    ASSERT_NE(e, nullptr) << c.edit;
    EXPECT_EQ(e->text(), QString::fromUtf8(c.text));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ShowTable,
    ::testing::Values(
        ShowCase{"IdLowByte", 40002, 0x0105, "edtSysID", "5"},
        ShowCase{"ModulesLowByte", 40003, 0x0210, "edtModuleNum", "16"},
        ShowCase{"ModeNormal", 40004, 0, "edtSetMode", "Normal"},
        ShowCase{"ModeEco", 40004, 1, "edtSetMode", "ECO"},
        ShowCase{"ModeMaster", 40004, 2, "edtSetMode", "Master"},
        ShowCase{"ModeSlave", 40004, 3, "edtSetMode", "Slave"},
        ShowCase{"ModeParallel", 40004, 4, "edtSetMode", "Parallel"},
        ShowCase{"Mode5", 40004, 5, "edtSetMode", ""}, ShowCase{"Mode6", 40004, 6, "edtSetMode", ""},
        ShowCase{"ModeGreen", 40004, 7, "edtSetMode", "Green Test"},
        ShowCase{"ModeBattery", 40004, 8, "edtSetMode", "Battery"},
        ShowCase{"Mode9", 40004, 9, "edtSetMode", ""}, ShowCase{"Mode264", 40004, 264, "edtSetMode", ""},
        ShowCase{"Volt380", 40005, 220, "edtVoltLevel", "380"},
        ShowCase{"Volt400", 40005, 230, "edtVoltLevel", "400"},
        ShowCase{"Volt415", 40005, 240, "edtVoltLevel", "415"},
        ShowCase{"Volt231", 40005, 231, "edtVoltLevel", ""},
        ShowCase{"Freq", 40006, 60, "edtFreqLevel", "60"}, ShowCase{"ParaNum", 40007, 3, "edtParaNum", "3"},
        ShowCase{"BpsFreq", 40011, 5, "edtBpsFreq", "5%"},
        ShowCase{"BpsVMax", 40012, 15, "edtBpsVMax", "15%"},
        ShowCase{"BpsVMinSigned", 40013, 65516, "edtBpsVMin", "-20%"},
        ShowCase{"BpsVMinPositive", 40013, 10, "edtBpsVMin", "10%"},
        ShowCase{"VFineSigned", 40014, 65526, "edtOutputVFine", "-1.0%"},
        ShowCase{"VFineTenths", 40014, 25, "edtOutputVFine", "2.5%"},
        ShowCase{"VFineZero", 40014, 0, "edtOutputVFine", "0.0%"},
        ShowCase{"BattNum", 40015, 32, "edtBattNum", "32"},
        ShowCase{"BattGroup", 40017, 2, "edtBattGroup", "2"},
        ShowCase{"BoostV", 40018, 235, "edtBattBoostV", "2.35"},
        ShowCase{"FloatV", 40019, 225, "edtBattFloat", "2.25"},
        ShowCase{"EodV", 40020, 175, "edtEodV", "1.75"}, ShowCase{"EodVWhole", 40020, 200, "edtEodV", "2.00"},
        ShowCase{"BattCap", 40021, 100, "edtBattCap", "100"},
        ShowCase{"MaxChg", 40023, 20, "edtMaxChgCurr", "20"}, ShowCase{"WalkIn", 40024, 10, "edtPWI", "10"},
        ShowCase{"BoostLast", 40025, 45, "edtBoostLast", "45"},
        ShowCase{"BuzzerOff", 40027, 0x1000, "edtBuzzer", "disable"},
        ShowCase{"BuzzerOn", 40027, 0x2800, "edtBuzzer", "enable"},
        ShowCase{"BoostOff", 40027, 0x2000, "edtBoostChg", "disable"},
        ShowCase{"BoostOn", 40027, 0x1800, "edtBoostChg", "enable"},
        ShowCase{"ChargeOff", 40027, 0x0800, "edtCharge", "disable"},
        ShowCase{"ChargeOn", 40027, 0x3000, "edtCharge", "enable"},
        ShowCase{"Revise", 40028, 5, "edtFChgRedeem", "0.005"},
        ShowCase{"ReviseLarge", 40028, 1234, "edtFChgRedeem", "1.234"},
        ShowCase{"Sleep", 40029, 1, "edtOperate", "Sleep"},
        ShowCase{"Operate2", 40029, 2, "edtOperate", "Normal"},
        ShowCase{"GridPower", 40030, 80, "edtGrdPower", "80"},
        ShowCase{"Dist0", 40034, 0, "edtPDist", "3 in, 3 out"},
        ShowCase{"Dist1", 40034, 1, "edtPDist", "1 in, 1 out"},
        ShowCase{"Dist2", 40034, 2, "edtPDist", "3 in, 1 out"},
        ShowCase{"Dist3", 40034, 3, "edtPDist", "3 in, 3 out"},
        ShowCase{"ShiftDelay", 40035, 5, "edtPWD", "5"}, ShowCase{"PreAlarm", 40022, 7, "edtPreAlarm", "7"}),
    [](const ::testing::TestParamInfo<ShowCase>& info) { return std::string(info.param.name); });

TEST_F(UpsParaTest, AllStatusBitsSetShowDisableThreeTimes)
{
    Cabinet().StoreRegister(Cabinet().UpsData[1], 40027, 0x3800);
    w->Timer1Timer();
    EXPECT_EQ(w->edtCharge->text(), "disable");
    EXPECT_EQ(w->edtBuzzer->text(), "disable");
    EXPECT_EQ(w->edtBoostChg->text(), "disable");
}

TEST_F(UpsParaTest, ShowsTheSelectedAddressOnly)
{
    Cabinet().StoreRegister(Cabinet().UpsData[2], 40025, 99);
    Cabinet().StoreRegister(Cabinet().UpsData[1], 40025, 30);
    w->Timer1Timer();
    EXPECT_EQ(w->edtBoostLast->text(), "30");
}

// ---- Form ----------------------------------------------------------------------------------------

TEST_F(UpsParaTest, ViewOnlyWithThePreAlarmRowHidden)
{
    EXPECT_EQ(w->objectName(), "frmUpsPara");
    EXPECT_FALSE(w->GroupBox1->isEnabled());
    EXPECT_FALSE(w->GroupBox2->isEnabled());
    EXPECT_TRUE(w->lbPreAlarm->isHidden());
    EXPECT_TRUE(w->edtPreAlarm->isHidden());
    const QList<QLineEdit*> edits = w->ValueEdits();
    EXPECT_EQ(edits.size(), 28);
    for (QLineEdit* e : edits) {
        EXPECT_TRUE(e->isReadOnly()) << e->objectName().toStdString();
        EXPECT_TRUE(e->text().isEmpty()) << e->objectName().toStdString();
    }
    EXPECT_EQ(w->GroupBox1->findChildren<QLineEdit*>().size(), 16);
    EXPECT_EQ(w->GroupBox2->findChildren<QLineEdit*>().size(), 12);
    EXPECT_FALSE(w->Timer1->isActive()) << "started on activation only";
    EXPECT_EQ(w->Timer1->interval(), 1000);
}

TEST_F(UpsParaTest, PortClosedBlanksEveryFieldAndLeavesTheButton)
{
    Cabinet().StoreRegister(Cabinet().UpsData[1], 40025, 30);
    Cabinet().StoreRegister(Cabinet().UpsData[1], 40004, 0);
    w->Timer1Timer();
    ASSERT_EQ(w->edtBoostLast->text(), "30");
    const bool buttonBefore = w->btnSet->isEnabled();
    portOpen = false;
    w->Timer1Timer();
    for (QLineEdit* e : w->ValueEdits()) EXPECT_TRUE(e->text().isEmpty()) << e->objectName().toStdString();
    EXPECT_EQ(w->btnSet->isEnabled(), buttonBefore);
}

TEST_F(UpsParaTest, CaptionsInBothLanguages)
{
    LocalPara.Language = 1;
    w->ApplyCaptions();
    EXPECT_EQ(w->windowTitle(), "用户设置");
    EXPECT_EQ(w->GroupBox2->title(), "电池设置");
    EXPECT_EQ(w->lblFChgRedeem->text(), "浮充电压温度补偿系数(V/Cell)");
    EXPECT_EQ(w->btnSet->text(), "设置");
    LocalPara.Language = 0;
    w->show(); // showing sets the captions again
    EXPECT_EQ(w->windowTitle(), "User Set");
    EXPECT_EQ(w->lbBoostLast->text(), "Boost Last Time(min)");
    EXPECT_EQ(w->lblPWI->text(), "Power Walk In(Sec)");
}

TEST_F(UpsParaTest, ActivationStartsTheTimerAndEnablesSetClosingStopsIt)
{
    w->show();
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    EXPECT_TRUE(w->Timer1->isActive());
    w->Timer1Timer();
    EXPECT_TRUE(w->btnSet->isEnabled());

    // Another window in front (as the data set window is) greys the button at the next tick.
    QWidget other;
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    w->Timer1Timer();
    EXPECT_FALSE(w->btnSet->isEnabled());

    w->close();
    EXPECT_FALSE(w->Timer1->isActive());
    EXPECT_FALSE(w->isVisible());
}

// ---- Set: the guard, then the data set window ------------------------------------------------

TEST_F(UpsParaTest, SetGoesThroughTheGuardAndOpensTheDataSetWindow)
{
    Cabinet().StoreRegister(Cabinet().UpsData[1], 40025, 30);
    DialogScript script;
    script.prompts.push_back({QStringLiteral("tulip"), TPromptAnswer::Ensure});
    int dataSetShown = 0;
    QPointer<QDialog> shown;
    script.otherModal = [&](QDialog* d) {
        auto* ds = qobject_cast<TFrmDataSet*>(d);
        if (!ds) return int(QDialog::Rejected);
        ++dataSetShown;
        shown = d;
        EXPECT_EQ(d->parent(), w.get()) << "owned by the parameters window";
        EXPECT_EQ(grace, 60) << "the grace counter is set before the window shows";
        ds->lstUpsSet->setCurrentRow(14);
        EXPECT_EQ(ds->Edit1->text(), "30");
        ds->Edit1->setText(QStringLiteral("45"));
        ds->btnSetTo->click();
        return int(QDialog::Accepted);
    };
    w->btnSetClick();
    EXPECT_EQ(script.promptsShown, 1);
    EXPECT_EQ(dataSetShown, 1);
    EXPECT_TRUE(shown.isNull()) << "freed when it closes";
    EXPECT_TRUE(script.messages.empty()) << script.messageTexts().join('|').toStdString();
    EXPECT_EQ(TestSlots()[2].StartReg, 40025);
    EXPECT_EQ(TestSlots()[2].Value, 45);

    // Within the grace period the prompt is skipped.
    grace = 12;
    w->btnSetClick();
    EXPECT_EQ(script.promptsShown, 1);
    EXPECT_EQ(dataSetShown, 2);
    EXPECT_EQ(grace, 60);
}

TEST_F(UpsParaTest, SetRefusedOpensNothing)
{
    DialogScript script;
    int others = 0;
    script.otherModal = [&](QDialog*) { return ++others, int(QDialog::Rejected); };
    script.prompts.push_back({QStringLiteral("wrong"), TPromptAnswer::Ensure});
    w->btnSetClick();
    EXPECT_EQ(script.messageTexts(), QStringList{"Password is wrong !"});
    portOpen = false;
    w->btnSetClick();
    EXPECT_EQ(script.messageTexts(), (QStringList{"Password is wrong !", "COM Port is off !"}));
    EXPECT_EQ(script.promptsShown, 1);
    EXPECT_EQ(others, 0);
}

// ---- In the main window ------------------------------------------------------------------------

using UpsParaMainTest = MainWindowTest;

TEST_F(UpsParaMainTest, MenuItemMakesTheWindowOnceAndShowsItAgain)
{
    TFrmMain& m = window();
    EXPECT_TRUE(RegisteredViews().contains("frmUpsPara"));
    EXPECT_FALSE(GraceWindowOpen(TGraceWindow::UpsPara));
    m.mni2001->trigger();
    QPointer<TfrmUpsPara> first = m.frmUpsPara;
    ASSERT_FALSE(first.isNull());
    EXPECT_TRUE(first->isVisible());
    EXPECT_TRUE(GraceWindowOpen(TGraceWindow::UpsPara));

    // The grace counter runs down while the parameters window alone is open ...
    m.PswGraceCount = 60;
    period();
    EXPECT_EQ(m.PswGraceCount, 59);
    // ... and drops to 0 once it is closed.
    first->close();
    EXPECT_FALSE(GraceWindowOpen(TGraceWindow::UpsPara));
    period();
    EXPECT_EQ(m.PswGraceCount, 0);

    m.mni2001Click();
    EXPECT_EQ(m.frmUpsPara, first) << "the same window is shown again";
    EXPECT_TRUE(first->isVisible());
    EXPECT_TRUE(OpenRegisteredView("frmUpsPara"));
    EXPECT_EQ(FindShownWindow("frmUpsPara"), first.data());
}

} // namespace

#include "support/LayoutCheck.h"

namespace {

class UpsParaPicture : public UpsParaTest, public ::testing::WithParamInterface<int> {};

TEST_P(UpsParaPicture, NothingCutOff)
{
    LocalPara.Language = static_cast<uint8_t>(GetParam());
    Cabinet().StoreRegister(Cabinet().UpsData[1], 40034, 2);
    Cabinet().StoreRegister(Cabinet().UpsData[1], 40004, 7);
    w->show();
    w->Timer1Timer();
    EXPECT_TRUE(CutOffWidgets(w.get()).isEmpty()) << CutOffWidgets(w.get()).join('\n').toStdString();
    // Edits wide enough for their longest texts.
    for (QLineEdit* e : {w->edtPDist, w->edtSetMode})
        EXPECT_LE(e->fontMetrics().horizontalAdvance(e->text()) + 8, e->width())
            << e->objectName().toStdString();
    SavePicture(w.get(), QStringLiteral("frmUpsPara-%1").arg(GetParam() == 1 ? "zh" : "en"));
}

INSTANTIATE_TEST_SUITE_P(Languages, UpsParaPicture, ::testing::Values(0, 1),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return std::string(info.param == 1 ? "Chinese" : "English");
                         });

} // namespace

#include "support/ProgramRun.h"

namespace {

class UpsParaProgram : public UpsParaTest, public ::testing::WithParamInterface<int> {};

TEST_P(UpsParaProgram, WindowOptionPicturesTheParametersWindow)
{
    const TProgramRun run = RunViewScreenshot(QStringLiteral("frmUpsPara"), GetParam(), 4);
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(run.exitCode, 0) << run.errors.toStdString();
    EXPECT_FALSE(run.errors.contains(QStringLiteral("not shown"))) << run.errors.toStdString();
    ASSERT_FALSE(run.picture.isNull());
    EXPECT_EQ(run.picture.size() / run.picture.devicePixelRatio(), w->size());
}

INSTANTIATE_TEST_SUITE_P(Languages, UpsParaProgram, ::testing::Values(0, 1),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return std::string(info.param == 1 ? "Chinese" : "English");
                         });

} // namespace
