#include "diag/uFrmTrack.h"

#include "comm/uFrmCom.h"
#include "model/UShareData.h"
#include "model/uDataFunc.h"
#include "ui/uNamed.h"
#include "ui/uShowText.h"

#include <QCheckBox>
#include <QEvent>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextCursor>
#include <QTextDocument>

namespace {

constexpr int Margin = 8;
constexpr int LabelHeight = 16;
constexpr int ButtonWidth = 75;
constexpr int ButtonHeight = 25;
constexpr int ColumnWidth = 96;

QPlainTextEdit* makeMemo(QWidget* parent, const char* name, bool horizontalBar)
{
    auto* memo = MakeNamed<QPlainTextEdit>(parent, name);
    memo->setReadOnly(true);
    memo->setUndoRedoEnabled(false);
    memo->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    if (horizontalBar) {
        // One frame per line, however long: the bytes are read along the line.
        memo->setLineWrapMode(QPlainTextEdit::NoWrap);
        memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    } else {
        memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    }
    return memo;
}

} // namespace

TfrmTrack::TfrmTrack(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("frmTrack"));
    setWindowTitle(QStringLiteral("Track"));

    Label2 = MakeNamed<QLabel>(this, "Label2");
    Label2->setText(QString::fromUtf8("发送"));
    Memo1 = makeMemo(this, "Memo1", true);
    Label3 = MakeNamed<QLabel>(this, "Label3");
    Label3->setText(QString::fromUtf8("接收"));
    Memo2 = makeMemo(this, "Memo2", true);
    lbTxCnt = MakeNamed<QLabel>(this, "lbTxCnt");
    lbTxCnt->setText(QStringLiteral("TX:"));
    lbRxCnt = MakeNamed<QLabel>(this, "lbRxCnt");
    lbRxCnt->setText(QStringLiteral("RX:"));
    lbAckOk = MakeNamed<QLabel>(this, "lbAckOk");
    lbAckOk->setText(QStringLiteral("lbAckOk"));
    lbERate = MakeNamed<QLabel>(this, "lbERate");
    lbERate->setText(QStringLiteral("lbERate"));
    lbERate->installEventFilter(this);
    lblMdbInfo = MakeNamed<QLabel>(this, "lblMdbInfo");
    lblMdbInfo->setText(QStringLiteral("lblMdbInfo"));
    btnPause = MakeNamed<QPushButton>(this, "btnPause");
    btnPause->setText(QString::fromUtf8("暂停"));
    btnClr = MakeNamed<QPushButton>(this, "btnClr");
    btnClr->setText(QString::fromUtf8("清空"));
    chkViewMdb = MakeNamed<QCheckBox>(this, "chkViewMdb");
    chkViewMdb->setText(QStringLiteral("View Modbus TX"));
    grpVMdb = MakeNamed<QGroupBox>(this, "grpVMdb");
    grpVMdb->setTitle(QStringLiteral("Modbus"));
    mmoTrack = makeMemo(grpVMdb, "mmoTrack", false);
    grpVMdb->setVisible(false);

    runningCaption_ = QString::fromUtf8("暂停");
    pausedCaption_ = QString::fromUtf8("恢复");

    connect(btnPause, &QPushButton::clicked, this, [this] { btnPauseClick(); });
    connect(btnClr, &QPushButton::clicked, this, [this] { btnClrClick(); });
    connect(chkViewMdb, &QCheckBox::toggled, this, [this] { chkViewMdbClick(); });

    resize(760, 480);
    FormResize();
    sent_.memo = Memo1;
    received_.memo = Memo2;
    requests_.memo = mmoTrack;
    FollowLink(FrmCom);
}

TfrmTrack::~TfrmTrack() { links_.Disconnect(); }

void TfrmTrack::FollowLink(TFrmCom* link)
{
    links_.Disconnect();
    if (!link) return;
    auto bytesOf = [](const QByteArray& b) { return reinterpret_cast<const uint8_t*>(b.constData()); };
    links_ << connect(link, &TFrmCom::FrameSent, this,
                      [this, bytesOf](const QByteArray& b) { TraceTx(bytesOf(b), int(b.size())); })
           << connect(link, &TFrmCom::ChunkReceived, this,
                      [this, bytesOf](const QByteArray& b) { TraceRx(bytesOf(b), int(b.size())); })
           << connect(link, &TFrmCom::CountersChanged, this, [this] { ShowCounters(); })
           << connect(link, &TFrmCom::TraceNote, this, [this](const QString& text) { TraceNote(text); });
}

QString TfrmTrack::HexText(const uint8_t* bytes, int count)
{
    if (!bytes || count <= 0) return {};
    QString line;
    line.reserve(count * 3);
    static const char digits[] = "0123456789ABCDEF";
    for (int i = 0; i < count; ++i) {
        if (i > 0) line += QLatin1Char(' ');
        line += QLatin1Char(digits[bytes[i] >> 4]);
        line += QLatin1Char(digits[bytes[i] & 0x0F]);
    }
    return line;
}

namespace {

// Appended through a cursor rather than appendPlainText, which drops empty lines at the top of
// an empty list; every frame and chunk is one line. The end is reached by position inside one
// edit block: a move, or a cursor outside an edit block, lays out the last line first.
void appendToView(QPlainTextEdit* memo, bool afterALine, const QString& text)
{
    QScrollBar* bar = memo->verticalScrollBar();
    const bool following = bar->value() >= bar->maximum();
    QTextDocument* document = memo->document();
    QTextCursor cursor(document);
    cursor.beginEditBlock();
    cursor.setPosition(document->characterCount() - 1);
    cursor.insertText(afterALine ? QLatin1Char('\n') + text : text);
    cursor.endEditBlock();
    if (following) bar->setValue(bar->maximum());
}

} // namespace

void TfrmTrack::addLine(TTraceList& list, const QString& text)
{
    // Emptied whole rather than trimmed: trimming the top of a long list on every frame
    // costs more than the list is worth.
    if (++list.lines > MaxLines) {
        list.waiting.clear();
        list.lines = 0;
        if (drawn_)
            list.memo->clear();
        else
            list.emptyFirst = true; // when shown
        return;
    }
    if (drawn_)
        appendToView(list.memo, list.lines > 1, text);
    else
        list.waiting.append(text);
}

void TfrmTrack::clearList(TTraceList& list)
{
    list.memo->clear();
    list.waiting.clear();
    list.lines = 0;
    list.emptyFirst = false;
}

void TfrmTrack::writeWaiting(TTraceList& list)
{
    if (list.emptyFirst) list.memo->clear();
    list.emptyFirst = false;
    if (list.waiting.isEmpty()) return;
    appendToView(list.memo, list.lines > list.waiting.size(), list.waiting.join(QLatin1Char('\n')));
    list.waiting.clear();
}

void TfrmTrack::TraceTx(const uint8_t* bytes, int count)
{
    addLine(sent_, HexText(bytes, count));

    // The poll line as it stands at this frame, written out when it can be seen.
    if (FrmCom) {
        pollLine_.step = int(FrmCom->LinkState.PollStep);
        for (int slot = 1; slot <= 9; ++slot) pollLine_.counters[slot - 1] = int(FrmCom->ReqSlot[slot].Counter);
    }
    pollLine_.stale = true;
    if (drawn_) showPollLine();

    // The request the frame carries, as the codec holds it while it is outstanding.
    if (FrmCom && FrmCom->Modbus) {
        const QString func =
            QStringLiteral("%1").arg(FrmCom->Modbus->ReqFunc, 2, 16, QLatin1Char('0')).toUpper();
        addLine(requests_,
                QStringLiteral("Func:%1; Addr:%2").arg(func).arg(FrmCom->Modbus->ReqStartReg));
    }
}

void TfrmTrack::showPollLine()
{
    pollLine_.stale = false;
    QString info = QStringLiteral("idxCyc: %1").arg(pollLine_.step);
    for (int slot = 1; slot <= 9; ++slot)
        info += QStringLiteral(";  Ord%1: %2").arg(slot, 2, 10, QLatin1Char('0')).arg(pollLine_.counters[slot - 1]);
    lblMdbInfo->setText(info);
}

void TfrmTrack::TraceRx(const uint8_t* bytes, int count)
{
    addLine(received_, HexText(bytes, count));
}

void TfrmTrack::TraceNote(const QString& text)
{
    const QString line = QStringLiteral("*** ") + text;
    addLine(sent_, line);
    addLine(received_, line);
}

void TfrmTrack::ShowCounters()
{
    const TCommDebug d = FrmCom ? FrmCom->CommDebug : TCommDebug{};
    ShowText(lbTxCnt, QStringLiteral("Tx: %1").arg(d.TxCount));
    ShowText(lbRxCnt, QStringLiteral("Rx: %1").arg(d.RxCount));
    ShowText(lbAckOk, QStringLiteral("ACK: %1").arg(d.AckCount));
    ShowText(lbERate, QStringLiteral("ErrRate: %1%").arg(d.ErrRate, 0, 'f', 1));
}

void TfrmTrack::FormShow()
{
    setWindowTitle(LangText("Track", "通讯跟踪"));
    Label2->setText(LangText("Send", "发送"));
    Label3->setText(LangText("Accept", "接收"));
    runningCaption_ = LangText("Stop", "暂停");
    pausedCaption_ = LangText("Start", "恢复");
    btnClr->setText(LangText("Clear", "清空"));
    // The button offers to stop even when the link was left paused; pressing it resumes.
    btnPause->setText(runningCaption_);
}

void TfrmTrack::FormResize()
{
    const int w = width();
    const int memoWidth = w <= 400 ? 300 : w - 130;
    const int column = w <= 400 ? 400 : w - 100;

    int y = Margin + LabelHeight + 2;
    btnPause->setGeometry(column, y, ButtonWidth, ButtonHeight);
    btnClr->setGeometry(column, y + ButtonHeight + 6, ButtonWidth, ButtonHeight);
    y += 2 * ButtonHeight + 18;
    // The counters reach a little left of the buttons, so that "ErrRate: 100.0%" fits.
    const int textLeft = column - 20;
    for (QLabel* label : {lbTxCnt, lbRxCnt, lbAckOk, lbERate}) {
        label->setGeometry(textLeft, y, ColumnWidth + 20, LabelHeight + 2);
        y += LabelHeight + 6;
    }

    Memo1->resize(memoWidth, Memo1->height());
    Memo2->resize(memoWidth, Memo2->height());
    layoutRows();
}

// The rows from top to bottom: sent list, received list, the request list when shown, and the
// poll line at the bottom. Only the heights are worked out here; the widths follow FormResize.
void TfrmTrack::layoutRows()
{
    const int memoWidth = Memo1->width();
    const int bottom = height() - Margin - LabelHeight;
    lblMdbInfo->setGeometry(Margin, bottom, qMax(0, width() - 2 * Margin), LabelHeight);

    int listsBottom = bottom - 4;
    if (!grpVMdb->isHidden()) {
        const int groupHeight = qMax(90, (listsBottom - Margin) / 4);
        listsBottom -= groupHeight + 4;
        grpVMdb->setGeometry(Margin, listsBottom + 4, memoWidth, groupHeight);
        mmoTrack->setGeometry(6, 18, qMax(0, memoWidth - 12), qMax(0, groupHeight - 24));
    }
    const int top = Margin + 2;
    const int memoHeight = qMax(20, (listsBottom - top - 2 * (LabelHeight + 2)) / 2);
    // The check box sits at the right end of the heading row, above the list it concerns.
    const int checkWidth = 140;
    Label2->setGeometry(Margin, top, qMax(0, memoWidth - checkWidth), LabelHeight);
    chkViewMdb->setGeometry(Margin + qMax(0, memoWidth - checkWidth), top - 3, checkWidth, LabelHeight + 6);
    Memo1->setGeometry(Margin, top + LabelHeight + 2, memoWidth, memoHeight);
    const int second = Memo1->geometry().bottom() + 1;
    Label3->setGeometry(Margin, second, memoWidth, LabelHeight);
    Memo2->setGeometry(Margin, second + LabelHeight + 2, memoWidth, memoHeight);
}

void TfrmTrack::btnPauseClick()
{
    if (!FrmCom) return;
    if (FrmCom->LinkState.CommPaused) {
        FrmCom->SetPaused(false);
        btnPause->setText(runningCaption_);
    } else {
        FrmCom->SetPaused(true);
        btnPause->setText(pausedCaption_);
    }
}

void TfrmTrack::btnClrClick()
{
    clearList(sent_);
    clearList(received_);
    if (FrmCom) FrmCom->ResetCounters();
}

void TfrmTrack::lbERateDblClick()
{
    if (FrmCom) FrmCom->ResetCounters();
}

void TfrmTrack::chkViewMdbClick()
{
    grpVMdb->setVisible(chkViewMdb->isChecked());
    layoutRows();
}

void TfrmTrack::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    drawn_ = false; // hidden or minimised
}

void TfrmTrack::showEvent(QShowEvent* event)
{
    drawn_ = true;
    for (TTraceList* list : {&sent_, &received_, &requests_}) writeWaiting(*list);
    if (pollLine_.stale) showPollLine();
    // Spontaneous shows (restoring from the task bar) are not the form being shown.
    if (!event->spontaneous()) FormShow();
    QWidget::showEvent(event);
}

void TfrmTrack::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    FormResize();
}

bool TfrmTrack::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == lbERate && event->type() == QEvent::MouseButtonDblClick) {
        lbERateDblClick();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}
