// End to end: the OPTION port set window and the register editor write to the simulated
// cabinet through the tool's own link, the windows show the values read back, and the
// cabinet, asked on its own line afterwards, holds them.
#include "comm/uCabinet.h"
#include "model/UShareData.h"
#include "model/uUpsInfo.h"
#include "settings/uEdtMdRegist.h"
#include "settings/uMobusSet.h"
#include "settings/uModbusConfig.h"
#include "settings/uRunTime.h"
#include "simharness/LinkDriver.h"
#include "simharness/SimHarness.h"
#include "support/DialogScript.h"
#include "support/TestSupport.h"
#include "ui/uGuard.h"

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

using namespace simtest;

namespace {

constexpr int Baud = 19200;

class OptionRunTimeEndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetAll();
        SetPswGraceCounter(&grace_);
    }
    void TearDown() override
    {
        SetPswGraceCounter(nullptr);
        ResetAll();
    }

    static bool slotsIdle()
    {
        for (int n = 1; n <= ReqSlotCount; ++n)
            if (TestSlots()[n].Pending) return false;
        return true;
    }

    // Ticks until the link has taken the request of a slot and the cabinet's reply to it has
    // been accepted. A slot is taken only when nothing is outstanding, so the next accepted
    // reply is that request's.
    static bool answered(LinkDriver& link, int slot, int32_t counterBefore)
    {
        if (!link.tickUntil([&] { return TestSlots()[slot].Counter > counterBefore; }, 120)) return false;
        const int32_t acks = TestCommDebug().AckCount;
        return link.tickUntil([acks] { return TestCommDebug().AckCount > acks; }, 120);
    }

    int32_t grace_ = 0;
};

TEST_F(OptionRunTimeEndToEnd, BaudCodeAndBatteryLimitReachTheCabinet)
{
    SimProcess sim;
    ASSERT_TRUE(sim.start({QStringLiteral("--baud"), QString::number(Baud), QStringLiteral("--no-drift")}));
    LinkDriver link;
    ASSERT_TRUE(link.open(sim.link(), Baud));
    DialogScript script;

    // The OPTION port view reads the block at once when shown and activated.
    TfrmMdbCfg view;
    view.tmr1->stop();
    view.show();
    view.FormActivate();
    view.tmr1Timer();
    ASSERT_TRUE(link.tickUntil([] { return Cabinet().OptBaud == 2 && Cabinet().OptProtocol == 1; }, 80));
    view.tmr1Timer();
    EXPECT_EQ(view.edtBaud->text(), "9600 bps");
    EXPECT_EQ(view.edtProtocol->text(), "1: Vemra Modbus");

    // Setting, behind the password: first 2400 bit/s, then back to 9600, each read back.
    script.prompts.push_back({QStringLiteral("tulip"), TPromptAnswer::Ensure});
    std::vector<int32_t> readBack;
    script.otherModal = [&](QDialog* d) {
        auto* set = qobject_cast<TfrmMdbSet*>(d);
        if (!set) return int(QDialog::Rejected);
        set->show();
        set->lstSelct->setCurrentRow(0);
        for (int item : {0, 2}) {
            set->cbbSelect->setCurrentIndex(item);
            // The view's own read, queued when it was activated, goes first.
            EXPECT_TRUE(link.tickUntil([] { return TestSlots()[1].Pending == FlagOff; }, 120));
            const int32_t readsBefore = TestSlots()[2].Counter;
            set->btnSend->click();
            EXPECT_EQ(TestSlots()[1].Func, 6);
            EXPECT_EQ(TestSlots()[2].StartReg, 51021);
            EXPECT_TRUE(answered(link, 2, readsBefore)) << "the read-back of code " << item;
            readBack.push_back(Cabinet().OptBaud);
        }
        return int(QDialog::Rejected);
    };
    view.btnSet->click();
    EXPECT_EQ(script.promptsShown, 1);
    EXPECT_EQ(readBack, (std::vector<int32_t>{0, 2}));
    view.tmr1Timer();
    EXPECT_EQ(view.edtBaud->text(), "9600 bps");

    // The runtime window reads 51051 to 51066 on its first tick.
    TfrmRunTime runtime;
    runtime.show();
    runtime.tmr1->stop();
    runtime.tmr1Timer();
    ASSERT_TRUE(
        link.tickUntil([] { return Cabinet().UpsData[1].BattTimeLimit == 26280 && slotsIdle(); }, 120));
    runtime.tmr1Timer();
    EXPECT_EQ(runtime.edtBattLimit->text(), "26280");
    EXPECT_EQ(runtime.edtBattRun->text(), "8760");
    EXPECT_EQ(runtime.edtLimit->text(), "50000");

    // The battery limit to 20000 through the register editor; the service code in any case.
    script.prompts.push_back({QStringLiteral("TuLiP"), TPromptAnswer::Ensure});
    bool sent = false;
    script.otherModal = [&](QDialog* d) {
        auto* editor = qobject_cast<TfrmEdtMdRegist*>(d);
        if (!editor) return int(QDialog::Rejected);
        editor->show();
        editor->lstSelct->setCurrentRow(0);
        EXPECT_EQ(editor->edtText->text(), "26280");
        editor->edtText->setText(QStringLiteral("20000"));
        EXPECT_TRUE(link.tickUntil([] { return TestSlots()[1].Pending == FlagOff; }, 120));
        const int32_t before = TestSlots()[1].Counter;
        editor->btnSend->click();
        EXPECT_EQ(TestSlots()[1].Func, 6);
        sent = answered(link, 1, before);
        EXPECT_TRUE(slotsIdle()) << "no read-back queued";
        return int(QDialog::Rejected);
    };
    runtime.btnSetBatt->click();
    EXPECT_TRUE(sent);
    EXPECT_EQ(Cabinet().UpsData[1].BattTimeLimit, 26280) << "no read-back after the write";
    // The window's next periodic read shows the new limit.
    for (int i = 0; i < 11; ++i) runtime.tmr1Timer();
    ASSERT_EQ(TestSlots()[1].StartReg, 51051);
    ASSERT_TRUE(link.tickUntil([] { return Cabinet().UpsData[1].BattTimeLimit == 20000; }, 120));
    runtime.tmr1Timer();
    EXPECT_EQ(runtime.edtBattLimit->text(), "20000");
    EXPECT_TRUE(script.messages.empty()) << script.messageTexts().join(' ').toStdString();

    // The cabinet itself, asked on its own line, holds both values.
    link.close();
    RawPort port;
    ASSERT_TRUE(port.open(sim.link(), Baud));
    const Bytes baud = port.transact(readRequest(1, 3, 51024, 1), 7);
    ASSERT_TRUE(RefCrc::valid(baud));
    EXPECT_EQ(registersOf(baud), std::vector<uint16_t>{2});
    const Bytes limit = port.transact(readRequest(1, 3, 51061, 1), 7);
    ASSERT_TRUE(RefCrc::valid(limit));
    EXPECT_EQ(registersOf(limit), std::vector<uint16_t>{20000});
}

} // namespace
