// The record detail window: the status and alarm words and the measurements of the record at
// the event-record grid's current row. It is made at start-up, stays on top while shown, and
// shows DetailRec, which the event-record window fills.
#pragma once

#include <QString>
#include <QWidget>

#include <cstdint>

class QGroupBox;
class QLabel;
class QLineEdit;

// The record the detail window shows.
struct TDetailRec {
    int32_t RecNo = 0;
    QString DateText = QStringLiteral("0000-00-00 00:00:00");
    uint16_t CMMState = 0, CMMAlarmH = 0, CMMAlarmL = 0, INVStateH = 0, INVStateL = 0, INVAlarmH = 0,
             INVAlarmL = 0, MontState = 0, MontAlarm = 0;
    uint16_t InputV_A = 0, InputV_B = 0, InputV_C = 0, InputFreq = 0, OutputV_A = 0, OutputV_B = 0,
             OutputV_C = 0, OutputI_A = 0, OutputI_B = 0, OutputI_C = 0, OutputFreq = 0, PBattV = 0,
             NBattV = 0, PBattI = 0, NBattI = 0, Temperature = 0;
};
extern TDetailRec DetailRec;

class TfrmRecDetail : public QWidget {
    Q_OBJECT
public:
    explicit TfrmRecDetail(QWidget* parent = nullptr);
    ~TfrmRecDetail() override;

    // Writes every control from DetailRec.
    void ShowDetail();
    void ApplyCaptions();

    QLabel* pnlID = nullptr;
    QLabel* pnlDateTime = nullptr;
    QGroupBox* grpCode = nullptr;
    QLineEdit* edtCMMState = nullptr;
    QLineEdit* edtINVStateH = nullptr;
    QLineEdit* edtINVStateL = nullptr;
    QLineEdit* redtSysState = nullptr;
    QLineEdit* edtCMMAlarmH = nullptr;
    QLineEdit* edtCMMAlarmL = nullptr;
    QLineEdit* edtINVAlarmH = nullptr;
    QLineEdit* edtINVAlarmL = nullptr;
    QLineEdit* redtSysAlarm = nullptr;
    QGroupBox* grpValue = nullptr;
    QLabel* lblPhaseA = nullptr;
    QLabel* lblPhaseB = nullptr;
    QLabel* lblPhaseC = nullptr;
    QLabel* lblFrequency = nullptr;
    QLabel* lblInputV = nullptr;
    QLineEdit* edtInputVA = nullptr;
    QLineEdit* edtInputVB = nullptr;
    QLineEdit* edtInputVC = nullptr;
    QLineEdit* redtInputFrq = nullptr;
    QLabel* lblOutputV = nullptr;
    QLineEdit* edtOutputVA = nullptr;
    QLineEdit* edtOutputVB = nullptr;
    QLineEdit* edtOutputVC = nullptr;
    QLineEdit* redtOutputFrq = nullptr;
    QLabel* lblOutputI = nullptr;
    QLineEdit* edtOutputIA = nullptr;
    QLineEdit* edtOutputIB = nullptr;
    QLineEdit* edtOutputIC = nullptr;
    QLabel* lblBattV = nullptr;
    QLineEdit* redtPBattV = nullptr;
    QLineEdit* redtNBattV = nullptr;
    QLabel* lblBattI = nullptr;
    QLineEdit* redtPBattI = nullptr;
    QLineEdit* redtNBattI = nullptr;
    QLabel* lblTempe = nullptr;
    QLineEdit* redtTempe = nullptr;

protected:
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void createComponents();
};

// The detail window made at start-up; with create, one is made when there is none.
TfrmRecDetail* RecDetailWindow(bool create = false);
// A measurement as the detail window shows it: fixed, one decimal (220 -> "220.0").
QString DetailValueText(double value);
