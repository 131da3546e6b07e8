#include "ui/uGuard.h"

#include "comm/uFrmCom.h"
#include "model/uDataFunc.h"
#include "ui/uPassword.h"
#include "ui/uReqSlots.h"
#include "ui/uUiSeam.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QWidget>

const char* const ServiceCodeWord = "TULIP";

namespace {
int32_t* graceCounter = nullptr;
constexpr int32_t GraceStart = 60;

void setGrace()
{
    if (graceCounter) *graceCounter = GraceStart;
}

QString titleFor(QWidget* parent)
{
    if (parent && !parent->window()->windowTitle().isEmpty()) return parent->window()->windowTitle();
    return QCoreApplication::applicationName();
}
} // namespace

void SetPswGraceCounter(int32_t* counter) { graceCounter = counter; }
int32_t PswGraceValue() { return graceCounter ? *graceCounter : 0; }
void RestartPswGrace() { setGrace(); }

void ShowPlainMessage(QWidget* parent, const QString& text)
{
    TMessageBoxRequest r;
    r.parent = parent;
    r.title = titleFor(parent);
    r.text = text;
    ShowMessageBox(r);
}

bool CheckPortOpen(QWidget* parent)
{
    if (LinkPortOpen()) return true;
    ShowPlainMessage(parent, QStringLiteral("COM Port is off !"));
    return false;
}

int RunPasswordPrompt(QWidget* parent, const std::function<void(TfrmPassword&)>& prepare, QString* left,
                      QString* entered)
{
    auto* prompt = new TfrmPassword(parent);
    if (prepare) prepare(*prompt);
    const int verdict = ExecModal(prompt);
    if (left) *left = prompt->edtPsw->text();
    if (entered) *entered = prompt->EnteredPsw;
    delete prompt;
    return verdict == QDialog::Accepted ? QDialog::Accepted : QDialog::Rejected;
}

bool GuardAction(QWidget* parent, TGuardKind kind)
{
    QString left;
    QString entered;
    switch (kind) {
    case TGuardKind::PortAndGrace: {
        if (!CheckPortOpen(parent)) return false;
        if (PswGraceValue() > 0) break;
        if (RunPasswordPrompt(parent, {}, &left) == QDialog::Accepted) break;
        if (!left.isEmpty()) ShowPlainMessage(parent, QStringLiteral("Password is wrong !"));
        return false;
    }
    case TGuardKind::AlarmMaskMenu: {
        if (PswGraceValue() != 0) break;
        if (RunPasswordPrompt(parent, {}, &left) == QDialog::Accepted) break;
        if (!left.isEmpty()) {
            TMessageBoxRequest r;
            r.parent = parent;
            r.icon = QMessageBox::Warning;
            r.title = QStringLiteral("Warning");
            r.text = LangText("Password is wrong ! ", "密码错误 ! ");
            ShowMessageBox(r);
        }
        return false;
    }
    case TGuardKind::ServiceCode: {
        RunPasswordPrompt(parent, {}, nullptr, &entered);
        if (entered.toUpper() == QLatin1String(ServiceCodeWord)) break;
        ShowPlainMessage(parent, QStringLiteral("Password is wrong !"));
        return false;
    }
    }
    setGrace();
    return true;
}
