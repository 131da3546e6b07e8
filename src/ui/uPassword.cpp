#include "ui/uPassword.h"

#include "model/uLocalPara.h"
#include "ui/uCaptions.h"
#include "ui/uNamed.h"
#include "ui/uWindowFlags.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>

QString AcceptedPsw;
const char* const MasterPsw = "QDN4172";

QString TrimPassword(const QString& text)
{
    // Blanks and control characters (code 32 and below) go, as a profile string's trim does.
    int first = 0;
    int last = text.size() - 1;
    while (first <= last && text.at(first).unicode() <= 32) ++first;
    while (last >= first && text.at(last).unicode() <= 32) --last;
    return text.mid(first, last - first + 1);
}

TfrmPassword::TfrmPassword(QWidget* parent)
    : QDialog(parent, FixedDialogFlags)
{
    setObjectName(QStringLiteral("frmPassword"));
    setFixedSize(240, 112);
    edtPsw = MakeNamed<QLineEdit>(this, "edtPsw", QRect(24, 16, 192, 30));
    edtPsw->setMaxLength(10);
    edtPsw->setEchoMode(QLineEdit::Password);
    QFont f = edtPsw->font();
    f.setBold(true);
    f.setPixelSize(16);
    edtPsw->setFont(f);
    btnSure = MakeNamed<QPushButton>(this, "btnSure", QRect(24, 66, 80, 28));
    btnCancel = MakeNamed<QPushButton>(this, "btnCancel", QRect(136, 66, 80, 28));
    btnSure->setAutoDefault(false);
    btnCancel->setAutoDefault(false);
    connect(btnSure, &QPushButton::clicked, this, [this] { btnSureClick(); });
    connect(btnCancel, &QPushButton::clicked, this, [this] { btnCancelClick(); });
    FormCreate();
    ApplyCaptions();
}

void TfrmPassword::FormCreate() { SetPSW = ReadProfileString("System", "Password", QStringLiteral("tulip")); }

void TfrmPassword::ApplyCaptions()
{
    ApplyCaptionTable(
        {{this, "Input Password", "密码输入"}, {btnSure, "Ensure", "确定"}, {btnCancel, "Cancel", "放弃"}});
}

void TfrmPassword::FormShow()
{
    ApplyCaptions();
    if (const QScreen* s = screen()) move(s->availableGeometry().center() - rect().center());
    edtPsw->setFocus();
}

void TfrmPassword::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous()) FormShow();
}

void TfrmPassword::CheckPassword()
{
    EnteredPsw = TrimPassword(edtPsw->text());
    if (EnteredPsw == SetPSW || EnteredPsw == QLatin1String(MasterPsw)) {
        AcceptedPsw = EnteredPsw;
        done(QDialog::Accepted);
    } else {
        done(QDialog::Rejected);
    }
}

void TfrmPassword::btnSureClick() { CheckPassword(); }

void TfrmPassword::btnCancelClick()
{
    edtPsw->clear();
    done(QDialog::Rejected);
}

void TfrmPassword::edtPswKeyPress(QChar key)
{
    if (key == QChar(13)) CheckPassword();
}

// Key preview: Enter anywhere in the prompt confirms the entry, Escape closes it like the
// system menu does (the edit keeps its text).
void TfrmPassword::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        edtPswKeyPress(QChar(13));
        return;
    }
    QDialog::keyPressEvent(event);
}
