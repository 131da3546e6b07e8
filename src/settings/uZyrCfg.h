// The cabinet configuration view: the identity texts the cabinet's network card shows and six
// configuration registers, read again every six seconds; Edit opens the editor behind the
// password prompt.
#pragma once

#include <QDialog>

#include <cstdint>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;
class TRadioGroup;

// The text of the inside-communication register: "Type0 (25)", "None (0)", "(26)".
QString BroadNumText(uint8_t value);

class TfrmZyrCfg : public QDialog {
    Q_OBJECT
public:
    explicit TfrmZyrCfg(QWidget* parent = nullptr);

    // Ticks of tmr1 within the six-tick read cycle, 0 to 5.
    uint8_t TickCount = 0;

    void FormCreate();
    void FormShow();
    void ApplyCaptions();
    void tmr1Timer();
    void btnEditClick();
    // Every control from the configuration receive area.
    void RefreshView();

    QGroupBox* grp1 = nullptr;
    QGroupBox* grpSnmpView = nullptr;
    QLabel* lblCompName = nullptr;
    QLineEdit* edtCompany = nullptr;
    QLabel* lblUpsModel = nullptr;
    QLineEdit* edtModel = nullptr;
    QGroupBox* grpZYRInfo = nullptr;
    QLabel* lblBroadCast = nullptr;
    QLineEdit* edtBroadNum = nullptr;
    QLabel* lblRemote = nullptr;
    QLineEdit* edtEnRemote = nullptr;
    QLabel* lblRatPwr = nullptr;
    QLineEdit* edtPwrRat = nullptr;
    TRadioGroup* rgMdType = nullptr;
    QLabel* lblConfirm = nullptr;
    QLineEdit* edtConfirm = nullptr;
    QLabel* lblBtCalcBy = nullptr;
    QLineEdit* edtBtCalcBy = nullptr;
    QLabel* lblCount = nullptr;
    QPushButton* btnEdit = nullptr;
    QTimer* tmr1 = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
};
