#include "ui/uUiSeam.h"

#include <QDialog>
#include <QFileDialog>

namespace {
MessageBoxHandler messageBoxHandler;
ModalHandler modalHandler;
FileDialogHandler fileDialogHandler;

QString RunFileDialog(TFileDialogRequest r)
{
    if (fileDialogHandler) return fileDialogHandler(r);
    QFileDialog dialog(r.parent, r.title, r.folder, r.filter);
    dialog.setAcceptMode(r.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(r.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    if (!r.fileName.isEmpty()) dialog.selectFile(r.fileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
    return dialog.selectedFiles().first();
}
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

QString GetSaveFileName(const TFileDialogRequest& request)
{
    TFileDialogRequest r = request;
    r.save = true;
    return RunFileDialog(r);
}

QString GetOpenFileName(const TFileDialogRequest& request)
{
    TFileDialogRequest r = request;
    r.save = false;
    return RunFileDialog(r);
}

void SetFileDialogHandler(FileDialogHandler handler) { fileDialogHandler = std::move(handler); }
