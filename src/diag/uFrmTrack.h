// The communication trace window frmTrack: every frame sent and every chunk received in
// hexadecimal, the link counters, the poll step and slot counters, and the link's pause button.
// It exists for the whole run, and the link feeds it whether it is shown or not.
#pragma once

#include "comm/uLinkState.h"

#include <QWidget>

#include <cstdint>

class QCheckBox;
class QGroupBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;

class TfrmTrack : public QWidget, public TLinkTraceHooks {
    Q_OBJECT
public:
    // Installs itself as the link's trace window; the destructor hands the link back to the
    // default hooks.
    explicit TfrmTrack(QWidget* parent = nullptr);
    ~TfrmTrack() override;

    // Lists grow to this many lines and are then emptied whole.
    static constexpr int MaxLines = 1000;

    // The bytes as two upper-case hexadecimal digits each, separated by single blanks.
    static QString HexText(const uint8_t* bytes, int count);

    // Called by the link.
    void TraceTx(const uint8_t* bytes, int count) override;
    void TraceRx(const uint8_t* bytes, int count) override;
    void ShowCounters() override;
    // Written into both lists, so the gap in the traffic reads the same in either.
    void TraceNote(const QString& text) override;

    // Form handlers.
    void FormShow();
    void FormResize();
    void btnPauseClick();
    void btnClrClick();
    void lbERateDblClick();
    void chkViewMdbClick();

    QLabel* Label2;
    QPlainTextEdit* Memo1;
    QLabel* Label3;
    QPlainTextEdit* Memo2;
    QLabel* lbTxCnt;
    QLabel* lbRxCnt;
    QLabel* lbAckOk;
    QLabel* lbERate;
    QLabel* lblMdbInfo;
    QPushButton* btnPause;
    QPushButton* btnClr;
    QCheckBox* chkViewMdb;
    QGroupBox* grpVMdb;
    QPlainTextEdit* mmoTrack;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void addLine(QPlainTextEdit* memo, int& lines, const QString& text);
    void clearMemo(QPlainTextEdit* memo, int& lines);
    void layoutRows();
    void setListsDrawn(bool drawn);

    // The pause button's two captions, in the language of the last FormShow.
    QString runningCaption_;
    QString pausedCaption_;
    int memo1Lines_ = 0;
    int memo2Lines_ = 0;
    int trackLines_ = 0;
    // Which lists were scrolled to their end when the window was hidden: they show their last
    // line again when it is shown.
    bool following_[3] = {true, true, true};
};
