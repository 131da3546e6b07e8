// The main window: start values, captions, the live view's formats, the module list, the
// menu visibility strings and the language switch.
#include "comm/uCabinet.h"
#include "comm/uFrmCom.h"
#include "support/DialogScript.h"
#include "support/FakeTransport.h"
#include "test_main_fixture.h"

#include "comm/uFrmCom.h"
#include "model/UShareData.h"
#include "model/uDataFunc.h"
#include "ui/uViewFormat.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QToolButton>

namespace {

template <class T> T* find(TFrmMain& w, const char* name)
{
    T* c = w.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(c, nullptr) << name;
    return c;
}

TEST_F(MainWindowTest, StartsAtAddressOneModuleOneOnTheSystemPage)
{
    writeSettings("Language=0\n");
    TFrmMain& w = window();
    EXPECT_EQ(w.DevAddr, 1);
    EXPECT_EQ(w.CurModule, 1);
    EXPECT_EQ(w.PswGraceCount, 0);
    auto* pages = find<QTabWidget>(w, "PageControl1");
    EXPECT_EQ(pages->currentWidget(), find<QWidget>(w, "TabSheet1"));
    auto* cbb = find<QComboBox>(w, "cbbSelectZYR");
    ASSERT_EQ(cbb->count(), 15);
    EXPECT_EQ(cbb->itemText(0), "1");
    EXPECT_EQ(cbb->itemText(14), "15");
    EXPECT_EQ(cbb->currentIndex(), 0);
    auto* lst = find<QListWidget>(w, "lstMd");
    EXPECT_EQ(lst->count(), 32);
    EXPECT_EQ(lst->currentRow(), 0);
    EXPECT_EQ(w.size(), QSize(742, 582));
    EXPECT_EQ(w.windowTitle(), "Engineering Tools(ZYR)");
    EXPECT_EQ(find<QTimer>(w, "tmr1")->interval(), 100);
}

TEST_F(MainWindowTest, EveryNamedComponentExists)
{
    TFrmMain& w = window();
    const char* names[] = {"iLedTx",
                           "iLedRx",
                           "lblErrRate",
                           "lbDevID",
                           "cbbSelectZYR",
                           "grpUpsVer",
                           "edtUpsVer",
                           "pnlVer",
                           "rgLanguage",
                           "spbComLink",
                           "pnlComm",
                           "lblCommName",
                           "TabSheet1",
                           "sgrdUPS_AC",
                           "sgrdUPS_DC",
                           "edtSysState",
                           "grp1",
                           "mdtCmmStaH",
                           "mdtCmmStaL",
                           "mdtInvStaH",
                           "mdtInvStaL",
                           "mdtSysSta",
                           "mdtCmmAlmH",
                           "mdtCmmAlmL",
                           "mdtInvAlmH",
                           "mdtInvAlmL",
                           "mdtSysAlm",
                           "btnZyrCode",
                           "grpTypeInfo",
                           "edtTypeInfo",
                           "edtMdRate",
                           "btnRead",
                           "TabSheet2",
                           "lbModuleIdx",
                           "chkMdSta",
                           "lstMd",
                           "edtMdState",
                           "sgrdModule",
                           "grp2",
                           "mdt_MdCMMStatusH",
                           "mdt_MdCMMStatusL",
                           "mdt_MdINVStatusH",
                           "mdt_MdINVStatusL",
                           "mdt_MdCMMAlarmH",
                           "mdt_MdCMMAlarmL",
                           "mdt_MdINVAlarmH",
                           "mdt_MdINVAlarmL",
                           "btnMdCode",
                           "grp3",
                           "edtErrRate",
                           "edtSend",
                           "edtAcpt",
                           "edtAckOk",
                           "btnReCnt",
                           "btnViewMDBuff",
                           "lblTest01",
                           "MainMenu1",
                           "mni1000",
                           "mni2000",
                           "mni3000",
                           "mni4000",
                           "aplctnvnts1"};
    for (const char* n : names) EXPECT_NE(w.findChild<QObject*>(QString::fromLatin1(n)), nullptr) << n;
    const char* items[] = {"mni1001", "mni1002", "mni2001", "mni2002", "mni2003",
                           "mni2004", "mni2005", "mni2006", "mni3001", "mni3002",
                           "mni3003", "mni3004", "mni3005", "mni4001", "mni4002", "mni4003"};
    for (const char* n : items) EXPECT_NE(w.findChild<QAction*>(QString::fromLatin1(n)), nullptr) << n;
    EXPECT_FALSE(find<QWidget>(w, "grp1")->isEnabled());
}

TEST_F(MainWindowTest, GridsHaveTheirShapeAndHeadings)
{
    TFrmMain& w = window();
    w.FormShow();
    struct Shape {
        const char* name;
        int cols, rows;
        const char* heading1;
        const char* lastRow;
    } shapes[] = {{"sgrdUPS_AC", 4, 13, "     A", "Bypass Frequence(Hz)"},
                  {"sgrdUPS_DC", 3, 8, "     +", "Inside Temperature ℃"},
                  {"sgrdModule", 4, 12, "     A", "Remain Time(min)"}};
    for (const Shape& s : shapes) {
        auto* g = find<QTableWidget>(w, s.name);
        EXPECT_EQ(g->columnCount(), s.cols) << s.name;
        EXPECT_EQ(g->rowCount(), s.rows) << s.name;
        EXPECT_EQ(CellText(g, 1, 0), QString::fromUtf8(s.heading1)) << s.name;
        EXPECT_EQ(CellText(g, 0, s.rows - 1), QString::fromUtf8(s.lastRow)) << s.name;
        EXPECT_GE(g->columnWidth(1), 50);
    }
    EXPECT_EQ(CellText(find<QTableWidget>(w, "sgrdUPS_DC"), 2, 0), "     -");
    EXPECT_EQ(find<QLabel>(w, "pnlVer")->text(), QStringLiteral("Ver: ") + ZYR_VERSION);
}

struct FloatCase {
    double value;
    int digits;
    const char* text;
};

class FloatTextTest : public ::testing::TestWithParam<FloatCase> {};

TEST_P(FloatTextTest, FiveSignificantDigitsAtMost)
{
    const FloatCase& c = GetParam();
    EXPECT_EQ(FloatText(c.value, c.digits), QString::fromLatin1(c.text)) << c.value;
}

INSTANTIATE_TEST_SUITE_P(Formats, FloatTextTest,
                         ::testing::Values(FloatCase{0, 1, "0.0"}, FloatCase{230.04, 1, "230.0"},
                                           FloatCase{49.96, 1, "50.0"}, FloatCase{1234.56, 1, "1234.6"},
                                           FloatCase{12345.67, 1, "12346.0"}, FloatCase{65535, 1, "65535.0"},
                                           FloatCase{123456, 1, "1.2346E+05"},
                                           FloatCase{99999.96, 1, "1.0000E+05"},
                                           FloatCase{-12.34, 1, "-12.3"}, FloatCase{-0.04, 1, "0.0"},
                                           FloatCase{65535, 0, "65535"}, FloatCase{12.6, 0, "13"},
                                           FloatCase{0.98, 1, "1.0"}));

TEST(FloatTextLocale, FollowsTheOperatorsLocaleWhenItChanges)
{
    const QLocale before;
    EXPECT_EQ(FloatText(1234.56, 1), "1234.6");
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(FloatText(1234.56, 1), "1234,6") << "decimal comma, and no group separator";
    EXPECT_EQ(FloatText(-12.34, 1), "-12,3");
    QLocale::setDefault(before);
    EXPECT_EQ(FloatText(1234.56, 1), "1234.6");
}

TEST(ModuleErrRate, NeverCountedReadsZeroAndAllAcknowledgedReadsZeroPointZero)
{
    EXPECT_EQ(ModuleErrRateText(0, 0), "0");
    EXPECT_EQ(ModuleErrRateText(0, 5), "0");
    EXPECT_EQ(ModuleErrRateText(10, 10), "0.0");
    EXPECT_EQ(ModuleErrRateText(8, 6), "25.0");
    EXPECT_EQ(ModuleErrRateText(3, 1), "66.7");
}

TEST_F(MainWindowTest, RefreshViewShowsTheSelectedCabinetAndModule)
{
    TFrmMain& w = window();
    w.FormShow();
    TUpsData& u = Cabinet().UpsData[3];
    u.InVolt[0] = 230.1;
    u.InVolt[2] = 229.96;
    u.InFreq = 50.0;
    u.InPF[1] = 0.99;
    u.OutPower[2] = 123456; // beyond five integer digits
    u.BpsFreq = 49.9;
    u.BattVolt[1] = 271.6;
    u.BattChgRate = 100;
    u.BattSupport = 45;
    u.InsideTemp = 30.5;
    u.Status.CmmStaH = 0x1A2B;
    u.Status.SysAlm = 0x00F;
    u.Status.InvAlmL = 0xFFFF;
    u.SysState = 4;
    Cabinet().UpsData[1].InVolt[0] = 111.1; // another cabinet: not shown
    TModuleData& m = Cabinet().ModuleData[5];
    m.InvVolt[1] = 220.4;
    m.InvFreq = 50.02;
    m.BusVolt[0] = 380.0;
    m.DcBusVolt[1] = 390.3;
    m.Temp[0] = 35.5;
    m.BattChgCurr[1] = 1.5;
    m.ChgRate = 87;
    m.RemainTime = 45;
    m.Status.CmmStaL = 0xBEEF;
    m.Status.InvAlmH = 0x0001;
    m.MdSend = 8;
    m.MdAccept = 7;
    m.MdAckOk = 6;
    m.ModState = 5;
    const char version[] = "V3.10.0025";
    std::copy(version, version + 10, Cabinet().CfgRx + 25);
    Cabinet().CfgRx[41] = 'Z';
    Cabinet().CfgRx[42] = 'Y';
    Cabinet().CfgRx[43] = 'R';
    Cabinet().CfgRx[45] = 0x01;
    Cabinet().CfgRx[46] = 0x2C;

    w.SelectDevAddr(3);
    w.CurModule = 5;
    w.RefreshView();

    auto* ac = find<QTableWidget>(w, "sgrdUPS_AC");
    auto* dc = find<QTableWidget>(w, "sgrdUPS_DC");
    auto* md = find<QTableWidget>(w, "sgrdModule");
    struct CellCase {
        QTableWidget* grid;
        int col, row;
        const char* text;
    } cells[] = {
        {ac, 1, 1, "230.1"},      {ac, 3, 1, "230.0"}, {ac, 1, 3, "50.0"},  {ac, 2, 4, "1.0"},
        {ac, 3, 8, "1.2346E+05"}, {ac, 1, 12, "49.9"}, {ac, 2, 3, ""},      {dc, 2, 1, "271.6"},
        {dc, 1, 4, "100.0"},      {dc, 1, 5, "45.0"},  {dc, 1, 7, "30.5"},  {dc, 2, 4, ""},
        {md, 2, 1, "220.4"},      {md, 1, 3, "50.0"},  {md, 1, 4, "380.0"}, {md, 2, 5, "390.3"},
        {md, 1, 6, "35.5"},       {md, 2, 9, "1.5"},   {md, 1, 10, "87"},   {md, 1, 11, "45"},
    };
    for (const CellCase& c : cells)
        EXPECT_EQ(CellText(c.grid, c.col, c.row), QString::fromLatin1(c.text))
            << c.grid->objectName().toStdString() << " col " << c.col << " row " << c.row;

    EXPECT_EQ(find<QLineEdit>(w, "mdtCmmStaH")->text(), "1A2B");
    EXPECT_EQ(find<QLineEdit>(w, "mdtSysAlm")->text(), "000F");
    EXPECT_EQ(find<QLineEdit>(w, "mdtInvAlmL")->text(), "FFFF");
    EXPECT_EQ(find<QLineEdit>(w, "mdtSysSta")->text(), "0000");
    EXPECT_EQ(find<QLineEdit>(w, "edtSysState")->text(), StateText(4));
    EXPECT_FALSE(StateText(4).isEmpty());
    EXPECT_EQ(find<QLineEdit>(w, "mdt_MdCMMStatusL")->text(), "BEEF");
    EXPECT_EQ(find<QLineEdit>(w, "mdt_MdINVAlarmH")->text(), "0001");
    EXPECT_EQ(find<QLineEdit>(w, "edtMdState")->text(), StateText(5));
    EXPECT_EQ(find<QLineEdit>(w, "edtSend")->text(), "8");
    EXPECT_EQ(find<QLineEdit>(w, "edtAcpt")->text(), "7");
    EXPECT_EQ(find<QLineEdit>(w, "edtAckOk")->text(), "6");
    EXPECT_EQ(find<QLineEdit>(w, "edtErrRate")->text(), "25.0");
    EXPECT_EQ(find<QLineEdit>(w, "edtUpsVer")->text(), "V3.10.0025");
    EXPECT_EQ(find<QLineEdit>(w, "edtTypeInfo")->text(), "ZYR");
    EXPECT_EQ(find<QLineEdit>(w, "edtMdRate")->text(), "300");

    // A module never counted, then one with every frame acknowledged.
    w.CurModule = 6;
    w.RefreshView();
    EXPECT_EQ(find<QLineEdit>(w, "edtErrRate")->text(), "0");
    Cabinet().ModuleData[6].MdSend = Cabinet().ModuleData[6].MdAckOk = 4;
    w.RefreshView();
    EXPECT_EQ(find<QLineEdit>(w, "edtErrRate")->text(), "0.0");
}

TEST_F(MainWindowTest, AValueShownBeforeTheLinkWasLostIsShownAgainAfterIt)
{
    TFrmMain& w = window();
    w.FormShow();
    w.SelectDevAddr(1);
    Cabinet().UpsData[1].InVolt[0] = 230.1;
    Cabinet().UpsData[1].BattTemp = 25.5;
    w.RefreshView();
    auto* ac = find<QTableWidget>(w, "sgrdUPS_AC");
    auto* dc = find<QTableWidget>(w, "sgrdUPS_DC");
    ASSERT_EQ(CellText(ac, 1, 1), "230.1");

    w.ClearLiveView("COM3");
    EXPECT_EQ(CellText(ac, 1, 1), "");
    // The cabinet answers again with the very values it had: they must come back, though
    // none of them changed since they were last shown.
    w.RefreshView();
    EXPECT_EQ(CellText(ac, 1, 1), "230.1");
    EXPECT_EQ(CellText(dc, 1, 6), "25.5");

    Cabinet().UpsData[1].InVolt[0] = 229.9;
    w.RefreshView();
    EXPECT_EQ(CellText(ac, 1, 1), "229.9");
    EXPECT_EQ(CellText(dc, 1, 6), "25.5");
}

TEST_F(MainWindowTest, ModuleListNamesModulesOrShowsTheirStates)
{
    TFrmMain& w = window();
    auto* lst = find<QListWidget>(w, "lstMd");
    EXPECT_EQ(lst->item(0)->text(), "Module 01");
    EXPECT_EQ(lst->item(6)->text(), "Module 07");
    EXPECT_EQ(lst->item(9)->text(), "Module 10");
    EXPECT_EQ(lst->item(31)->text(), "Module 32");

    Cabinet().ModuleData[3].ModState = 4;
    Cabinet().ModuleData[12].ModState = 1;
    w.CurModule = 12;
    find<QCheckBox>(w, "chkMdSta")->setChecked(true);
    w.BuildModuleList();
    ASSERT_EQ(lst->count(), 32);
    EXPECT_EQ(lst->item(2)->text(), "03  " + StateText(4));
    EXPECT_EQ(lst->item(2)->text(), "03  Online");
    EXPECT_EQ(lst->item(11)->text(), "12  " + StateText(1));
    EXPECT_EQ(lst->currentRow(), 11);
}

TEST_F(MainWindowTest, ClickingTheShownModuleOnlyRestartsThePeriod)
{
    TFrmMain& w = window();
    Cabinet().ModuleData[1].InvVolt[0] = 220;
    w.TickCount = 7;
    w.lstMdClick();
    EXPECT_EQ(w.TickCount, 0);
    EXPECT_EQ(w.CurModule, 1);
    EXPECT_EQ(TestSlots()[2].Pending, 0);
    EXPECT_EQ(Cabinet().ModuleData[1].InvVolt[0], 220);
    EXPECT_FALSE(w.NeedsRepaint);
}

TEST_F(MainWindowTest, ChoosingAnotherModuleClearsItsValuesAndAsksForIt)
{
    TFrmMain& w = window();
    TModuleData& m = Cabinet().ModuleData[4];
    m.InvVolt[0] = 220;
    m.BattVolt[0] = 270;
    m.ChgRate = 90;
    m.ModState = 4;
    m.Status.CmmStaH = 0x1234;
    m.MdSend = 9;
    w.TickCount = 5;
    find<QListWidget>(w, "lstMd")->setCurrentRow(3); // the operator picks module 4
    EXPECT_EQ(w.TickCount, 0);
    EXPECT_EQ(w.CurModule, 4);
    EXPECT_EQ(m.InvVolt[0], 0);
    EXPECT_EQ(m.Status.CmmStaH, 0);
    EXPECT_EQ(m.MdSend, 0u);
    EXPECT_EQ(m.BattVolt[0], 270); // battery values stay until the reply
    EXPECT_EQ(m.ChgRate, 90);
    EXPECT_EQ(m.ModState, 4);
    EXPECT_TRUE(w.NeedsRepaint);
    EXPECT_EQ(TestSlots()[2].Pending, FlagOn);
    EXPECT_EQ(TestSlots()[2].Func, 4);
    EXPECT_EQ(TestSlots()[2].StartReg, 30101 + 50 * 3);
    EXPECT_EQ(TestSlots()[2].Count, 30);
    EXPECT_EQ(TestSlots()[2].Addr, 1);

    // With slot 2 still pending, another choice queues nothing over it.
    TestSlots()[2].StartReg = 11111;
    find<QListWidget>(w, "lstMd")->setCurrentRow(6);
    EXPECT_EQ(w.CurModule, 7);
    EXPECT_EQ(TestSlots()[2].StartReg, 11111);
}

TEST_F(MainWindowTest, ClearModuleValuesLeavesBatteryAndState)
{
    TFrmMain& w = window();
    TModuleData& m = Cabinet().ModuleData[9];
    for (int i = 0; i < 2; ++i) {
        m.BusVolt[i] = m.DcBusVolt[i] = m.Temp[i] = 1;
        m.BattVolt[i] = m.BattDisCurr[i] = m.BattChgCurr[i] = 2;
    }
    for (int i = 0; i < 3; ++i) m.InvVolt[i] = m.InvCurr[i] = 1;
    m.InvFreq = 1;
    for (int i = 0; i < 10; ++i) m.Status.Word(i) = 0x55;
    m.ChgRate = m.RemainTime = 2;
    m.ModState = 6;
    m.MdSend = m.MdAccept = m.MdAckOk = 3;
    w.ClearModuleValues(9);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(m.BusVolt[i] + m.DcBusVolt[i] + m.Temp[i], 0);
        EXPECT_EQ(m.BattVolt[i] + m.BattDisCurr[i] + m.BattChgCurr[i], 6);
    }
    for (int i = 0; i < 3; ++i) EXPECT_EQ(m.InvVolt[i] + m.InvCurr[i], 0);
    EXPECT_EQ(m.InvFreq, 0);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(m.Status.Word(i), 0) << i;
    EXPECT_EQ(m.ChgRate + m.RemainTime, 4);
    EXPECT_EQ(m.ModState, 6);
    EXPECT_EQ(m.MdSend + m.MdAccept + m.MdAckOk, 0u);
    EXPECT_EQ(Cabinet().ModuleData[8].ModState, 0);
    w.ClearModuleValues(0); // out of range: nothing
    w.ClearModuleValues(33);
}

TEST_F(MainWindowTest, ModuleRegistersMarkTheListForRebuild)
{
    TFrmMain& w = window();
    EXPECT_EQ(w.ModListDirty, 0);
    TLinkRequest values;
    values.func = 4;
    values.startReg = 30001;
    values.count = 44;
    FrmCom->ReplyAccepted(values, nullptr, 0);
    EXPECT_EQ(w.ModListDirty, 0) << "the cabinet's own values are no module's";
    TLinkRequest module = values;
    module.startReg = 30101 + 50 * 2;
    module.count = 30;
    FrmCom->ReplyAccepted(module, nullptr, 0);
    EXPECT_NE(w.ModListDirty, 0);
    w.chkMdStaClick();
    EXPECT_EQ(w.ModListDirty, FlagOn);
}

TEST_F(MainWindowTest, TheWindowFollowsTheLinkThroughItsSignalsAndTellsItTheSelection)
{
    {
        TFrmMain& w = window();
        w.SelectDevAddr(7);
        w.CurModule = 12;
        w.FollowLink(FrmCom); // the window tells its selection as it starts to follow
        EXPECT_EQ(FrmCom->DevAddr(), 7);
        // The module step of the poll asks the module the window shows.
        TestLinkState().PollStep = 3;
        FrmCom->LinkTick();
        EXPECT_EQ(FrmCom->Modbus->ReqStartReg, 30101 + 50 * 11);
        EXPECT_FALSE(w.NeedsRepaint);
        FrmCom->ReplyAccepted(TLinkRequest{}, nullptr, 0);
        EXPECT_TRUE(w.NeedsRepaint);
        const QByteArray frame("\x01\x04\x00\x00\x00\x01\x31\xCA", 8);
        FrmCom->FrameSent(frame);
        FrmCom->ChunkReceived(frame);
        EXPECT_EQ(TxLedHold, 3);
        EXPECT_EQ(RxLedHold, 2);
    }
    w_.reset();
    TxLedHold = RxLedHold = 0;
    FrmCom->FrameSent(QByteArray(1, '\x01')); // the window is gone: nobody listens
    EXPECT_EQ(TxLedHold, 0);
}

TEST_F(MainWindowTest, SelectingAnotherCabinetRestartsThePollCycle)
{
    TFrmMain& w = window();
    TestLinkState().PollStep = 3;
    find<QComboBox>(w, "cbbSelectZYR")->setCurrentIndex(2);
    w.cbbSelectZYRChange();
    EXPECT_EQ(w.DevAddr, 3);
    EXPECT_EQ(TestLinkState().PollStep, 100);
}

TEST_F(MainWindowTest, SelectingAnotherCabinetMovesTheWindowsWaitingReadsOnly)
{
    TFrmMain& w = window();
    ASSERT_EQ(w.DevAddr, 1);
    const QString self = w.objectName();
    const struct {
        TReqSlot slot;
        int addrAfter;
        const char* why;
    } cases[] = {
        {{FlagOn, 1, 3, 53000, 40, 0, 0, {}, self}, 3, "the window's text read follows the selection"},
        {{FlagOn, 1, 43, 1, 0, 0, 0, {}, self}, 3, "so does its type read"},
        {{FlagOn, 1, 4, 30101, 30, 0, 0, {}, self}, 3, "and its module read"},
        {{FlagOn, 1, 6, 30122, 0, 0, 0, {}, self}, 1, "a write stays with the cabinet it was confirmed for"},
        {{FlagOn, 1, 3, 40001, 34, 0, 0, {}, "frmUpsPara"}, 1, "another window's read is its own"},
        {{FlagOn, 2, 3, 53000, 40, 0, 0, {}, self}, 2, "a read for another address stays"},
        {{0, 1, 3, 53000, 40, 0, 0, {}, self}, 1, "a free slot is not touched"},
    };
    for (int i = 0; i < int(std::size(cases)); ++i) TestSlots()[i + 1] = cases[i].slot;
    find<QComboBox>(w, "cbbSelectZYR")->setCurrentIndex(2);
    w.cbbSelectZYRChange();
    ASSERT_EQ(w.DevAddr, 3);
    for (int i = 0; i < int(std::size(cases)); ++i) {
        EXPECT_EQ(TestSlots()[i + 1].Addr, cases[i].addrAfter) << cases[i].why;
        EXPECT_EQ(TestSlots()[i + 1].Pending, cases[i].slot.Pending) << cases[i].why;
        EXPECT_EQ(TestSlots()[i + 1].StartReg, cases[i].slot.StartReg) << cases[i].why;
    }
}

TEST_F(MainWindowTest, RecountAndReadQueueTheirRequests)
{
    TFrmMain& w = window();
    w.SelectDevAddr(2);
    w.CurModule = 3;
    DialogScript script;
    // The recount is a write: never queued while the port is closed.
    w.btnReCntClick();
    EXPECT_EQ(TestSlots()[2].Pending, FlagOff);
    EXPECT_EQ(script.messageTexts(), QStringList{"COM Port is off !"});

    bool portOpen = true;
    TFrmCom com;
    com.Timer1.stop();
    UseFakeLine(
        com, [&] { return portOpen; }, [](const uint8_t*, int) { return true; });
    w.FollowLink(&com); // as the start-up does once the link is made
    w.btnReCntClick();
    EXPECT_EQ(TestSlots()[2].Pending, FlagOn);
    EXPECT_EQ(TestSlots()[2].Addr, 2);
    EXPECT_EQ(TestSlots()[2].Func, 6);
    EXPECT_EQ(TestSlots()[2].StartReg, 30122 + 100);
    EXPECT_EQ(TestSlots()[2].Value, 0);
    w.CurModule = 4;
    w.btnReCntClick(); // slot still pending: refused, said
    EXPECT_EQ(TestSlots()[2].StartReg, 30222);
    EXPECT_EQ(script.messageTexts().last(), "Link busy, please try again");
    w.btnReadClick();
    EXPECT_EQ(TestSlots()[4].Pending, FlagOn);
    EXPECT_EQ(TestSlots()[4].Func, 43);
    EXPECT_EQ(TestSlots()[4].StartReg, 1);
}

TEST_F(MainWindowTest, ErrorRateLabelShowsAndResetsTheCounters)
{
    TFrmMain& w = window();
    TestCommDebug().TxCount = 8;
    TestCommDebug().RxCount = 7;
    TestCommDebug().AckCount = 7;
    TestCommDebug().ErrRate = 12.54;
    w.tmr1Timer();
    EXPECT_EQ(find<QLabel>(w, "lblErrRate")->text(), "Err Rate:  12.5%");
    w.lblErrRateDblClick();
    EXPECT_EQ(TestCommDebug().TxCount + TestCommDebug().RxCount + TestCommDebug().AckCount, 0);
    EXPECT_EQ(TestCommDebug().ErrRate, 0.0);
}

TEST_F(MainWindowTest, LedsStayLitForTheirHoldTicks)
{
    TFrmMain& w = window();
    auto* tx = find<TLed>(w, "iLedTx");
    auto* rx = find<TLed>(w, "iLedRx");
    TxLedHold = 3;
    RxLedHold = 2;
    const bool txLit[] = {true, true, true, false};
    const bool rxLit[] = {true, true, false, false};
    for (int t = 0; t < 4; ++t) {
        w.tmr1Timer();
        EXPECT_EQ(tx->isLit(), txLit[t]) << "tick " << t;
        EXPECT_EQ(rx->isLit(), rxLit[t]) << "tick " << t;
    }
    EXPECT_EQ(TxLedHold, 0);
}

TEST_F(MainWindowTest, PortLabelAndLinkButtonFollowTheLine)
{
    TFrmMain& w = window();
    LocalPara.ComName = "COM4";
    LocalPara.BaudRate = 9600;
    LocalPara.curProtocol = 1;
    w.tmr1Timer();
    EXPECT_EQ(find<QLabel>(w, "lblCommName")->text(), "COM4\n9600 bps\nProtocol:1");
    auto* btn = find<QToolButton>(w, "spbComLink");
    EXPECT_EQ(btn->toolTip(), "Trun On"); // no link form: the port counts as closed
    EXPECT_EQ(btn->icon().cacheKey(), w.Img_Off.cacheKey());
}

// The line-speed mode shows beside the speed, in the window's language.
TEST_F(MainWindowTest, PortLabelShowsTheLineSpeedMode)
{
    TFrmMain& w = window();
    LocalPara.ComName = "COM4";
    LocalPara.BaudRate = 19200;
    LocalPara.curProtocol = 0;
    TFrmCom com;
    com.Timer1.stop();
    com.SetFastLine(true);
    w.tmr1Timer();
    EXPECT_EQ(find<QLabel>(w, "lblCommName")->text(), "COM4\n19200 bps fast\nProtocol:0");
    LocalPara.Language = 1;
    w.tmr1Timer();
    EXPECT_EQ(find<QLabel>(w, "lblCommName")->text(), QString::fromUtf8("COM4\n19200 bps 快速\nProtocol:0"));
    LocalPara.Language = 0;
    com.SetFastLine(false);
    w.tmr1Timer();
    EXPECT_EQ(find<QLabel>(w, "lblCommName")->text(), "COM4\n19200 bps\nProtocol:0");
}

TEST_F(MainWindowTest, MouseOverThePortPanelHighlightsTheName)
{
    TFrmMain& w = window();
    auto* lbl = find<QLabel>(w, "lblCommName");
    QEvent enter(QEvent::Enter);
    QCoreApplication::sendEvent(find<QWidget>(w, "pnlComm"), &enter);
    EXPECT_TRUE(lbl->font().bold());
    EXPECT_EQ(lbl->palette().color(QPalette::WindowText), QColor(Qt::blue));
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(find<QWidget>(w, "pnlComm"), &leave);
    EXPECT_FALSE(lbl->font().bold());
}

// Menu visibility strings: which characters show which items.
struct MenuCase {
    const char* menu02;
    const char* menu03;
    const char* pageSheet;
    const char* shown;  // items expected visible
    const char* hidden; // items expected hidden
};

class MenuVisibilityTest : public MainWindowTest, public ::testing::WithParamInterface<MenuCase> {};

bool visible(TFrmMain& w, const QString& name)
{
    if (auto* m = w.findChild<QMenu*>(name)) return m->menuAction()->isVisible();
    if (auto* a = w.findChild<QAction*>(name)) return a->isVisible();
    auto* tabs = w.findChild<QTabWidget*>("PageControl1");
    return tabs->isTabVisible(tabs->indexOf(w.findChild<QWidget*>(name)));
}

TEST_P(MenuVisibilityTest, AppliesTheStrings)
{
    const MenuCase& c = GetParam();
    TFrmMain& w = window();
    LocalPara.Menu02 = c.menu02;
    LocalPara.Menu03 = c.menu03;
    LocalPara.PageSheet = c.pageSheet;
    w.ApplyMenuVisibility();
    for (const QString& n : QString::fromLatin1(c.shown).split(' ', Qt::SkipEmptyParts))
        EXPECT_TRUE(visible(w, n)) << n.toStdString();
    for (const QString& n : QString::fromLatin1(c.hidden).split(' ', Qt::SkipEmptyParts))
        EXPECT_FALSE(visible(w, n)) << n.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Strings, MenuVisibilityTest,
    ::testing::Values(
        // the defaults
        MenuCase{"1111100", "1110000", "11",
                 "mni2000 mni2001 mni2002 mni2003 mni2004 mni2006 mni3000 mni3001 mni3002 mni3005 "
                 "TabSheet1 TabSheet2 mni1000 mni4000",
                 "mni2005 mni3003 mni3004 mni4003"},
        MenuCase{"1111111", "1110000", "11", "mni2005", "mni4003"},
        MenuCase{"0111100", "1110000", "11", "mni3000", "mni2000"},
        MenuCase{"1111100", "1111100", "11", "mni3003 mni3004", ""},
        MenuCase{"1111100", "1110100", "11", "mni3004", "mni3003"},
        MenuCase{"1111100", "1110000", "10", "TabSheet1", "TabSheet2"},
        MenuCase{"1111100", "1110000", "1", "", "TabSheet2"},
        MenuCase{"1111100", "1110000", "01", "TabSheet2", ""},
        MenuCase{"", "", "", "mni2006 mni1000 mni4000 TabSheet1",
                 "mni2000 mni2001 mni3000 mni3001 TabSheet2"},
        MenuCase{"1x11100", "11100", "1x", "mni2000 mni3002", "mni2001 mni3003 TabSheet2"},
        // the trend item has no character of its own: shown with every item of its menu hidden
        MenuCase{"1111100", "1000000", "11", "mni3000 mni3005", "mni3001 mni3002 mni3003 mni3004"}));

TEST_F(MainWindowTest, HiddenModulePageComesBack)
{
    TFrmMain& w = window();
    LocalPara.PageSheet = "10";
    w.ApplyMenuVisibility();
    EXPECT_FALSE(visible(w, "TabSheet2"));
    LocalPara.PageSheet = "11";
    w.ApplyMenuVisibility();
    EXPECT_TRUE(visible(w, "TabSheet2"));
}

TEST_F(MainWindowTest, CaptionsComeFromTheFilesLanguage)
{
    writeSettings("Language=1\n");
    TFrmMain& w = window();
    w.FormShow();
    EXPECT_EQ(LocalPara.Language, 1);
    EXPECT_EQ(w.windowTitle(), QString::fromUtf8("工程工具(ZYR)"));
    EXPECT_EQ(find<TRadioGroup>(w, "rgLanguage")->ItemIndex(), 1);
    EXPECT_EQ(find<QLabel>(w, "lbDevID")->text(), QString::fromUtf8("设备地址"));
    EXPECT_EQ(find<QMenu>(w, "mni2000")->title(), QString::fromUtf8("设置"));
    EXPECT_EQ(CellText(find<QTableWidget>(w, "sgrdUPS_AC"), 0, 1), QString::fromUtf8("输入电压(V) "));
}

TEST_F(MainWindowTest, LanguageSwitchRecaptionsAtOnce)
{
    TFrmMain& w = window();
    w.FormShow();
    auto* rg = find<TRadioGroup>(w, "rgLanguage");
    EXPECT_EQ(rg->ItemIndex(), 0);
    rg->item(1)->click();
    EXPECT_EQ(LocalPara.Language, 1);
    struct Cap {
        const char* name;
        const char* zh;
    } caps[] = {
        {"mni1001", "通讯端口"}, {"mni2002", "ZRY配置"}, {"mni3002", "在线升级"}, {"mni4002", "通讯跟踪"}};
    for (const Cap& c : caps) EXPECT_EQ(find<QAction>(w, c.name)->text(), QString::fromUtf8(c.zh)) << c.name;
    EXPECT_EQ(find<QAction>(w, "mni2005")->text(), "Modbus View");
    EXPECT_EQ(find<QAction>(w, "mni4003")->text(), "Dict");
    auto* tabs = find<QTabWidget>(w, "PageControl1");
    EXPECT_EQ(tabs->tabText(1), QString::fromUtf8("模块"));
    EXPECT_EQ(find<QLabel>(w, "lbModuleIdx")->text(), QString::fromUtf8("模块序号"));
    EXPECT_EQ(CellText(find<QTableWidget>(w, "sgrdModule"), 0, 2), QString::fromUtf8("逆变电流流(A)"));
    EXPECT_EQ(CellText(find<QTableWidget>(w, "sgrdUPS_DC"), 1, 0), "     +");
    rg->item(0)->click();
    EXPECT_EQ(LocalPara.Language, 0);
    EXPECT_EQ(w.windowTitle(), "Engineering Tools(ZYR)");
    EXPECT_EQ(tabs->tabText(0), "System");
}

} // namespace
