// The OPTION port view and its set window: the code tables, the view's read period and its
// activation rule, the set window's rows and lists, and what Send queues.
#include "comm/uCabinet.h"
#include "comm/uFrmCom.h"
#include "model/UShareData.h"
#include "model/uUpsInfo.h"
#include "settings/uMobusSet.h"
#include "settings/uModbusConfig.h"
#include "support/DialogScript.h"
#include "support/FakeTransport.h"
#include "support/TestSupport.h"
#include "ui/uGuard.h"

#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

class OptionPortTest : public ::testing::Test {
protected:
    void SetUp() override { ResetAll(); }
    void TearDown() override
    {
        com.reset();
        SetPswGraceCounter(nullptr);
        ResetAll();
    }

    // The set window writes only over an open port.
    void openLink()
    {
        com = std::make_unique<TFrmCom>();
        com->Timer1.stop();
        UseFakeLine(
            *com, [] { return true; }, [](const uint8_t*, int) { return true; });
    }
    std::unique_ptr<TFrmCom> com;

    // A view whose timer the test drives tick by tick.
    std::unique_ptr<TfrmMdbCfg> view()
    {
        auto v = std::make_unique<TfrmMdbCfg>();
        v->tmr1->stop();
        return v;
    }

    static bool slotHolds(int n, uint8_t func, int32_t reg, int32_t count, uint16_t value = 0)
    {
        const TReqSlot& s = TestSlots()[n];
        return s.Pending == FlagOn && s.Addr == 1 && s.Func == func && s.StartReg == reg &&
               (func == 6 ? s.Value == value : s.Count == count);
    }

    // The set window as FormShow leaves it, with a row chosen as the operator clicks it.
    static void chooseRow(TfrmMdbSet& w, int row) { w.lstSelct->setCurrentRow(row); }
};

// The codes' texts: the view writes a blank before the unit, the set window's items do not,
// and any code but 0 to 2 has no text and selects nothing.
struct CodeCase {
    int code;
    const char* viewBaud;
    const char* protocol;
    int item;
};

class OptionCodeTable : public OptionPortTest, public ::testing::WithParamInterface<CodeCase> {};

TEST_P(OptionCodeTable, ViewTextsAndSetWindowSelection)
{
    const CodeCase& c = GetParam();
    EXPECT_EQ(OptBaudText(c.code), QString::fromLatin1(c.viewBaud));
    EXPECT_EQ(OptProtocolText(c.code), QString::fromLatin1(c.protocol));

    auto v = view();
    Cabinet().OptBaud = c.code;
    Cabinet().OptProtocol = c.code;
    v->tmr1Timer();
    EXPECT_EQ(v->edtBaud->text(), QString::fromLatin1(c.viewBaud));
    EXPECT_EQ(v->edtProtocol->text(), QString::fromLatin1(c.protocol));

    TfrmMdbSet w;
    w.show();
    chooseRow(w, 0);
    EXPECT_EQ(w.cbbSelect->currentIndex(), c.item);
    EXPECT_EQ(w.cbbSelect->currentText(), c.item < 0 ? QString() : OptBaudItems().at(c.item));
    chooseRow(w, 1);
    EXPECT_EQ(w.cbbSelect->currentIndex(), c.item);
    EXPECT_EQ(w.cbbSelect->currentText(), QString::fromLatin1(c.protocol));
}

INSTANTIATE_TEST_SUITE_P(Codes, OptionCodeTable,
                         ::testing::Values(CodeCase{-1, "", "", -1},
                                           CodeCase{0, "2400 bps", "0: Battery Monitor", 0},
                                           CodeCase{1, "4800 bps", "1: Vemra Modbus", 1},
                                           CodeCase{2, "9600 bps", "2: Thermometer", 2},
                                           CodeCase{3, "", "", -1}, CodeCase{65535, "", "", -1}));

TEST_F(OptionPortTest, ItemsOfTheSetWindowHaveNoBlankBeforeTheUnit)
{
    EXPECT_EQ(OptBaudItems(), (QStringList{"2400bps", "4800bps", "9600bps"}));
    EXPECT_EQ(OptProtocolItems(), (QStringList{"0: Battery Monitor", "1: Vemra Modbus", "2: Thermometer"}));
}

TEST_F(OptionPortTest, CreatingTheViewMarksBothCodesUnread)
{
    Cabinet().OptBaud = 2;
    Cabinet().OptProtocol = 1;
    auto v = view();
    EXPECT_EQ(Cabinet().OptBaud, -1);
    EXPECT_EQ(Cabinet().OptProtocol, -1);
    EXPECT_TRUE(v->edtBaud->text().isEmpty());
    EXPECT_TRUE(v->edtProtocol->text().isEmpty());
    EXPECT_FALSE(v->pnl1->isEnabled()) << "the codes cannot be edited";
    EXPECT_EQ(v->edtBaud->parentWidget(), v->pnl1);
    EXPECT_EQ(v->edtProtocol->parentWidget(), v->pnl1);
    EXPECT_EQ(v->windowTitle(), "OPTION Port Config");
    EXPECT_EQ(v->tmr1->interval(), 1000);
}

TEST_F(OptionPortTest, CaptionsFollowTheLanguageButTheTitleStays)
{
    LocalPara.Language = 1;
    auto v = view();
    EXPECT_EQ(v->lblBaud->text(), QString::fromUtf8("波特率"));
    EXPECT_EQ(v->lblProtocol->text(), QString::fromUtf8("通讯协议"));
    EXPECT_EQ(v->btnSet->text(), QString::fromUtf8("设置"));
    EXPECT_EQ(v->windowTitle(), "OPTION Port Config");
    LocalPara.Language = 0;
    v->show(); // shown: captions again
    EXPECT_EQ(v->lblBaud->text(), "Baud Rate");
    EXPECT_EQ(v->lblProtocol->text(), "Protocol");
    EXPECT_EQ(v->btnSet->text(), "Setting");
}

TEST_F(OptionPortTest, ShownViewReadsAtOnceThenEveryEleventhTick)
{
    auto v = view();
    v->show();
    std::vector<int> readTicks;
    for (int tick = 1; tick <= 34; ++tick) {
        v->tmr1Timer();
        if (TestSlots()[1].Pending) {
            EXPECT_TRUE(slotHolds(1, 3, 51021, 10)) << "tick " << tick;
            readTicks.push_back(tick);
            TestSlots()[1].Pending = FlagOff; // the link took it
        }
    }
    EXPECT_EQ(readTicks, (std::vector<int>{1, 12, 23, 34}));
    for (int n = 2; n <= ReqSlotCount; ++n) EXPECT_EQ(TestSlots()[n].Pending, FlagOff) << "slot " << n;
}

TEST_F(OptionPortTest, ActivationMakesTheNextTickRead)
{
    auto v = view();
    v->show();
    v->tmr1Timer(); // reads; countdown 10
    TestSlots()[1].Pending = FlagOff;
    for (int i = 0; i < 4; ++i) v->tmr1Timer();
    ASSERT_EQ(TestSlots()[1].Pending, FlagOff);
    v->FormActivate();
    v->tmr1Timer();
    EXPECT_TRUE(slotHolds(1, 3, 51021, 10));
}

TEST_F(OptionPortTest, HiddenViewCountsButQueuesNothing)
{
    auto v = view();
    ASSERT_FALSE(v->isVisible());
    v->FormActivate();
    for (int tick = 1; tick <= 40; ++tick) {
        v->tmr1Timer();
        ASSERT_EQ(TestSlots()[1].Pending, FlagOff) << "tick " << tick;
    }
    // The countdown ran meanwhile: shown at a tick that is not a read tick, it waits.
    for (int n = 1; n <= ReqSlotCount; ++n) EXPECT_EQ(TestSlots()[n].Pending, FlagOff);
    EXPECT_GT(v->ReadCountdown, 0);
    // 40 ticks: reads due at 1, 12, 23, 34; the countdown now stands at 4.
    EXPECT_EQ(v->ReadCountdown, 4);
    v->show();
    v->tmr1Timer();
    EXPECT_EQ(TestSlots()[1].Pending, FlagOff);
}

TEST_F(OptionPortTest, BusySlotOneIsLeftAloneAndTheReadWaitsAPeriod)
{
    auto v = view();
    v->show();
    TestSlots()[1] = TReqSlot{FlagOn, 1, 6, 40017, 0, 3, 0};
    v->tmr1Timer();
    EXPECT_TRUE(slotHolds(1, 6, 40017, 0, 3)) << "another window's write stays as it was";
    EXPECT_EQ(v->ReadCountdown, 10);
}

TEST_F(OptionPortTest, TheViewTimerRunsFromCreation)
{
    TfrmMdbCfg v;
    EXPECT_TRUE(v.tmr1->isActive());
}

TEST_F(OptionPortTest, SetWindowOpensWithTwoRowsAndNothingChosen)
{
    for (int language : {0, 1}) {
        LocalPara.Language = static_cast<uint8_t>(language);
        TfrmMdbSet w;
        w.show();
        ASSERT_EQ(w.lstSelct->count(), 2);
        EXPECT_EQ(w.lstSelct->item(0)->text(), language ? QString::fromUtf8("波特率") : QString("Baud"));
        EXPECT_EQ(w.lstSelct->item(1)->text(), language ? QString::fromUtf8("协议") : QString("Protocol"));
        EXPECT_TRUE(w.lstSelct->selectedItems().isEmpty());
        EXPECT_FALSE(w.btnSend->isEnabled());
        EXPECT_EQ(w.btnSend->text(), "Send");
        EXPECT_EQ(w.cbbSelect->count(), 0);
        EXPECT_FALSE(w.cbbSelect->isEditable());
        EXPECT_EQ(w.windowTitle(), "OPTION Port Set");
        EXPECT_EQ(w.cbbSelect->parentWidget(), w.pnl2);
    }
}

TEST_F(OptionPortTest, RowsRefillTheListFromTheCopiesTakenWhenShown)
{
    Cabinet().OptBaud = 1;
    Cabinet().OptProtocol = 2;
    TfrmMdbSet w;
    w.show();
    EXPECT_EQ(OptBaudCopy, 1);
    EXPECT_EQ(OptProtocolCopy, 2);
    Cabinet().OptBaud = 0; // a read that lands while the window is open
    chooseRow(w, 0);
    EXPECT_TRUE(w.pnl2->isVisible());
    EXPECT_TRUE(w.btnSend->isEnabled());
    EXPECT_EQ(w.cbbSelect->count(), 3);
    EXPECT_EQ(w.cbbSelect->itemText(0), "2400bps");
    EXPECT_EQ(w.cbbSelect->currentIndex(), 1);
    chooseRow(w, 1);
    EXPECT_EQ(w.cbbSelect->count(), 3);
    EXPECT_EQ(w.cbbSelect->itemText(0), "0: Battery Monitor");
    EXPECT_EQ(w.cbbSelect->currentIndex(), 2);
    w.lstSelct->clearSelection();
    EXPECT_FALSE(w.pnl2->isVisible());
    EXPECT_FALSE(w.btnSend->isEnabled());
}

struct SendCase {
    int row;
    int item; // -1: none chosen
    int32_t reg;
    uint16_t code;
};

class OptionSend : public OptionPortTest, public ::testing::WithParamInterface<SendCase> {};

TEST_P(OptionSend, WritesTheCodeOfTheRowChosenLastAndReadsBack)
{
    const SendCase& c = GetParam();
    openLink();
    DialogScript script;
    TfrmMdbSet w;
    w.show();
    chooseRow(w, 1 - c.row); // the other row first
    w.cbbSelect->setCurrentIndex(1);
    chooseRow(w, c.row);
    w.cbbSelect->setCurrentIndex(c.item);
    w.btnSend->click();
    if (c.item < 0) {
        // Nothing chosen: no code nobody chose is written.
        EXPECT_EQ(TestSlots()[1].Pending, FlagOff);
        EXPECT_EQ(TestSlots()[2].Pending, FlagOff);
        EXPECT_EQ(script.messageTexts(),
                  QStringList{c.row == 0 ? "[Baud] value is invalid" : "[Protocol] value is invalid"});
    } else {
        EXPECT_TRUE(slotHolds(1, 6, c.reg, 0, c.code));
        EXPECT_TRUE(slotHolds(2, 3, 51021, 10));
        EXPECT_TRUE(script.messages.empty());
    }
    EXPECT_TRUE(w.isVisible()) << "the window stays open after Send";
}

INSTANTIATE_TEST_SUITE_P(Rows, OptionSend,
                         ::testing::Values(SendCase{0, 0, 51024, 0}, SendCase{0, 2, 51024, 2},
                                           SendCase{1, 1, 51029, 1}, SendCase{1, 2, 51029, 2},
                                           SendCase{0, -1, 51024, 0}, SendCase{1, -1, 51029, 0}));

TEST_F(OptionPortTest, NothingReadYetOpensUnselectedAndSendWritesNothing)
{
    openLink();
    auto v = view(); // OptBaud and OptProtocol -1
    DialogScript script;
    TfrmMdbSet w;
    w.show();
    chooseRow(w, 0);
    EXPECT_EQ(w.cbbSelect->currentIndex(), -1);
    w.btnSendClick();
    EXPECT_EQ(TestSlots()[1].Pending, FlagOff) << "code 0 is not written for nobody's choice";
    EXPECT_EQ(script.messageTexts(), QStringList{"[Baud] value is invalid"});
}

TEST_F(OptionPortTest, SendWithSlotOneBusyQueuesNothingAndSaysSo)
{
    openLink();
    DialogScript script;
    TfrmMdbSet w;
    w.show();
    chooseRow(w, 0);
    w.cbbSelect->setCurrentIndex(2);
    TReqSlot busy{FlagOn, 1, 3, 40001, 35, 0, 0};
    busy.Group = 99; // the read-back of another write: it cannot make way
    TestSlots()[1] = busy;
    w.btnSend->click();
    EXPECT_TRUE(slotHolds(1, 3, 40001, 35)) << "slot 1 untouched";
    EXPECT_EQ(TestSlots()[2].Pending, FlagOff) << "no read-back without the write";
    EXPECT_EQ(script.messageTexts(), QStringList{"Link busy, please try again"});
}

TEST_F(OptionPortTest, SendWithSlotTwoBusyWritesNothingUntilItIsFree)
{
    openLink();
    DialogScript script;
    TfrmMdbSet w;
    w.show();
    chooseRow(w, 1);
    w.cbbSelect->setCurrentIndex(1);
    TReqSlot readBack{FlagOn, 1, 3, 53000, 40, 0, 0};
    readBack.Group = 99; // the read-back of another write: it cannot make way
    TestSlots()[2] = readBack;
    w.btnSend->click();
    EXPECT_EQ(TestSlots()[1].Pending, FlagOff) << "no write without its read-back";
    EXPECT_TRUE(slotHolds(2, 3, 53000, 40)) << "the other read-back stays";
    EXPECT_EQ(script.messageTexts(), QStringList{"Link busy, please try again"});
    TestSlots()[2].Pending = FlagOff; // the link took the read
    w.btnSend->click();
    EXPECT_TRUE(slotHolds(1, 6, 51029, 0, 1)) << "pressing again works";
    EXPECT_TRUE(slotHolds(2, 3, 51021, 10));
}

TEST_F(OptionPortTest, SetButtonWithThePortClosedSaysSoAndOpensNothing)
{
    DialogScript script;
    int opened = 0;
    script.otherModal = [&opened](QDialog*) { return ++opened, QDialog::Rejected; };
    int32_t grace = 0;
    SetPswGraceCounter(&grace);
    auto v = view();
    v->btnSet->click();
    EXPECT_EQ(script.messageTexts(), QStringList{"COM Port is off !"});
    EXPECT_EQ(script.promptsShown, 0);
    EXPECT_EQ(opened, 0);
    EXPECT_EQ(grace, 0);
}

} // namespace
