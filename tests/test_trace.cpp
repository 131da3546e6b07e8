// The communication trace window, fed by the real link form over a stand-in line.
#include "comm/uFrmCom.h"
#include "diag/uFrmTrack.h"
#include "model/UShareData.h"
#include "support/FakeTransport.h"
#include "support/TestSupport.h"

#include <QCheckBox>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

class TraceWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetAll();
        com = std::make_unique<TFrmCom>();
        com->Timer1.stop(); // ticks are driven by hand
        UseFakeLine(
            *com, [] { return true; },
            [this](const uint8_t* b, int n) {
                sent.emplace_back(b, b + n);
                return true;
            });
        track = std::make_unique<TfrmTrack>();
    }
    void TearDown() override
    {
        track.reset();
        com.reset();
        ResetAll();
    }

    template <class T> T* find(const char* name) const
    {
        T* w = track->findChild<T*>(QLatin1String(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    // The lines of a list as the operator sees them: the window is shown first.
    QStringList lines(QPlainTextEdit* memo)
    {
        track->show();
        const QString text = memo->toPlainText();
        return text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
    }
    // Ticks of the link form, one by one.
    void tick(int n = 1)
    {
        for (int i = 0; i < n; ++i) com->Timer1Timer();
    }

    std::unique_ptr<TFrmCom> com;
    std::unique_ptr<TfrmTrack> track;
    std::vector<std::vector<uint8_t>> sent;
};

TEST(TraceHexText, Bytes)
{
    const struct {
        std::vector<uint8_t> bytes;
        const char* text;
    } cases[] = {
        {{}, ""},
        {{0x01}, "01"},
        {{0x0A, 0xFF, 0x00}, "0A FF 00"},
        {{0x01, 0x04, 0x75, 0x30, 0x00, 0x2C, 0xEB, 0xD4}, "01 04 75 30 00 2C EB D4"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TfrmTrack::HexText(c.bytes.data(), int(c.bytes.size())), QString::fromLatin1(c.text));
    EXPECT_EQ(TfrmTrack::HexText(nullptr, 3), QString());
}

TEST_F(TraceWindow, ComponentsAndTheirFirstTexts)
{
    const struct {
        const char* name;
        const char* text;
    } labels[] = {{"Label2", "发送"},          {"Label3", "接收"},     {"lbTxCnt", "TX:"},
                  {"lbRxCnt", "RX:"},          {"lbAckOk", "lbAckOk"}, {"lbERate", "lbERate"},
                  {"lblMdbInfo", "lblMdbInfo"}};
    for (const auto& l : labels) EXPECT_EQ(find<QLabel>(l.name)->text(), QString::fromUtf8(l.text));
    EXPECT_EQ(find<QPushButton>("btnPause")->text(), QString::fromUtf8("暂停"));
    EXPECT_EQ(find<QPushButton>("btnClr")->text(), QString::fromUtf8("清空"));
    EXPECT_EQ(find<QCheckBox>("chkViewMdb")->text(), "View Modbus TX");
    EXPECT_EQ(find<QGroupBox>("grpVMdb")->title(), "Modbus");
    EXPECT_TRUE(find<QGroupBox>("grpVMdb")->isHidden());
    EXPECT_EQ(find<QPlainTextEdit>("mmoTrack")->parentWidget(), track->grpVMdb);
    for (const char* memo : {"Memo1", "Memo2", "mmoTrack"}) ASSERT_NE(find<QPlainTextEdit>(memo), nullptr);
    EXPECT_TRUE(track->isWindow());
    const uint8_t frame[] = {0x01, 0x04};
    com->SendFrame(frame, 2);
    EXPECT_EQ(lines(track->Memo1), QStringList{"01 04"}) << "the window follows the link it was made with";
    track.reset();
    com->SendFrame(frame, 2); // the freed window is no longer told
}

TEST_F(TraceWindow, TheLinkFeedsTheHiddenWindow)
{
    ASSERT_TRUE(track->isHidden());
    tick(2); // poll step 1 built, then sent
    ASSERT_EQ(sent.size(), 1u);
    const QString frame = HexLine(sent[0].data(), int(sent[0].size()));
    EXPECT_EQ(frame, HexLine(WithCrc(HexBytes("01 04 75 30 00 2C")).data(), 8));
    const std::vector<uint8_t> chunk = HexBytes("01 04 02 00");
    com->Comm1ReceiveData(chunk.data(), int(chunk.size()));
    for (QPlainTextEdit* memo : {track->Memo1, track->Memo2, track->mmoTrack})
        EXPECT_TRUE(memo->toPlainText().isEmpty()) << "a hidden view is left alone";
    EXPECT_EQ(track->lblMdbInfo->text(), "lblMdbInfo");

    ++TestSlots()[4].Counter; // after the frame: the line shows the counters as they stood at it
    track->show();
    EXPECT_EQ(track->lblMdbInfo->text(),
              "idxCyc: 1;  Ord01: 0;  Ord02: 0;  Ord03: 0;  Ord04: 0;  Ord05: 0;  Ord06: 0;  Ord07: 0;  "
              "Ord08: 0;  Ord09: 0");
    EXPECT_EQ(lines(track->Memo1), QStringList{frame}) << "showing it later shows what came while hidden";
    EXPECT_EQ(lines(track->mmoTrack), QStringList{"Func:04; Addr:30001"});
    EXPECT_EQ(lines(track->Memo2), QStringList{"01 04 02 00"});

    track->hide();
    com->Comm1ReceiveData(chunk.data(), int(chunk.size()));
    track->show();
    EXPECT_EQ(lines(track->Memo2), (QStringList{"01 04 02 00", "01 04 02 00"})) << "and again after a hide";
}

TEST_F(TraceWindow, RequestLineAndSlotCounters)
{
    TestSlots()[3].Counter = 12;
    TestSlots()[9].Counter = 4;
    TestSlots()[10].Counter = 77; // slot 10 is not shown
    TestSlots()[2] = TReqSlot{FlagOn, 1, 3, 40051, 4, 0, 5};
    tick(2);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(lines(track->mmoTrack), QStringList{"Func:03; Addr:40051"}); // shows the window
    EXPECT_EQ(track->lblMdbInfo->text(),
              "idxCyc: 0;  Ord01: 0;  Ord02: 6;  Ord03: 12;  Ord04: 0;  Ord05: 0;  Ord06: 0;  Ord07: 0;  "
              "Ord08: 0;  Ord09: 4");

    TestSlots()[1] = TReqSlot{FlagOn, 1, 16, 51000, 24, 0, 0};
    TestLinkState().ReqOutstanding = false;
    tick(2);
    EXPECT_EQ(lines(track->mmoTrack).last(), "Func:10; Addr:51000") << "the function in hexadecimal";
}

TEST_F(TraceWindow, ListsAreEmptiedWholePastAThousandLines)
{
    const uint8_t first[] = {0x12, 0x34};
    const uint8_t next[] = {0xAB};
    FrmCom->Modbus->ReqFunc = 4;
    FrmCom->Modbus->ReqStartReg = 30061;
    for (int i = 0; i < TfrmTrack::MaxLines; ++i) {
        track->TraceTx(first, 2);
        track->TraceRx(first, 2);
    }
    for (QPlainTextEdit* memo : {track->Memo1, track->Memo2, track->mmoTrack}) {
        SCOPED_TRACE(qPrintable(memo->objectName()));
        EXPECT_EQ(lines(memo).size(), 1000);
    }
    EXPECT_EQ(lines(track->Memo1).first(), "12 34");
    EXPECT_EQ(lines(track->mmoTrack).last(), "Func:04; Addr:30061");

    track->TraceTx(first, 2); // the 1001st sent line
    EXPECT_TRUE(lines(track->Memo1).isEmpty());
    EXPECT_TRUE(lines(track->mmoTrack).isEmpty());
    EXPECT_EQ(lines(track->Memo2).size(), 1000);
    track->TraceRx(first, 2);
    EXPECT_TRUE(lines(track->Memo2).isEmpty());

    track->TraceTx(next, 1);
    track->TraceRx(next, 1);
    EXPECT_EQ(lines(track->Memo1), QStringList{"AB"});
    EXPECT_EQ(lines(track->Memo2), QStringList{"AB"});
    EXPECT_EQ(lines(track->mmoTrack), QStringList{"Func:04; Addr:30061"});
}

// The thousand counts the lines that waited while the window was hidden: a list that passed it
// meanwhile is shown emptied, with only what came after.
TEST_F(TraceWindow, ListsPassingAThousandLinesWhileHiddenAreShownEmptied)
{
    const uint8_t line[] = {0x12, 0x34};
    const uint8_t after[] = {0xAB};
    track->show();
    for (int i = 0; i < 5; ++i) track->TraceRx(line, 2);
    ASSERT_EQ(lines(track->Memo2).size(), 5);
    track->hide();
    for (int i = 5; i < TfrmTrack::MaxLines; ++i) track->TraceRx(line, 2);
    track->show();
    EXPECT_EQ(lines(track->Memo2).size(), 1000) << "the thousandth line is still kept";

    track->hide();
    track->TraceRx(line, 2); // the 1001st
    track->TraceRx(after, 1);
    track->TraceRx(after, 1);
    track->show();
    EXPECT_EQ(lines(track->Memo2), (QStringList{"AB", "AB"}));
    EXPECT_EQ(track->Memo2->blockCount(), 2);
}

TEST_F(TraceWindow, EmptyChunksCountAsLines)
{
    track->show();
    // An empty line still counts towards the thousand, as every received chunk does.
    for (int i = 0; i < TfrmTrack::MaxLines; ++i) track->TraceRx(nullptr, 0);
    EXPECT_EQ(track->Memo2->blockCount(), 1000);
    track->TraceRx(nullptr, 0);
    EXPECT_TRUE(track->Memo2->toPlainText().isEmpty());
    EXPECT_EQ(track->Memo2->blockCount(), 1);
}

TEST_F(TraceWindow, ClearEmptiesSentAndReceivedButKeepsTheRequestList)
{
    tick(2);
    const std::vector<uint8_t> chunk = HexBytes("01 83 02 C0 F1");
    com->Comm1ReceiveData(chunk.data(), int(chunk.size()));
    TestCommDebug() = TCommDebug{5, 4, 3, 40.0, 6};
    ASSERT_FALSE(lines(track->Memo1).isEmpty());
    ASSERT_FALSE(lines(track->Memo2).isEmpty());

    QTest::mouseClick(track->btnClr, Qt::LeftButton);
    EXPECT_TRUE(lines(track->Memo1).isEmpty());
    EXPECT_TRUE(lines(track->Memo2).isEmpty());
    EXPECT_EQ(lines(track->mmoTrack), QStringList{"Func:04; Addr:30001"});
    EXPECT_EQ(TestCommDebug().TxCount, 0);
    EXPECT_EQ(TestCommDebug().RxCount, 0);
    EXPECT_EQ(TestCommDebug().AckCount, 0);
    EXPECT_EQ(TestCommDebug().ErrRate, 0.0);
    EXPECT_EQ(TestCommDebug().TraceCountdown, 6) << "the refresh rhythm is the link's own";
}

TEST_F(TraceWindow, DoubleClickOnTheRateResetsTheCountersOnly)
{
    tick(2);
    const std::vector<uint8_t> chunk = HexBytes("01 83 02 C0 F1");
    com->Comm1ReceiveData(chunk.data(), int(chunk.size()));
    TestCommDebug() = TCommDebug{5, 4, 3, 40.0, 6};
    track->show();
    QTest::mouseDClick(track->lbERate, Qt::LeftButton);
    EXPECT_EQ(TestCommDebug().TxCount, 0);
    EXPECT_EQ(TestCommDebug().RxCount, 0);
    EXPECT_EQ(TestCommDebug().AckCount, 0);
    EXPECT_EQ(TestCommDebug().ErrRate, 0.0);
    // The exception of another function is no reply to the read sent: noted as a stray frame.
    const QString stray = "*** Stray frame dropped: not the reply to the request sent";
    EXPECT_EQ(lines(track->Memo1).size(), 2);
    EXPECT_EQ(lines(track->Memo1).last(), stray);
    EXPECT_EQ(lines(track->Memo2), (QStringList{"01 83 02 C0 F1", stray}));
    EXPECT_EQ(lines(track->mmoTrack).size(), 1);

    TestCommDebug().TxCount = 9;
    QTest::mouseClick(track->lbERate, Qt::LeftButton);
    EXPECT_EQ(TestCommDebug().TxCount, 9) << "a single click does nothing";
}

TEST_F(TraceWindow, CounterTexts)
{
    const struct {
        TCommDebug counters;
        const char* tx;
        const char* rx;
        const char* ack;
        const char* rate;
    } cases[] = {
        {{10, 9, 8, 12.5, 0}, "Tx: 10", "Rx: 9", "ACK: 8", "ErrRate: 12.5%"},
        {{0, 0, 0, 0.0, 0}, "Tx: 0", "Rx: 0", "ACK: 0", "ErrRate: 0.0%"},
        {{3, 0, 0, 100.0, 0}, "Tx: 3", "Rx: 0", "ACK: 0", "ErrRate: 100.0%"},
        {{3, 3, 2, 33.333333, 0}, "Tx: 3", "Rx: 3", "ACK: 2", "ErrRate: 33.3%"},
    };
    for (const auto& c : cases) {
        TestCommDebug() = c.counters;
        track->ShowCounters();
        EXPECT_EQ(track->lbTxCnt->text(), c.tx);
        EXPECT_EQ(track->lbRxCnt->text(), c.rx);
        EXPECT_EQ(track->lbAckOk->text(), c.ack);
        EXPECT_EQ(track->lbERate->text(), c.rate);
    }
}

TEST_F(TraceWindow, TheLinkRefreshesTheCountersEveryEleventhTick)
{
    TestCommDebug() = TCommDebug{8, 1, 6, 0.0, 0};
    TestLinkState().CommPaused = true; // nothing sent, so the counters stay as set
    tick();                      // countdown 0: refresh now, with the rate of the previous refresh
    EXPECT_EQ(track->lbTxCnt->text(), "Tx: 8");
    EXPECT_EQ(track->lbERate->text(), "ErrRate: 0.0%");
    tick(10);
    EXPECT_EQ(track->lbERate->text(), "ErrRate: 0.0%");
    tick();
    EXPECT_EQ(track->lbERate->text(), "ErrRate: 25.0%");
}

TEST_F(TraceWindow, PauseAndResumeContinueTheOutstandingRequest)
{
    LocalPara.Language = 0;
    track->show();
    tick(2);
    ASSERT_EQ(sent.size(), 1u);
    tick(3);
    ASSERT_TRUE(TestLinkState().ReqOutstanding);
    const uint8_t countdown = TestLinkState().RetryCountdown;
    ASSERT_EQ(countdown, 7);

    QTest::mouseClick(track->btnPause, Qt::LeftButton);
    EXPECT_TRUE(TestLinkState().CommPaused);
    EXPECT_EQ(track->btnPause->text(), "Start");
    TestSlots()[1] = TReqSlot{FlagOn, 1, 3, 40001, 35, 0, 0};
    tick(40);
    EXPECT_EQ(sent.size(), 1u) << "nothing is sent while paused";
    EXPECT_TRUE(TestLinkState().ReqOutstanding);
    EXPECT_EQ(TestLinkState().RetryCountdown, countdown) << "the wait stands still";
    EXPECT_EQ(TestSlots()[1].Pending, FlagOn) << "pending slots wait";

    QTest::mouseClick(track->btnPause, Qt::LeftButton);
    EXPECT_FALSE(TestLinkState().CommPaused);
    EXPECT_EQ(track->btnPause->text(), "Stop");
    tick();
    EXPECT_EQ(TestLinkState().RetryCountdown, countdown - 1) << "the wait goes on where it stopped";

    // The cabinet's reply to the request sent before the pause is still accepted.
    std::vector<uint8_t> reply = {0x01, 0x04, 88};
    reply.resize(3 + 88, 0);
    reply = WithCrc(reply);
    com->Comm1ReceiveData(reply.data(), int(reply.size()));
    EXPECT_EQ(TestCommDebug().AckCount, 1);
    tick(2);
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(lines(track->mmoTrack).last(), "Func:03; Addr:40001") << "then the waiting slot is served";
}

TEST_F(TraceWindow, ShowingAgainWhilePausedOffersToStop)
{
    LocalPara.Language = 0;
    track->show();
    track->btnPauseClick();
    ASSERT_TRUE(TestLinkState().CommPaused);
    ASSERT_EQ(track->btnPause->text(), "Start");
    track->hide();
    track->show();
    EXPECT_EQ(track->btnPause->text(), "Stop");
    EXPECT_TRUE(TestLinkState().CommPaused) << "the link stays paused until the button is pressed";
    track->btnPauseClick();
    EXPECT_FALSE(TestLinkState().CommPaused);
    EXPECT_EQ(track->btnPause->text(), "Stop");
}

TEST_F(TraceWindow, CaptionsInBothLanguages)
{
    const struct {
        uint8_t language;
        const char *title, *send, *accept, *running, *paused, *clear;
    } cases[] = {
        {0, "Track", "Send", "Accept", "Stop", "Start", "Clear"},
        {1, "通讯跟踪", "发送", "接收", "暂停", "恢复", "清空"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.language));
        LocalPara.Language = c.language;
        track->hide();
        track->show();
        EXPECT_EQ(track->windowTitle(), QString::fromUtf8(c.title));
        EXPECT_EQ(track->Label2->text(), QString::fromUtf8(c.send));
        EXPECT_EQ(track->Label3->text(), QString::fromUtf8(c.accept));
        EXPECT_EQ(track->btnClr->text(), QString::fromUtf8(c.clear));
        EXPECT_EQ(track->btnPause->text(), QString::fromUtf8(c.running));
        track->btnPauseClick();
        EXPECT_EQ(track->btnPause->text(), QString::fromUtf8(c.paused));
        track->btnPauseClick();
        EXPECT_EQ(track->chkViewMdb->text(), "View Modbus TX");
        EXPECT_EQ(track->grpVMdb->title(), "Modbus");
    }
}

TEST_F(TraceWindow, TheCheckBoxShowsTheRequestList)
{
    track->show();
    tick(2);
    EXPECT_TRUE(track->grpVMdb->isHidden());
    track->chkViewMdb->click();
    EXPECT_FALSE(track->grpVMdb->isHidden());
    EXPECT_EQ(lines(track->mmoTrack), QStringList{"Func:04; Addr:30001"}) << "filled while it was hidden";
    track->chkViewMdb->click();
    EXPECT_TRUE(track->grpVMdb->isHidden());
}

TEST_F(TraceWindow, ChineseCaptionsHaveAFontToShowIn)
{
    // Without a font for simplified Chinese the captions would show as empty boxes.
    EXPECT_FALSE(QFontDatabase::families(QFontDatabase::SimplifiedChinese).isEmpty());
    LocalPara.Language = 1;
    track->show();
    const QFontMetrics metrics(track->btnPause->font());
    for (const QChar c : track->btnPause->text()) EXPECT_TRUE(metrics.inFontUcs4(c.unicode())) << c.unicode();
}

TEST_F(TraceWindow, ResizeMovesTheButtonsAndWidensTheLists)
{
    const struct {
        int width;
        int memoWidth;
        int buttonLeft;
    } cases[] = {{300, 300, 400}, {400, 300, 400}, {401, 271, 301}, {700, 570, 600}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.width);
        track->resize(c.width, 420);
        track->FormResize();
        EXPECT_EQ(track->Memo1->width(), c.memoWidth);
        EXPECT_EQ(track->Memo2->width(), c.memoWidth);
        EXPECT_EQ(track->btnPause->x(), c.buttonLeft);
        EXPECT_EQ(track->btnClr->x(), c.buttonLeft);
    }
}

} // namespace

namespace {

// Lines that came while the window was hidden are there when it is shown, the lists scrolled
// to their last line; a list the operator had scrolled back stays where it was.
TEST_F(TraceWindow, ShownAfterLinesCameWhileHiddenTheListsShowTheirLastLines)
{
    const uint8_t frame[] = {0x01, 0x04, 0x75, 0x30, 0x00, 0x2C, 0xEB, 0xD4};
    track->resize(760, 480);
    track->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(track.get()));
    track->hide();
    for (int i = 0; i < 300; ++i) {
        track->TraceTx(frame, 8);
        track->TraceRx(frame, 8);
    }
    track->show();
    QCoreApplication::processEvents();
    for (QPlainTextEdit* memo : {track->Memo1, track->Memo2, track->mmoTrack}) {
        SCOPED_TRACE(qPrintable(memo->objectName()));
        EXPECT_EQ(memo->blockCount(), 300);
        QScrollBar* bar = memo->verticalScrollBar();
        EXPECT_GT(bar->maximum(), 200) << "the view knows every line";
        EXPECT_EQ(bar->value(), bar->maximum());
        EXPECT_GT(memo->cursorForPosition(QPoint(2, 2)).blockNumber(), 250) << "the last lines are in view";
    }

    track->Memo1->verticalScrollBar()->setValue(0);
    track->hide();
    track->TraceTx(frame, 8);
    track->TraceRx(frame, 8);
    track->show();
    QCoreApplication::processEvents();
    EXPECT_EQ(track->Memo1->verticalScrollBar()->value(), 0);
    EXPECT_EQ(track->Memo2->verticalScrollBar()->value(), track->Memo2->verticalScrollBar()->maximum());
    EXPECT_GT(track->Memo2->verticalScrollBar()->maximum(), 200);
}

} // namespace
