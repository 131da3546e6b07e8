#include "settings/uZyrCfg.h"

#include "comm/uCabinet.h"
#include "model/uDataFunc.h"
#include "model/uRegisters.h"
#include "model/uUpsInfo.h"
#include "settings/uFrmEdtZyr.h"
#include "ui/uCaptions.h"
#include "ui/uGraceWindows.h"
#include "ui/uGuard.h"
#include "ui/uNamed.h"
#include "ui/uReqSlots.h"
#include "ui/uShowText.h"
#include "ui/uUiSeam.h"
#include "ui/uWidgets.h"
#include "ui/uWindowCaptions.h"
#include "ui/uWindowFlags.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QShowEvent>
#include <QTimer>

#include <cstring>

namespace {
constexpr int TextsCount = 40;
// The single registers are read with the two after them.
constexpr int RegsCount = 10;

QLineEdit* makeShowField(QWidget* parent, const char* name, const QRect& geometry)
{
    auto* e = MakeNamed<QLineEdit>(parent, name, geometry);
    e->setReadOnly(true);
    return e;
}
} // namespace

QString BroadNumText(uint8_t value)
{
    const char* name = "";
    switch (value) {
    case 25: name = "Type0 "; break;
    case 27: name = "Type1 "; break;
    case 28: name = "Type2 "; break;
    case 29: name = "Type3 "; break;
    case 0: name = "None "; break;
    default: break;
    }
    return QLatin1String(name) + QLatin1Char('(') + QString::number(value) + QLatin1Char(')');
}

TfrmZyrCfg::TfrmZyrCfg(QWidget* parent)
    : QDialog(parent, FixedDialogFlags)
{
    setObjectName(QStringLiteral("frmZyrCfg"));
    setFixedSize(540, 428);

    grp1 = MakeNamed<QGroupBox>(this, "grp1", QRect(8, 4, 524, 376));
    grpSnmpView = MakeNamed<QGroupBox>(grp1, "grpSnmpView", QRect(8, 16, 508, 92));
    lblCompName = MakeNamed<QLabel>(grpSnmpView, "lblCompName", QRect(12, 26, 180, 22));
    edtCompany = makeShowField(grpSnmpView, "edtCompany", QRect(200, 24, 200, 24));
    lblUpsModel = MakeNamed<QLabel>(grpSnmpView, "lblUpsModel", QRect(12, 58, 180, 22));
    edtModel = makeShowField(grpSnmpView, "edtModel", QRect(200, 56, 200, 24));

    grpZYRInfo = MakeNamed<QGroupBox>(grp1, "grpZYRInfo", QRect(8, 116, 508, 252));
    const int labelX = 12, labelW = 296, editX = 316, editW = 176;
    lblBroadCast = MakeNamed<QLabel>(grpZYRInfo, "lblBroadCast", QRect(labelX, 24, labelW, 22));
    edtBroadNum = makeShowField(grpZYRInfo, "edtBroadNum", QRect(editX, 22, editW, 24));
    lblRemote = MakeNamed<QLabel>(grpZYRInfo, "lblRemote", QRect(labelX, 56, labelW, 22));
    edtEnRemote = makeShowField(grpZYRInfo, "edtEnRemote", QRect(editX, 54, editW, 24));
    lblRatPwr = MakeNamed<QLabel>(grpZYRInfo, "lblRatPwr", QRect(labelX, 88, labelW, 22));
    edtPwrRat = makeShowField(grpZYRInfo, "edtPwrRat", QRect(editX, 86, editW, 24));
    rgMdType = Named(
        new TRadioGroup({QStringLiteral("ZYR"), QStringLiteral("QOL"), QStringLiteral("WEN")}, grpZYRInfo),
        "rgMdType");
    rgMdType->setGeometry(labelX, 120, editX + editW - labelX, 52);
    lblConfirm = MakeNamed<QLabel>(grpZYRInfo, "lblConfirm", QRect(labelX, 184, labelW, 22));
    edtConfirm = makeShowField(grpZYRInfo, "edtConfirm", QRect(editX, 182, editW, 24));
    lblBtCalcBy = MakeNamed<QLabel>(grpZYRInfo, "lblBtCalcBy", QRect(labelX, 216, labelW, 22));
    edtBtCalcBy = makeShowField(grpZYRInfo, "edtBtCalcBy", QRect(editX, 214, editW, 24));

    lblCount = MakeNamed<QLabel>(this, "lblCount", QRect(16, 392, 40, 22));
    btnEdit = MakeNamed<QPushButton>(this, "btnEdit", QRect(436, 388, 96, 30));
    btnEdit->setAutoDefault(false);
    connect(btnEdit, &QPushButton::clicked, this, [this] { btnEditClick(); });

    // Nothing can be typed in the view.
    grp1->setEnabled(false);
    grpSnmpView->setEnabled(false);
    grpZYRInfo->setEnabled(false);
    KeepLegibleWhenDisabled(grp1);

    tmr1 = Named(new QTimer(this), "tmr1");
    tmr1->setInterval(1000);
    connect(tmr1, &QTimer::timeout, this, [this] { tmr1Timer(); });

    // The password grace period runs on while this view is shown.
    SetGraceWindowProbe(TGraceWindow::ZyrCfg,
                        [self = QPointer<TfrmZyrCfg>(this)] { return self && self->isVisible(); });

    FormCreate();
    ApplyCaptions();
    tmr1->start();
}

void TfrmZyrCfg::FormCreate()
{
    // Company name and model start blank in both the received area and the edit copy.
    std::memset(Cabinet().CfgRx, ' ', 25);
    std::memset(CfgEdit, ' ', 25);
    Cabinet().CfgTextRecvd = FlagOff;
    QPalette pal = lblCount->palette();
    pal.setColor(QPalette::WindowText, Qt::white);
    lblCount->setPalette(pal);
}

void TfrmZyrCfg::ApplyCaptions()
{
    ApplyCaptionTable({
        WindowCaptionRow(this),
        {grpSnmpView, "SNMP View", "SNMP卡显示"},
        {lblCompName, "Company name", "公司名称"},
        {lblUpsModel, "UPS Type", "UPS机型"},
        {rgMdType, "Module Type", "模块型号"},
        {lblRatPwr, "Type of Rated power Showed", "额定功能显示方式"},
        {lblRemote, "Remote Control", "远程控制"},
        {lblBroadCast, "Type of Inside Common", "内部通讯方式"},
        {btnEdit, "Edit", "编辑"},
        {lblConfirm, "Count of Confirmation for Module Status", "模块状态确认计数"},
        {lblBtCalcBy, "The Data of Battery calculated by ", "电池数据的计算者为"},
    });
}

void TfrmZyrCfg::FormShow() { ApplyCaptions(); }

void TfrmZyrCfg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous()) FormShow();
}

void TfrmZyrCfg::RefreshView()
{
    ShowText(edtCompany, FieldText(Cabinet().CfgRx, 15));
    ShowText(edtModel, FieldText(Cabinet().CfgRx + 15, 10));
    ShowText(edtBroadNum, BroadNumText(Cabinet().CfgRx[35]));
    ShowText(edtEnRemote,
             Cabinet().CfgRx[36] != 0 ? LangText("Enable", "使能") : LangText("Disable", "禁止"));
    const uint8_t rating = Cabinet().CfgRx[37];
    ShowText(edtPwrRat, rating == 0   ? LangText("Setting", "设定")
                        : rating == 1 ? LangText("Effective", "实际")
                                      : QString::number(rating));
    rgMdType->SetItemIndex(Cabinet().CfgRx[38] <= 2 ? Cabinet().CfgRx[38] : -1);
    ShowText(edtConfirm, QString::number(Cabinet().CfgRx[39]));
    ShowText(edtBtCalcBy, Cabinet().CfgRx[40] == 1 ? QStringLiteral("Monitor") : QStringLiteral("Module"));
}

void TfrmZyrCfg::tmr1Timer()
{
    RefreshView();
    lblCount->setText(QString::number(TickCount));
    if (TickCount > 4) {
        TickCount = 0;
        return;
    }
    ++TickCount;
    if (!isVisible()) return;
    // The texts on the first tick of the cycle, the registers on the third.
    if (TickCount == 1) QueueRequest(1, 3, RegTextFirst, TextsCount);
    if (TickCount == 3) QueueRequest(1, 3, RegCfgRegsFirst, RegsCount);
}

void TfrmZyrCfg::btnEditClick()
{
    if (!GuardAction(this, TGuardKind::PortAndGrace)) return;
    auto* editor = new TfrmEdtZyrCfg(this);
    ExecModal(editor);
    delete editor;
}
