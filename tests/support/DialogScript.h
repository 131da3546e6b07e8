// Answers the modal dialogs and message boxes of a test: password prompts from a script of
// entries, message boxes recorded and answered with a chosen button (the default one when
// none is chosen), any other modal dialog handed to a test's own function.
#pragma once

#include "ui/uPassword.h"
#include "ui/uUiSeam.h"

#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <deque>
#include <functional>
#include <vector>

struct TPromptAnswer {
    enum How { Ensure, Cancel, Close, EnterKey };
    QString typed;
    How how = Ensure;
};

class DialogScript {
public:
    DialogScript()
    {
        SetMessageBoxHandler([this](const TMessageBoxRequest& r) {
            messages.push_back(r);
            if (!buttons.empty()) {
                const QMessageBox::StandardButton b = buttons.front();
                buttons.pop_front();
                return b;
            }
            return r.defaultButton != QMessageBox::NoButton ? r.defaultButton : QMessageBox::Ok;
        });
        SetModalHandler([this](QDialog* d) { return run(d); });
    }
    ~DialogScript()
    {
        SetMessageBoxHandler(nullptr);
        SetModalHandler(nullptr);
    }

    // Password prompts answered in order; a prompt with no answer left is cancelled.
    std::deque<TPromptAnswer> prompts;
    int promptsShown = 0;
    // The SetPSW each prompt held when it was shown.
    std::vector<QString> promptPasswords;
    // Runs while each prompt is shown and in front, before it is answered: what happens in the
    // seconds the operator spends typing (a window's timer ticking behind it).
    std::function<void(TfrmPassword*)> whilePromptShown;
    // Message boxes shown, in order, and the buttons to answer them with.
    std::vector<TMessageBoxRequest> messages;
    std::deque<QMessageBox::StandardButton> buttons;
    // Any other modal dialog: the test's function runs it (it may click, then must return a
    // result); without one the dialog is rejected.
    std::function<int(QDialog*)> otherModal;

    QStringList messageTexts() const
    {
        QStringList t;
        for (const auto& m : messages) t << m.text;
        return t;
    }

private:
    int run(QDialog* d)
    {
        if (auto* p = qobject_cast<TfrmPassword*>(d)) return answerPrompt(p);
        if (otherModal) return otherModal(d);
        return QDialog::Rejected;
    }

    int answerPrompt(TfrmPassword* p)
    {
        ++promptsShown;
        promptPasswords.push_back(p->SetPSW);
        TPromptAnswer a{QString(), TPromptAnswer::Cancel};
        if (!prompts.empty()) {
            a = prompts.front();
            prompts.pop_front();
        }
        int result = -1;
        QObject::connect(p, &QDialog::finished, p, [&result](int r) { result = r; });
        p->show();
        if (whilePromptShown) whilePromptShown(p);
        p->edtPsw->setFocus();
        QTest::keyClicks(p->edtPsw, a.typed);
        switch (a.how) {
        case TPromptAnswer::Ensure: QTest::mouseClick(p->btnSure, Qt::LeftButton); break;
        case TPromptAnswer::Cancel: QTest::mouseClick(p->btnCancel, Qt::LeftButton); break;
        case TPromptAnswer::EnterKey: QTest::keyClick(p->edtPsw, Qt::Key_Return); break;
        case TPromptAnswer::Close: p->reject(); break;
        }
        if (result < 0) result = p->result();
        p->hide();
        return result;
    }
};
