// The cabinet configuration editor: one row at a time is chosen, edited and sent. The texts
// go out with function 16 from the configuration edit copy, the registers with function 6,
// each followed by a write or read-back in the next slot.
#pragma once

#include <QDialog>

#include <cstdint>

class QComboBox;
class QFrame;
class QLineEdit;
class QListWidget;
class QPushButton;
class TRadioGroup;

class TfrmEdtZyrCfg : public QDialog {
    Q_OBJECT
public:
    explicit TfrmEdtZyrCfg(QWidget* parent = nullptr);

    // The rows of lstSelct.
    enum TRow {
        RowCompany,
        RowModel,
        RowBroadCast,
        RowRemote,
        RowPwrRat,
        RowMdType,
        RowConfirm,
        RowBtCalcBy,
        RowCount
    };

    // The chosen row, -1 when none.
    int SelRow = -1;
    // The company name and model had been read from the cabinet when the window was shown.
    bool TextsKnown = false;
    // For the register rows (2 to 7): the cabinet each value shown was read from when the
    // window was shown, 0 when none had been read.
    uint8_t RowsFrom[6] = {};

    void FormCreate();
    void FormShow();
    void lstSelctClick();
    void btnSendClick();
    // The value a register row (2 to 7) sends, from its editor as it stands.
    uint16_t RowValue(int row) const;
    // False for a list or switch row on which nothing is chosen.
    bool RowChosen(int row) const;

    QListWidget* lstSelct = nullptr;
    QFrame* pnl1 = nullptr;
    QLineEdit* edtText = nullptr;
    QFrame* pnl2 = nullptr;
    QComboBox* cbbSelect = nullptr;
    TRadioGroup* rgChoise = nullptr;
    QPushButton* btnSend = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void showEditor(QWidget* editor);
    void showList(const QStringList& items, int index);
    void showSwitch(const char* en0, const char* zh0, const char* en1, const char* zh1, int index);
};
