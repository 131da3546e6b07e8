// The communication trace window frmTrack: every frame sent and every chunk received in
// hexadecimal, the link counters, the poll step and slot counters, and the link's pause button.
// It exists for the whole run, and the link feeds it whether it is shown or not.
#pragma once

#include "comm/uLinkConnections.h"

#include <QStringList>
#include <QWidget>

#include <cstdint>

class QCheckBox;
class QGroupBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;

class TFrmCom;

class TfrmTrack : public QWidget {
    Q_OBJECT
public:
    // Follows the run's link when there is one already.
    explicit TfrmTrack(QWidget* parent = nullptr);
    ~TfrmTrack() override;

    // Lists grow to this many lines and are then emptied whole.
    static constexpr int MaxLines = 1000;

    // The bytes as two upper-case hexadecimal digits each, separated by single blanks.
    static QString HexText(const uint8_t* bytes, int count);

    // Follows link's signals from now on: its frames, chunks, counters and notes fill the
    // window; a window made before the link follows it once it is there.
    void FollowLink(TFrmCom* link);
    void TraceTx(const uint8_t* bytes, int count);
    void TraceRx(const uint8_t* bytes, int count);
    void ShowCounters();
    // Written into both lists, so the gap in the traffic reads the same in either.
    void TraceNote(const QString& text);

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
    TLinkConnections links_;
    // One of the three lists. While the window is not shown its lines wait here and its view
    // is left alone: writing lines nobody sees into a text view was most of what the tool
    // spent while polling. Shown, the view takes them in one go.
    struct TTraceList {
        QPlainTextEdit* memo = nullptr;
        int lines = 0; // since the list was last emptied, the waiting ones included
        QStringList waiting;
        bool emptyFirst = false; // it reached its limit while hidden: the view is emptied first
    };
    void addLine(TTraceList& list, const QString& text);
    void clearList(TTraceList& list);
    void writeWaiting(TTraceList& list);
    void showPollLine();
    void layoutRows();

    // The pause button's two captions, in the language of the last FormShow.
    QString runningCaption_;
    QString pausedCaption_;
    TTraceList sent_, received_, requests_;
    bool drawn_ = false; // shown and not minimised
    // The poll step and the slot counters at the last frame sent, for lblMdbInfo.
    struct TPollLine {
        int step = 0;
        int counters[9] = {};
        bool stale = false; // not yet written into the label
    } pollLine_;
};
