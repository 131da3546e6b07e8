#include "app/uDemoPrompt.h"

#include "ui/uPassword.h"

#include <QDialog>
#include <QLineEdit>

TDemoPromptAnswer::TDemoPromptAnswer() : previous_(CurrentModalHandler())
{
    SetModalHandler([this](QDialog* dialog) {
        auto* prompt = qobject_cast<TfrmPassword*>(dialog);
        if (prompt && !answered_) {
            answered_ = true;
            prompt->edtPsw->setText(prompt->SetPSW);
            prompt->CheckPassword();
            return prompt->result();
        }
        return previous_ ? previous_(dialog) : dialog->exec();
    });
}

TDemoPromptAnswer::~TDemoPromptAnswer() { SetModalHandler(previous_); }
