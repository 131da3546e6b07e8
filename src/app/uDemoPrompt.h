// A demonstration run talks only to its own simulated cabinet. When the view named on the
// command line stands behind the password prompt, the first prompt it raises is answered
// with the password the prompt expects, so that the view opens and its picture can be taken.
#pragma once

#include "ui/uUiSeam.h"

class TDemoPromptAnswer {
public:
    TDemoPromptAnswer();
    // Gives the dialogs back to whatever ran them before.
    ~TDemoPromptAnswer();
    TDemoPromptAnswer(const TDemoPromptAnswer&) = delete;
    TDemoPromptAnswer& operator=(const TDemoPromptAnswer&) = delete;

    bool Answered() const { return answered_; }

private:
    ModalHandler previous_;
    bool answered_ = false;
};
