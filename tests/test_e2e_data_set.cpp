// One parameter write from end to end: the tool against the simulated cabinet on a
// pseudo-terminal. The UPS parameters window's Set opens the data set window behind the
// password, "Boost Last Time(Min)" is set to 45, the cabinet's register 40025 takes it, the
// read-back of 40001.. arrives and the parameters window shows 45.
#include "app/UFrmMain.h"
#include "app/uStartup.h"
#include "cli/uCmdLine.h"
#include "comm/uCabinet.h"
#include "comm/uFrmCom.h"
#include "model/UShareData.h"
#include "model/uLocalPara.h"
#include "settings/uFrmDataSet.h"
#include "settings/uFrmUpsPara.h"
#include "simharness/SimHarness.h"
#include "support/DialogScript.h"
#include "support/TestSupport.h"
#include "ui/uGraceWindows.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace {

constexpr int ArriveMs = 30000; // generous: a shared machine under sanitizers

class EndToEndWrite : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetAll();
        ClearGraceWindowProbes();
        ASSERT_TRUE(dir.isValid());
    }
    void TearDown() override
    {
        SetSettingsFolderOverride(QString());
        ClearGraceWindowProbes();
        ResetAll();
    }
    QTemporaryDir dir;
};

// Frames of the simulator's log in one direction, as upper-case hexadecimal text.
QStringList framesLogged(const QStringList& lines, const QString& direction)
{
    QStringList frames;
    for (const QString& line : lines) {
        const QStringList parts = line.split(QLatin1Char(' '));
        if (parts.size() < 3 || parts[1] != direction) continue;
        QString hex = line.section(QLatin1Char(' '), 2);
        hex = hex.section(QStringLiteral(" #"), 0, 0).trimmed();
        frames << hex;
    }
    return frames;
}

// The same write at the defined pace and on a line-speed link (--fast).
class EndToEndWriteModes : public EndToEndWrite, public ::testing::WithParamInterface<bool> {};

TEST_P(EndToEndWriteModes, BoostLastTimeSetTo45ReachesTheCabinetAndComesBack)
{
    simtest::SimProcess sim;
    ASSERT_TRUE(sim.start({"--baud", "19200", "--no-drift"}));

    TCmdLine options;
    QString error;
    QStringList args{"zyrtool", "--settings-dir", dir.path(), "--port", sim.link(), "--baud", "19200", "--connect"};
    if (GetParam()) args << "--fast";
    ASSERT_TRUE(ParseCmdLine(args, options, error)) << error.toStdString();
    DialogScript script;
    TStartup startup(options);
    ASSERT_TRUE(startup.CreateWindows(error)) << error.toStdString();
    startup.Start();
    ASSERT_TRUE(FrmCom->PortOpen()) << script.messageTexts().join('|').toStdString();
    EXPECT_EQ(FrmCom->FastLine(), GetParam());
    TFrmMain* m = startup.Main();

    // The parameters window, from the menu, shows the cabinet's boost time once polled.
    m->mni2001->trigger();
    QPointer<TfrmUpsPara> para = m->frmUpsPara;
    ASSERT_FALSE(para.isNull());
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            para->Timer1Timer();
            return para->edtBoostLast->text() == "30" && para->edtVoltLevel->text() == "400";
        },
        ArriveMs))
        << "boost time " << para->edtBoostLast->text().toStdString();
    EXPECT_EQ(para->edtFreqLevel->text(), "50");
    EXPECT_EQ(para->edtEodV->text(), "1.75");
    EXPECT_EQ(para->edtBpsVMin->text(), "-20%");

    // Set: the password, then the data set window.
    script.prompts.push_back({QStringLiteral("tulip"), TPromptAnswer::Ensure});
    int dataSetRuns = 0;
    script.otherModal = [&](QDialog* d) {
        auto* ds = qobject_cast<TFrmDataSet*>(d);
        if (!ds) return int(QDialog::Rejected);
        ++dataSetRuns;
        const QList<QListWidgetItem*> rows =
            ds->lstUpsSet->findItems(QStringLiteral("Boost Last Time(Min)"), Qt::MatchExactly);
        EXPECT_EQ(rows.size(), 1);
        if (rows.isEmpty()) return int(QDialog::Rejected);
        rows.first()->setSelected(true);
        EXPECT_EQ(ds->Edit1->text(), "30") << "the current value";
        ds->Edit1->clear();
        QTest::keyClicks(ds->Edit1, QStringLiteral("45"));
        ds->btnSetTo->click();
        return int(QDialog::Accepted);
    };
    para->btnSetClick();
    ASSERT_EQ(dataSetRuns, 1);
    ASSERT_TRUE(script.messages.empty()) << script.messageTexts().join('|').toStdString();
    const int readBacksBefore = TestSlots()[3].Counter;

    // The link serves slots 1, 2 and 3 in turn; the read-back lands in the device record.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return !TestSlots()[1].Pending && !TestSlots()[2].Pending && !TestSlots()[3].Pending &&
                   TestSlots()[3].Counter > readBacksBefore && Cabinet().UpsData[1].Para40025 == 45;
        },
        ArriveMs))
        << "boost time in the record " << Cabinet().UpsData[1].Para40025;
    para->Timer1Timer();
    EXPECT_EQ(para->edtBoostLast->text(), "45");

    // On the wire, in this order: write enable, the write, the read-back and its reply with
    // 45 at 40025 (register 25 of the 34).
    const QStringList requests = framesLogged(sim.logLines(), QStringLiteral("RX"));
    const auto firstFrom = [&requests](int from, const char* head) {
        for (int i = std::max(from, 0); i < requests.size(); ++i)
            if (requests[i].startsWith(QLatin1String(head))) return i;
        return -1;
    };
    const int enable = firstFrom(0, "01 06 C3 4F 00 0A ");
    const int write = firstFrom(enable, "01 06 9C 58 00 2D ");
    const int readBack = firstFrom(write, "01 04 9C 40 00 22 ");
    EXPECT_GE(enable, 0) << requests.join('\n').toStdString();
    EXPECT_GT(write, enable);
    EXPECT_GT(readBack, write);
    bool replySeen = false;
    for (const QString& reply : framesLogged(sim.logLines(), QStringLiteral("TX"))) {
        const QByteArray bytes = QByteArray::fromHex(reply.toLatin1().replace(' ', ""));
        if (bytes.size() == 3 + 68 + 2 && bytes[1] == 4 && static_cast<uint8_t>(bytes[2]) == 68) {
            const int at = 3 + 2 * 24;
            replySeen = static_cast<uint8_t>(bytes[at]) == 0 && static_cast<uint8_t>(bytes[at + 1]) == 45;
        }
    }
    EXPECT_TRUE(replySeen) << "a function 4 reply of 34 registers carrying 45 for 40025";

    // The cabinet itself, asked by the test's own end of the line once the tool lets go.
    m->close();
    ASSERT_FALSE(FrmCom->PortOpen());
    simtest::RawPort port;
    ASSERT_TRUE(port.open(sim.link(), 19200));
    // The cabinet may still be answering the request the tool sent just before it let go.
    port.read(512, 300, 100);
    const simtest::Bytes reply = port.transact(simtest::readRequest(1, 3, 40025, 1), 7);
    ASSERT_EQ(reply.size(), 7u);
    ASSERT_TRUE(simtest::RefCrc::valid(reply));
    EXPECT_EQ(simtest::wordAt(reply, 3), 45);
}

INSTANTIATE_TEST_SUITE_P(Pace, EndToEndWriteModes, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "LineSpeed" : "Defined");
                         });

// A Set pressed while the main window's own periodic read waits in a slot the write needs
// (here the module scan in slot 2) is taken on the first press: the read makes way and is
// served after the write, and the cabinet holds the new value.
TEST_F(EndToEndWrite, TheFirstSetIsTakenWhileTheMainWindowsReadWaits)
{
    simtest::SimProcess sim;
    ASSERT_TRUE(sim.start({"--baud", "19200", "--no-drift"}));
    TCmdLine options;
    QString error;
    ASSERT_TRUE(ParseCmdLine({"zyrtool", "--settings-dir", dir.path(), "--port", sim.link(), "--baud", "19200",
                              "--connect"},
                             options, error))
        << error.toStdString();
    DialogScript script;
    TStartup startup(options);
    ASSERT_TRUE(startup.CreateWindows(error)) << error.toStdString();
    startup.Start();
    ASSERT_TRUE(FrmCom->PortOpen()) << script.messageTexts().join('|').toStdString();
    TFrmMain* m = startup.Main();
    m->chkMdSta->setChecked(true); // the module scan fills slot 2 every period
    ASSERT_TRUE(QTest::qWaitFor([] { return Cabinet().UpsData[1].Para40025 == 30; }, ArriveMs));

    TFrmDataSet ds;
    ds.show();
    const QList<QListWidgetItem*> rows =
        ds.lstUpsSet->findItems(QStringLiteral("Boost Last Time(Min)"), Qt::MatchExactly);
    ASSERT_EQ(rows.size(), 1);
    rows.first()->setSelected(true);
    ds.Edit1->setText(QStringLiteral("44"));
    // The moment the main window's read is waiting in slot 2.
    ASSERT_TRUE(QTest::qWaitFor(
        [] { return TestSlots()[2].Pending && TestSlots()[2].Func == 4 && TestSlots()[2].StartReg >= 30101; }, ArriveMs));
    const int movedBefore = TestSlots()[5].Counter;
    ds.btnSetTo->click();
    EXPECT_TRUE(script.messages.empty()) << script.messageTexts().join('|').toStdString();
    EXPECT_EQ(TestSlots()[2].StartReg, 40025);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Cabinet().UpsData[1].Para40025 == 44 && TestSlots()[5].Counter > movedBefore; },
                                ArriveMs))
        << "boost time in the record " << Cabinet().UpsData[1].Para40025;
    m->close();
}

} // namespace
