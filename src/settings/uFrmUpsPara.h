// The UPS parameters window: a read-only view of the selected cabinet's user and battery
// parameters (holding registers 40002..40035), refreshed once a second from the device record
// that the link's background poll keeps up to date. Its Set button opens the data set window
// behind the password prompt.
#pragma once

#include <QWidget>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

class TfrmUpsPara : public QWidget {
    Q_OBJECT
public:
    explicit TfrmUpsPara(QWidget* parent = nullptr);
    ~TfrmUpsPara() override;

    void FormCreate();
    void FormShow();
    void FormActivate();
    void FormClose();
    void Timer1Timer();
    void btnSetClick();
    void ApplyCaptions();

    // Every value edit of the view, in the order of the rows.
    QList<QLineEdit*> ValueEdits() const;

    QGroupBox* GroupBox1 = nullptr;
    QGroupBox* GroupBox2 = nullptr;
    QPushButton* btnSet = nullptr;
    QTimer* Timer1 = nullptr;

    QLabel* lbParaID = nullptr;
    QLabel* lbSetMode = nullptr;
    QLabel* lbVoltLevel = nullptr;
    QLabel* lbFreqLevel = nullptr;
    QLabel* lbParaNum = nullptr;
    QLabel* lbRedun = nullptr;
    QLabel* lbBpFreq = nullptr;
    QLabel* lbBpVMax = nullptr;
    QLabel* lbBpVMin = nullptr;
    QLabel* lbOptVFine = nullptr;
    QLabel* lbBuzzer = nullptr;
    QLabel* lbOperate = nullptr;
    QLabel* lbGrdPower = nullptr;
    QLabel* lbPDist = nullptr;
    QLabel* lblPWI = nullptr;
    QLabel* lblPWD = nullptr;
    QLabel* lbBattNum = nullptr;
    QLabel* lbBattCap = nullptr;
    QLabel* lbBattGrp = nullptr;
    QLabel* lbBoostV = nullptr;
    QLabel* lbFloatV = nullptr;
    QLabel* lbEodV = nullptr;
    QLabel* lbMaxChgCurr = nullptr;
    QLabel* lbPreAlarm = nullptr;
    QLabel* lbBoostLast = nullptr;
    QLabel* lbBoostChg = nullptr;
    QLabel* lbEnCharge = nullptr;
    QLabel* lblFChgRedeem = nullptr;

    QLineEdit* edtSysID = nullptr;
    QLineEdit* edtSetMode = nullptr;
    QLineEdit* edtVoltLevel = nullptr;
    QLineEdit* edtFreqLevel = nullptr;
    QLineEdit* edtParaNum = nullptr;
    QLineEdit* edtModuleNum = nullptr;
    QLineEdit* edtBpsFreq = nullptr;
    QLineEdit* edtBpsVMax = nullptr;
    QLineEdit* edtBpsVMin = nullptr;
    QLineEdit* edtOutputVFine = nullptr;
    QLineEdit* edtBuzzer = nullptr;
    QLineEdit* edtOperate = nullptr;
    QLineEdit* edtGrdPower = nullptr;
    QLineEdit* edtPDist = nullptr;
    QLineEdit* edtPWI = nullptr;
    QLineEdit* edtPWD = nullptr;
    QLineEdit* edtBattNum = nullptr;
    QLineEdit* edtBattCap = nullptr;
    QLineEdit* edtBattGroup = nullptr;
    QLineEdit* edtBattBoostV = nullptr;
    QLineEdit* edtBattFloat = nullptr;
    QLineEdit* edtEodV = nullptr;
    QLineEdit* edtMaxChgCurr = nullptr;
    QLineEdit* edtPreAlarm = nullptr;
    QLineEdit* edtBoostLast = nullptr;
    QLineEdit* edtBoostChg = nullptr;
    QLineEdit* edtCharge = nullptr;
    QLineEdit* edtFChgRedeem = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    struct TRow {
        QLabel*& label;
        QLineEdit*& edit;
        const char* labelName;
        const char* editName;
    };
    void createRows(QGroupBox* group, std::initializer_list<TRow> rows, int top);
    void fillFromRecord(int addr);
    void blankEdits();
    void showSetState();
};
