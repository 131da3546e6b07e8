#include "ui/uUiSeam.h"

#include <QDialog>

namespace {
MessageBoxHandler messageBoxHandler;
ModalHandler modalHandler;
} // namespace

QMessageBox::StandardButton ShowMessageBox(const TMessageBoxRequest& r)
{
    if (messageBoxHandler) return messageBoxHandler(r);
    QMessageBox box(r.icon, r.title, r.text, r.buttons, r.parent);
    if (r.defaultButton != QMessageBox::NoButton) box.setDefaultButton(r.defaultButton);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

int ExecModal(QDialog* dialog)
{
    if (modalHandler) return modalHandler(dialog);
    return dialog->exec();
}

void SetMessageBoxHandler(MessageBoxHandler handler) { messageBoxHandler = std::move(handler); }
void SetModalHandler(ModalHandler handler) { modalHandler = std::move(handler); }
ModalHandler CurrentModalHandler() { return modalHandler; }
