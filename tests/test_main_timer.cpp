// The main window's 100 ms tick driven tick by tick: the period work and the requests it
// queues, the refresh on an accepted reply, the wheel hold and the password grace rule.
#include "comm/uCabinet.h"
#include "test_main_fixture.h"

#include "comm/uFrmCom.h"
#include "support/FakeTransport.h"
#include "model/UShareData.h"

#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QWheelEvent>

#include <map>
#include <vector>

namespace {

struct Taken {
    int func;
    int startReg;
    int count;
};

// Runs periods until SecCount has gone round once (1..60, then 0) and records, per count, what
// the window queued in slots 2 to 4; the link takes each request before the next period.
std::map<int, std::map<int, Taken>> runOneMinute(MainWindowTest& t, TFrmMain& w,
                                                 const std::function<void()>& period)
{
    (void)t;
    std::map<int, std::map<int, Taken>> queued;
    for (int p = 0; p < 61; ++p) {
        period();
        for (int slot = 2; slot <= 4; ++slot) {
            if (TestSlots()[slot].Pending) {
                queued[w.SecCount][slot] = {TestSlots()[slot].Func, TestSlots()[slot].StartReg, TestSlots()[slot].Count};
                EXPECT_EQ(TestSlots()[slot].Addr, w.DevAddr);
                TestSlots()[slot].Pending = 0;
            }
        }
    }
    return queued;
}

TEST_F(MainWindowTest, PeriodWorkComesEveryEleventhTick)
{
    TFrmMain& w = window();
    for (int t = 1; t <= 10; ++t) {
        w.tmr1Timer();
        EXPECT_EQ(w.TickCount, t);
        EXPECT_EQ(w.SecCount, 0);
    }
    w.tmr1Timer();
    EXPECT_EQ(w.TickCount, 0);
    EXPECT_EQ(w.SecCount, 1);
}

TEST_F(MainWindowTest, SystemPageRequestsFollowTheSecondCount)
{
    TFrmMain& w = window();
    const auto queued = runOneMinute(*this, w, [this] { period(); });
    std::map<int, std::map<int, Taken>> expected;
    for (int s : {11, 22, 33, 44, 55, 0}) expected[s][2] = {3, 53000, 40};
    for (int s : {18, 36, 54, 0}) {
        expected[s][3] = {43, 2, 0};
        expected[s][4] = {43, 1, 0};
    }
    ASSERT_EQ(queued.size(), expected.size());
    for (const auto& [sec, slots] : expected) {
        ASSERT_EQ(queued.count(sec), 1u) << "SecCount " << sec;
        const auto& got = queued.at(sec);
        ASSERT_EQ(got.size(), slots.size()) << "SecCount " << sec;
        for (const auto& [slot, req] : slots) {
            EXPECT_EQ(got.at(slot).func, req.func) << "SecCount " << sec << " slot " << slot;
            EXPECT_EQ(got.at(slot).startReg, req.startReg) << "SecCount " << sec << " slot " << slot;
            if (req.func != 43) EXPECT_EQ(got.at(slot).count, req.count);
        }
    }
    EXPECT_EQ(w.SecCount, 0); // 60 wrapped to 0
}

TEST_F(MainWindowTest, SecondCountWrapsFromSixtyToZero)
{
    TFrmMain& w = window();
    w.SecCount = 59;
    period();
    EXPECT_EQ(w.SecCount, 60);
    period();
    EXPECT_EQ(w.SecCount, 0);
    period();
    EXPECT_EQ(w.SecCount, 1);
}

TEST_F(MainWindowTest, ModulePageRefreshWaitsForAPendingSlotTwo)
{
    TFrmMain& w = window();
    w.PageControl1->setCurrentWidget(w.TabSheet2);
    w.lstMd->setCurrentRow(5);
    ASSERT_EQ(TestSlots()[2].StartReg, 30101 + 50 * 5); // the choice itself asked for module 6
    TestSlots()[2].Pending = 0;
    const auto queued = runOneMinute(*this, w, [this] { period(); });
    for (int s = 0; s <= 60; ++s) {
        // At 0 and 55 the 53000 request of the same period holds slot 2: the module page
        // waits for its next turn rather than replace it.
        const bool block53000 = s % 11 == 0;
        const bool module = s % 5 == 0 && !block53000;
        auto it = queued.find(s);
        const bool slot2 = it != queued.end() && it->second.count(2);
        EXPECT_EQ(slot2, module || block53000) << "SecCount " << s;
        if (!slot2) continue;
        const Taken& r = it->second.at(2);
        if (module) {
            EXPECT_EQ(r.func, 4) << "SecCount " << s;
            EXPECT_EQ(r.startReg, 30101 + 50 * 5) << "SecCount " << s;
            EXPECT_EQ(r.count, 30);
        } else {
            EXPECT_EQ(r.func, 3) << "SecCount " << s;
            EXPECT_EQ(r.startReg, 53000);
        }
    }
}

// A mask or parameter write waits in slot 2 after its write-enable went out from slot 1: the
// module page's refresh must not put a read in its place.
TEST_F(MainWindowTest, ModulePageRefreshLeavesAPendingWriteAlone)
{
    TFrmMain& w = window();
    w.PageControl1->setCurrentWidget(w.TabSheet2);
    w.SecCount = 4;
    TestSlots()[2] = TReqSlot{FlagOn, 1, 6, 40082, 0, 0x8001, 0};
    period();
    EXPECT_EQ(TestSlots()[2].Pending, FlagOn);
    EXPECT_EQ(TestSlots()[2].Func, 6) << "the write is still there";
    EXPECT_EQ(TestSlots()[2].StartReg, 40082);
    EXPECT_EQ(TestSlots()[2].Value, 0x8001);

    TestSlots()[2].Pending = 0; // the link took the write
    w.SecCount = 9;
    period();
    EXPECT_EQ(TestSlots()[2].Func, 4) << "the refresh comes at its next turn";
    EXPECT_EQ(TestSlots()[2].StartReg, 30101);
}

TEST_F(MainWindowTest, PendingSlotsAreLeftAlone)
{
    TFrmMain& w = window();
    w.SecCount = 17;
    TestSlots()[3] = TReqSlot{FlagOn, 1, 3, 40001, 34, 0, 0};
    period(); // 18: slot 3 pending, slot 4 free
    EXPECT_EQ(TestSlots()[3].Func, 3);
    EXPECT_EQ(TestSlots()[3].StartReg, 40001);
    EXPECT_EQ(TestSlots()[4].Func, 43);
    EXPECT_EQ(TestSlots()[4].Pending, FlagOn);
    w.SecCount = 10;
    TestSlots()[2] = TReqSlot{FlagOn, 1, 6, 50000, 0, 10, 0};
    period(); // 11: slot 2 pending
    EXPECT_EQ(TestSlots()[2].Func, 6);
    EXPECT_EQ(TestSlots()[2].StartReg, 50000);
}

TEST_F(MainWindowTest, ModuleScanAsksForOneModulePerPeriodAndCycles)
{
    TFrmMain& w = window();
    w.chkMdSta->setChecked(true);
    w.SecCount = 1; // away from the 53000 counts
    std::vector<int> asked;
    for (int p = 0; p < 40; ++p) {
        period();
        if (TestSlots()[2].Pending && TestSlots()[2].Func == 4)
            asked.push_back((TestSlots()[2].StartReg - 30101) / 50 + 1);
        TestSlots()[2].Pending = 0;
        TestSlots()[3].Pending = TestSlots()[4].Pending = 0;
    }
    // Periods at SecCount 11, 22, 33 put the 53000 request first; the scan waits for them.
    ASSERT_GE(asked.size(), 32u);
    for (size_t i = 0; i < asked.size(); ++i) EXPECT_EQ(asked[i], static_cast<int>(i % 32) + 1) << i;

    // While slot 2 is pending the scan does not move on.
    const uint8_t idx = w.ModScanIdx;
    TestSlots()[2].Pending = FlagOn;
    period();
    EXPECT_EQ(w.ModScanIdx, idx);
}

TEST_F(MainWindowTest, AReplyTheLinkAcceptsIsShownOnTheWindowsNextTick)
{
    TFrmCom com;
    com.Timer1.stop();
    std::vector<std::vector<uint8_t>> sent;
    UseFakeLine(
        com, [] { return true; },
        [&sent](const uint8_t* b, int n) {
            sent.emplace_back(b, b + n);
            return true;
        });
    TFrmMain& w = window(); // follows the link of the run
    w.tmr1Timer();
    const QString before = CellText(w.sgrdUPS_AC, 1, 1);
    com.Timer1Timer(); // builds the first poll request
    com.Timer1Timer(); // sends it
    ASSERT_EQ(sent.size(), 1u);
    ASSERT_EQ(sent[0][1], 4);
    std::vector<uint8_t> reply{1, 4, 88};
    for (int i = 0; i < 44; ++i) {
        const uint16_t v = i == 0 ? 2314 : 0; // 30001: 231.4 V
        reply.push_back(uint8_t(v >> 8));
        reply.push_back(uint8_t(v));
    }
    reply = WithCrc(reply);
    com.Comm1ReceiveData(reply.data(), int(reply.size()));
    EXPECT_EQ(CellText(w.sgrdUPS_AC, 1, 1), before) << "the view is repainted at its own pace";
    EXPECT_TRUE(w.NeedsRepaint);
    w.tmr1Timer();
    EXPECT_EQ(CellText(w.sgrdUPS_AC, 1, 1), "231.4");
    EXPECT_FALSE(w.NeedsRepaint);
    EXPECT_EQ(TxLedHold, 2) << "lit by the frame sent, one tick gone";
    EXPECT_EQ(RxLedHold, 1) << "lit by the chunk received, one tick gone";
}

TEST_F(MainWindowTest, AcceptedReplyRefreshesTheViewOnTheNextTick)
{
    TFrmMain& w = window();
    Cabinet().UpsData[1].InVolt[0] = 231.4;
    w.tmr1Timer();
    EXPECT_NE(CellText(w.sgrdUPS_AC, 1, 1), "231.4"); // no reply accepted yet
    FrmCom->ReplyAccepted(TLinkRequest{}, nullptr, 0);
    w.tmr1Timer();
    EXPECT_EQ(CellText(w.sgrdUPS_AC, 1, 1), "231.4");
    EXPECT_FALSE(w.NeedsRepaint);
}

TEST_F(MainWindowTest, ModuleListRebuildsInAPeriodWhenMarked)
{
    TFrmMain& w = window();
    Cabinet().ModuleData[2].ModState = 4;
    w.chkMdSta->setChecked(true);
    w.ModListDirty = FlagOn;
    period();
    EXPECT_EQ(w.ModListDirty, 0);
    EXPECT_EQ(w.lstMd->item(1)->text(), "02  Online");
}

TEST_F(MainWindowTest, WheelOverTheFocusedListHoldsTheRebuildForOnePeriod)
{
    TFrmMain& w = window();
    w.show();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    w.PageControl1->setCurrentWidget(w.TabSheet2);
    w.lstMd->setFocus();
    ASSERT_TRUE(w.lstMd->hasFocus());

    QWheelEvent wheel(QPointF(5, 5), w.lstMd->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, -120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(w.lstMd->viewport(), &wheel);
    EXPECT_EQ(w.WheelHold, 1);

    w.chkMdSta->setChecked(true);
    w.ModListDirty = FlagOn;
    period();
    EXPECT_EQ(w.lblTest01->text(), "1");
    EXPECT_EQ(w.lstMd->item(0)->text(), "Module 01"); // not rebuilt yet
    EXPECT_EQ(w.ModListDirty, FlagOn);
    period();
    EXPECT_EQ(w.lblTest01->text(), "0");
    EXPECT_TRUE(w.lstMd->item(0)->text().startsWith("01  "));
    EXPECT_EQ(w.ModListDirty, 0);

    // The wheel over another widget holds nothing.
    w.chkMdSta->setFocus();
    QCoreApplication::sendEvent(w.lstMd->viewport(), &wheel);
    EXPECT_EQ(w.WheelHold, 0);
}

// Password grace: which open windows keep the counter.
struct GraceCase {
    std::vector<TGraceWindow> open;
    int after;
};

class GraceTest : public MainWindowTest, public ::testing::WithParamInterface<GraceCase> {};

TEST_P(GraceTest, OnePeriodOfTheGraceRule)
{
    const GraceCase& c = GetParam();
    for (TGraceWindow win : c.open) SetGraceWindowProbe(win, [] { return true; });
    TFrmMain& w = window();
    w.PswGraceCount = 60;
    period();
    EXPECT_EQ(w.PswGraceCount, c.after);
}

using W = TGraceWindow;
INSTANTIATE_TEST_SUITE_P(Windows, GraceTest,
                         ::testing::Values(GraceCase{{}, 0}, GraceCase{{W::UpsPara}, 59},
                                           GraceCase{{W::ZyrCfg}, 59}, GraceCase{{W::Mask}, 60},
                                           GraceCase{{W::UpsPara, W::DataSet}, 60},
                                           GraceCase{{W::ZyrCfg, W::EdtZyrCfg}, 60},
                                           GraceCase{{W::DataSet}, 0}, GraceCase{{W::EdtZyrCfg}, 0}));

TEST_F(MainWindowTest, GraceCountsDownWithTheParametersWindowOpen)
{
    bool open = true;
    SetGraceWindowProbe(TGraceWindow::UpsPara, [&open] { return open; });
    TFrmMain& w = window();
    w.PswGraceCount = 3;
    for (int expected : {2, 1, 0, 0}) {
        period();
        EXPECT_EQ(w.PswGraceCount, expected);
    }
    w.PswGraceCount = 5;
    open = false; // a window that exists but is hidden counts as closed
    period();
    EXPECT_EQ(w.PswGraceCount, 0);
}

} // namespace
