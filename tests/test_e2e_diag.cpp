// End to end against the simulated cabinet on a pseudo-terminal: the register viewer and the
// module receive-buffer viewer over the real link, and the built program opening each of
// them for a picture.
#include "comm/uCabinet.h"
#include "diag/uViewMdBuff.h"
#include "diag/uViewMdb.h"
#include "model/UShareData.h"
#include "model/uUpsInfo.h"
#include "simharness/LinkDriver.h"
#include "simharness/SimHarness.h"
#include "support/ProgramRun.h"
#include "support/TestSupport.h"
#include "ui/uStringGrid.h"
#include "ui/uWidgets.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTableWidget>
#include <QTest>

#include <gtest/gtest.h>

namespace {

using simtest::Bytes;

constexpr int Baud = 19200;

// The request frame as the cabinet's log shows it: its bytes without the CRC.
QString logged(const Bytes& request) { return HexLine(request.data(), static_cast<int>(request.size()) - 2); }

int timesLogged(const simtest::SimProcess& sim, const QString& direction, const QString& frame)
{
    int n = 0;
    for (const QString& line : sim.logLines())
        if (line.contains(QLatin1Char(' ') + direction + QLatin1Char(' ') + frame)) ++n;
    return n;
}

class DiagEndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetAll();
        ASSERT_TRUE(sim_.start({"--baud", QString::number(Baud), "--no-drift"}));
    }
    void TearDown() override
    {
        link_.close();
        ResetAll();
    }
    // The cabinet's own answer, asked on the line before the tool opens it.
    Bytes ask(const Bytes& request, size_t length)
    {
        simtest::RawPort port;
        if (!port.open(sim_.link(), Baud)) return {};
        return port.transact(request, length);
    }
    void openLink() { ASSERT_TRUE(link_.open(sim_.link(), Baud)); }

    simtest::SimProcess sim_;
    simtest::LinkDriver link_;
};

TEST_F(DiagEndToEnd, TheRegisterViewerShowsTheCabinetsRegistersAfterTwoTicks)
{
    const Bytes reply = ask(simtest::readRequest(1, 3, 40001, 10), 25);
    ASSERT_TRUE(simtest::RefCrc::valid(reply));
    const std::vector<uint16_t> expected = simtest::registersOf(reply);
    ASSERT_EQ(expected.size(), 10u);
    openLink();

    TfrmMdbView view;
    view.tmr1->stop();
    view.tmr1Timer(); // first tick: the mirror holds nothing yet; the read is queued
    for (int row = 1; row <= 10; ++row) EXPECT_EQ(CellText(view.strGrdData, 1, row), "0");
    // The link serves the slot before its own poll: the first reply is the viewer's.
    ASSERT_TRUE(link_.tickUntil([] { return TestCommDebug().AckCount >= 1; }, 60));
    EXPECT_EQ(TestSlots()[3].Counter, 1);
    view.tmr1Timer(); // second tick: what came back
    for (int row = 1; row <= 10; ++row) {
        EXPECT_EQ(CellText(view.strGrdData, 0, row), QString::number(40000 + row));
        EXPECT_EQ(CellText(view.strGrdData, 1, row), QString::number(expected[row - 1])) << 40000 + row;
    }
    EXPECT_NE(expected[2], 0) << "the module count, so the values cannot all be zeros";
    EXPECT_EQ(timesLogged(sim_, "RX", logged(simtest::readRequest(1, 3, 40001, 10))), 2)
        << "the test's own read and the viewer's";
}

TEST_F(DiagEndToEnd, ACountOneReplyCannotCarryIsSentAsTypedAndCountsAsAnError)
{
    openLink();
    TfrmMdbView view;
    view.tmr1->stop();
    view.OutIntNum->setText("200");
    view.tmr1Timer();
    ASSERT_EQ(TestSlots()[3].Count, 200);
    const QString exception = logged(simtest::withCrc({1, 0x83, 0x03}));
    // Three attempts, each refused by the cabinet, then the request is dropped.
    ASSERT_TRUE(link_.tickUntil(
        [&] { return timesLogged(sim_, "TX", exception) >= 3 && !TestLinkState().ReqOutstanding; }, 60));
    EXPECT_EQ(timesLogged(sim_, "RX", logged(simtest::readRequest(1, 3, 40001, 200))), 3);
    EXPECT_EQ(TestCommDebug().AckCount, 0);
    EXPECT_GE(TestCommDebug().TxCount, 3);
    EXPECT_EQ(Cabinet().RegMirror[40003], 0) << "nothing was stored";
    view.tmr1Timer();
    EXPECT_EQ(CellText(view.strGrdData, 1, 3), "0");
    EXPECT_EQ(TestSlots()[3].Count, 200) << "the viewer goes on asking as typed";
}

TEST_F(DiagEndToEnd, ChoosingModuleThreeMakesTheCabinetReportItsBuffer)
{
    // The buffer of module 3 as the cabinet reports it, then module 1 again.
    ASSERT_TRUE(simtest::RefCrc::valid(ask(simtest::writeSingleRequest(1, 54101, 3), 8)));
    const Bytes reply = ask(simtest::readRequest(1, 3, 54000, 103), 5 + 206);
    ASSERT_TRUE(simtest::RefCrc::valid(ask(simtest::writeSingleRequest(1, 54101, 1), 8)));
    ASSERT_TRUE(simtest::RefCrc::valid(reply));
    const std::vector<uint16_t> words = simtest::registersOf(reply);
    ASSERT_EQ(words.size(), 103u);
    ASSERT_EQ(words[101], 3);
    const int length = words[102];
    ASSERT_GT(length, 100) << "the simulator's module 3 has more than is reported";
    ASSERT_EQ(simtest::registersOf(ask(simtest::readRequest(1, 3, 54101, 1), 7)), std::vector<uint16_t>{1});

    openLink();
    TfrmViewMdbuff view;
    view.tmr1->stop();
    view.show();
    view.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&view));
    view.cbbMdID->setCurrentIndex(2);
    view.cbbMdIDChange();
    ASSERT_TRUE(link_.tickUntil([] { return TestCommDebug().AckCount >= 2; }, 80)); // the write, then the read
    EXPECT_EQ(Cabinet().MdRxModule, 3) << "the cabinet reports module 3";
    view.tmr1Timer();
    EXPECT_EQ(view.edtRxLen->text(), QString::number(length));
    EXPECT_EQ(view.lbCount->text(), "1");
    EXPECT_EQ(view.mmo1->toPlainText(), RxBufferLine(words.data(), length) + "\n...");
    EXPECT_EQ(TestSlots()[1].Pending, FlagOff) << "the cabinet reports the module chosen: no new selection";
    EXPECT_EQ(TestSlots()[2].Pending, FlagOn);
    EXPECT_EQ(timesLogged(sim_, "RX", logged(simtest::writeSingleRequest(1, 54101, 3))), 2)
        << "the test's own write and the viewer's";
    link_.close();
    EXPECT_EQ(simtest::registersOf(ask(simtest::readRequest(1, 3, 54101, 1), 7)), std::vector<uint16_t>{3});
}

TEST_F(DiagEndToEnd, TheSimulatedCabinetKeepsABufferPerModule)
{
    struct Case {
        uint16_t module;
        int length;
    } cases[] = {{1, 64}, {3, 110}, {5, 6}, {0, 0}, {33, 0}};
    std::vector<uint16_t> previous;
    for (const Case& c : cases) {
        ASSERT_TRUE(simtest::RefCrc::valid(ask(simtest::writeSingleRequest(1, 54101, c.module), 8)));
        const std::vector<uint16_t> words =
            simtest::registersOf(ask(simtest::readRequest(1, 4, 54000, 103), 211));
        ASSERT_EQ(words.size(), 103u) << c.module;
        EXPECT_EQ(words[101], c.module);
        EXPECT_EQ(words[102], c.length) << c.module;
        for (int i = 0; i < 100; ++i) {
            if (i >= c.length) EXPECT_EQ(words[i], 0) << c.module << " entry " << i;
        }
        if (c.length > 0) EXPECT_EQ(words[0], c.module) << "a frame from the module begins with its address";
        EXPECT_NE(words, previous) << "each module has a buffer of its own";
        previous = words;
    }
}

// The built program opens each window by its name; all three have fixed English captions, so
// the Chinese setting changes nothing in them.
struct ViewShot {
    const char* window;
    int language;
    QSize size;
};

class DiagViewPicture : public ::testing::TestWithParam<ViewShot> {};

TEST_P(DiagViewPicture, OpensForAPicture)
{
    const ViewShot& s = GetParam();
    const TProgramRun run = RunViewScreenshot(QLatin1String(s.window), s.language, 5);
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(run.exitCode, 0) << run.errors.toStdString();
    EXPECT_FALSE(run.errors.contains(QLatin1String("no view is named"))) << run.errors.toStdString();
    EXPECT_FALSE(run.errors.contains(QLatin1String("is not shown"))) << run.errors.toStdString();
    EXPECT_EQ(run.picture.size(), s.size);
}

INSTANTIATE_TEST_SUITE_P(
    Windows, DiagViewPicture,
    ::testing::Values(ViewShot{"frmMdbView", 0, QSize(500, 460)}, ViewShot{"frmMdbView", 1, QSize(500, 460)},
                      ViewShot{"frmViewMdbuff", 0, QSize(560, 360)},
                      ViewShot{"frmViewMdbuff", 1, QSize(560, 360)}, ViewShot{"frmDict", 0, QSize(360, 300)}),
    [](const ::testing::TestParamInfo<ViewShot>& i) {
        return std::string(i.param.window) + (i.param.language == 1 ? "Chinese" : "English");
    });

} // namespace
