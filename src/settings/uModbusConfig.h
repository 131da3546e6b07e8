// The OPTION port view: the baud code (51024) and the protocol code (51029) of the cabinet's
// auxiliary serial port, read every eleven seconds while the view is shown; its Setting
// button opens the set window behind the password prompt.
#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

// The OPTION port's registers: the read covers 51021 to 51030.
constexpr int OptFirstReg = 51021;
constexpr int OptReadCount = 10;
constexpr int OptBaudReg = 51024;
constexpr int OptProtocolReg = 51029;

// The texts of the codes. The view writes the speed with a blank before the unit ("9600 bps"),
// the set window's items without ("9600bps"); the protocol texts are the same in both. A code
// outside 0 to 2 (also -1, nothing read yet) has no text and selects no item.
QString OptBaudText(int code);
QString OptProtocolText(int code);
QStringList OptBaudItems();
QStringList OptProtocolItems();
// The index of the item a code selects: the code itself for 0 to 2, otherwise -1.
int OptItemIndex(int code);

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
