// The guard rules of the edit actions: the port check, the password prompt, the grace
// counter that lets the operator skip the prompt for a while, and the refusal messages.
// Every guarded action of every window goes through here.
#pragma once

#include <QString>

#include <cstdint>
#include <functional>

class QWidget;
class TfrmPassword;

enum class TGuardKind {
    // UPS parameters Set, configuration Edit, OPTION-port Set: the port must be open; the
    // prompt is skipped while the grace counter is above 0.
    PortAndGrace,
    // The main menu's alarm-mask item: no port check; skipped while the counter is not 0;
    // a refusal says "Password is wrong ! " in a warning box.
    AlarmMaskMenu,
    // The runtime counters' Set buttons: never skipped; the upper-cased entry must be the
    // service word, whatever the prompt's verdict.
    ServiceCode,
};

// The main window's password grace counter; the main window installs it at creation.
void SetPswGraceCounter(int32_t* counter);
int32_t PswGraceValue();
// Starts the grace period again (the counter := 60), as an accepted guard does.
void RestartPswGrace();

// Runs the guard of one action. True when the action may go on; the grace counter is then 60.
bool GuardAction(QWidget* parent, TGuardKind kind);

// Shows a fresh prompt modally and frees it. prepare (optional) runs on the prompt before it
// is shown (to replace SetPSW). Returns the verdict (QDialog::Accepted or Rejected); left is
// the text left in the edit, entered the prompt's EnteredPsw.
int RunPasswordPrompt(QWidget* parent, const std::function<void(TfrmPassword&)>& prepare = {},
                      QString* left = nullptr, QString* entered = nullptr);

// The settings windows' plain English message box (title of the parent's window).
void ShowPlainMessage(QWidget* parent, const QString& text);

// "COM Port is off !" when the link's port is closed; true when it is open.
bool CheckPortOpen(QWidget* parent);

// The service word the runtime counters' Set buttons ask for.
extern const char* const ServiceCodeWord;
