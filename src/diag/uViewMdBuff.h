// The module receive-buffer viewer: selects a power module, reads the receive buffer the
// cabinet reports for it once a second while the viewer is the active window, and prints it
// in hexadecimal with the module's error rate.
#pragma once

#include <QString>
#include <QWidget>

#include <cstdint>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QTimer;
class QToolButton;
class TClickLabel;

// The buffer line: the first min(length, 100) entries, each in upper-case hexadecimal of at
// least two digits followed by one blank.
QString RxBufferLine(const uint16_t* words, int length);

class TfrmViewMdbuff : public QWidget {
    Q_OBJECT
public:
    explicit TfrmViewMdbuff(QWidget* parent = nullptr);
    ~TfrmViewMdbuff() override;

    // Fields.
    uint8_t SelModule = 1;
    uint8_t Paused = 0;
    int FrameCount = 0;

    void FormShow();
    void FormResize();
    void ShowBuffer();

    // Event handlers.
    void cbbMdIDChange();
    void spb1Click();
    void lbCountDblClick();
    void tmr1Timer();

    // Whether the viewer is the active window; tests may stand in for the window system.
    bool IsActiveForm() const;

    // Components.
    QComboBox* cbbMdID = nullptr;
    QLabel* lbErrRate = nullptr;
    QLineEdit* edtErrRate = nullptr;
    QToolButton* spb1 = nullptr;
    TClickLabel* lbCount = nullptr;
    QCheckBox* chkAppend = nullptr;
    QLabel* lb1 = nullptr;
    QLineEdit* edtRxLen = nullptr;
    QPlainTextEdit* mmo1 = nullptr;
    QTimer* tmr1 = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void queueSelection(bool quiet);
    void queueBufferRead();
};

// The viewer of the run (created at start-up), or nullptr.
extern TfrmViewMdbuff* frmViewMdbuff;

// Lines the memo keeps while buffers are appended (about 80 minutes at one a second).
constexpr int RxBufferMemoLines = 5000;
