// The OPTION port set window: the baud code or the protocol code chosen from a list and
// written to the cabinet with function 6, then read back. Modal, made for one use.
#pragma once

#include <QDialog>

#include <cstdint>

class QComboBox;
class QFrame;
class QListWidget;
class QPushButton;

// The codes the set window started from, copied from OptBaud and OptProtocol when shown.
extern int32_t OptBaudCopy;
extern int32_t OptProtocolCopy;

class TfrmMdbSet : public QDialog {
    Q_OBJECT
public:
    explicit TfrmMdbSet(QWidget* parent = nullptr);

    // The row chosen last: 0 the baud code, 1 the protocol code, -1 none yet.
    int SelRow = -1;

    void FormShow();
    void lstSelctClick();
    void btnSendClick();

    QListWidget* lstSelct = nullptr;
    QFrame* pnl2 = nullptr;
    QComboBox* cbbSelect = nullptr;
    QPushButton* btnSend = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
};
