// The one seam through which windows show modal dialogs and message boxes, so that headless
// tests can answer them instead of a person.
#pragma once

#include <QMessageBox>
#include <QString>

#include <functional>

class QDialog;
class QWidget;

struct TMessageBoxRequest {
    QWidget* parent = nullptr;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString title;
    QString text;
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
};

// An open or save file dialog: where it starts, its filter ("*.csv"), the proposed name.
struct TFileDialogRequest {
    QWidget* parent = nullptr;
    bool save = false;
    QString title;
    QString folder;
    QString filter;
    QString fileName;
};

using MessageBoxHandler = std::function<QMessageBox::StandardButton(const TMessageBoxRequest&)>;
using ModalHandler = std::function<int(QDialog*)>;
// Returns the chosen path, or the empty text for Cancel.
using FileDialogHandler = std::function<QString(const TFileDialogRequest&)>;

// Shows a message box (or hands it to the installed handler) and returns the button pressed.
// Where no one can answer it, its text goes to standard error and its default button is taken.
QMessageBox::StandardButton ShowMessageBox(const TMessageBoxRequest& request);
// Runs a dialog modally (or hands it to the installed handler) and returns its result code.
int ExecModal(QDialog* dialog);

// True where a box would wait for no one: the offscreen or minimal platform, or a run without
// a widget application (the headless commands run on a core application).
bool NoOneCanAnswer();
// Shows a file dialog (or hands it to the installed handler) and returns the chosen path, empty
// when cancelled. The save dialog does not ask about an existing file: the caller does.
QString GetSaveFileName(const TFileDialogRequest& request);
QString GetOpenFileName(const TFileDialogRequest& request);

// Tests install handlers; nullptr restores the real dialogs.
void SetMessageBoxHandler(MessageBoxHandler handler);
void SetModalHandler(ModalHandler handler);
void SetFileDialogHandler(FileDialogHandler handler);
// The handler installed now (empty when the real dialogs run).
ModalHandler CurrentModalHandler();
