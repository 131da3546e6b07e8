#include "diag/uViewMdBuff.h"

#include "comm/uCabinet.h"
#include "comm/uFrmCom.h"
#include "model/UShareData.h"
#include "model/uRegisters.h"
#include "model/uUpsInfo.h"
#include "ui/uNamed.h"
#include "ui/uReqSlots.h"
#include "ui/uViewFormat.h"
#include "ui/uWidgets.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QShowEvent>
#include <QTimer>
#include <QToolButton>

#include <algorithm>

TfrmViewMdbuff* frmViewMdbuff = nullptr;

namespace {
constexpr int BufferEntries = 100;
constexpr int ModuleChoices = 10;
constexpr int MinWidth = 400;
} // namespace

QString RxBufferLine(const uint16_t* words, int length)
{
    QString line;
    const int n = std::clamp(length, 0, BufferEntries);
    line.reserve(n * 4);
    for (int i = 0; i < n; ++i)
        line += QStringLiteral("%1 ").arg(words[i], 2, 16, QLatin1Char('0')).toUpper();
    return line;
}

TfrmViewMdbuff::TfrmViewMdbuff(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("frmViewMdbuff"));
    setWindowTitle(QStringLiteral("View Module RxBuff"));

    cbbMdID = MakeNamed<QComboBox>(this, "cbbMdID", QRect(10, 10, 56, 24));
    for (int m = 1; m <= ModuleChoices; ++m) cbbMdID->addItem(QString::number(m));
    cbbMdID->setCurrentIndex(0);
    lbErrRate = MakeNamed<QLabel>(this, "lbErrRate", QRect(80, 12, 82, 20));
    lbErrRate->setText(QStringLiteral("Error rate(%)"));
    edtErrRate = MakeNamed<QLineEdit>(this, "edtErrRate", QRect(164, 10, 56, 24));
    edtErrRate->setReadOnly(true);
    spb1 = MakeNamed<QToolButton>(this, "spb1", QRect(234, 9, 70, 26));
    spb1->setCheckable(true);
    spb1->setText(QStringLiteral("pause"));
    lbCount = MakeNamed<TClickLabel>(this, "lbCount", QRect(316, 12, 60, 20));
    lbCount->setText(QStringLiteral("0"));
    lbCount->setToolTip(QStringLiteral("Buffers shown; a double click counts from 0"));
    QPalette grey = lbCount->palette();
    grey.setColor(QPalette::WindowText, Qt::gray);
    lbCount->setPalette(grey);

    chkAppend = MakeNamed<QCheckBox>(this, "chkAppend", QRect(10, 44, 80, 22));
    chkAppend->setText(QStringLiteral("append"));
    lb1 = MakeNamed<QLabel>(this, "lb1", QRect(100, 46, 50, 20));
    lb1->setText(QStringLiteral("Length:"));
    edtRxLen = MakeNamed<QLineEdit>(this, "edtRxLen", QRect(152, 44, 56, 24));
    edtRxLen->setReadOnly(true);

    mmo1 = MakeNamed<QPlainTextEdit>(this, "mmo1");
    mmo1->setReadOnly(true);
    mmo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    mmo1->setMaximumBlockCount(RxBufferMemoLines);
    QFont fixed(QStringLiteral("monospace"));
    fixed.setStyleHint(QFont::TypeWriter);
    mmo1->setFont(fixed);

    tmr1 = Named(new QTimer(this), "tmr1");
    tmr1->setInterval(1000);

    connect(cbbMdID, &QComboBox::activated, this, [this] { cbbMdIDChange(); });
    connect(spb1, &QToolButton::clicked, this, [this] { spb1Click(); });
    connect(lbCount, &TClickLabel::doubleClicked, this, [this] { lbCountDblClick(); });
    connect(tmr1, &QTimer::timeout, this, [this] { tmr1Timer(); });

    setMinimumWidth(MinWidth);
    resize(560, 360);
    frmViewMdbuff = this;
    tmr1->start();
}

TfrmViewMdbuff::~TfrmViewMdbuff()
{
    if (frmViewMdbuff == this) frmViewMdbuff = nullptr;
}

void TfrmViewMdbuff::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous()) FormShow();
}

void TfrmViewMdbuff::FormShow() { SelModule = static_cast<uint8_t>(cbbMdID->currentIndex() + 1); }

void TfrmViewMdbuff::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    FormResize();
}

void TfrmViewMdbuff::FormResize()
{
    if (width() < MinWidth) {
        resize(MinWidth, height());
        return; // the resize comes back here
    }
    const int top = 76;
    mmo1->setGeometry(10, top, width() - 40, std::max(40, height() - top - 10));
}

// A hidden window is never the active one; asking the window system costs more than the tick.
bool TfrmViewMdbuff::IsActiveForm() const { return isVisible() && isActiveWindow(); }

// The selection is a write: it goes through the editors' rules (whole, port open, link not
// paused). The timer repeats it quietly: only when the write would be taken, so that a closed
// port is not told once a second.
void TfrmViewMdbuff::queueSelection(bool quiet)
{
    if (quiet && (!LinkPortOpen() || FrmCom->LinkState.CommPaused || !ReqSlotFree(1))) return;
    QueueWrite(this, {{1, 6, RegRxModule, 1, SelModule}});
}

void TfrmViewMdbuff::queueBufferRead() { QueueRequest(2, 3, RegRxBufFirst, RxBufReadCount); }

void TfrmViewMdbuff::cbbMdIDChange()
{
    // Even while paused or in the background: the operator asked for this module.
    SelModule = static_cast<uint8_t>(cbbMdID->currentIndex() + 1);
    queueSelection(false);
    queueBufferRead();
}

void TfrmViewMdbuff::spb1Click()
{
    if (spb1->isChecked()) {
        Paused = FlagOn;
        spb1->setText(QStringLiteral("continue"));
    } else {
        Paused = FlagOff;
        spb1->setText(QStringLiteral("pause"));
    }
}

void TfrmViewMdbuff::lbCountDblClick()
{
    FrameCount = 0;
    lbCount->setText(QStringLiteral("0"));
}

void TfrmViewMdbuff::tmr1Timer()
{
    if (IsActiveForm() && Paused == FlagOff) {
        SelModule = static_cast<uint8_t>(cbbMdID->currentIndex() + 1);
        // Repeated until the cabinet reports the module chosen.
        if (Cabinet().MdRxModule != SelModule && SelModule > 0) queueSelection(true);
        queueBufferRead();
    }
    ShowBuffer(); // a reply that arrives after a pause is still shown
}

void TfrmViewMdbuff::ShowBuffer()
{
    if (Cabinet().MdRxNew == FlagOff) return;
    Cabinet().MdRxNew = FlagOff;
    ++FrameCount;
    lbCount->setText(QString::number(FrameCount));
    edtRxLen->setText(QString::number(Cabinet().MdRxLen));
    const QString line = RxBufferLine(Cabinet().MdRxWords, Cabinet().MdRxLen);
    if (chkAppend->isChecked()) {
        mmo1->appendPlainText(line);
    } else {
        mmo1->clear();
        mmo1->appendPlainText(line);
        if (Cabinet().MdRxLen > BufferEntries) mmo1->appendPlainText(QStringLiteral("..."));
    }
    const TModuleData& md = Cabinet().ModuleData[std::clamp<int>(SelModule, 1, ModuleCount)];
    edtErrRate->setText(ModuleErrRateText(md.MdSend, md.MdAckOk));
}
