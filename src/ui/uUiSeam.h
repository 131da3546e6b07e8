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

using MessageBoxHandler = std::function<QMessageBox::StandardButton(const TMessageBoxRequest&)>;
using ModalHandler = std::function<int(QDialog*)>;

// Shows a message box (or hands it to the installed handler) and returns the button pressed.
// Where no one can answer it, its text goes to standard error and its default button is taken.
QMessageBox::StandardButton ShowMessageBox(const TMessageBoxRequest& request);
// Runs a dialog modally (or hands it to the installed handler) and returns its result code.
int ExecModal(QDialog* dialog);

// True where a box would wait for no one: the offscreen or minimal platform, or a command run
// without widgets at all.
bool NoOneCanAnswer();
// Declares the run a headless command: its boxes go to standard error on any platform.
void SetNoOneToAnswer(bool headless);

// Tests install handlers; nullptr restores the real dialogs.
void SetMessageBoxHandler(MessageBoxHandler handler);
void SetModalHandler(ModalHandler handler);
// The handler installed now (empty when the real dialogs run).
ModalHandler CurrentModalHandler();
