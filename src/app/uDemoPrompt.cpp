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
        // Any other dialog is the view itself: from here on the prompts are the operator's,
        // raised by an Edit or a Set inside the view, and are asked as usual.
        if (!prompt) answered_ = true;
        return previous_ ? previous_(dialog) : dialog->exec();
    });
}

TDemoPromptAnswer::~TDemoPromptAnswer() { SetModalHandler(previous_); }
