// The runtime counters: the hours the rectifier, the batteries and the fans of the selected
// cabinet have run and the limits at which the cabinet asks for maintenance, read every
// eleven seconds while the window is shown. Each Set button asks for the service code and
// opens the register editor on that counter's two registers.
#pragma once

#include <QDialog>

#include <cstdint>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

class TfrmRunTime : public QDialog {
    Q_OBJECT
public:
    explicit TfrmRunTime(QWidget* parent = nullptr);

    // Ticks left before the next read; 0 reads at the next tick.
    int ReadCountdown = 0;

    void FormShow();
    void ApplyCaptions();
    void ShowValues();
    void tmr1Timer();
    void btnSetClick();
    void btnSetBattClick();
    void btnSetFanClick();

    QGroupBox* grpRect = nullptr;
    QLabel* lblRuntime = nullptr;
    QLineEdit* edtRuntime = nullptr;
    QLabel* lblLimit = nullptr;
    QLineEdit* edtLimit = nullptr;
    QPushButton* btnSet = nullptr;
    QGroupBox* grpBatt = nullptr;
    QLabel* lblBattRun = nullptr;
    QLineEdit* edtBattRun = nullptr;
    QLabel* lblBattLimit = nullptr;
    QLineEdit* edtBattLimit = nullptr;
    QPushButton* btnSetBatt = nullptr;
    QGroupBox* grpFan = nullptr;
    QLabel* lblFanRun = nullptr;
    QLineEdit* edtFanRun = nullptr;
    QLabel* lblFanLimit = nullptr;
    QLineEdit* edtFanLimit = nullptr;
    QPushButton* btnSetFan = nullptr;
    QTimer* tmr1 = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    // The service code, then the register editor on two registers of one counter.
    void editCounter(const char* title, uint16_t reg1, uint32_t value1, uint16_t reg2, uint32_t value2);
};
