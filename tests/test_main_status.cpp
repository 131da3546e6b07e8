// The main window's status line and the freshness of its values: grey with the time of the
// last reply while the port is down, live again at the next reply; a saved port that is not on
// the machine told once; the LEDs and the port label name what they show.
#include "comm/uCabinet.h"
#include "comm/uFrmCom.h"
#include "comm/uLinkState.h"
#include "model/UShareData.h"
#include "support/DialogScript.h"
#include "support/FakeTransport.h"
#include "test_main_fixture.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QTableWidget>

namespace {

QColor textColour(const QWidget* w) { return w->palette().color(QPalette::Active, QPalette::Text); }

class MainStatusTest : public MainWindowTest {
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        com = std::make_unique<TFrmCom>();
        com->Timer1.stop();
        UseFakeLine(
            *com, [this] { return portOpen; }, [](const uint8_t*, int) { return true; });
    }
    void TearDown() override
    {
        w_.reset();
        com.reset();
        MainWindowTest::TearDown();
    }
    bool portOpen = true;
    std::unique_ptr<TFrmCom> com;
};

struct StaleCase {
    const char* name;
    uint8_t language;
    const char* lastReply; // the status line's text before the time
};

class StaleValues : public MainStatusTest, public ::testing::WithParamInterface<StaleCase> {};

TEST_P(StaleValues, GreyWhileThePortIsDownLiveAgainAtTheNextReply)
{
    const StaleCase& c = GetParam();
    writeSettings(QStringLiteral("Language=%1\n").arg(c.language));
    TFrmMain& w = window();
    w.show();
    const QColor grey = QApplication::palette().color(QPalette::Disabled, QPalette::Text);
    const QList<QWidget*> values{w.sgrdUPS_AC, w.sgrdUPS_DC,       w.sgrdModule, w.edtSysState, w.mdtSysSta,
                                 w.mdtCmmAlmH, w.mdt_MdINVStatusL, w.edtMdState, w.edtUpsVer};
    QList<QColor> live;
    for (QWidget* v : values) live << textColour(v);
    ASSERT_NE(live.first(), grey) << "the test needs a live colour that is not the grey";

    Cabinet().UpsData[1].InVolt[0] = 231.4;
    FrmCom->ReplyAccepted(TLinkRequest{}, nullptr, 0); // a reply accepted
    w.tmr1Timer();
    EXPECT_FALSE(w.ValuesStale());
    EXPECT_EQ(w.lblStatus->text(), "");

    portOpen = false; // Find took the port, or the operator closed it
    w.tmr1Timer();
    EXPECT_TRUE(w.ValuesStale());
    EXPECT_EQ(CellText(w.sgrdUPS_AC, 1, 1), "231.4") << "the values stay, marked";
    for (QWidget* v : values) EXPECT_EQ(textColour(v), grey) << qPrintable(v->objectName());
    const QRegularExpression stamp(QRegularExpression::escape(QString::fromUtf8(c.lastReply)) +
                                   QStringLiteral("\\d\\d:\\d\\d:\\d\\d$"));
    EXPECT_TRUE(stamp.match(w.lblStatus->text()).hasMatch()) << w.lblStatus->text().toStdString();

    portOpen = true; // open again, but nothing has answered yet
    w.tmr1Timer();
    w.tmr1Timer();
    EXPECT_TRUE(w.ValuesStale());

    Cabinet().UpsData[1].InVolt[0] = 229.8;
    FrmCom->ReplyAccepted(TLinkRequest{}, nullptr, 0);
    w.tmr1Timer();
    EXPECT_FALSE(w.ValuesStale());
    EXPECT_EQ(CellText(w.sgrdUPS_AC, 1, 1), "229.8");
    for (int i = 0; i < values.size(); ++i) EXPECT_EQ(textColour(values[i]), live[i]) << i;
    EXPECT_EQ(w.lblStatus->text(), "");
}

INSTANTIATE_TEST_SUITE_P(Languages, StaleValues,
                         ::testing::Values(StaleCase{"English", 0, "Not live: last reply at "},
                                           StaleCase{"Chinese", 1, "数据未更新：最后应答 "}),
                         [](const ::testing::TestParamInfo<StaleCase>& i) {
                             return std::string(i.param.name);
                         });

TEST_F(MainStatusTest, APulledDeviceGreysTheViewToo)
{
    TFrmMain& w = window();
    FrmCom->ReplyAccepted(TLinkRequest{}, nullptr, 0);
    w.tmr1Timer();
    EXPECT_FALSE(w.ValuesStale());
    portOpen = false;
    FrmCom->DeviceLost(QStringLiteral("/dev/ttyUSB0"));
    w.tmr1Timer();
    EXPECT_TRUE(w.ValuesStale());
    EXPECT_TRUE(w.lblStatus->text().startsWith("Not live: last reply at "))
        << w.lblStatus->text().toStdString();
}

TEST_F(MainStatusTest, AMissingSavedPortIsToldOnceInTheStatusLine)
{
    const QString gone = dir_.filePath(QStringLiteral("ttyUSB-gone"));
    writeSettings("ComName=" + gone + "\n");
    portOpen = false;
    DialogScript script;
    TFrmMain& w = window();
    w.show();
    for (int i = 0; i < 30; ++i) w.tmr1Timer();
    const QString told = "Port " + gone + " is not on this machine";
    EXPECT_EQ(w.lblStatus->text(), told);
    EXPECT_EQ(w.lblStatus->toolTip(), told) << "the whole name, however narrow the line";
    EXPECT_TRUE(script.messages.empty()) << "told in the status line, not in a box";
    w.hide();
    w.show(); // shown again: told still once
    EXPECT_EQ(w.lblStatus->text(), told);

    LocalPara.Language = 1;
    w.ApplyCaptions();
    EXPECT_EQ(w.lblStatus->text(), QString::fromUtf8("本机没有端口 ") + gone);
    LocalPara.Language = 0;

    LocalPara.ComName = QStringLiteral("/dev/ttyUSB5"); // another port chosen
    w.tmr1Timer();
    EXPECT_EQ(w.lblStatus->text(), "");
}

TEST_F(MainStatusTest, APortThatIsThereIsNotTold)
{
    const QString there = dir_.filePath(QStringLiteral("ttyHere"));
    {
        QFile f(there);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    writeSettings("ComName=" + there + "\n");
    TFrmMain& w = window();
    w.show();
    w.tmr1Timer();
    EXPECT_EQ(w.lblStatus->text(), "");
}

TEST_F(MainStatusTest, LedsAndPortLabelNameWhatTheyShow)
{
    TFrmMain& w = window();
    w.show();
    EXPECT_EQ(w.iLedTx->toolTip(), "Transmit");
    EXPECT_EQ(w.iLedRx->toolTip(), "Receive");
    LocalPara.Language = 1;
    w.ApplyCaptions();
    EXPECT_EQ(w.iLedTx->toolTip(), QString::fromUtf8("发送"));
    EXPECT_EQ(w.iLedRx->toolTip(), QString::fromUtf8("接收"));
    LocalPara.Language = 0;

    for (const QString& port :
         {QStringLiteral("COM4"), dir_.filePath(QStringLiteral("a-rather-long-device-name-0"))}) {
        LocalPara.ComName = port;
        w.tmr1Timer();
        EXPECT_TRUE(w.lblCommName->toolTip().startsWith(port + "\n"))
            << w.lblCommName->toolTip().toStdString();
        EXPECT_EQ(w.lblCommName->toolTip(), w.lblCommName->text());
    }
}

} // namespace
