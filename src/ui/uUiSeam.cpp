#include "ui/uUiSeam.h"

#include "model/uWarning.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>

#include <cstdio>

namespace {
MessageBoxHandler messageBoxHandler;
ModalHandler modalHandler;

// The button a box takes when it is left to itself: its own default, else the first of its
// buttons that accepts, else the first it has.
QMessageBox::StandardButton defaultAnswer(const TMessageBoxRequest& r)
{
    if (r.defaultButton != QMessageBox::NoButton && (r.buttons & r.defaultButton)) return r.defaultButton;
    const QMessageBox::StandardButton accepting[] = {QMessageBox::Ok,       QMessageBox::Yes,
                                                     QMessageBox::Save,     QMessageBox::Open,
                                                     QMessageBox::YesToAll, QMessageBox::Retry};
    for (QMessageBox::StandardButton b : accepting)
        if (r.buttons & b) return b;
    for (uint bit = QMessageBox::FirstButton; bit <= QMessageBox::LastButton; bit <<= 1)
        if (r.buttons & bit) return static_cast<QMessageBox::StandardButton>(bit);
    return QMessageBox::NoButton;
}

const char* iconWord(QMessageBox::Icon icon)
{
    switch (icon) {
    case QMessageBox::Critical: return "error";
    case QMessageBox::Warning: return "warning";
    case QMessageBox::Question: return "question";
    default: return "message";
    }
}

FileDialogHandler fileDialogHandler;

// Warnings from below the windows (the settings file) come up as warning boxes through this
// seam, so tests and headless runs answer them like any other box. Installed with the seam
// itself: whatever shows a box links this file.
void warnThroughSeam(const QString& title, const QString& text)
{
    TMessageBoxRequest request;
    request.icon = QMessageBox::Warning;
    request.title = title;
    request.text = text;
    ShowMessageBox(request);
}
[[maybe_unused]] const bool warningsThroughSeam = (SetWarningHandler(&warnThroughSeam), true);

QString RunFileDialog(TFileDialogRequest r)
{
    if (fileDialogHandler) return fileDialogHandler(r);
    if (NoOneCanAnswer()) {
        // Nobody can choose a file: the dialog counts as cancelled.
        std::fprintf(stderr, "zyrtool: %s: no file chosen (nobody can answer a file dialog here)\n",
                     qPrintable(r.title.isEmpty() ? QStringLiteral("file dialog") : r.title));
        return QString();
    }
    QFileDialog dialog(r.parent, r.title, r.folder, r.filter);
    dialog.setAcceptMode(r.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(r.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    if (!r.fileName.isEmpty()) dialog.selectFile(r.fileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
    return dialog.selectedFiles().first();
}
} // namespace

bool NoOneCanAnswer()
{
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return true;
    const QString platform = QGuiApplication::platformName();
    return platform == QLatin1String("offscreen") || platform.startsWith(QLatin1String("minimal"));
}

QMessageBox::StandardButton ShowMessageBox(const TMessageBoxRequest& r)
{
    if (messageBoxHandler) return messageBoxHandler(r);
    if (NoOneCanAnswer()) {
        // A script must never hang on a box nobody sees: the text goes where the script looks.
        const QString title = r.title.isEmpty() ? QCoreApplication::applicationName() : r.title;
        std::fprintf(stderr, "%s: %s: %s\n", qPrintable(title), iconWord(r.icon),
                     qPrintable(QString(r.text).replace(QLatin1Char('\n'), QStringLiteral("\n  "))));
        std::fflush(stderr);
        return defaultAnswer(r);
    }
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
