// The status code viewer: the status and alarm words of the selected cabinet or of the shown
// power module spelled out bit by bit, each set bit marked beside its name. It shows a
// snapshot of the block taken when it is shown and again on every re-activation.
#pragma once

#include "model/uUpsInfo.h"
#include "ui/uStatusWordFields.h"

#include <QDialog>

class QGroupBox;
class QLabel;
class QLineEdit;
class QTabWidget;
class QTableWidget;
class QTimer;
class QWidget;

// A named bit of one word of a status block: the row of a bit list that marks it.
struct TCodeBit {
    int word; // index of the word in the block (TStatusBlock::Word)
    int bit;  // 15 (most significant) .. 0
};

// The word and bit that each row of the status-bit list (rows 1..33) and of the alarm-bit list
// (rows 1..51) stands for; a row outside a list gives {-1, -1}.
TCodeBit StatusBitOfRow(int row);
TCodeBit AlarmBitOfRow(int row);
constexpr int StatusBitRows = 34; // heading included
constexpr int AlarmBitRows = 52;
constexpr int SystemLegendRows = 17;

class TfrmInCode : public QDialog {
    Q_OBJECT
public:
    explicit TfrmInCode(QWidget* parent = nullptr);

    // The block shown: taken from CodeSource when shown and re-activated.
    TStatusBlock Block;
    bool HasBlock = false;
    bool StatusDirty = false;
    bool AlarmDirty = false;

    void FormCreate();
    void FormShow();
    void FormActivate();
    void tmr1Timer();
    void ApplyCaptions();
    void ShowStatusBits();
    void ShowAlarmBits();

    QTabWidget* pgc1 = nullptr;
    QWidget* ts1 = nullptr;
    QWidget* ts2 = nullptr;
    QLabel* lbUpsRunMode = nullptr;
    QLineEdit* edtUpsRunMode = nullptr;
    QLabel* lbSupply = nullptr;
    QLineEdit* edtSupply = nullptr;
    QLabel* lbInvert = nullptr;
    QLineEdit* edtInvert = nullptr;
    QGroupBox* grpCode = nullptr;
    QLabel* lbCmm = nullptr;
    QLabel* lbInv = nullptr;
    QLabel* lbStateBit = nullptr;
    QLabel* lbAlarmbit = nullptr;
    QLineEdit* mdt_CMMStatusH = nullptr;
    QLineEdit* mdt_CMMStatusL = nullptr;
    QLineEdit* mdt_INVStatusH = nullptr;
    QLineEdit* mdt_INVStatusL = nullptr;
    QLineEdit* mdt_CMMAlarmH = nullptr;
    QLineEdit* mdt_CMMAlarmL = nullptr;
    QLineEdit* mdt_INVAlarmH = nullptr;
    QLineEdit* mdt_INVAlarmL = nullptr;
    QTableWidget* mtlcmgrd1 = nullptr;
    QTableWidget* mtlcmgrd2 = nullptr;
    QGroupBox* grp8 = nullptr;
    QLabel* lbMonitor = nullptr;
    QLabel* lbMStatus = nullptr;
    QLabel* lbMAlarm = nullptr;
    QLineEdit* mdt_SysState = nullptr;
    QLineEdit* mdt_SysAlarm = nullptr;
    QTableWidget* mtlcmgrd3 = nullptr;
    QTableWidget* mtlcmgrd4 = nullptr;
    QTimer* tmr1 = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    bool event(QEvent* event) override;

private:
    void createFirstPage();
    void createSecondPage();
    // The code fields of the status words and of the alarm words, each with its word.
    TStatusWordFields statusWords_;
    TStatusWordFields alarmWords_;
};
