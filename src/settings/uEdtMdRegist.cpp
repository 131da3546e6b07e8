#include "settings/uEdtMdRegist.h"

#include "model/uDataFunc.h"
#include "model/uUpsInfo.h"
#include "ui/uGuard.h"
#include "ui/uNamed.h"
#include "ui/uReqSlots.h"
#include "ui/uWidgets.h"
#include "ui/uWindowFlags.h"
#include "ui/uWindowCaptions.h"

#include <QComboBox>
#include <QFrame>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

TfrmEdtMdRegist::TfrmEdtMdRegist(QWidget* parent) : QDialog(parent, FixedDialogFlags)
{
    setObjectName(QStringLiteral("frmEdtMdRegist"));
    setWindowTitle(WindowCaptionText(objectName()));
    setFixedSize(440, 170);
    lstSelct = MakeNamed<QListWidget>(this, "lstSelct", QRect(12, 12, 250, 146));
    pnlEdit = MakeNamed<QFrame>(this, "pnlEdit", QRect(274, 12, 154, 44));
    pnlEdit->setFrameShape(QFrame::StyledPanel);
    edtText = MakeNamed<QLineEdit>(pnlEdit, "edtText", QRect(8, 8, 138, 28));
    edtText->setMaxLength(15);
    edtText->installEventFilter(this);
    // Editors of other kinds of entry; no entry of this tool uses them.
    pnlSelect = MakeNamed<QFrame>(this, "pnlSelect", QRect(274, 12, 154, 44));
    cbbSelect = MakeNamed<QComboBox>(pnlSelect, "cbbSelect", QRect(8, 8, 138, 28));
    rgChoise = Named(new TRadioGroup(QStringList(), this), "rgChoise");
    rgChoise->setGeometry(274, 60, 154, 44);
    btnSend = MakeNamed<QPushButton>(this, "btnSend", QRect(328, 130, 100, 28));
    btnSend->setText(QStringLiteral("Send"));
    btnSend->setAutoDefault(false);
    connect(lstSelct, &QListWidget::itemSelectionChanged, this, [this] { lstSelctClick(); });
    connect(btnSend, &QPushButton::clicked, this, [this] { btnSendClick(); });
    FormCreate();
}

void TfrmEdtMdRegist::FormCreate()
{
    title_ = windowTitle();
    hideEditors();
}

void TfrmEdtMdRegist::hideEditors()
{
    pnlEdit->hide();
    pnlSelect->hide();
    rgChoise->hide();
    btnSend->setEnabled(false);
}

void TfrmEdtMdRegist::SetTitle(const QString& title)
{
    title_ = title;
    setWindowTitle(title);
}

void TfrmEdtMdRegist::AddEntry(uint16_t reg, uint16_t value)
{
    if (reg == 0) return;
    const bool replace = entryCount_ == MaxEntries;
    if (!replace) ++entryCount_;
    entries_[entryCount_] = TMdRegEntry{reg, value, KindNumber};
    const QString caption = RegisterCaption(reg);
    if (replace && lstSelct->count() >= MaxEntries)
        lstSelct->item(MaxEntries - 1)->setText(caption);
    else
        lstSelct->addItem(caption);
    // The edit shows the value the chosen entry holds now.
    if (replace && curEntry_ == MaxEntries) lstSelctClick();
}

void TfrmEdtMdRegist::lstSelctClick()
{
    const QList<QListWidgetItem*> chosen = lstSelct->selectedItems();
    const int k = chosen.isEmpty() ? 0 : lstSelct->row(chosen.first()) + 1;
    if (k < 1 || k > lstSelct->count() || k > entryCount_) {
        curEntry_ = 0;
        hideEditors();
        return;
    }
    curEntry_ = k;
    if (entries_[k].Kind == KindNumber) {
        pnlEdit->show();
        btnSend->setEnabled(true);
        edtText->setText(QString::number(entries_[k].Value));
    }
}

bool TfrmEdtMdRegist::edtTextKeyPress(QChar key)
{
    const ushort c = key.unicode();
    return (c >= '0' && c <= '9') || c == 8 || c == 3 || c == 22 || c == 24;
}

bool TfrmEdtMdRegist::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == edtText && event->type() == QEvent::InputMethod) {
        // Text committed through an input method is checked like typed text.
        for (const QChar c : static_cast<QInputMethodEvent*>(event)->commitString())
            if (!edtTextKeyPress(c)) return true;
    }
    if (watched == edtText && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        // The character the key types: Ctrl with a letter gives its control code, Backspace 8.
        // Keys that type no character (arrows, Home, End, Delete, Tab, Escape) pass.
        QChar typed;
        const int k = key->key();
        if (k == Qt::Key_Delete || k == Qt::Key_Escape || k == Qt::Key_Tab || k == Qt::Key_Backtab)
            typed = QChar();
        else if ((key->modifiers() & Qt::ControlModifier) && k >= Qt::Key_A && k <= Qt::Key_Z)
            typed = QChar(k - Qt::Key_A + 1);
        else if (k == Qt::Key_Backspace)
            typed = QChar(8);
        else if (!key->text().isEmpty())
            typed = key->text().at(0);
        if (!typed.isNull() && !edtTextKeyPress(typed)) return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TfrmEdtMdRegist::btnSendClick()
{
    if (curEntry_ < 1 || curEntry_ > entryCount_) return;
    const TMdRegEntry& e = entries_[curEntry_];
    if (e.Kind != KindNumber) return;
    long value = 0;
    if (!ParseAsciiNumber(edtText->text().trimmed(), 65535, &value)) {
        // Nothing typed, a text that is no number, or more than a register holds: refused,
        // never written as 0 or cut to 16 bits.
        ShowPlainMessage(this, LangText("[%1] value is invalid: enter a number from 0 to 65535",
                                        "[%1] 数值无效: 请输入 0 到 65535 之间的数")
                                   .arg(RegisterCaption(e.Reg)));
        edtText->setFocus();
        return;
    }
    QueueWrite(this, {{1, 6, e.Reg, 0, static_cast<uint16_t>(value)}});
}
