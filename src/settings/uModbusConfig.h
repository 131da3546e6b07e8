// The OPTION port view: the baud code (51024) and the protocol code (51029) of the cabinet's
// auxiliary serial port, read every eleven seconds while the view is shown; its Setting
// button opens the set window behind the password prompt.
#pragma once

#include "settings/uOptionCodes.h"

#include <QWidget>

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

class TfrmMdbCfg : public QWidget {
    Q_OBJECT
public:
    explicit TfrmMdbCfg(QWidget* parent = nullptr);

    // Ticks left before the next read; 0 or below reads at the next tick.
    int ReadCountdown = 0;

    void FormCreate();
    void FormShow();
    void FormActivate();
    void ApplyCaptions();
    void ShowCodes();
    void tmr1Timer();
    void btnSetClick();

    QLabel* lblBaud = nullptr;
    QLabel* lblProtocol = nullptr;
    QFrame* pnl1 = nullptr;
    QLineEdit* edtBaud = nullptr;
    QLineEdit* edtProtocol = nullptr;
    QPushButton* btnSet = nullptr;
    QTimer* tmr1 = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    bool event(QEvent* event) override;
};
