// The data set window: writes one user or battery parameter of the selected cabinet. The
// operator picks the parameter by name, sees its current value in a control suited to it,
// and Set checks the new value and queues the write-enable command (when forced or opened
// with the master code), the single-register write and a read-back of the parameters.
#pragma once

#include <QDialog>

#include <cstdint>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class TRadioGroup;

// How a row of the list shows its value.
enum class TSetLayout { None, Choices, Edit, Switches };

class TFrmDataSet : public QDialog {
    Q_OBJECT
public:
    explicit TFrmDataSet(QWidget* parent = nullptr);
    ~TFrmDataSet() override;

    void FormCreate();
    void FormShow();
    void ApplyCaptions();
    void lstUpsSetClick();
    // True when the key reaches the edit: digits, ".", Backspace and the clipboard keys.
    bool Edit1KeyPress(QChar key);
    void btnSetToClick();

    // The row chosen (-1 before a choice), the register it writes, the value last checked.
    int SelectedRow() const { return selectedRow_; }
    uint16_t TargetRegister() const { return targetReg_; }
    uint16_t NewValue() const { return newValue_; }
    TSetLayout Layout() const { return layout_; }

    QLabel* lbTopic = nullptr;
    QListWidget* lstUpsSet = nullptr;
    QGroupBox* grpSetting = nullptr;
    QLabel* lb_Value = nullptr;
    QComboBox* ComboBox1 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QPushButton* btnSetTo = nullptr;
    QCheckBox* chkForced = nullptr;
    TRadioGroup* rgBuzzerSet = nullptr;
    TRadioGroup* rgBoostChg = nullptr;
    TRadioGroup* rgEnCharge = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void switchLayout(TSetLayout layout);
    void prepareRow(int row);
    // Checks the entry of the chosen row; on success the value to write is in newValue_.
    bool checkEntry();
    void queueWrite();

    int selectedRow_ = -1;
    uint16_t targetReg_ = 0;
    uint16_t newValue_ = 0;
    TSetLayout layout_ = TSetLayout::None;
};
