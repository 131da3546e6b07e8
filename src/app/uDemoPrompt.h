// A demonstration run talks only to its own simulated cabinet. When the view named on the
// command line stands behind the password prompt, the first prompt it raises is answered
// with the password the prompt expects, so that the view opens and its picture can be taken.
// Only a prompt raised before the view itself is shown is answered: once the view runs, its
// own Edit and Set buttons ask for the password as usual.
#pragma once

#include "ui/uUiSeam.h"

class TDemoPromptAnswer {
public:
    TDemoPromptAnswer();
    // Gives the dialogs back to whatever ran them before.
    ~TDemoPromptAnswer();
    TDemoPromptAnswer(const TDemoPromptAnswer&) = delete;
    TDemoPromptAnswer& operator=(const TDemoPromptAnswer&) = delete;

    // True once the answer is spent: a prompt answered, or the view shown.
    bool Answered() const { return answered_; }

private:
    ModalHandler previous_;
    bool answered_ = false;
};
