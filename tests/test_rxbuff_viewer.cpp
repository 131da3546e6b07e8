// The module receive-buffer viewer: the buffer line, "...", append, the module error rate,
// the module selection and the buffer read, pause and the active-window rule.
#include "comm/uCabinet.h"
#include "comm/uFrmCom.h"
#include "diag/uViewMdBuff.h"
#include "model/UShareData.h"
#include "model/uUpsInfo.h"
#include "support/DialogScript.h"
#include "support/FakeTransport.h"
#include "support/TestSupport.h"
#include "test_main_fixture.h"
#include "ui/uWidgets.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <memory>

namespace {

struct LineCase {
    std::vector<uint16_t> words;
    int length;
    const char* line;
};

TEST(RxBufferLine, EntriesInHexadecimalEachFollowedByABlank)
{
    const LineCase cases[] = {
        {{0x01, 0x0A, 0x13F}, 3, "01 0A 13F "},
        {{0x01, 0x0A, 0x13F}, 2, "01 0A "},
        {{0x01}, 0, ""},
        {{0xFFFF, 0x0, 0xab}, 3, "FFFF 00 AB "},
    };
    for (const LineCase& c : cases)
        EXPECT_EQ(RxBufferLine(c.words.data(), c.length), QLatin1String(c.line)) << c.line;
    uint16_t full[100];
    for (int i = 0; i < 100; ++i) full[i] = static_cast<uint16_t>(i);
    const QString line = RxBufferLine(full, 120);
    EXPECT_EQ(line.count(QLatin1Char(' ')), 100) << "at most 100 entries";
    EXPECT_TRUE(line.endsWith(QLatin1String("62 63 ")));
}

class RxBuffViewerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetAll();
        com_ = std::make_unique<TFrmCom>();
        com_->Timer1.stop();
        UseFakeLine(
            *com_, [this] { return portOpen_; }, [](const uint8_t*, int) { return true; });
        view_ = std::make_unique<TfrmViewMdbuff>();
        view_->tmr1->stop();
    }
    void TearDown() override
    {
        view_.reset();
        com_.reset();
        ResetAll();
    }
    // A reply of the cabinet: the buffer, its module and its length.
    static void arrive(std::initializer_list<uint16_t> words, int length, int module = 1)
    {
        int i = 0;
        for (uint16_t w : words) Cabinet().StoreRegister(Cabinet().UpsData[1], 54000 + i++, w);
        Cabinet().StoreRegister(Cabinet().UpsData[1], 54101, static_cast<uint16_t>(module));
        Cabinet().StoreRegister(Cabinet().UpsData[1], 54102, static_cast<uint16_t>(length));
    }
    void activate()
    {
        view_->show();
        view_->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(view_.get()));
    }
    QString memo() const { return view_->mmo1->toPlainText(); }

    bool portOpen_ = true;
    std::unique_ptr<TFrmCom> com_;
    std::unique_ptr<TfrmViewMdbuff> view_;
};

TEST_F(RxBuffViewerTest, StartsWithModuleOneAndNothingShown)
{
    TfrmViewMdbuff& v = *view_;
    EXPECT_EQ(v.windowTitle(), "View Module RxBuff");
    EXPECT_EQ(v.cbbMdID->count(), 10);
    EXPECT_EQ(v.cbbMdID->currentText(), "1");
    EXPECT_EQ(v.lbCount->text(), "0");
    EXPECT_EQ(v.spb1->text(), "pause");
    EXPECT_FALSE(v.chkAppend->isChecked());
    EXPECT_EQ(v.tmr1->interval(), 1000);
    v.tmr1Timer(); // no reply: nothing changes
    EXPECT_EQ(v.lbCount->text(), "0");
    EXPECT_TRUE(memo().isEmpty());
}

TEST_F(RxBuffViewerTest, ShowsEachNewBufferOnce)
{
    TfrmViewMdbuff& v = *view_;
    arrive({0x01, 0x0A, 0x13F}, 3);
    v.ShowBuffer();
    EXPECT_EQ(memo(), "01 0A 13F ");
    EXPECT_EQ(v.edtRxLen->text(), "3");
    EXPECT_EQ(v.lbCount->text(), "1");
    EXPECT_EQ(Cabinet().MdRxNew, FlagOff);
    v.ShowBuffer(); // nothing new
    EXPECT_EQ(v.lbCount->text(), "1");

    arrive({}, 0);
    v.ShowBuffer();
    EXPECT_EQ(memo(), "") << "a length of 0 gives an empty line";
    EXPECT_EQ(v.lbCount->text(), "2");
    v.lbCount->doubleClicked();
    EXPECT_EQ(v.lbCount->text(), "0");
    EXPECT_EQ(v.FrameCount, 0);
}

TEST_F(RxBuffViewerTest, ALongBufferShowsOneHundredEntriesAndThenDots)
{
    TfrmViewMdbuff& v = *view_;
    for (int i = 0; i < 100; ++i) Cabinet().MdRxWords[i] = static_cast<uint16_t>(i);
    arrive({}, 120);
    v.ShowBuffer();
    const QStringList lines = memo().split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0], RxBufferLine(Cabinet().MdRxWords, 100));
    EXPECT_EQ(lines[1], "...");
    EXPECT_EQ(v.edtRxLen->text(), "120");
}

TEST_F(RxBuffViewerTest, AppendKeepsOneLinePerBufferAndNeverDots)
{
    TfrmViewMdbuff& v = *view_;
    v.chkAppend->setChecked(true);
    arrive({0x01, 0x02}, 2);
    v.ShowBuffer();
    arrive({0x03}, 1);
    v.ShowBuffer();
    arrive({}, 150);
    v.ShowBuffer();
    const QStringList lines = memo().split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 3) << memo().toStdString();
    EXPECT_EQ(lines[0], "01 02 ");
    EXPECT_EQ(lines[1], "03 ");
    EXPECT_EQ(lines[2].count(QLatin1Char(' ')), 100);
    EXPECT_FALSE(memo().contains(QLatin1String("...")));
    // Unticked again: the next buffer replaces them all.
    v.chkAppend->setChecked(false);
    arrive({0x04}, 1);
    v.ShowBuffer();
    EXPECT_EQ(memo(), "04 ");
}

TEST_F(RxBuffViewerTest, ErrorRateOfTheSelectedModule)
{
    TfrmViewMdbuff& v = *view_;
    Cabinet().ModuleData[3].MdSend = 200;
    Cabinet().ModuleData[3].MdAckOk = 190;
    v.cbbMdID->setCurrentIndex(2);
    v.cbbMdIDChange();
    arrive({}, 0, 3);
    v.ShowBuffer();
    EXPECT_EQ(v.edtErrRate->text(), "5.0");
    v.cbbMdID->setCurrentIndex(3);
    v.cbbMdIDChange();
    arrive({}, 0, 4);
    v.ShowBuffer();
    EXPECT_EQ(v.edtErrRate->text(), "0") << "a module never counted";
    Cabinet().ModuleData[4].MdSend = 10;
    Cabinet().ModuleData[4].MdAckOk = 10;
    arrive({}, 0, 4);
    v.ShowBuffer();
    EXPECT_EQ(v.edtErrRate->text(), "0.0");
}

TEST_F(RxBuffViewerTest, ChoosingAModuleWritesTheSelectionThenReadsTheBuffer)
{
    TfrmViewMdbuff& v = *view_;
    v.cbbMdID->setCurrentIndex(2);
    v.cbbMdIDChange(); // not active, not shown: the choice is sent all the same
    EXPECT_EQ(v.SelModule, 3);
    const TReqSlot& w = TestSlots()[1];
    EXPECT_EQ(w.Pending, FlagOn);
    EXPECT_EQ(w.Addr, 1);
    EXPECT_EQ(w.Func, 6);
    EXPECT_EQ(w.StartReg, 54101);
    EXPECT_EQ(w.Count, 1);
    EXPECT_EQ(w.Value, 3);
    const TReqSlot& r = TestSlots()[2];
    EXPECT_EQ(r.Pending, FlagOn);
    EXPECT_EQ(r.Func, 3);
    EXPECT_EQ(r.StartReg, 54000);
    EXPECT_EQ(r.Count, 103);
}

TEST_F(RxBuffViewerTest, ABusySelectionSlotStillQueuesTheReadAndTheNextActiveTickTheSelection)
{
    TfrmViewMdbuff& v = *view_;
    activate();
    TestSlots()[1] = TReqSlot{FlagOn, 1, 6, 40017, 0, 3, 0}; // another window's write
    v.cbbMdID->setCurrentIndex(2);
    {
        DialogScript script;
        v.cbbMdIDChange();
        EXPECT_EQ(script.messageTexts(), QStringList{"Link busy, please try again"});
    }
    EXPECT_EQ(TestSlots()[1].StartReg, 40017) << "the busy slot is left alone";
    EXPECT_EQ(TestSlots()[2].StartReg, 54000);
    TestSlots()[1] = TReqSlot{};
    TestSlots()[2] = TReqSlot{};
    v.tmr1Timer();
    EXPECT_EQ(TestSlots()[1].Func, 6);
    EXPECT_EQ(TestSlots()[1].Value, 3);
    EXPECT_EQ(TestSlots()[2].Pending, FlagOn);

    // Once the cabinet reports module 3 only the buffer is read.
    TestSlots()[1] = TReqSlot{};
    TestSlots()[2] = TReqSlot{};
    arrive({0x33}, 1, 3);
    v.tmr1Timer();
    EXPECT_EQ(TestSlots()[1].Pending, FlagOff);
    EXPECT_EQ(TestSlots()[2].Pending, FlagOn);
    EXPECT_EQ(memo(), "33 ");
}

// The selection is a write to the cabinet: with the port closed or the link paused it is not
// queued to go out later. The operator's choice is told why; the timer's repeats stay quiet.
TEST_F(RxBuffViewerTest, TheSelectionWaitsForNeitherAClosedPortNorAPausedLink)
{
    struct Case {
        bool open, paused;
        const char* message;
    };
    const Case cases[] = {{false, false, "COM Port is off !"},
                          {true, true, "Link paused, please resume it in the trace window"}};
    TfrmViewMdbuff& v = *view_;
    activate();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        portOpen_ = c.open;
        TestLinkState().CommPaused = c.paused;
        DialogScript script;
        v.cbbMdID->setCurrentIndex(c.open ? 4 : 5);
        v.cbbMdIDChange();
        EXPECT_EQ(script.messageTexts(), QStringList{c.message});
        v.tmr1Timer();
        v.tmr1Timer();
        EXPECT_EQ(script.messages.size(), 1u) << "the timer asks again without a word";
        EXPECT_EQ(TestSlots()[1].Pending, FlagOff);
        TestSlots()[2] = TReqSlot{};
    }
    portOpen_ = true;
    TestLinkState().CommPaused = false;
    v.tmr1Timer();
    EXPECT_EQ(TestSlots()[1].StartReg, 54101);
    EXPECT_EQ(TestSlots()[1].Value, 5);
    EXPECT_NE(TestSlots()[1].Group, 0) << "queued as a write";
}

TEST_F(RxBuffViewerTest, PausedOrInTheBackgroundItAsksForNothingButShowsWhatArrives)
{
    TfrmViewMdbuff& v = *view_;
    v.tmr1Timer(); // not the active window
    EXPECT_EQ(TestSlots()[1].Pending, FlagOff);
    EXPECT_EQ(TestSlots()[2].Pending, FlagOff);

    activate();
    v.spb1->click();
    EXPECT_EQ(v.Paused, FlagOn);
    EXPECT_EQ(v.spb1->text(), "continue");
    arrive({0x0A}, 1, 5); // a reply already on its way, for another module
    v.tmr1Timer();
    EXPECT_EQ(TestSlots()[1].Pending, FlagOff);
    EXPECT_EQ(TestSlots()[2].Pending, FlagOff);
    EXPECT_EQ(memo(), "0A ");
    EXPECT_EQ(v.lbCount->text(), "1");
    v.tmr1Timer();
    EXPECT_EQ(v.lbCount->text(), "1") << "the count stops";

    v.spb1->click();
    EXPECT_EQ(v.Paused, FlagOff);
    EXPECT_EQ(v.spb1->text(), "pause");
    v.tmr1Timer();
    EXPECT_EQ(TestSlots()[1].Value, 1) << "module 1 is chosen but the cabinet reports another";
    EXPECT_EQ(TestSlots()[2].Pending, FlagOn);
}

TEST_F(RxBuffViewerTest, NeverNarrowerThan400AndTheMemoFollowsTheWidth)
{
    TfrmViewMdbuff& v = *view_;
    v.show();
    v.resize(300, 300);
    EXPECT_EQ(v.width(), 400);
    EXPECT_EQ(v.mmo1->width(), 360);
    v.resize(700, 300);
    EXPECT_EQ(v.mmo1->width(), 660);
}

TEST_F(MainWindowTest, ViewRxBuffShowsTheViewerAndBringsItToTheFront)
{
    TFrmMain& w = window();
    auto* made = new TfrmViewMdbuff(&w); // as the start-up makes it
    made->tmr1->stop();
    EXPECT_FALSE(made->isVisible());
    w.btnViewMDBuff->click();
    EXPECT_TRUE(made->isVisible());
    EXPECT_EQ(frmViewMdbuff, made);
    made->close(); // closing only hides it
    EXPECT_EQ(frmViewMdbuff, made);
    delete made;
    EXPECT_EQ(frmViewMdbuff, nullptr);
    w.btnViewMDBuffClick(); // made here when the start-up did not
    ASSERT_NE(frmViewMdbuff, nullptr);
    EXPECT_TRUE(frmViewMdbuff->isVisible());
    EXPECT_EQ(frmViewMdbuff->parent(), &w);
}

} // namespace
