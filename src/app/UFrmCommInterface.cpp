#include "app/UFrmCommInterface.h"

#include "app/UFrmMain.h"
#include "comm/SPComm.h"
#include "comm/uFrmCom.h"
#include "model/UShareData.h"
#include "model/uDataFunc.h"
#include "model/uLocalPara.h"
#include "ui/uNamed.h"
#include "comm/uOpenFailure.h"
#include "ui/uUiSeam.h"
#include "ui/uWindowFlags.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QShowEvent>
#include <QTreeWidget>

#include <exception>

namespace {

// The dialog's client area, and its height once Find has shown the scan's panel below it.
constexpr int DialogWidth = 233;
constexpr int DialogHeight = 178;
constexpr int FindPanelHeight = 356;

QComboBox* makeList(QWidget* parent, const char* name, int top, const QStringList& items)
{
    auto* box = MakeNamed<QComboBox>(parent, name, QRect(96, top, 121, 24));
    box->setEditable(true);
    // A typed text is taken as it stands; it never becomes an item of the list.
    box->setInsertPolicy(QComboBox::NoInsert);
    box->addItems(items);
    return box;
}

// "COM1" to "COM20", then the serial ports this machine really has (USB adapters, for
// instance) that are not already one of those names.
QStringList portNames()
{
    QStringList names;
    QStringList devices;
    for (int n = 1; n <= 20; ++n) {
        names << QStringLiteral("COM%1").arg(n);
        devices << TFrmCom::DeviceName(names.last());
    }
    for (const QString& name : SystemSerialPorts()) {
        if (devices.contains(name) || names.contains(name, Qt::CaseInsensitive)) continue;
        names << name;
    }
    return names;
}

} // namespace

TFrmCommInterface::TFrmCommInterface(QWidget* parent)
    : QDialog(parent, FixedDialogFlags)
{
    setObjectName(QStringLiteral("FrmCommInterface"));
    setFixedSize(DialogWidth, DialogHeight);

    Label1 = MakeNamed<QLabel>(this, "Label1", QRect(16, 20, 76, 24));
    Label2 = MakeNamed<QLabel>(this, "Label2", QRect(16, 56, 76, 24));
    Label3 = MakeNamed<QLabel>(this, "Label3", QRect(16, 92, 76, 24));
    ComboBox1 = makeList(this, "ComboBox1", 20, portNames());
    ComboBox2 = makeList(this, "ComboBox2", 56, {"1200", "2400", "4800", "9600", "19200"});
    ComboBox3 = makeList(this, "ComboBox3", 92, {"ModBus", "YDT V3.1", "DSP Comm", "TCP+ModBus"});
    btnFind = MakeNamed<QPushButton>(this, "btnFind", QRect(10, 136, 68, 26));
    Button1 = MakeNamed<QPushButton>(this, "Button1", QRect(83, 136, 68, 26));
    Button2 = MakeNamed<QPushButton>(this, "Button2", QRect(156, 136, 68, 26));
    // Line-speed mode, kept in the settings file as FastLine.
    chkFastLine = MakeNamed<QCheckBox>(this, "chkFastLine", QRect(96, 117, 130, 18));
    Button1->setDefault(true);

    // The scan's panel, below the dialog's own area until Find shows it.
    lblFind = MakeNamed<QLabel>(this, "lblFind", QRect(12, 178, 209, 20));
    pbFind = MakeNamed<QProgressBar>(this, "pbFind", QRect(12, 202, 136, 22));
    pbFind->setTextVisible(false);
    btnFindCancel = MakeNamed<QPushButton>(this, "btnFindCancel", QRect(156, 200, 68, 26));
    lstFound = MakeNamed<QTreeWidget>(this, "lstFound", QRect(12, 234, 212, 110));
    lstFound->setRootIsDecorated(false);
    lstFound->setColumnCount(4);
    lstFound->setColumnWidth(0, 34);
    lstFound->setColumnWidth(1, 46);
    lstFound->setColumnWidth(2, 50);
    lstFound->header()->setStretchLastSection(true);
    lstFound->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff); // a long text is elided
    lstFound->setSelectionMode(QAbstractItemView::SingleSelection);
    for (QWidget* w : {static_cast<QWidget*>(lblFind), static_cast<QWidget*>(pbFind),
                       static_cast<QWidget*>(btnFindCancel), static_cast<QWidget*>(lstFound)})
        w->hide();

    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
    connect(btnFind, &QPushButton::clicked, this, [this] { btnFindClick(); });
    connect(btnFindCancel, &QPushButton::clicked, this, [this] { btnFindCancelClick(); });
    // A double click or Enter on an entry chooses it.
    connect(lstFound, &QTreeWidget::itemActivated, this,
            [this](QTreeWidgetItem* item) { lstFoundDblClick(lstFound->indexOfTopLevelItem(item)); });
}

TFrmCommInterface::~TFrmCommInterface()
{
    // The scan's port is closed before the dialog goes.
    delete scan_;
}

void TFrmCommInterface::showEvent(QShowEvent* event)
{
    if (!event->spontaneous()) FormShow();
    QDialog::showEvent(event);
}

void TFrmCommInterface::FormShow()
{
    ComboBox1->setCurrentText(LocalPara.ComName);
    ComboBox2->setCurrentText(QString::number(LocalPara.BaudRate));
    // An index outside the list (a typed protocol, -1) leaves the list with no choice.
    ComboBox3->setCurrentIndex(LocalPara.curProtocol >= 0 && LocalPara.curProtocol < ComboBox3->count()
                                   ? LocalPara.curProtocol
                                   : -1);
    chkFastLine->setChecked(LocalPara.FastLine);

    Label1->setText(LangText("Port", "串口"));
    Label2->setText(LangText("Bound Rate", "波特率"));
    Label3->setText(LangText("Protocol", "通讯协议"));
    Button1->setText(LangText("Confirm", "确定"));
    Button2->setText(LangText("Cancel", "取消"));
    chkFastLine->setText(LangText("Fast line", "快速通讯"));
    setWindowTitle(LangText("Set Port", "通讯端口设置"));
    findCaptions();
}

void TFrmCommInterface::findCaptions()
{
    btnFind->setText(LangText("Find", "查找"));
    btnFindCancel->setText(LangText("Cancel", "取消"));
    lstFound->setHeaderLabels({LangText("Addr.", "地址"), LangText("bit/s", "波特率"), LangText("Type", "型号"),
                               LangText("Version", "版本")});
    switch (findState_) {
    case TFindState::Idle: lblFind->clear(); break;
    case TFindState::Scanning:
        lblFind->setText(scanBaud_ == 0 ? LangText("Searching ...", "正在查找 ...")
                                        : LangText("Searching: %1 bit/s, address %2", "正在查找：%1 bps，地址 %2")
                                              .arg(scanBaud_)
                                              .arg(scanAddress_));
        break;
    case TFindState::Found:
        lblFind->setText(LangText("Found %1; double-click to use", "找到 %1 台，双击选用").arg(found_.size()));
        break;
    case TFindState::None: lblFind->setText(LangText("No cabinet answered", "没有机柜应答")); break;
    case TFindState::Cancelled:
        lblFind->setText(found_.isEmpty() ? LangText("Search cancelled", "查找已取消")
                                          : LangText("Cancelled; found %1", "查找已取消，找到 %1 台")
                                                .arg(found_.size()));
        break;
    }
}

void TFrmCommInterface::showError(const QString& text)
{
    TMessageBoxRequest request;
    request.parent = this;
    request.icon = QMessageBox::Critical;
    request.title = QCoreApplication::applicationName();
    request.text = text;
    ShowMessageBox(request);
}

void TFrmCommInterface::Button1Click() { confirm(); }

bool TFrmCommInterface::confirm()
{
    if (Scanning()) scan_->Cancel();
    LocalPara.ComName = ComboBox1->currentText();

    const QString speedText = ComboBox2->currentText();
    bool ok = false;
    const int speed = speedText.trimmed().toInt(&ok, 10);
    if (!ok) {
        showError(QStringLiteral("'%1' is not a valid integer value").arg(speedText));
        return false;
    }
    LocalPara.BaudRate = speed;

    // The list's index of the text shown; a text typed to match an item counts as that item.
    int protocol = ComboBox3->currentIndex();
    if (protocol < 0 || ComboBox3->itemText(protocol) != ComboBox3->currentText())
        protocol = ComboBox3->findText(ComboBox3->currentText(), Qt::MatchFixedString);
    LocalPara.curProtocol = protocol;
    LocalPara.FastLine = chkFastLine->isChecked();

    if (FrmCom) {
        try {
            FrmCom->OpenPort(LocalPara.ComName, LocalPara.BaudRate);
        } catch (const ECommsError& e) {
            // The port stays closed and the link keeps its protocol; the operator may correct
            // the choice and confirm again.
            showError(OpenFailureText(e));
            return false;
        } catch (const std::exception& e) {
            showError(QString::fromLocal8Bit(e.what()));
            return false;
        }
        FrmCom->SetActiveProtocol(LocalPara.curProtocol);
    }
    linkWasOpen_ = false; // the link runs on the confirmed port now
    SaveLocalPara();
    accept();
    return true;
}

void TFrmCommInterface::Button2Click() { reject(); }

void TFrmCommInterface::done(int result)
{
    if (Scanning()) scan_->Cancel();
    // Cancelled after a Find: the link goes on where it was.
    if (result != QDialog::Accepted) restoreLink();
    QDialog::done(result);
}

void TFrmCommInterface::restoreLink()
{
    if (!linkWasOpen_) return;
    linkWasOpen_ = false;
    if (!FrmCom || FrmCom->PortOpen()) return;
    try {
        FrmCom->OpenPort(LocalPara.ComName, LocalPara.BaudRate);
    } catch (const ECommsError& e) {
        showError(OpenFailureText(e));
    }
}

void TFrmCommInterface::showFindPanel()
{
    if (height() == FindPanelHeight) return;
    setFixedSize(DialogWidth, FindPanelHeight);
    for (QWidget* w : {static_cast<QWidget*>(lblFind), static_cast<QWidget*>(pbFind),
                       static_cast<QWidget*>(btnFindCancel), static_cast<QWidget*>(lstFound)})
        w->show();
}

void TFrmCommInterface::btnFindClick()
{
    if (Scanning()) return;
    // One master on the line: the link lets go of its port while the scan runs (and stops
    // waiting to reopen a lost one).
    if (FrmCom && (FrmCom->PortOpen() || FrmCom->PortLost())) {
        linkWasOpen_ = true;
        FrmCom->ClosePort();
    }
    delete scan_;
    scan_ = new TCabinetScan(this);
    connect(scan_, &TCabinetScan::Progress, this, &TFrmCommInterface::onScanProgress);
    connect(scan_, &TCabinetScan::CabinetFound, this, &TFrmCommInterface::onCabinetFound);
    connect(scan_, &TCabinetScan::Finished, this, &TFrmCommInterface::onScanFinished);
    found_.clear();
    lstFound->clear();
    showFindPanel();
    try {
        scan_->Start(ComboBox1->currentText().trimmed());
    } catch (const ECommsError& e) {
        findState_ = TFindState::Idle;
        findCaptions();
        pbFind->setValue(0);
        btnFindCancel->setEnabled(false);
        showError(OpenFailureText(e));
        restoreLink();
        return;
    }
    findState_ = TFindState::Scanning;
    scanBaud_ = scanAddress_ = 0;
    pbFind->setRange(0, scan_->Total());
    pbFind->setValue(0);
    btnFind->setEnabled(false);
    btnFindCancel->setEnabled(true);
    findCaptions();
}

void TFrmCommInterface::btnFindCancelClick()
{
    if (Scanning()) scan_->Cancel();
}

void TFrmCommInterface::onScanProgress(int done, int total, int baud, int address)
{
    pbFind->setRange(0, total);
    pbFind->setValue(done);
    if (baud == 0) return;
    scanBaud_ = baud;
    scanAddress_ = address;
    findCaptions();
}

void TFrmCommInterface::onCabinetFound(const TScanFound& found)
{
    found_.append(found);
    auto* item = new QTreeWidgetItem(lstFound);
    item->setText(0, QString::number(found.Address));
    item->setText(1, QString::number(found.Baud));
    item->setText(2, found.Identified ? QStringLiteral("%1 %2").arg(found.Type).arg(found.Rating) : QString());
    item->setText(3, found.Version);
    if (!lstFound->currentItem()) lstFound->setCurrentItem(item);
    findCaptions();
}

void TFrmCommInterface::onScanFinished(bool cancelled)
{
    findState_ = cancelled ? TFindState::Cancelled : found_.isEmpty() ? TFindState::None : TFindState::Found;
    btnFind->setEnabled(true);
    btnFindCancel->setEnabled(false);
    findCaptions();
}

void TFrmCommInterface::lstFoundDblClick(int row)
{
    if (row < 0 || row >= found_.size()) return;
    const TScanFound chosen = found_.at(row);
    if (Scanning()) scan_->Cancel();
    ComboBox1->setEditText(chosen.Port);
    ComboBox2->setEditText(QString::number(chosen.Baud));
    ComboBox3->setCurrentIndex(0); // the cabinet answered in Modbus
    const int32_t selectedBefore = LocalPara.SelectedAddr;
    LocalPara.SelectedAddr = chosen.Address; // saved with the speed
    if (!confirm()) {
        LocalPara.SelectedAddr = selectedBefore;
        return;
    }
    if (FrmMain) FrmMain->SelectDevAddr(chosen.Address);
}
