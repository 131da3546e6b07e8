// The bit-setting window: one mask word edited bit by bit in a 16-row grid in which every bit
// has its name; OK writes the word to the cabinet behind the write-enable command and reads
// the ten mask words back.
#pragma once

#include <QDialog>

#include <cstdint>

class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

// The mask word being edited (1 to 10) and its working value; both keep their last values
// between edits.
extern uint8_t MaskChannel;
extern uint16_t MaskValue;

class TFrmSetBit : public QDialog {
    Q_OBJECT
public:
    explicit TFrmSetBit(QWidget* parent = nullptr);

    void FormShow();
    void ApplyCaptions();
    // A press of the mouse on cell (col, row): a cell of column 2 in rows 1 to 16 inverts
    // bit 16 - row of the working value.
    void strGridMouseDown(int col, int row);
    void btnOKClick();
    void btnCancelClick();
    // Shows the working value in the edit and in the check cells.
    void ShowMaskValue();

    QLabel* lblTopicInfo = nullptr;
    QLineEdit* edtMskVal = nullptr;
    QTableWidget* strGrid = nullptr;
    QLabel* lblExplain = nullptr;
    QPushButton* btnOK = nullptr;
    QPushButton* btnCancel = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void placeComponents();
    bool sendMask();
};
