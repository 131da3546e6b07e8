// End to end: the tool against the simulated cabinet on a pseudo-terminal; the status code
// viewer opened from the main window's "Detail" buttons spells out the words the cabinet and
// its module sent.
#include "app/UFrmMain.h"
#include "cli/uCmdLine.h"
#include "app/uStartup.h"
#include "comm/uFrmCom.h"
#include "diag/uInCode.h"
#include "model/uDataFunc.h"
#include "model/uLocalPara.h"
#include "simharness/SimHarness.h"
#include "support/DialogScript.h"
#include "support/TestSupport.h"
#include "ui/uStringGrid.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <set>

namespace {

using Rows = std::set<int>;

Rows marked(const QTableWidget* grid, const QString& mark)
{
    Rows rows;
    for (int r = 1; r < grid->rowCount(); ++r)
        if (CellText(grid, 1, r) == mark) rows.insert(r);
    return rows;
}

// What one viewer showed.
struct Seen {
    QString state;
    Rows status, alarm;
    QString cmmStaH, invStaH, invAlmH, sysState, sysAlarm;
    bool secondPage = false;
};

class StatusViewerEndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetAll();
        ASSERT_TRUE(dir_.isValid());
    }
    void TearDown() override
    {
        SetSettingsFolderOverride(QString());
        ResetAll();
    }
    QTemporaryDir dir_;
};

TEST_F(StatusViewerEndToEnd, TheViewerShowsTheSimulatorsStatusWords)
{
    // A cabinet in fault: rectifier and inverter on, mains present, one inverter alarm and
    // one system alarm.
    simtest::SimProcess sim;
    ASSERT_TRUE(sim.start({"--baud", "19200", "--no-drift", "--state", "11"}));

    TCmdLine options;
    QString error;
    ASSERT_TRUE(ParseCmdLine(
        {"zyrtool", "--settings-dir", dir_.path(), "--port", sim.link(), "--baud", "19200", "--connect"},
        options, error))
        << error.toStdString();
    DialogScript script;
    Seen seen;
    script.otherModal = [&](QDialog* d) {
        auto* v = qobject_cast<TfrmInCode*>(d);
        EXPECT_NE(v, nullptr);
        if (!v) return int(QDialog::Rejected);
        v->show();
        EXPECT_TRUE(QTest::qWaitForWindowActive(v));
        // The viewer's own 120 ms timer fills it once after the activation.
        EXPECT_TRUE(QTest::qWaitFor([&] { return !v->edtUpsRunMode->text().isEmpty(); }, 5000));
        seen = {v->edtUpsRunMode->text(),  marked(v->mtlcmgrd1, "On"), marked(v->mtlcmgrd2, "Alarm"),
                v->mdt_CMMStatusH->text(), v->mdt_INVStatusH->text(),  v->mdt_INVAlarmH->text(),
                v->mdt_SysState->text(),   v->mdt_SysAlarm->text(),    v->pgc1->isTabVisible(1)};
        v->close();
        return v->result();
    };
    TStartup startup(options);
    ASSERT_TRUE(startup.CreateWindows(error)) << error.toStdString();
    startup.Start();
    ASSERT_TRUE(FrmCom->PortOpen());
    TFrmMain* w = startup.Main();

    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return w->mdtInvAlmH->text() == "0004" && w->mdtSysAlm->text() == "0001"; }, 20000))
        << "the cabinet's status block did not arrive";
    w->btnZyrCode->click();
    EXPECT_EQ(seen.state, StateText(11));
    EXPECT_EQ(seen.cmmStaH, "4400");
    EXPECT_EQ(seen.invStaH, "0700");
    EXPECT_EQ(seen.invAlmH, "0004");
    EXPECT_EQ(seen.sysState, "8000");
    EXPECT_EQ(seen.sysAlarm, "0001");
    // CmmStaH 0x4400: rectifier on, mains supply mode; InvStaH 0x0700: inverter on, output by
    // inverter; InvAlmH bit 2.
    EXPECT_EQ(seen.status, (Rows{2, 6, 16, 17, 18}));
    EXPECT_EQ(seen.alarm, (Rows{40}));
    EXPECT_TRUE(seen.secondPage);

    // The module page asks for the shown module; its words come from the same cabinet.
    w->PageControl1->setCurrentWidget(w->TabSheet2);
    ASSERT_TRUE(QTest::qWaitFor([&] { return w->mdt_MdINVAlarmH->text() == "0004"; }, 30000))
        << "module 1 did not arrive";
    w->btnMdCode->click();
    EXPECT_EQ(seen.state, StateText(11));
    EXPECT_EQ(seen.status, (Rows{2, 6, 16, 17, 18}));
    EXPECT_EQ(seen.alarm, (Rows{40}));
    EXPECT_FALSE(seen.secondPage);
    EXPECT_EQ(seen.sysAlarm, "0000"); // a module record has no system words
    w->close();
}

} // namespace
