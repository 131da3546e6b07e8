// The main window's components and their places: the top strip, the system and module pages,
// and the menu.
#include "app/UFrmMain.h"

#include "comm/uFrmCom.h"
#include "diag/uFrmTrack.h"
#include "model/UShareData.h"
#include "model/uLocalPara.h"
#include "ui/uGuard.h"
#include "ui/uHexEdit.h"
#include "ui/uNamed.h"
#include "ui/uPassword.h"
#include "ui/uStatusWordFields.h"
#include "ui/uStringGrid.h"
#include "ui/uViewMainHooks.h"
#include "ui/uViewRegistry.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QShowEvent>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QToolButton>

#include <initializer_list>

namespace {

struct CodeFieldSlot {
    QLineEdit** field;
    const char* name;
    TStatusWord word;
};

// The hexadecimal code fields of one group, in rows of perRow, pitch pixels apart; each shows
// its word of the status block.
TStatusWordFields placeCodeFields(QGroupBox* group, int perRow, int pitch, int width,
                                  std::initializer_list<CodeFieldSlot> slots)
{
    TStatusWordFields shown;
    int i = 0;
    for (const CodeFieldSlot& slot : slots) {
        *slot.field = MakeCodeField(group, slot.name);
        (*slot.field)->setGeometry(12 + (i % perRow) * pitch, 26 + (i / perRow) * 32, width, 26);
        shown.Add(slot.word, *slot.field);
        ++i;
    }
    return shown;
}

QLineEdit* readOnlyEdit(QWidget* parent, const char* name)
{
    auto* e = Named(new QLineEdit(parent), name);
    e->setReadOnly(true);
    return e;
}

} // namespace

void TFrmMain::createTopStrip(QWidget* c)
{
    iLedTx = Named(new TLed(QColor(0, 220, 0), c), "iLedTx");
    iLedTx->move(10, 8);
    iLedRx = Named(new TLed(QColor(255, 220, 0), c), "iLedRx");
    iLedRx->move(34, 8);
    lblErrRate = Named(new TClickLabel(c), "lblErrRate");
    lblErrRate->setGeometry(8, 34, 134, 20);
    lblErrRate->setText(QStringLiteral("Err Rate:  0.0%"));

    lbDevID = Named(new QLabel(c), "lbDevID");
    lbDevID->setGeometry(148, 8, 96, 20);
    cbbSelectZYR = Named(new QComboBox(c), "cbbSelectZYR");
    for (int i = 1; i <= MaxDevAddr; ++i) cbbSelectZYR->addItem(QString::number(i));
    cbbSelectZYR->setGeometry(148, 32, 60, 24);

    grpUpsVer = Named(new QGroupBox(QStringLiteral("ZYR Version"), c), "grpUpsVer");
    grpUpsVer->setGeometry(248, 2, 130, 58);
    edtUpsVer = readOnlyEdit(grpUpsVer, "edtUpsVer");
    edtUpsVer->setGeometry(8, 24, 114, 26);

    pnlVer = Named(new QLabel(c), "pnlVer");
    pnlVer->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    pnlVer->setAlignment(Qt::AlignCenter);
    pnlVer->setGeometry(384, 4, 150, 24);
    rgLanguage =
        Named(new TRadioGroup({QStringLiteral("English"), QString::fromUtf8("中文")}, c), "rgLanguage");
    rgLanguage->setGeometry(384, 30, 150, 30);

    spbComLink = Named(new QToolButton(c), "spbComLink");
    spbComLink->setGeometry(540, 6, 50, 52);
    spbComLink->setIconSize(QSize(32, 32));
    spbComLink->setAutoRaise(false);
    Img_On = LinkGlyphOn();
    Img_Off = LinkGlyphOff();
    Img_Lost = LinkGlyphLost();

    pnlComm = Named(new QFrame(c), "pnlComm");
    pnlComm->setGeometry(596, 2, 142, 60);
    pnlComm->setFrameStyle(QFrame::NoFrame);
    pnlComm->installEventFilter(this);
    lblCommName = Named(new TClickLabel(pnlComm), "lblCommName");
    lblCommName->setGeometry(4, 1, 134, 58);
    lblCommName->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    lblCommName->setCursor(Qt::PointingHandCursor);
}

void TFrmMain::createSystemPage()
{
    QWidget* p = TabSheet1;
    sgrdUPS_AC = Named(new QTableWidget(p), "sgrdUPS_AC");
    sgrdUPS_AC->move(8, 8);
    sgrdUPS_DC = Named(new QTableWidget(p), "sgrdUPS_DC");
    sgrdUPS_DC->move(300, 8);
    edtSysState = readOnlyEdit(p, "edtSysState");
    edtSysState->setGeometry(300, 172, 250, 26);

    grp1 = Named(new QGroupBox(QStringLiteral("Code"), p), "grp1");
    grp1->setGeometry(8, 268, 400, 96);
    grp1->setEnabled(false);
    cabinetWords_ = placeCodeFields(grp1, 5, 76, 68,
                                    {{&mdtCmmStaH, "mdtCmmStaH", TStatusWord::CmmStaH},
                                     {&mdtCmmStaL, "mdtCmmStaL", TStatusWord::CmmStaL},
                                     {&mdtInvStaH, "mdtInvStaH", TStatusWord::InvStaH},
                                     {&mdtInvStaL, "mdtInvStaL", TStatusWord::InvStaL},
                                     {&mdtSysSta, "mdtSysSta", TStatusWord::SysSta},
                                     {&mdtCmmAlmH, "mdtCmmAlmH", TStatusWord::CmmAlmH},
                                     {&mdtCmmAlmL, "mdtCmmAlmL", TStatusWord::CmmAlmL},
                                     {&mdtInvAlmH, "mdtInvAlmH", TStatusWord::InvAlmH},
                                     {&mdtInvAlmL, "mdtInvAlmL", TStatusWord::InvAlmL},
                                     {&mdtSysAlm, "mdtSysAlm", TStatusWord::SysAlm}});
    btnZyrCode = Named(new QPushButton(QStringLiteral("Detail"), p), "btnZyrCode");
    btnZyrCode->setGeometry(420, 304, 90, 30);

    grpTypeInfo = Named(new QGroupBox(QStringLiteral("TypeInfo"), p), "grpTypeInfo");
    grpTypeInfo->setGeometry(564, 8, 156, 130);
    edtTypeInfo = readOnlyEdit(grpTypeInfo, "edtTypeInfo");
    edtTypeInfo->setGeometry(10, 24, 136, 26);
    edtMdRate = readOnlyEdit(grpTypeInfo, "edtMdRate");
    edtMdRate->setGeometry(10, 56, 136, 26);
    btnRead = Named(new QPushButton(QStringLiteral("Read"), grpTypeInfo), "btnRead");
    btnRead->setGeometry(10, 90, 136, 30);
}

void TFrmMain::createModulePage()
{
    QWidget* p = TabSheet2;
    lbModuleIdx = Named(new QLabel(p), "lbModuleIdx");
    lbModuleIdx->setGeometry(8, 6, 160, 20);
    chkMdSta = Named(new QCheckBox(QStringLiteral("Show Module State"), p), "chkMdSta");
    chkMdSta->setGeometry(8, 28, 170, 22);
    lstMd = Named(new QListWidget(p), "lstMd");
    lstMd->setGeometry(8, 54, 160, 350);

    edtMdState = readOnlyEdit(p, "edtMdState");
    edtMdState->setGeometry(178, 8, 300, 26);
    sgrdModule = Named(new QTableWidget(p), "sgrdModule");
    sgrdModule->move(178, 40);

    grp2 = Named(new QGroupBox(QStringLiteral("Code"), p), "grp2");
    grp2->setGeometry(178, 278, 300, 96);
    moduleWords_ = placeCodeFields(grp2, 4, 72, 64,
                                   {{&mdt_MdCMMStatusH, "mdt_MdCMMStatusH", TStatusWord::CmmStaH},
                                    {&mdt_MdCMMStatusL, "mdt_MdCMMStatusL", TStatusWord::CmmStaL},
                                    {&mdt_MdINVStatusH, "mdt_MdINVStatusH", TStatusWord::InvStaH},
                                    {&mdt_MdINVStatusL, "mdt_MdINVStatusL", TStatusWord::InvStaL},
                                    {&mdt_MdCMMAlarmH, "mdt_MdCMMAlarmH", TStatusWord::CmmAlmH},
                                    {&mdt_MdCMMAlarmL, "mdt_MdCMMAlarmL", TStatusWord::CmmAlmL},
                                    {&mdt_MdINVAlarmH, "mdt_MdINVAlarmH", TStatusWord::InvAlmH},
                                    {&mdt_MdINVAlarmL, "mdt_MdINVAlarmL", TStatusWord::InvAlmL}});
    btnMdCode = Named(new QPushButton(QStringLiteral("Detail"), p), "btnMdCode");
    btnMdCode->setGeometry(178, 382, 90, 30);

    grp3 = Named(new QGroupBox(QStringLiteral("Comm Count"), p), "grp3");
    grp3->setGeometry(490, 8, 230, 220);
    const char* capNames[4] = {"lblErrRateCap", "lblSendCap", "lblAcptCap", "lblAckOkCap"};
    const char* caps[4] = {"Error rate(%)", "Send", "Accept", "Ack OK"};
    const char* editNames[4] = {"edtErrRate", "edtSend", "edtAcpt", "edtAckOk"};
    QLineEdit** edits[4] = {&edtErrRate, &edtSend, &edtAcpt, &edtAckOk};
    for (int i = 0; i < 4; ++i) {
        auto* cap = Named(new QLabel(QString::fromLatin1(caps[i]), grp3), capNames[i]);
        cap->setGeometry(10, 28 + i * 32, 110, 24);
        *edits[i] = readOnlyEdit(grp3, editNames[i]);
        (*edits[i])->setGeometry(112, 27 + i * 32, 106, 26);
    }
    btnReCnt = Named(new QPushButton(QStringLiteral("recount"), grp3), "btnReCnt");
    btnReCnt->setGeometry(10, 160, 208, 28);
    btnViewMDBuff = Named(new QPushButton(QStringLiteral("View RxBuff"), p), "btnViewMDBuff");
    btnViewMDBuff->setGeometry(490, 240, 230, 30);
    lblTest01 = Named(new QLabel(QStringLiteral("0"), p), "lblTest01");
    lblTest01->setGeometry(490, 390, 60, 20);
}

void TFrmMain::createMenu()
{
    MainMenu1 = Named(new QMenuBar(this), "MainMenu1");
    setMenuBar(MainMenu1);
    auto menu = [this](const char* name) { return Named(MainMenu1->addMenu(QString()), name); };
    auto item = [](QMenu* m, const char* name) { return Named(m->addAction(QString()), name); };
    mni1000 = menu("mni1000");
    mni1001 = item(mni1000, "mni1001");
    mni1002 = item(mni1000, "mni1002");
    mni2000 = menu("mni2000");
    mni2001 = item(mni2000, "mni2001");
    mni2002 = item(mni2000, "mni2002");
    mni2003 = item(mni2000, "mni2003");
    mni2004 = item(mni2000, "mni2004");
    mni2005 = item(mni2000, "mni2005");
    mni2006 = item(mni2000, "mni2006");
    mni2007 = item(mni2000, "mni2007");
    mni2008 = item(mni2000, "mni2008");
    mni3000 = menu("mni3000");
    mni3001 = item(mni3000, "mni3001");
    mni3002 = item(mni3000, "mni3002");
    mni3003 = item(mni3000, "mni3003");
    mni3004 = item(mni3000, "mni3004");
    mni3005 = item(mni3000, "mni3005"); // the trend: shown whatever the visibility strings say
    mni3006 = item(mni3000, "mni3006");
    mni4000 = menu("mni4000");
    mni4001 = item(mni4000, "mni4001");
    mni4002 = item(mni4000, "mni4002");
    mni4003 = item(mni4000, "mni4003");
    mni4003->setText(QStringLiteral("Dict"));
}
