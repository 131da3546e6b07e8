// The register viewer: any range of holding or input registers of the selected cabinet, read
// every 2 s and shown in decimal, hexadecimal or binary from the register mirror, with the
// register numbers or their dictionary names in the first column.
#pragma once

#include "model/uRegisters.h"

#include <QWidget>

#include <cstdint>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QTableWidget;
class QTimer;
class QToolButton;
class TRadioGroup;

class TfrmMdbView : public QWidget {
    Q_OBJECT
public:
    explicit TfrmMdbView(QWidget* parent = nullptr);
    ~TfrmMdbView() override;

    // Fields.
    uint8_t SlaveId = 1;  // kept; requests go to the main window's selected cabinet
    uint8_t FuncCode = 1; // 1 function 3, 2 function 4
    uint16_t Address = RegHoldingFirst;
    uint16_t Number = 10;
    uint8_t ByNameMode = 0;

    void FormCreate();
    void FormResize();
    void ShowFields();
    void FillRowLabels();
    void ShowValues();

    // Event handlers.
    void OutIntAddrExit();
    void OutIntNumExit();
    void cbbFuncChange();
    void rgAddrSelectClick();
    void spbFormatClick();
    void tmr1Timer();

    // The edits' values as they stand (before they are left): the first register clamped to
    // 1..65535, the count to 0..99999; an empty or unreadable edit gives the field's value.
    int EditAddress() const;
    int EditCount() const;

    // Components.
    QLabel* lblAddr = nullptr;
    QLineEdit* OutIntAddr = nullptr;
    QLabel* lblNum = nullptr;
    QLineEdit* OutIntNum = nullptr;
    QLabel* lblFunc = nullptr;
    QComboBox* cbbFunc = nullptr;
    TRadioGroup* rgAddrSelect = nullptr;
    QToolButton* spbDec = nullptr;
    QToolButton* spbHex = nullptr;
    QToolButton* spbBin = nullptr;
    QCheckBox* chkPoll = nullptr;
    QFrame* pnlShowData = nullptr;
    QTableWidget* strGrdData = nullptr;
    QTimer* tmr1 = nullptr;

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QButtonGroup* formats_ = nullptr;
};

// The register viewer while it is open, or nullptr (closing it frees it).
extern TfrmMdbView* frmMdbView;

// The first register past the register mirror.
constexpr int MirrorEnd = 65536;
