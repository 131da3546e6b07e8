// The runtime counters window and the register editor: the values shown, the read period,
// the service code behind the Set buttons, the editor's entries, key filter and Send.
#include "comm/uCabinet.h"
#include "comm/uFrmCom.h"
#include "comm/uLinkState.h"
#include "model/UShareData.h"
#include "model/uLocalPara.h"
#include "model/uUpsInfo.h"
#include "settings/uEdtMdRegist.h"
#include "settings/uRunTime.h"
#include "support/DialogScript.h"
#include "support/FakeTransport.h"
#include "support/TestSupport.h"
#include "ui/uGuard.h"

#include <QFile>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

class RunTimeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetAll();
        ASSERT_TRUE(dir_.isValid());
        SetSettingsFolderOverride(dir_.path());
        SetPswGraceCounter(&grace_);
    }
    void TearDown() override
    {
        SetPswGraceCounter(nullptr);
        SetSettingsFolderOverride(QString());
        ResetAll();
    }

    void writePassword(const char* password)
    {
        QFile f(dir_.filePath(QStringLiteral("UserParaIni.ini")));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(QByteArray("[System]\nPassword=") + password + "\n");
    }

    static void fillCabinet(int addr)
    {
        TUpsData& d = Cabinet().UpsData[addr];
        d.UpsRunTime = 12346;
        d.RectTimeLimit = 50000;
        d.BattRunTime = 8760;
        d.BattTimeLimit = 26280;
        d.FanRunTime = 12000;
        d.FanTimeLimit = 65535;
    }

    // A shown window whose timer the test drives.
    std::unique_ptr<TfrmRunTime> shownWindow()
    {
        auto w = std::make_unique<TfrmRunTime>();
        w->show();
        w->tmr1->stop();
        return w;
    }

    static bool slotHolds(int n, int addr, uint8_t func, int32_t reg, int32_t countOrValue)
    {
        const TReqSlot& s = TestSlots()[n];
        return s.Pending == FlagOn && s.Addr == addr && s.Func == func && s.StartReg == reg &&
               (func == 6 ? s.Value == countOrValue : s.Count == countOrValue);
    }

    QTemporaryDir dir_;
    int32_t grace_ = 0;
};

TEST_F(RunTimeTest, ShowsTheSixValuesOfTheSelectedCabinet)
{
    FrmCom->SetDevAddr(3); // the main window selected it
    fillCabinet(3);
    Cabinet().UpsData[1].UpsRunTime = 1; // another cabinet's values stay out
    auto w = shownWindow();
    w->tmr1Timer();
    EXPECT_EQ(w->edtRuntime->text(), "12346");
    EXPECT_EQ(w->edtLimit->text(), "50000");
    EXPECT_EQ(w->edtBattRun->text(), "8760");
    EXPECT_EQ(w->edtBattLimit->text(), "26280");
    EXPECT_EQ(w->edtFanRun->text(), "12000");
    EXPECT_EQ(w->edtFanLimit->text(), "65535") << "unsigned";
    for (QGroupBox* g : {w->grpRect, w->grpBatt, w->grpFan}) EXPECT_FALSE(g->isEnabled());
    for (QPushButton* b : {w->btnSet, w->btnSetBatt, w->btnSetFan}) EXPECT_TRUE(b->isEnabled());
    EXPECT_TRUE(slotHolds(1, 3, 3, 51051, 16)) << "read for the selected cabinet";
}

TEST_F(RunTimeTest, ReadsOnTheFirstTickAfterShowingThenEveryEleventh)
{
    auto w = shownWindow();
    std::vector<int> reads;
    for (int tick = 1; tick <= 23; ++tick) {
        w->tmr1Timer();
        if (TestSlots()[1].Pending) {
            EXPECT_TRUE(slotHolds(1, 1, 3, 51051, 16));
            reads.push_back(tick);
            TestSlots()[1].Pending = FlagOff;
        }
    }
    EXPECT_EQ(reads, (std::vector<int>{1, 12, 23}));
    w->tmr1Timer();
    w->hide();
    w->show(); // shown again: the next tick reads
    w->tmr1Timer();
    EXPECT_TRUE(slotHolds(1, 1, 3, 51051, 16));
    for (int n = 2; n <= ReqSlotCount; ++n) EXPECT_EQ(TestSlots()[n].Pending, FlagOff);
}

TEST_F(RunTimeTest, TheTimerRunsOnlyWhileTheWindowIsShown)
{
    TfrmRunTime w;
    EXPECT_FALSE(w.tmr1->isActive()) << "a hidden window keeps slot 1 free";
    w.show();
    EXPECT_TRUE(w.tmr1->isActive());
    EXPECT_EQ(w.tmr1->interval(), 1000);
    w.hide();
    EXPECT_FALSE(w.tmr1->isActive());
}

TEST_F(RunTimeTest, BusySlotOneIsLeftAlone)
{
    auto w = shownWindow();
    TestSlots()[1] = TReqSlot{FlagOn, 1, 6, 40017, 0, 3, 0};
    w->tmr1Timer();
    EXPECT_TRUE(slotHolds(1, 1, 6, 40017, 3));
}

TEST_F(RunTimeTest, CaptionsInBothLanguages)
{
    LocalPara.Language = 1;
    TfrmRunTime w;
    w.show();
    EXPECT_EQ(w.windowTitle(), QString::fromUtf8("UPS运行时间"));
    EXPECT_EQ(w.grpBatt->title(), QString::fromUtf8("电池"));
    EXPECT_EQ(w.lblFanLimit->text(), QString::fromUtf8("运行时间上限(小时)"));
    EXPECT_EQ(w.btnSetFan->text(), QString::fromUtf8("设置"));
    w.hide();
    LocalPara.Language = 0;
    w.show();
    EXPECT_EQ(w.windowTitle(), "UPS RunTime");
    EXPECT_EQ(w.grpRect->title(), "Rectifier");
    EXPECT_EQ(w.grpFan->title(), "Fan");
    EXPECT_EQ(w.lblRuntime->text(), "Elapsed time(hour)");
    EXPECT_EQ(w.lblBattLimit->text(), "Time limit(hour)");
    EXPECT_EQ(w.btnSet->text(), "Set");
}

// The service code: the entry, upper-cased, must be the service word; what the prompt itself
// thought of the entry does not count, and the grace counter never skips the prompt.
struct CodeCase {
    const char* settingsPassword; // nullptr: no key in the settings file
    const char* typed;
    bool opens;
};

class ServiceCode : public RunTimeTest, public ::testing::WithParamInterface<CodeCase> {};

TEST_P(ServiceCode, OpensTheEditorOnlyForTheServiceWord)
{
    const CodeCase& c = GetParam();
    if (c.settingsPassword) writePassword(c.settingsPassword);
    fillCabinet(1);
    grace_ = 30; // running: the prompt comes all the same
    DialogScript script;
    script.prompts.push_back({QString::fromUtf8(c.typed), TPromptAnswer::Ensure});
    int editors = 0;
    script.otherModal = [&editors](QDialog* d) {
        if (qobject_cast<TfrmEdtMdRegist*>(d)) ++editors;
        return QDialog::Rejected;
    };
    auto w = shownWindow();
    w->btnSetBatt->click();
    EXPECT_EQ(script.promptsShown, 1);
    EXPECT_EQ(editors, c.opens ? 1 : 0);
    EXPECT_EQ(grace_, c.opens ? 60 : 30);
    EXPECT_EQ(script.messageTexts(), c.opens ? QStringList() : QStringList{"Password is wrong !"});
}

INSTANTIATE_TEST_SUITE_P(
    Entries, ServiceCode,
    ::testing::Values(CodeCase{nullptr, "tulip", true}, CodeCase{nullptr, "TuLiP", true},
                      CodeCase{nullptr, "TULIP", true},    // the prompt refuses it; the code check does not
                      CodeCase{"secret", "tulip", true},   // refused by the prompt, still the service word
                      CodeCase{"secret", "secret", false}, // the settings password
                      CodeCase{nullptr, "QDN4172", false}, // the master code
                      CodeCase{nullptr, "", false},        // empty
                      CodeCase{nullptr, "  tulip  ", true})); // trimmed by the prompt

TEST_F(RunTimeTest, CancelledPromptIsAWrongPassword)
{
    DialogScript script;
    script.prompts.push_back({QStringLiteral("tulip"), TPromptAnswer::Cancel});
    auto w = shownWindow();
    w->btnSet->click();
    EXPECT_EQ(script.messageTexts(), QStringList{"Password is wrong !"});
}

struct ButtonCase {
    const char* button;
    const char* title;
    uint16_t reg1, value1, reg2, value2;
};

class SetButtons : public RunTimeTest, public ::testing::WithParamInterface<ButtonCase> {};

TEST_P(SetButtons, OpenTheEditorOnTheirCounter)
{
    const ButtonCase& c = GetParam();
    FrmCom->SetDevAddr(2); // the main window selected it
    fillCabinet(2);
    DialogScript script;
    script.prompts.push_back({QStringLiteral("tulip"), TPromptAnswer::Ensure});
    QString title;
    std::vector<std::pair<uint16_t, uint16_t>> entries;
    QStringList rows;
    script.otherModal = [&](QDialog* d) {
        auto* e = qobject_cast<TfrmEdtMdRegist*>(d);
        if (!e) return int(QDialog::Rejected);
        title = e->windowTitle();
        for (int k = 1; k <= e->EntryCount(); ++k) entries.emplace_back(e->Entry(k).Reg, e->Entry(k).Value);
        for (int i = 0; i < e->lstSelct->count(); ++i) rows << e->lstSelct->item(i)->text();
        return int(QDialog::Rejected);
    };
    auto w = shownWindow();
    w->findChild<QPushButton*>(QLatin1String(c.button))->click();
    EXPECT_EQ(title, QString::fromLatin1(c.title));
    EXPECT_EQ(entries, (std::vector<std::pair<uint16_t, uint16_t>>{{c.reg1, c.value1}, {c.reg2, c.value2}}));
    EXPECT_EQ(rows, (QStringList{RegisterCaption(c.reg1), RegisterCaption(c.reg2)}));
}

INSTANTIATE_TEST_SUITE_P(
    Counters, SetButtons,
    ::testing::Values(ButtonCase{"btnSet", "Edit UPS Runtime", 30043, 12346, 51051, 50000},
                      ButtonCase{"btnSetBatt", "Edit Battery Runtime", 51061, 26280, 51062, 8760},
                      ButtonCase{"btnSetFan", "Edit Fan Runtime", 51064, 65535, 51065, 12000}));

// The register editor.
class EditorTest : public RunTimeTest {
protected:
    // The editor writes only over an open port.
    void SetUp() override
    {
        RunTimeTest::SetUp();
        com_ = std::make_unique<TFrmCom>();
        com_->Timer1.stop();
        UseFakeLine(
            *com_, [] { return true; }, [](const uint8_t*, int) { return true; });
    }
    void TearDown() override
    {
        com_.reset();
        RunTimeTest::TearDown();
    }
    static void choose(TfrmEdtMdRegist& e, int row) { e.lstSelct->setCurrentRow(row); }
    std::unique_ptr<TFrmCom> com_;
};

TEST_F(EditorTest, StartsWithItsDesignTitleAndNoEditor)
{
    TfrmEdtMdRegist e;
    EXPECT_EQ(e.windowTitle(), "Edit Modbus Regist");
    EXPECT_EQ(e.Title(), "Edit Modbus Regist");
    e.show();
    EXPECT_FALSE(e.pnlEdit->isVisible());
    EXPECT_FALSE(e.pnlSelect->isVisible());
    EXPECT_FALSE(e.findChild<QWidget*>("rgChoise")->isVisible());
    EXPECT_FALSE(e.btnSend->isEnabled());
    EXPECT_EQ(e.btnSend->text(), "Send");
    EXPECT_EQ(e.edtText->maxLength(), 15);
    e.SetTitle(QStringLiteral("Edit Fan Runtime"));
    EXPECT_EQ(e.windowTitle(), "Edit Fan Runtime");
    EXPECT_EQ(e.Title(), "Edit Fan Runtime");
}

TEST_F(EditorTest, AtMostTenEntriesAndAnEleventhReplacesTheTenth)
{
    TfrmEdtMdRegist e;
    e.AddEntry(0, 5); // ignored
    EXPECT_EQ(e.EntryCount(), 0);
    EXPECT_EQ(e.lstSelct->count(), 0);
    for (uint16_t i = 1; i <= 12; ++i) e.AddEntry(static_cast<uint16_t>(100 + i), static_cast<uint16_t>(i));
    EXPECT_EQ(e.EntryCount(), 10);
    EXPECT_EQ(e.lstSelct->count(), 10);
    EXPECT_EQ(e.Entry(9).Reg, 109);
    EXPECT_EQ(e.Entry(10).Reg, 112);
    EXPECT_EQ(e.Entry(10).Value, 12);
    EXPECT_EQ(e.Entry(10).Kind, TfrmEdtMdRegist::KindNumber);
    EXPECT_EQ(e.lstSelct->item(9)->text(), "112");
    e.show();
    choose(e, 9);
    EXPECT_EQ(e.CurEntry(), 10);
    EXPECT_EQ(e.edtText->text(), "12");
    e.btnSend->click();
    EXPECT_TRUE(slotHolds(1, 1, 6, 112, 12));
}

TEST_F(EditorTest, RowsAreCaptionedInTheCurrentLanguage)
{
    for (int language : {0, 1}) {
        LocalPara.Language = static_cast<uint8_t>(language);
        TfrmEdtMdRegist e;
        e.AddEntry(30043, 1);
        e.AddEntry(51065, 2);
        e.AddEntry(40017, 3);
        EXPECT_EQ(e.lstSelct->item(0)->text(), language ? QString::fromUtf8("UPS已运行时间(小时)")
                                                        : QString("Rectifier Elapsed time(hour)"));
        EXPECT_EQ(e.lstSelct->item(1)->text(),
                  language ? QString::fromUtf8("风扇已运行时间(小时)") : QString("Fan Elapsed time(hour)"));
        EXPECT_EQ(e.lstSelct->item(2)->text(), "40017");
    }
}

TEST_F(EditorTest, ChoosingAnEntryShowsItsValueAndNoneHidesTheEditor)
{
    TfrmEdtMdRegist e;
    e.AddEntry(51061, 65535);
    e.AddEntry(51062, 8760);
    e.show();
    choose(e, 0);
    EXPECT_TRUE(e.pnlEdit->isVisible());
    EXPECT_TRUE(e.btnSend->isEnabled());
    EXPECT_EQ(e.edtText->text(), "65535");
    choose(e, 1);
    EXPECT_EQ(e.edtText->text(), "8760");
    e.lstSelct->clearSelection();
    EXPECT_FALSE(e.pnlEdit->isVisible());
    EXPECT_FALSE(e.btnSend->isEnabled());
    EXPECT_EQ(e.CurEntry(), 0);
    e.btnSendClick(); // no entry chosen: nothing
    EXPECT_EQ(TestSlots()[1].Pending, FlagOff);
}

struct ValueCase {
    const char* typed;
    int sent; // -1: refused with the range message, nothing queued
};

class EditorValues : public EditorTest, public ::testing::WithParamInterface<ValueCase> {};

TEST_P(EditorValues, SendWritesTheTypedNumberOrRefusesIt)
{
    const ValueCase& c = GetParam();
    DialogScript script;
    FrmCom->SetDevAddr(4); // the main window selected it
    TfrmEdtMdRegist e;
    e.AddEntry(51061, 26280);
    e.AddEntry(51062, 8760);
    e.show();
    choose(e, 0);
    e.edtText->setText(QString::fromUtf8(c.typed)); // as typed or pasted
    e.btnSend->click();
    if (c.sent >= 0) {
        EXPECT_TRUE(slotHolds(1, 4, 6, 51061, static_cast<uint16_t>(c.sent)));
        EXPECT_TRUE(script.messages.empty());
    } else {
        EXPECT_EQ(TestSlots()[1].Pending, FlagOff) << "nothing nobody chose is written";
        EXPECT_EQ(script.messageTexts(),
                  QStringList{"[Battery Time limit(hour)] value is invalid: enter a number from 0 to 65535"});
    }
    EXPECT_EQ(TestSlots()[2].Pending, FlagOff) << "no read-back";
    EXPECT_TRUE(e.isVisible()) << "the editor stays open";
}

INSTANTIATE_TEST_SUITE_P(Typed, EditorValues,
                         ::testing::Values(ValueCase{"70000", -1}, ValueCase{"", -1},
                                           ValueCase{"20000", 20000}, ValueCase{"65535", 65535},
                                           ValueCase{"65536", -1}, ValueCase{"000042", 42},
                                           ValueCase{"12a", -1}, ValueCase{"１２", -1},
                                           ValueCase{"999999999999999", -1}));

TEST_F(EditorTest, SendWithSlotOneBusyQueuesNothing)
{
    DialogScript script;
    TfrmEdtMdRegist e;
    e.AddEntry(51064, 43800);
    e.show();
    choose(e, 0);
    TestSlots()[1] = TReqSlot{FlagOn, 1, 3, 51051, 16, 0, 0};
    TestSlots()[1].Group = 99; // the read-back of another write: it cannot make way
    e.btnSend->click();
    EXPECT_TRUE(slotHolds(1, 1, 3, 51051, 16));
    EXPECT_EQ(script.messageTexts(), QStringList{"Link busy, please try again"});
}

struct KeyCase {
    ushort key;
    bool passes;
};

class EditorKeys : public EditorTest, public ::testing::WithParamInterface<KeyCase> {};

TEST_P(EditorKeys, OnlyDigitsBackspaceAndClipboardKeysPass)
{
    EXPECT_EQ(TfrmEdtMdRegist::edtTextKeyPress(QChar(GetParam().key)), GetParam().passes) << GetParam().key;
}

INSTANTIATE_TEST_SUITE_P(Keys, EditorKeys,
                         ::testing::Values(KeyCase{'0', true}, KeyCase{'9', true}, KeyCase{8, true},
                                           KeyCase{3, true}, KeyCase{22, true}, KeyCase{24, true},
                                           KeyCase{'a', false}, KeyCase{'-', false}, KeyCase{'.', false},
                                           KeyCase{' ', false}, KeyCase{13, false}, KeyCase{1, false},
                                           KeyCase{0x0661, false})); // an Arabic-Indic digit

TEST_F(EditorTest, TypingIntoTheEditKeepsOnlyDigits)
{
    TfrmEdtMdRegist e;
    e.AddEntry(51062, 0);
    e.show();
    choose(e, 0);
    e.edtText->clear();
    e.edtText->setFocus();
    QTest::keyClicks(e.edtText, "2x0-0.0 0");
    EXPECT_EQ(e.edtText->text(), "20000");
    QTest::keyClick(e.edtText, Qt::Key_Backspace);
    EXPECT_EQ(e.edtText->text(), "2000");
    QTest::keyClick(e.edtText, Qt::Key_Left);
    QTest::keyClick(e.edtText, Qt::Key_Delete); // keys that type nothing pass
    EXPECT_EQ(e.edtText->text(), "200");
    QTest::keyClicks(e.edtText, "1234567890123456789");
    EXPECT_EQ(e.edtText->text().size(), 15);
}

} // namespace
