#include "settings/uFrmEdtZyr.h"

#include "comm/uCabinet.h"
#include "model/uDataFunc.h"
#include "model/uRegisters.h"
#include "model/uUpsInfo.h"
#include "ui/uCaptions.h"
#include "ui/uGraceWindows.h"
#include "ui/uGuard.h"
#include "ui/uNamed.h"
#include "ui/uPassword.h"
#include "ui/uReqSlots.h"
#include "ui/uWidgets.h"
#include "ui/uWindowCaptions.h"
#include "ui/uWindowFlags.h"

#include <QComboBox>
#include <QFrame>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>

#include <cstring>

namespace {
constexpr int CompanyBytes = 15;
constexpr int ModelAt = 15;
constexpr int ModelBytes = 10;
constexpr int TextsCount = 30; // company, five unused registers, model
constexpr int ReadBackCount = 10; // the single registers and the two after them

// The inside-communication choices and the values they send.
constexpr uint16_t BroadCastValues[] = {25, 27, 28, 29, 0};

struct TRowName {
    const char* en;
    const char* zh;
};
constexpr TRowName RowNames[TfrmEdtZyrCfg::RowCount] = {
    {"Company Name", "公司名称"},
    {"UPS Model", "UPS型号"},
    {"Type of Inside Common", "内部通讯方式"},
    {"Remote Control", "远程控制"},
    {"Power Rating Type", "额定功率模式"},
    {"Module Type", "模块类型"},
    {"Count of Confirmation for Module Status", "模块状态确认计数"},
    {"The Data of Battery calculated by", "电池数据的计算者为"},
};

// The register each register row writes, by row.
int rowRegister(int row)
{
    switch (row) {
    case TfrmEdtZyrCfg::RowBroadCast: return RegBroadCast;
    case TfrmEdtZyrCfg::RowRemote: return RegRemote;
    case TfrmEdtZyrCfg::RowPwrRat: return RegPwrRat;
    case TfrmEdtZyrCfg::RowMdType: return RegMdType;
    case TfrmEdtZyrCfg::RowConfirm: return RegConfirm;
    case TfrmEdtZyrCfg::RowBtCalcBy: return RegBtCalcBy;
    default: return 0;
    }
}

int broadCastIndex(uint8_t value)
{
    for (int i = 0; i < int(std::size(BroadCastValues)); ++i)
        if (BroadCastValues[i] == value) return i;
    return -1;
}
} // namespace

TfrmEdtZyrCfg::TfrmEdtZyrCfg(QWidget* parent)
    : QDialog(parent, FixedDialogFlags)
{
    setObjectName(QStringLiteral("frmEdtZyrCfg"));
    setWindowTitle(WindowCaptionText(objectName()));
    setFixedSize(480, 256);

    lstSelct = MakeNamed<QListWidget>(this, "lstSelct", QRect(8, 8, 234, 240));
    lstSelct->setWordWrap(true);
    lstSelct->setSpacing(1);
    lstSelct->setTextElideMode(Qt::ElideNone);
    lstSelct->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    connect(lstSelct, &QListWidget::itemClicked, this, [this] { lstSelctClick(); });
    connect(lstSelct, &QListWidget::currentRowChanged, this, [this] { lstSelctClick(); });

    pnl1 = MakeNamed<QFrame>(this, "pnl1", QRect(0, 0, 200, 34));
    edtText = MakeNamed<QLineEdit>(pnl1, "edtText", QRect(4, 4, 192, 26));
    QFont courier(QStringLiteral("Courier New"));
    courier.setStyleHint(QFont::TypeWriter);
    courier.setPointSize(11);
    edtText->setFont(courier);

    pnl2 = MakeNamed<QFrame>(this, "pnl2", QRect(0, 0, 200, 34));
    cbbSelect = MakeNamed<QComboBox>(pnl2, "cbbSelect", QRect(4, 4, 192, 26));
    cbbSelect->setEditable(false); // pick only

    rgChoise =
        Named(new TRadioGroup({QStringLiteral("Enable"), QStringLiteral("Disable")}, this), "rgChoise");
    rgChoise->setGeometry(0, 0, 220, 44);

    btnSend = MakeNamed<QPushButton>(this, "btnSend", QRect(250, 150, 100, 30));
    btnSend->setAutoDefault(false);
    connect(btnSend, &QPushButton::clicked, this, [this] { btnSendClick(); });

    // The editor's presence holds the password grace period.
    SetGraceWindowProbe(TGraceWindow::EdtZyrCfg,
                        [self = QPointer<TfrmEdtZyrCfg>(this)] { return self && self->isVisible(); });

    FormCreate();
}

void TfrmEdtZyrCfg::FormCreate()
{
    // The three editor kinds share one place; one of them at a time is shown.
    for (QWidget* editor :
         {static_cast<QWidget*>(pnl1), static_cast<QWidget*>(pnl2), static_cast<QWidget*>(rgChoise)})
        editor->move(250, 80);
}

void TfrmEdtZyrCfg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous()) FormShow();
}

void TfrmEdtZyrCfg::FormShow()
{
    std::memcpy(CfgEdit, Cabinet().CfgRx, 25);
    TextsKnown = Cabinet().CfgTextRecvd != FlagOff;
    std::memcpy(CfgEdit + 35, Cabinet().CfgRx + 35, 6);
    std::memcpy(RowsFrom, Cabinet().CfgRegsFrom, sizeof RowsFrom);
    {
        const QSignalBlocker quiet(lstSelct);
        lstSelct->clear();
        for (const TRowName& r : RowNames) lstSelct->addItem(LangText(r.en, r.zh));
        lstSelct->setCurrentRow(-1);
    }
    ApplyCaptionTable({{btnSend, "Send", "设置"}});
    SelRow = -1;
    showEditor(nullptr);
}

void TfrmEdtZyrCfg::showEditor(QWidget* editor)
{
    pnl1->setVisible(editor == pnl1);
    pnl2->setVisible(editor == pnl2);
    rgChoise->setVisible(editor == rgChoise);
    btnSend->setEnabled(editor != nullptr);
}

void TfrmEdtZyrCfg::showList(const QStringList& items, int index)
{
    cbbSelect->clear();
    cbbSelect->addItems(items);
    cbbSelect->setCurrentIndex(index >= 0 && index < items.size() ? index : -1);
    showEditor(pnl2);
}

void TfrmEdtZyrCfg::showSwitch(const char* en0, const char* zh0, const char* en1, const char* zh1, int index)
{
    rgChoise->item(0)->setText(LangText(en0, zh0));
    rgChoise->item(1)->setText(LangText(en1, zh1));
    rgChoise->SetItemIndex(index);
    showEditor(rgChoise);
}

void TfrmEdtZyrCfg::lstSelctClick()
{
    const int row = lstSelct->currentRow();
    if (row < 0 || row >= lstSelct->count() || row >= RowCount) {
        SelRow = -1;
        showEditor(nullptr);
        return;
    }
    SelRow = row;
    switch (row) {
    case RowCompany:
    case RowModel: {
        const int width = row == RowCompany ? CompanyBytes : ModelBytes;
        edtText->setMaxLength(width);
        edtText->setText(FieldText(CfgEdit + (row == RowCompany ? 0 : ModelAt), width));
        showEditor(pnl1);
        break;
    }
    case RowBroadCast:
        showList({"Type0 (25)", "Type1 (27)", "Type2 (28)", "Type3 (29)", "None (0)"},
                 broadCastIndex(CfgEdit[35]));
        break;
    case RowRemote: showSwitch("Enable", "使能", "Disable", "禁止", CfgEdit[36] != 0 ? 0 : 1); break;
    case RowPwrRat: showSwitch("Setting", "设定", "Effective", "实际", CfgEdit[37] != 0 ? 1 : 0); break;
    case RowMdType: {
        // The master code leaves only the two module types of this family.
        QStringList types{"ZYR", "QOL"};
        if (AcceptedPsw != QLatin1String(MasterPsw)) types << QStringLiteral("WEN");
        showList(types, CfgEdit[38]);
        break;
    }
    case RowConfirm: showList({"0", "1"}, CfgEdit[39]); break;
    case RowBtCalcBy: showList({"Module", "Monitor"}, CfgEdit[40]); break;
    default: break;
    }
}

uint16_t TfrmEdtZyrCfg::RowValue(int row) const
{
    const int list = cbbSelect->currentIndex();
    const int choice = rgChoise->ItemIndex();
    switch (row) {
    case RowBroadCast: return list >= 0 ? BroadCastValues[list] : 0;
    case RowRemote: return choice == 0 ? 1 : 0;
    case RowPwrRat: return choice == 1 ? 1 : 0;
    case RowMdType: return list >= 0 ? static_cast<uint16_t>(list) : 65535;
    case RowConfirm: return list == 0 ? 0 : 1;
    case RowBtCalcBy: return list == 0 ? 0 : 1;
    default: return 0;
    }
}

bool TfrmEdtZyrCfg::RowChosen(int row) const
{
    switch (row) {
    case RowBroadCast:
    case RowMdType:
    case RowConfirm:
    case RowBtCalcBy: return cbbSelect->currentIndex() >= 0;
    case RowRemote:
    case RowPwrRat: return rgChoise->ItemIndex() >= 0;
    default: return true;
    }
}

void TfrmEdtZyrCfg::btnSendClick()
{
    const int row = SelRow;
    if (row < 0 || row >= RowCount) return;
    // A list row with nothing chosen would write a value nobody chose.
    if (!RowChosen(row)) {
        ShowPlainMessage(
            this, RowRefusalText(QStringLiteral("[%1] value is invalid").arg(QLatin1String(RowNames[row].en)),
                                 QString::fromUtf8(RowNames[row].zh)));
        cbbSelect->setFocus();
        return;
    }
    // Writing a text rewrites the whole text area; with texts not yet read it would write
    // blanks over the other one.
    if ((row == RowCompany || row == RowModel) && !TextsKnown) {
        ShowPlainMessage(
            this, QStringLiteral("The company name and model have not been read from the cabinet yet.\n"
                                 "Close this window, wait until the view shows them, then edit again."));
        return;
    }
    // A register row's choice starts from the value read: a value never read from the
    // cabinet now selected (zeros, or another cabinet's) is a choice nobody made.
    if (row >= RowBroadCast && RowsFrom[row - RowBroadCast] != SelectedDevAddr()) {
        ShowPlainMessage(this, QStringLiteral("The configuration has not been read from this cabinet yet.\n"
                                              "Close this window, wait until the view shows it, then edit again."));
        return;
    }
    // The texts are written again whole, with their words captured now; a register is read
    // back. A refused write leaves the edit copy as it was.
    uint8_t keep[CfgSize];
    std::memcpy(keep, CfgEdit, sizeof keep);
    if (row == RowCompany) PutFieldText(CfgEdit, CompanyBytes, edtText->text());
    if (row == RowModel) PutFieldText(CfgEdit + ModelAt, ModelBytes, edtText->text());
    TWriteOutcome out = TWriteOutcome::Queued;
    switch (row) {
    case RowCompany:
        out = QueueWrite(this, {{1, 16, RegCompanyFirst, CompanyBytes}, {2, 16, RegTextFirst, TextsCount}});
        break;
    case RowModel:
        out = QueueWrite(this, {{1, 16, RegModelFirst, ModelBytes}, {2, 16, RegTextFirst, TextsCount}});
        break;
    default:
        out = QueueWrite(
            this, {{1, 6, rowRegister(row), 1, RowValue(row)}, {2, 3, RegCfgRegsFirst, ReadBackCount}});
        break;
    }
    if (out != TWriteOutcome::Queued) std::memcpy(CfgEdit, keep, sizeof keep);
}
