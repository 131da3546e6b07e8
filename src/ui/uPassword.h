// The password prompt that guards the edit actions of the settings windows and the erase of
// the cabinet's event log. It only judges the entry; the guarded action decides what to do.
#pragma once

#include <QDialog>
#include <QString>

class QLineEdit;
class QPushButton;

// The last entry the prompt accepted; cleared when the main window is created.
extern QString AcceptedPsw;

// Accepted besides the operator password, whatever the settings file holds.
extern const char* const MasterPsw;

class TfrmPassword : public QDialog {
    Q_OBJECT
public:
    explicit TfrmPassword(QWidget* parent = nullptr);

    // The password expected: section "System", key "Password" of the settings file, read
    // when the prompt is created ("tulip" when the key is absent). A caller may replace it.
    QString SetPSW;
    // The last confirmed entry, trimmed; set whether it was accepted or not.
    QString EnteredPsw;

    void FormCreate();
    void FormShow();
    void ApplyCaptions();
    void CheckPassword();
    void btnSureClick();
    void btnCancelClick();
    void edtPswKeyPress(QChar key);

    QLineEdit* edtPsw = nullptr;
    QPushButton* btnSure = nullptr;
    QPushButton* btnCancel = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};

// The prompt's trimming: blanks and control characters at both ends removed.
QString TrimPassword(const QString& text);
