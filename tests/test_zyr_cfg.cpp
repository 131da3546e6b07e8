// The cabinet configuration view and its editor: what the view shows of the configuration
// area, its six-tick read cycle, the guarded Edit button, each editor row's initial value and
// the requests its Send queues, and the whole round trip against the simulated cabinet.
#include "comm/uCabinet.h"
#include "comm/uFrmCom.h"
#include "comm/uLinkState.h"
#include "model/UShareData.h"
#include "model/uLocalPara.h"
#include "model/uUpsInfo.h"
#include "settings/uFrmEdtZyr.h"
#include "settings/uZyrCfg.h"
#include "simharness/LinkDriver.h"
#include "simharness/SimHarness.h"
#include "support/DialogScript.h"
#include "support/FakeTransport.h"
#include "support/ProgramRun.h"
#include "support/TestSupport.h"
#include "test_comm_pty.h"
#include "test_main_fixture.h"
#include "ui/uGraceWindows.h"
#include "ui/uGuard.h"
#include "ui/uPassword.h"
#include "ui/uViewRegistry.h"
#include "ui/uWidgets.h"

#include <QComboBox>
#include <QDir>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>

#include <cstring>
#include <memory>

namespace {

struct SlotSeen {
    int pending, func, reg, count, value;
    bool operator==(const SlotSeen& o) const
    {
        return pending == o.pending && func == o.func && reg == o.reg && count == o.count && value == o.value;
    }
};

std::ostream& operator<<(std::ostream& os, const SlotSeen& s)
{
    return os << "{pending " << s.pending << ", func " << s.func << ", reg " << s.reg << ", count " << s.count
              << ", value " << s.value << "}";
}

SlotSeen slot(int n)
{
    const TReqSlot& s = TestSlots()[n];
    return {s.Pending, s.Func, s.StartReg, s.Count, s.Value};
}

QString bytesText(const uint8_t* bytes, int n)
{
    return QString::fromLatin1(reinterpret_cast<const char*>(bytes), n);
}

class ZyrCfgTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetAll();
        ClearGraceWindowProbes();
        ASSERT_TRUE(dir.isValid());
        SetSettingsFolderOverride(dir.path());
        SetPswGraceCounter(&grace);
        // The editor writes only over an open port; a test that needs the real line opens one.
        com = std::make_unique<TFrmCom>();
        com->Timer1.stop();
        UseFakeLine(
            *com, [] { return true; }, [](const uint8_t*, int) { return true; });
        com->SetDevAddr(7); // the cabinet the main window has selected
    }
    void TearDown() override
    {
        editor.reset();
        view.reset();
        com.reset();
        SetPswGraceCounter(nullptr);
        SetSettingsFolderOverride(QString());
        ClearGraceWindowProbes();
        ResetAll();
    }
    TfrmZyrCfg& makeView()
    {
        view = std::make_unique<TfrmZyrCfg>();
        view->tmr1->stop(); // the tests drive the timer tick by tick
        return *view;
    }
    // The editor as the Edit button opens it: created, then shown; by default after the
    // cabinet's texts have been read.
    TfrmEdtZyrCfg& openEditor(bool textsRead = true)
    {
        if (textsRead) {
            // The configuration as read from the selected cabinet.
            Cabinet().CfgTextRecvd = FlagOn;
            std::fill(std::begin(Cabinet().CfgRegsFrom), std::end(Cabinet().CfgRegsFrom), uint8_t(FrmCom->DevAddr()));
        }
        editor = std::make_unique<TfrmEdtZyrCfg>();
        editor->show();
        return *editor;
    }
    void chooseRow(int row) { editor->lstSelct->setCurrentRow(row); }
    void openPort()
    {
        ASSERT_TRUE(pty.ok());
        com = std::make_unique<TFrmCom>();
        com->Timer1.stop();
        com->OpenPort(pty.slavePath(), 2400);
        ASSERT_TRUE(com->PortOpen());
    }

    QTemporaryDir dir;
    int32_t grace = 0;
    TestPty pty;
    std::unique_ptr<TFrmCom> com;
    std::unique_ptr<TfrmZyrCfg> view;
    std::unique_ptr<TfrmEdtZyrCfg> editor;
};

// ---------------------------------------------------------------------------------------
// The view.

struct DisplayCase {
    const char* name;
    int at;            // first CfgRx byte written
    const char* bytes; // written from there (a "\0" inside ends a text)
    int count;         // bytes written
    int language;
    const char* control;
    const char* shown; // the control's text (rgMdType: the checked item index)
};

class ViewDisplay : public ZyrCfgTest, public ::testing::WithParamInterface<DisplayCase> {};

TEST_P(ViewDisplay, ShowsTheReceivedConfiguration)
{
    const DisplayCase& c = GetParam();
    LocalPara.Language = static_cast<uint8_t>(c.language);
    TfrmZyrCfg& v = makeView();
    std::memcpy(Cabinet().CfgRx + c.at, c.bytes, static_cast<size_t>(c.count));
    v.tmr1Timer();
    if (QLatin1String(c.control) == QLatin1String("rgMdType")) {
        auto* rg = v.findChild<TRadioGroup*>("rgMdType");
        ASSERT_TRUE(rg);
        EXPECT_EQ(rg->ItemIndex(), QByteArray(c.shown).toInt());
        return;
    }
    auto* e = v.findChild<QLineEdit*>(c.control);
    ASSERT_TRUE(e) << c.control;
    EXPECT_EQ(e->text(), QString::fromUtf8(c.shown));
}

INSTANTIATE_TEST_SUITE_P(
    Rules, ViewDisplay,
    ::testing::Values(DisplayCase{"CompanyEndsAtZero", 0, "ACME\0XYZ", 8, 0, "edtCompany", "ACME"},
                      DisplayCase{"CompanyAtMost15", 0, "ABCDEFGHIJKLMNOPQRS", 19, 0, "edtCompany",
                                  "ABCDEFGHIJKLMNO"},
                      DisplayCase{"CompanyEmpty", 0, "\0", 1, 0, "edtCompany", ""},
                      DisplayCase{"CompanyLatin1", 0, "Caf\xE9\0", 5, 0, "edtCompany", "Café"},
                      DisplayCase{"ModelAtMost10", 15, "ZYR33-200KX", 11, 0, "edtModel", "ZYR33-200K"},
                      DisplayCase{"ModelEndsAtZero", 15, "ZYR\0", 4, 0, "edtModel", "ZYR"},
                      DisplayCase{"BroadType0", 35, "\x19", 1, 0, "edtBroadNum", "Type0 (25)"},
                      DisplayCase{"BroadType1", 35, "\x1B", 1, 0, "edtBroadNum", "Type1 (27)"},
                      DisplayCase{"BroadType2", 35, "\x1C", 1, 1, "edtBroadNum", "Type2 (28)"},
                      DisplayCase{"BroadType3", 35, "\x1D", 1, 0, "edtBroadNum", "Type3 (29)"},
                      DisplayCase{"BroadNone", 35, "\0", 1, 0, "edtBroadNum", "None (0)"},
                      DisplayCase{"BroadOther", 35, "\x1A", 1, 0, "edtBroadNum", "(26)"},
                      DisplayCase{"BroadHigh", 35, "\xFF", 1, 0, "edtBroadNum", "(255)"},
                      DisplayCase{"RemoteEnable", 36, "\xFF", 1, 0, "edtEnRemote", "Enable"},
                      DisplayCase{"RemoteDisable", 36, "\0", 1, 0, "edtEnRemote", "Disable"},
                      DisplayCase{"RemoteEnableZh", 36, "\xFF", 1, 1, "edtEnRemote", "使能"},
                      DisplayCase{"RemoteDisableZh", 36, "\0", 1, 1, "edtEnRemote", "禁止"},
                      DisplayCase{"RatingSetting", 37, "\0", 1, 0, "edtPwrRat", "Setting"},
                      DisplayCase{"RatingEffective", 37, "\x01", 1, 0, "edtPwrRat", "Effective"},
                      DisplayCase{"RatingSettingZh", 37, "\0", 1, 1, "edtPwrRat", "设定"},
                      DisplayCase{"RatingEffectiveZh", 37, "\x01", 1, 1, "edtPwrRat", "实际"},
                      DisplayCase{"RatingOther", 37, "\x07", 1, 1, "edtPwrRat", "7"},
                      DisplayCase{"ModuleTypeZyr", 38, "\0", 1, 0, "rgMdType", "0"},
                      DisplayCase{"ModuleTypeWen", 38, "\x02", 1, 0, "rgMdType", "2"},
                      DisplayCase{"ModuleTypeAbove2", 38, "\x03", 1, 0, "rgMdType", "-1"},
                      DisplayCase{"ConfirmDecimal", 39, "\xC8", 1, 0, "edtConfirm", "200"},
                      DisplayCase{"BatteryByMonitor", 40, "\x01", 1, 1, "edtBtCalcBy", "Monitor"},
                      DisplayCase{"BatteryByModule", 40, "\0", 1, 1, "edtBtCalcBy", "Module"},
                      DisplayCase{"BatteryOther", 40, "\x02", 1, 0, "edtBtCalcBy", "Module"}),
    [](const ::testing::TestParamInfo<DisplayCase>& info) { return std::string(info.param.name); });

TEST_F(ZyrCfgTest, CreationBlanksTheTextsAndLeavesTheRegisters)
{
    for (int i = 0; i < CfgSize; ++i) Cabinet().CfgRx[i] = CfgEdit[i] = static_cast<uint8_t>(0x41 + i % 20);
    TfrmZyrCfg& v = makeView();
    for (int i = 0; i < 25; ++i) {
        EXPECT_EQ(Cabinet().CfgRx[i], ' ') << i;
        EXPECT_EQ(CfgEdit[i], ' ') << i;
    }
    for (int i = 25; i < CfgSize; ++i) {
        EXPECT_EQ(Cabinet().CfgRx[i], 0x41 + i % 20) << i;
        EXPECT_EQ(CfgEdit[i], 0x41 + i % 20) << i;
    }
    v.tmr1Timer();
    EXPECT_EQ(v.edtCompany->text(), QString(15, QLatin1Char(' ')));
    EXPECT_EQ(v.lblCount->palette().color(QPalette::WindowText), QColor(Qt::white));
    for (const char* g : {"grp1", "grpSnmpView", "grpZYRInfo"}) {
        auto* group = v.findChild<QGroupBox*>(g);
        ASSERT_TRUE(group) << g;
        EXPECT_FALSE(group->isEnabled()) << g;
    }
    EXPECT_TRUE(v.btnEdit->isEnabled());
    EXPECT_EQ(v.tmr1->interval(), 1000);
}

TEST_F(ZyrCfgTest, CaptionsFollowTheLanguageWhenShown)
{
    TfrmZyrCfg& v = makeView();
    LocalPara.Language = 1;
    v.show();
    EXPECT_EQ(v.windowTitle(), QStringLiteral("ZYR 配置"));
    EXPECT_EQ(v.lblConfirm->text(), QStringLiteral("模块状态确认计数"));
    EXPECT_EQ(v.rgMdType->title(), QStringLiteral("模块型号"));
    EXPECT_EQ(v.btnEdit->text(), QStringLiteral("编辑"));
    v.hide();
    LocalPara.Language = 0;
    v.show();
    EXPECT_EQ(v.windowTitle(), QStringLiteral("ZYR Config"));
    EXPECT_EQ(v.grpSnmpView->title(), QStringLiteral("SNMP View"));
    EXPECT_EQ(v.lblRatPwr->text(), QStringLiteral("Type of Rated power Showed"));
    EXPECT_EQ(v.lblBtCalcBy->text(), QStringLiteral("The Data of Battery calculated by "));
}

TEST_F(ZyrCfgTest, ReadsTextsOnTheFirstTickAndRegistersOnTheThirdOfSix)
{
    TfrmZyrCfg& v = makeView();
    v.show();
    QStringList counts;
    std::vector<SlotSeen> seen;
    for (int tick = 1; tick <= 13; ++tick) {
        v.tmr1Timer();
        counts << v.lblCount->text();
        seen.push_back(slot(1));
        if (TestSlots()[1].Pending) EXPECT_EQ(TestSlots()[1].Addr, 7) << "the selected cabinet";
        TestSlots()[1].Pending = 0; // the link takes it
    }
    EXPECT_EQ(counts.join(QLatin1Char(' ')), QStringLiteral("0 1 2 3 4 5 0 1 2 3 4 5 0"));
    const SlotSeen texts{255, 3, 53000, 40, 0};
    const SlotSeen regs{255, 3, 51201, 10, 0};
    for (size_t i = 0; i < seen.size(); ++i) {
        const int tick = static_cast<int>(i) + 1;
        if (tick % 6 == 1)
            EXPECT_EQ(seen[i], texts) << "tick " << tick;
        else if (tick % 6 == 3)
            EXPECT_EQ(seen[i], regs) << "tick " << tick;
        else
            EXPECT_EQ(seen[i].pending, 0) << "tick " << tick;
    }
    EXPECT_EQ(TestSlots()[2].Pending, 0) << "the view reads through slot 1 only";
}

TEST_F(ZyrCfgTest, HiddenViewCountsButReadsNothing)
{
    TfrmZyrCfg& v = makeView();
    for (int tick = 1; tick <= 6; ++tick) {
        v.tmr1Timer();
        EXPECT_EQ(TestSlots()[1].Pending, 0) << "tick " << tick;
    }
    EXPECT_EQ(v.TickCount, 0);
}

TEST_F(ZyrCfgTest, ABusySlotOneIsLeftAlone)
{
    TfrmZyrCfg& v = makeView();
    v.show();
    TestSlots()[1] = TReqSlot{255, 3, 20, 1, 0, 5, 0};
    v.tmr1Timer(); // the texts' turn
    EXPECT_EQ(slot(1), (SlotSeen{255, 20, 1, 0, 5}));
    TestSlots()[1].Pending = 0;
    v.tmr1Timer();
    EXPECT_EQ(TestSlots()[1].Pending, 0) << "the skipped read is not made up on the next tick";
}

TEST_F(ZyrCfgTest, GraceProbesFollowTheWindows)
{
    EXPECT_FALSE(GraceWindowOpen(TGraceWindow::ZyrCfg));
    TfrmZyrCfg& v = makeView();
    EXPECT_FALSE(GraceWindowOpen(TGraceWindow::ZyrCfg)) << "created, not yet shown";
    v.show();
    EXPECT_TRUE(GraceWindowOpen(TGraceWindow::ZyrCfg));
    openEditor();
    EXPECT_TRUE(GraceWindowOpen(TGraceWindow::EdtZyrCfg));
    editor.reset();
    EXPECT_FALSE(GraceWindowOpen(TGraceWindow::EdtZyrCfg)) << "freed";
    view.reset();
    EXPECT_FALSE(GraceWindowOpen(TGraceWindow::ZyrCfg)) << "freed";
}

// The main window's "ZYR Config" item: a fresh view each time, shown modally, then freed; while
// it is shown the password grace period counts down instead of dropping to 0.
class ZyrCfgMenu : public MainWindowTest {};

TEST_F(ZyrCfgMenu, ItemShowsAFreshViewModallyAndFreesIt)
{
    TFrmMain& w = window();
    EXPECT_TRUE(RegisteredViews().contains(QStringLiteral("frmZyrCfg")));
    DialogScript script;
    std::vector<QPointer<QDialog>> views;
    w.PswGraceCount = 60;
    script.otherModal = [&](QDialog* d) {
        views.emplace_back(d);
        EXPECT_TRUE(qobject_cast<TfrmZyrCfg*>(d));
        EXPECT_EQ(d->parentWidget(), &w);
        d->show();
        period();
        d->hide();
        return int(QDialog::Rejected);
    };
    w.mni2002->trigger();
    EXPECT_EQ(w.PswGraceCount, 59) << "counted down while the view was shown";
    w.mni2002Click();
    ASSERT_EQ(views.size(), 2u);
    EXPECT_TRUE(views[0].isNull() && views[1].isNull()) << "each view freed after its modal run";
    period();
    EXPECT_EQ(w.PswGraceCount, 0) << "no guarded window open any more";
}

// ---------------------------------------------------------------------------------------
// The Edit button.

TEST_F(ZyrCfgTest, EditWithThePortClosedSaysSo)
{
    com.reset(); // no link form: the port is closed
    TfrmZyrCfg& v = makeView();
    DialogScript script;
    int editors = 0;
    script.otherModal = [&](QDialog*) {
        ++editors;
        return int(QDialog::Rejected);
    };
    v.btnEditClick();
    EXPECT_EQ(script.messageTexts(), QStringList{QStringLiteral("COM Port is off !")});
    EXPECT_EQ(script.promptsShown, 0);
    EXPECT_EQ(editors, 0);
}

struct EditCase {
    const char* name;
    int graceBefore;
    const char* typed;
    TPromptAnswer::How how;
    int prompts;
    bool editorShown;
    const char* message; // "" for none
    int graceAfter;
};

class EditGuard : public ZyrCfgTest, public ::testing::WithParamInterface<EditCase> {};

TEST_P(EditGuard, OpensTheEditorModallyBehindThePassword)
{
    const EditCase& c = GetParam();
    openPort();
    TfrmZyrCfg& v = makeView();
    v.show();
    grace = c.graceBefore;
    DialogScript script;
    script.prompts.push_back({QString::fromUtf8(c.typed), c.how});
    QPointer<QDialog> shown;
    bool probeWhileShown = false;
    script.otherModal = [&](QDialog* d) {
        shown = d;
        d->show();
        probeWhileShown = GraceWindowOpen(TGraceWindow::EdtZyrCfg);
        d->hide();
        return int(QDialog::Accepted);
    };
    v.btnEditClick();
    EXPECT_EQ(script.promptsShown, c.prompts);
    EXPECT_EQ(!script.messages.empty() ? script.messages.front().text : QString(),
              QString::fromUtf8(c.message));
    EXPECT_EQ(grace, c.graceAfter);
    if (c.editorShown) {
        EXPECT_TRUE(probeWhileShown) << "the editor holds the grace period while shown";
        EXPECT_TRUE(shown.isNull()) << "the editor is freed after its modal run";
    }
    EXPECT_EQ(probeWhileShown, c.editorShown);
}

using H = TPromptAnswer;
INSTANTIATE_TEST_SUITE_P(
    Cases, EditGuard,
    ::testing::Values(EditCase{"PasswordAccepted", 0, "tulip", H::Ensure, 1, true, "", 60},
                      EditCase{"MasterCodeAccepted", 0, "QDN4172", H::Ensure, 1, true, "", 60},
                      EditCase{"WrongPassword", 0, "tulips", H::Ensure, 1, false, "Password is wrong !", 0},
                      EditCase{"Cancelled", 0, "tulip", H::Cancel, 1, false, "", 0},
                      EditCase{"GraceSkipsThePrompt", 12, "", H::Ensure, 0, true, "", 60}),
    [](const ::testing::TestParamInfo<EditCase>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------
// The editor.

TEST_F(ZyrCfgTest, EditorStartsWithNoEditorAndACopyOfTheReceivedArea)
{
    for (int i = 0; i < CfgSize; ++i) Cabinet().CfgRx[i] = static_cast<uint8_t>(0x30 + i);
    std::memset(CfgEdit, 0, sizeof CfgEdit);
    TfrmEdtZyrCfg& e = openEditor();
    for (int i = 0; i < CfgSize; ++i) {
        const bool copied = i <= 24 || (i >= 35 && i <= 40);
        EXPECT_EQ(CfgEdit[i], copied ? Cabinet().CfgRx[i] : 0) << "byte " << i;
    }
    EXPECT_EQ(e.windowTitle(), QStringLiteral("Edit ZYR Config"));
    ASSERT_EQ(e.lstSelct->count(), 8);
    EXPECT_EQ(e.lstSelct->item(0)->text(), QStringLiteral("Company Name"));
    EXPECT_EQ(e.lstSelct->item(6)->text(), QStringLiteral("Count of Confirmation for Module Status"));
    EXPECT_EQ(e.btnSend->text(), QStringLiteral("Send"));
    EXPECT_FALSE(e.btnSend->isEnabled());
    EXPECT_EQ(e.SelRow, -1);
    for (const char* name : {"pnl1", "pnl2", "rgChoise"}) {
        auto* w = e.findChild<QWidget*>(name);
        ASSERT_TRUE(w) << name;
        EXPECT_FALSE(w->isVisible()) << name;
        EXPECT_EQ(w->pos(), QPoint(250, 80)) << name << " shares the editors' place";
    }
    EXPECT_EQ(e.edtText->font().styleHint(), QFont::TypeWriter);
    EXPECT_FALSE(e.cbbSelect->isEditable());
}

TEST_F(ZyrCfgTest, EditorRowNamesInChinese)
{
    LocalPara.Language = 1;
    TfrmEdtZyrCfg& e = openEditor();
    const char* names[] = {"公司名称",     "UPS型号",  "内部通讯方式",     "远程控制",
                           "额定功率模式", "模块类型", "模块状态确认计数", "电池数据的计算者为"};
    ASSERT_EQ(e.lstSelct->count(), 8);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(e.lstSelct->item(i)->text(), QString::fromUtf8(names[i]));
    EXPECT_EQ(e.btnSend->text(), QStringLiteral("设置"));
    EXPECT_EQ(e.windowTitle(), QStringLiteral("Edit ZYR Config")) << "not translated";
    chooseRow(TfrmEdtZyrCfg::RowRemote);
    EXPECT_EQ(e.rgChoise->item(0)->text(), QStringLiteral("使能"));
    EXPECT_EQ(e.rgChoise->item(1)->text(), QStringLiteral("禁止"));
}

TEST_F(ZyrCfgTest, NoRowOrARowBeyondTheListShowsNoEditor)
{
    TfrmEdtZyrCfg& e = openEditor();
    chooseRow(3);
    EXPECT_TRUE(e.btnSend->isEnabled());
    chooseRow(-1);
    e.lstSelctClick();
    EXPECT_EQ(e.SelRow, -1);
    EXPECT_FALSE(e.btnSend->isEnabled());
    EXPECT_FALSE(e.rgChoise->isVisible());
    e.btnSendClick();
    EXPECT_EQ(TestSlots()[1].Pending, 0) << "Send without a row queues nothing";
}

struct RowCase {
    const char* name;
    int row;
    int byteAt;
    uint8_t byte;       // CfgRx[byteAt] when the editor opens
    const char* editor; // the editor shown
    QStringList items;  // list or switch items
    int initial;        // item selected at first (-1 none)
    int choose;         // item the operator picks (-2: leave as it is)
    SlotSeen slot1;
};

class EditorRow : public ZyrCfgTest, public ::testing::WithParamInterface<RowCase> {};

TEST_P(EditorRow, OpensWithTheCabinetsValueAndSendsTheChoice)
{
    const RowCase& c = GetParam();
    Cabinet().CfgRx[c.byteAt] = c.byte;
    TfrmEdtZyrCfg& e = openEditor();
    chooseRow(c.row);
    EXPECT_EQ(e.SelRow, c.row);
    EXPECT_TRUE(e.btnSend->isEnabled());
    const bool isList = QLatin1String(c.editor) == QLatin1String("pnl2");
    for (const char* name : {"pnl1", "pnl2", "rgChoise"})
        EXPECT_EQ(e.findChild<QWidget*>(name)->isVisible(), QLatin1String(name) == QLatin1String(c.editor))
            << name;
    if (isList) {
        QStringList items;
        for (int i = 0; i < e.cbbSelect->count(); ++i) items << e.cbbSelect->itemText(i);
        EXPECT_EQ(items, c.items);
        EXPECT_EQ(e.cbbSelect->currentIndex(), c.initial);
        if (c.choose != -2) e.cbbSelect->setCurrentIndex(c.choose);
    } else {
        EXPECT_EQ(e.rgChoise->item(0)->text(), c.items.value(0));
        EXPECT_EQ(e.rgChoise->item(1)->text(), c.items.value(1));
        EXPECT_EQ(e.rgChoise->ItemIndex(), c.initial);
        if (c.choose != -2) e.rgChoise->item(c.choose)->click();
    }
    DialogScript script;
    e.btnSendClick();
    if (c.slot1.pending == 0) {
        // Nothing chosen: nothing nobody chose is written.
        EXPECT_EQ(TestSlots()[1].Pending, 0);
        EXPECT_EQ(TestSlots()[2].Pending, 0);
        EXPECT_EQ(script.messageTexts(),
                  QStringList{QStringLiteral("[%1] value is invalid").arg(e.lstSelct->item(c.row)->text())});
        return;
    }
    EXPECT_TRUE(script.messages.empty());
    EXPECT_EQ(slot(1), c.slot1);
    EXPECT_EQ(TestSlots()[1].Addr, 7);
    EXPECT_EQ(slot(2), (SlotSeen{255, 3, 51201, 10, 0})) << "read-back";
    EXPECT_EQ(TestSlots()[2].Addr, 7);
}

const QStringList Broad{"Type0 (25)", "Type1 (27)", "Type2 (28)", "Type3 (29)", "None (0)"};
const QStringList Types{"ZYR", "QOL", "WEN"};
const QStringList Remote{"Enable", "Disable"};
const QStringList Rating{"Setting", "Effective"};
const QStringList Confirm{"0", "1"};
const QStringList BattBy{"Module", "Monitor"};
constexpr int Keep = -2;

INSTANTIATE_TEST_SUITE_P(
    Rows, EditorRow,
    ::testing::Values(
        RowCase{"BroadCastType1ToType3", 2, 35, 27, "pnl2", Broad, 1, 3, {255, 6, 51201, 1, 29}},
        RowCase{"BroadCastNoneToType0", 2, 35, 0, "pnl2", Broad, 4, 0, {255, 6, 51201, 1, 25}},
        RowCase{"BroadCastUnknownUnchosenIsRefused", 2, 35, 26, "pnl2", Broad, -1, Keep, {0, 0, 0, 0, 0}},
        RowCase{"BroadCastType2Kept", 2, 35, 28, "pnl2", Broad, 2, Keep, {255, 6, 51201, 1, 28}},
        RowCase{"RemoteEnabledToDisable", 3, 36, 255, "rgChoise", Remote, 0, 1, {255, 6, 51202, 1, 0}},
        RowCase{"RemoteDisabledToEnable", 3, 36, 0, "rgChoise", Remote, 1, 0, {255, 6, 51202, 1, 1}},
        RowCase{"RatingEffectiveToSetting", 4, 37, 1, "rgChoise", Rating, 1, 0, {255, 6, 51203, 1, 0}},
        RowCase{"RatingOtherOpensEffective", 4, 37, 9, "rgChoise", Rating, 1, Keep, {255, 6, 51203, 1, 1}},
        RowCase{"RatingSettingToEffective", 4, 37, 0, "rgChoise", Rating, 0, 1, {255, 6, 51203, 1, 1}},
        RowCase{"ModuleTypeWenKept", 5, 38, 2, "pnl2", Types, 2, Keep, {255, 6, 51204, 1, 2}},
        RowCase{"ModuleTypeToQol", 5, 38, 0, "pnl2", Types, 0, 1, {255, 6, 51204, 1, 1}},
        RowCase{"ModuleTypeUnknownUnchosenIsRefused", 5, 38, 5, "pnl2", Types, -1, Keep, {0, 0, 0, 0, 0}},
        RowCase{"ConfirmOneToZero", 6, 39, 1, "pnl2", Confirm, 1, 0, {255, 6, 51207, 1, 0}},
        RowCase{"ConfirmZeroToOne", 6, 39, 0, "pnl2", Confirm, 0, 1, {255, 6, 51207, 1, 1}},
        RowCase{"ConfirmUnchosenIsRefused", 6, 39, 7, "pnl2", Confirm, -1, Keep, {0, 0, 0, 0, 0}},
        RowCase{"BatteryMonitorToModule", 7, 40, 1, "pnl2", BattBy, 1, 0, {255, 6, 51208, 1, 0}},
        RowCase{"BatteryModuleToMonitor", 7, 40, 0, "pnl2", BattBy, 0, 1, {255, 6, 51208, 1, 1}},
        RowCase{"BatteryUnchosenIsRefused", 7, 40, 4, "pnl2", BattBy, -1, Keep, {0, 0, 0, 0, 0}}),
    [](const ::testing::TestParamInfo<RowCase>& info) { return std::string(info.param.name); });

struct MasterCase {
    const char* name;
    const char* accepted;
    uint8_t reported;
    QStringList items;
    int initial;
    uint16_t sent;
};

class MasterCode : public ZyrCfgTest, public ::testing::WithParamInterface<MasterCase> {};

TEST_P(MasterCode, DecidesTheModuleTypesOffered)
{
    const MasterCase& c = GetParam();
    AcceptedPsw = QString::fromLatin1(c.accepted);
    Cabinet().CfgRx[38] = c.reported;
    TfrmEdtZyrCfg& e = openEditor();
    chooseRow(TfrmEdtZyrCfg::RowMdType);
    QStringList items;
    for (int i = 0; i < e.cbbSelect->count(); ++i) items << e.cbbSelect->itemText(i);
    EXPECT_EQ(items, c.items);
    EXPECT_EQ(e.cbbSelect->currentIndex(), c.initial);
    DialogScript script;
    e.btnSendClick();
    if (c.initial < 0)
        EXPECT_EQ(TestSlots()[1].Pending, 0) << "no choice, no write";
    else
        EXPECT_EQ(slot(1), (SlotSeen{255, 6, 51204, 1, c.sent}));
}

INSTANTIATE_TEST_SUITE_P(
    Codes, MasterCode,
    ::testing::Values(MasterCase{"MasterReporting2ShowsNothing", "QDN4172", 2, {"ZYR", "QOL"}, -1, 65535},
                      MasterCase{"MasterReporting1", "QDN4172", 1, {"ZYR", "QOL"}, 1, 1},
                      MasterCase{"OperatorPassword", "tulip", 2, {"ZYR", "QOL", "WEN"}, 2, 2},
                      MasterCase{"MasterCodeIsCaseSensitive", "qdn4172", 2, {"ZYR", "QOL", "WEN"}, 2, 2},
                      MasterCase{"NothingAccepted", "", 0, {"ZYR", "QOL", "WEN"}, 0, 0}),
    [](const ::testing::TestParamInfo<MasterCase>& info) { return std::string(info.param.name); });

struct TextCase {
    const char* name;
    int row;
    const char* typed; // UTF-8
    const char* field; // the bytes the field holds afterwards (Latin-1)
    SlotSeen slot1;
};

class EditorText : public ZyrCfgTest, public ::testing::WithParamInterface<TextCase> {};

TEST_P(EditorText, WritesOneBytePerRegisterPaddedWithSpaces)
{
    const TextCase& c = GetParam();
    std::memcpy(Cabinet().CfgRx, "OLD COMPANY\0\0\0\0", 15);
    std::memcpy(Cabinet().CfgRx + 15, "OLDMODEL\0\0", 10);
    TfrmEdtZyrCfg& e = openEditor();
    chooseRow(c.row);
    EXPECT_TRUE(e.pnl1->isVisible());
    EXPECT_FALSE(e.pnl2->isVisible());
    EXPECT_EQ(e.edtText->text(), c.row == 0 ? QStringLiteral("OLD COMPANY") : QStringLiteral("OLDMODEL"));
    EXPECT_EQ(e.edtText->maxLength(), c.row == 0 ? 15 : 10);
    e.edtText->setText(QString::fromUtf8(c.typed));
    e.btnSendClick();

    const int at = c.row == 0 ? 0 : 15;
    const int width = c.row == 0 ? 15 : 10;
    EXPECT_EQ(bytesText(CfgEdit + at, width), QString::fromLatin1(c.field));
    // The other text stays as the window was opened with it.
    if (c.row == 0)
        EXPECT_EQ(bytesText(CfgEdit + 15, 10), QString::fromLatin1("OLDMODEL\0\0", 10));
    else
        EXPECT_EQ(bytesText(CfgEdit, 15), QString::fromLatin1("OLD COMPANY\0\0\0\0", 15));
    EXPECT_EQ(slot(1), c.slot1);
    EXPECT_EQ(slot(2), (SlotSeen{255, 16, 53000, 30, 0})) << "the whole text area written again";
    // What the function-16 frames carry, register by register.
    for (int i = 0; i < width; ++i)
        EXPECT_EQ(WriteValue((c.row == 0 ? 53000 : 53020) + i), static_cast<uint8_t>(c.field[i])) << i;
    for (int r = 53015; r <= 53019; ++r) EXPECT_EQ(WriteValue(r), 0) << r;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, EditorText,
    ::testing::Values(
        TextCase{"ThreeCharactersThenTwelveSpaces", 0, "ABC", "ABC            ", {255, 16, 53000, 15, 0}},
        TextCase{"FullCompany", 0, "ABCDEFGHIJKLMNO", "ABCDEFGHIJKLMNO", {255, 16, 53000, 15, 0}},
        TextCase{"LongerCompanyIsCut", 0, "ABCDEFGHIJKLMNOPQRST", "ABCDEFGHIJKLMNO", {255, 16, 53000, 15, 0}},
        TextCase{"EmptyCompanyIsSpaces", 0, "", "               ", {255, 16, 53000, 15, 0}},
        TextCase{"Latin1Kept", 0, "Zürich AG", "Z\xFCrich AG      ", {255, 16, 53000, 15, 0}},
        TextCase{"ChineseBecomesQuestionMarks", 0, "北京UPS", "??UPS          ", {255, 16, 53000, 15, 0}},
        TextCase{"OneMarkForACharacterBeyondTheBasicPlane",
                 0,
                 "A\xF0\x9F\x98\x80"
                 "B",
                 "A?B            ",
                 {255, 16, 53000, 15, 0}},
        TextCase{"ModelPadded", 1, "ZX-1", "ZX-1      ", {255, 16, 53020, 10, 0}},
        TextCase{"LongerModelIsCut", 1, "ZYR33-200K-PLUS", "ZYR33-200K", {255, 16, 53020, 10, 0}},
        TextCase{"ModelWithEuroSign", 1, "€100", "?100      ", {255, 16, 53020, 10, 0}}),
    [](const ::testing::TestParamInfo<TextCase>& info) { return std::string(info.param.name); });

struct BusyCase {
    const char* name;
    int row;
    bool slot1Busy;
    bool slot2Busy;
};

class EditorBusy : public ZyrCfgTest, public ::testing::WithParamInterface<BusyCase> {};

TEST_P(EditorBusy, QueuesNothingWhileEitherSlotIsBusy)
{
    const BusyCase& c = GetParam();
    const TReqSlot other1{255, 3, 4, 30001, 44, 0, 0};
    const TReqSlot other2{255, 3, 3, 53000, 40, 0, 0};
    // Both are part of another write (its read-backs), so neither can make way.
    if (c.slot1Busy) {
        TestSlots()[1] = other1;
        TestSlots()[1].Group = 99;
    }
    if (c.slot2Busy) {
        TestSlots()[2] = other2;
        TestSlots()[2].Group = 99;
    }
    DialogScript script;
    TfrmEdtZyrCfg& e = openEditor();
    uint8_t before[CfgSize];
    std::memcpy(before, CfgEdit, CfgSize);
    chooseRow(c.row);
    if (c.row <= 1) e.edtText->setText(QStringLiteral("NEW"));
    e.btnSendClick();
    EXPECT_EQ(script.messageTexts(), QStringList{"Link busy, please try again"});
    if (c.slot1Busy)
        EXPECT_EQ(slot(1), (SlotSeen{255, 4, 30001, 44, 0})) << "slot 1 untouched";
    else
        EXPECT_EQ(TestSlots()[1].Pending, 0) << "no first half without the second";
    if (c.slot2Busy)
        EXPECT_EQ(slot(2), (SlotSeen{255, 3, 53000, 40, 0})) << "slot 2 untouched";
    else
        EXPECT_EQ(TestSlots()[2].Pending, 0);
    EXPECT_EQ(std::memcmp(CfgEdit, before, CfgSize), 0) << "the edit copy is kept as it was";
    if (c.row <= 1) EXPECT_EQ(e.edtText->text(), "NEW") << "the entry stays for another try";
}

INSTANTIATE_TEST_SUITE_P(Slots, EditorBusy,
                         ::testing::Values(BusyCase{"CompanySlot1Busy", 0, true, false},
                                           BusyCase{"ModelBothBusy", 1, true, true},
                                           BusyCase{"RemoteSlot1Busy", 3, true, false},
                                           BusyCase{"ConfirmSlot1Busy", 6, true, false},
                                           BusyCase{"RemoteSlot2Busy", 3, false, true},
                                           BusyCase{"CompanySlot2Busy", 0, false, true}),
                         [](const ::testing::TestParamInfo<BusyCase>& info) {
                             return std::string(info.param.name);
                         });

// Every component of the editor lies inside the window, in both languages, with any editor
// shown; ZYR_SCREENSHOT_DIR keeps the pictures for a person to look at.
TEST_F(ZyrCfgTest, EditorFitsItsWindowInBothLanguages)
{
    for (int language : {0, 1}) {
        LocalPara.Language = static_cast<uint8_t>(language);
        std::memcpy(Cabinet().CfgRx, "ZYR POWER CO.  ", 15);
        TfrmEdtZyrCfg& e = openEditor();
        for (int row : {0, 3, 5}) {
            chooseRow(row);
            for (QWidget* w : e.findChildren<QWidget*>()) {
                if (!w->isVisible() || w->parentWidget() != &e) continue;
                EXPECT_TRUE(e.rect().contains(w->geometry())) << qPrintable(w->objectName());
            }
            // Every row name can be read whole in the list.
            for (int i = 0; i < e.lstSelct->count(); ++i) {
                const QRect r = e.lstSelct->visualItemRect(e.lstSelct->item(i));
                EXPECT_LE(r.right(), e.lstSelct->viewport()->width()) << i;
            }
            const QImage picture = e.grab().toImage();
            EXPECT_EQ(picture.size(), e.size() * picture.devicePixelRatio());
            const QByteArray shots = qgetenv("ZYR_SCREENSHOT_DIR");
            if (!shots.isEmpty())
                picture.save(
                    QDir(QString::fromLocal8Bit(shots))
                        .filePath(QStringLiteral("frmEdtZyrCfg-%1-row%2.png").arg(language).arg(row)));
        }
        editor.reset();
    }
}

// ---------------------------------------------------------------------------------------
// End to end against the simulated cabinet.

class ZyrCfgEndToEnd : public ZyrCfgTest {
protected:
    void SetUp() override
    {
        ZyrCfgTest::SetUp();
        com->SetDevAddr(1); // the link addresses cabinet 1
    }
    void TearDown() override
    {
        driver.close();
        ZyrCfgTest::TearDown();
    }
    // Link ticks until the request in slot n has been taken and answered: one request is
    // outstanding at a time, so the first reply accepted after the slot was taken is its own.
    bool serve(int n)
    {
        if (!driver.tickUntil([n] { return TestSlots()[n].Pending == 0; }, 60)) return false;
        const int acks = TestCommDebug().AckCount;
        return driver.tickUntil([acks] { return TestCommDebug().AckCount > acks; }, 60);
    }
    simtest::SimProcess sim;
    simtest::LinkDriver driver;
};

TEST_F(ZyrCfgEndToEnd, CompanyNameWrittenReadBackAndShown)
{
    ASSERT_TRUE(sim.start({"--baud", "9600", "--no-pacing", "--no-drift"}));
    ASSERT_TRUE(driver.open(sim.link(), 9600));

    TfrmZyrCfg& v = makeView();
    v.show();
    // The view's first cycle reads the cabinet's texts and registers.
    for (int tick = 0; tick < 4; ++tick) {
        v.tmr1Timer();
        if (TestSlots()[1].Pending) ASSERT_TRUE(serve(1)) << "tick " << tick;
    }
    v.tmr1Timer();
    EXPECT_EQ(v.edtCompany->text(), QStringLiteral("ZYR POWER CO.  "));
    EXPECT_EQ(v.edtModel->text(), QStringLiteral("ZYR33-200K"));
    EXPECT_EQ(v.edtBroadNum->text(), QStringLiteral("Type0 (25)"));

    // Edit, behind the password, with the company name "ACME".
    DialogScript script;
    script.prompts.push_back({QStringLiteral("tulip"), TPromptAnswer::Ensure});
    script.otherModal = [](QDialog* d) {
        auto* e = qobject_cast<TfrmEdtZyrCfg*>(d);
        if (!e) return int(QDialog::Rejected);
        e->show();
        e->lstSelct->setCurrentRow(TfrmEdtZyrCfg::RowCompany);
        e->edtText->setText(QStringLiteral("ACME"));
        e->btnSend->click();
        e->hide();
        return int(QDialog::Accepted);
    };
    const int acksBefore = TestCommDebug().AckCount;
    v.btnEditClick();
    ASSERT_TRUE(script.messages.empty()) << qPrintable(script.messageTexts().join(QLatin1Char('|')));
    ASSERT_TRUE(serve(1)) << "the company name";
    ASSERT_TRUE(serve(2)) << "the whole text area";
    EXPECT_GE(TestCommDebug().AckCount, acksBefore + 2);

    // The view's next cycle reads the new name back and shows it.
    for (int tick = 0; tick < 12 && v.edtCompany->text() != QStringLiteral("ACME           "); ++tick) {
        v.tmr1Timer();
        if (TestSlots()[1].Pending) ASSERT_TRUE(serve(1)) << "tick " << tick;
    }
    EXPECT_EQ(v.edtCompany->text(), QStringLiteral("ACME           "));
    EXPECT_EQ(v.edtModel->text(), QStringLiteral("ZYR33-200K")) << "the model written again unchanged";

    // The cabinet itself holds the name, one character per register, and the model untouched.
    driver.close();
    simtest::RawPort port;
    ASSERT_TRUE(port.open(sim.link(), 9600));
    const std::vector<uint16_t> regs =
        simtest::registersOf(port.transact(simtest::readRequest(1, 3, 53000, 30), 5 + 60));
    ASSERT_EQ(regs.size(), 30u);
    const char company[] = "ACME           ";
    for (int i = 0; i < 15; ++i) EXPECT_EQ(regs[i], static_cast<uint8_t>(company[i])) << 53000 + i;
    for (int i = 15; i < 20; ++i) EXPECT_EQ(regs[i], 0) << 53000 + i;
    const char model[] = "ZYR33-200K";
    for (int i = 0; i < 10; ++i) EXPECT_EQ(regs[20 + i], static_cast<uint8_t>(model[i])) << 53020 + i;
}

TEST_F(ZyrCfgEndToEnd, RegisterRowWrittenAndReadBack)
{
    ASSERT_TRUE(sim.start({"--baud", "9600", "--no-pacing", "--no-drift"}));
    ASSERT_TRUE(driver.open(sim.link(), 9600));
    Cabinet().StoreRegister(Cabinet().UpsData[1], 51202,
                            1); // the cabinet enables remote control, as read from it
    TfrmEdtZyrCfg& e = openEditor();
    chooseRow(TfrmEdtZyrCfg::RowRemote);
    e.rgChoise->item(1)->click(); // Disable
    e.btnSendClick();
    ASSERT_TRUE(serve(1)) << "the write";
    ASSERT_TRUE(serve(2)) << "the read-back";
    EXPECT_EQ(Cabinet().CfgRx[36], 0) << "the read-back shows remote control disabled";
    EXPECT_EQ(Cabinet().RegMirror[51202], 0);
}

TEST(ZyrCfgProgram, ViewPicturesInBothLanguages)
{
    for (int language : {0, 1}) {
        const TProgramRun run = RunViewScreenshot(QStringLiteral("frmZyrCfg"), language, 6);
        ASSERT_TRUE(run.ended);
        EXPECT_EQ(run.exitCode, 0) << qPrintable(run.errors);
        EXPECT_FALSE(run.errors.contains(QStringLiteral("not shown"))) << qPrintable(run.errors);
        EXPECT_EQ(run.picture.size(), QSize(540, 428)) << "the picture is of the view, not the main window";
        const QByteArray shots = qgetenv("ZYR_SCREENSHOT_DIR");
        if (!shots.isEmpty())
            run.picture.save(QDir(QString::fromLocal8Bit(shots))
                                 .filePath(QStringLiteral("frmZyrCfg-%1.png").arg(language)));
    }
}

} // namespace

namespace {

// The view blanks the texts when it opens; an editor shown before the cabinet's texts came in
// would write those blanks over the text it does not edit.
TEST_F(ZyrCfgTest, TextsAreNotWrittenBeforeTheyWereRead)
{
    makeView();
    ASSERT_EQ(Cabinet().CfgTextRecvd, FlagOff) << "opening the view forgets the texts";
    DialogScript script;
    TfrmEdtZyrCfg& early = openEditor(false);
    chooseRow(0);
    early.edtText->setText(QStringLiteral("ACME"));
    early.btnSendClick();
    ASSERT_EQ(script.messages.size(), 1u);
    EXPECT_TRUE(script.messages[0].text.contains(QStringLiteral("not been read")))
        << qPrintable(script.messages[0].text);
    EXPECT_EQ(TestSlots()[1].Pending, 0);
    EXPECT_EQ(TestSlots()[2].Pending, 0);

    // Nor a register row: its choice would start from a value never read from this cabinet.
    chooseRow(3);
    early.btnSendClick();
    ASSERT_EQ(script.messages.size(), 2u);
    EXPECT_TRUE(script.messages[1].text.contains(QStringLiteral("configuration has not been read")))
        << qPrintable(script.messages[1].text);
    EXPECT_EQ(TestSlots()[1].Pending, 0);

    // Once a reply has carried the texts, a new editor writes them.
    for (int r = 53000; r <= 53029; ++r) Cabinet().StoreRegister(Cabinet().UpsData[1], r, 'A');
    EXPECT_EQ(Cabinet().CfgTextRecvd, FlagOn);
    TfrmEdtZyrCfg& later = openEditor(false);
    chooseRow(0);
    later.edtText->setText(QStringLiteral("ACME"));
    later.btnSendClick();
    EXPECT_EQ(script.messages.size(), 2u) << "no further message";
    EXPECT_EQ(TestSlots()[1].Pending, 255);
    EXPECT_EQ(TestSlots()[2].Func, 16);
    TestSlots()[1].Pending = TestSlots()[2].Pending = 0;

    // Once the cabinet's registers have come in, a register row is written.
    for (int r : {51201, 51202, 51203, 51204, 51207, 51208})
        Cabinet().StoreRegister(Cabinet().UpsData[2], r, 0);
    TfrmEdtZyrCfg& other = openEditor(false);
    chooseRow(3);
    other.btnSendClick();
    EXPECT_EQ(script.messages.size(), 3u) << "read from another cabinet: refused";
    EXPECT_EQ(TestSlots()[1].Pending, 0);
    for (int r : {51201, 51202, 51203, 51204, 51207, 51208}) Cabinet().StoreRegister(Cabinet().UpsData[7], r, 0);
    TfrmEdtZyrCfg& last = openEditor(false);
    chooseRow(3);
    last.btnSendClick();
    EXPECT_EQ(script.messages.size(), 3u);
    EXPECT_EQ(TestSlots()[1].Pending, 255);
    EXPECT_EQ(TestSlots()[1].StartReg, 51202);
    EXPECT_EQ(bytesText(CfgEdit + 15, 10), QStringLiteral("AAAAAAAAAA")) << "the model is written as read";
}

} // namespace
