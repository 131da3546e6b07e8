#include "settings/uMobusSet.h"

#include "comm/uCabinet.h"
#include "model/uDataFunc.h"
#include "model/uRegisters.h"
#include "model/uUpsInfo.h"
#include "settings/uOptionCodes.h"
#include "ui/uGuard.h"
#include "ui/uNamed.h"
#include "ui/uReqSlots.h"
#include "ui/uWindowCaptions.h"
#include "ui/uWindowFlags.h"

#include <QComboBox>
#include <QFrame>
#include <QListWidget>
#include <QPushButton>
#include <QShowEvent>

int32_t OptBaudCopy = -1;
int32_t OptProtocolCopy = -1;

TfrmMdbSet::TfrmMdbSet(QWidget* parent) : QDialog(parent, FixedDialogFlags)
{
    setObjectName(QStringLiteral("frmMdbSet"));
    setWindowTitle(WindowCaptionText(objectName()));
    setFixedSize(380, 150);
    lstSelct = MakeNamed<QListWidget>(this, "lstSelct", QRect(12, 12, 140, 126));
    pnl2 = MakeNamed<QFrame>(this, "pnl2", QRect(164, 12, 204, 44));
    pnl2->setFrameShape(QFrame::StyledPanel);
    cbbSelect = MakeNamed<QComboBox>(pnl2, "cbbSelect", QRect(8, 8, 188, 28));
    cbbSelect->setEditable(false); // pick only
    btnSend = MakeNamed<QPushButton>(this, "btnSend", QRect(268, 110, 100, 28));
    btnSend->setText(QStringLiteral("Send"));
    btnSend->setAutoDefault(false);
    connect(lstSelct, &QListWidget::itemSelectionChanged, this, [this] { lstSelctClick(); });
    connect(btnSend, &QPushButton::clicked, this, [this] { btnSendClick(); });
}

void TfrmMdbSet::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous()) FormShow();
}

void TfrmMdbSet::FormShow()
{
    OptBaudCopy = Cabinet().OptBaud;
    OptProtocolCopy = Cabinet().OptProtocol;
    const QSignalBlocker quiet(lstSelct);
    lstSelct->clear();
    lstSelct->addItem(LangText("Baud", "波特率"));
    lstSelct->addItem(LangText("Protocol", "协议"));
    SelRow = -1;
    btnSend->setEnabled(false);
}

void TfrmMdbSet::lstSelctClick()
{
    const QList<QListWidgetItem*> chosen = lstSelct->selectedItems();
    const int row = chosen.isEmpty() ? -1 : lstSelct->row(chosen.first());
    if (row != 0 && row != 1) {
        pnl2->hide();
        btnSend->setEnabled(false);
        return;
    }
    SelRow = row;
    pnl2->show();
    cbbSelect->clear();
    cbbSelect->addItems(row == 0 ? OptBaudItems() : OptProtocolItems());
    cbbSelect->setCurrentIndex(OptItemIndex(row == 0 ? OptBaudCopy : OptProtocolCopy));
    btnSend->setEnabled(true);
}

void TfrmMdbSet::btnSendClick()
{
    if (SelRow != 0 && SelRow != 1) return;
    const int item = cbbSelect->currentIndex();
    if (item < 0 || item > 2) {
        // Nothing chosen: code 0 would be written though nobody chose it.
        ShowPlainMessage(this, SelRow == 0 ? RowRefusalText(QStringLiteral("[Baud] value is invalid"),
                                                            QStringLiteral("波特率"))
                                           : RowRefusalText(QStringLiteral("[Protocol] value is invalid"),
                                                            QStringLiteral("协议")));
        cbbSelect->setFocus();
        return;
    }
    QueueWrite(this, {{1, 6, SelRow == 0 ? RegOptBaud : RegOptProtocol, 0, static_cast<uint16_t>(item)},
                      {2, 3, RegOptFirst, OptBlockCount}}); // the write and its read-back
}
