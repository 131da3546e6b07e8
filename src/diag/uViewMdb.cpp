#include "diag/uViewMdb.h"

#include "comm/uCabinet.h"
#include "diag/uFrmDict.h"
#include "model/uDataFunc.h"
#include "model/uRegisters.h"
#include "model/uUpsInfo.h"
#include "ui/uNamed.h"
#include "ui/uReqSlots.h"
#include "ui/uStringGrid.h"
#include "ui/uWidgets.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFrame>
#include <QHeaderView>
#include <QIntValidator>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTableWidget>
#include <QTimer>
#include <QToolButton>

#include <algorithm>

TfrmMdbView* frmMdbView = nullptr;

namespace {

constexpr int MaxAddress = 65535;
constexpr int MaxCountTyped = 99999; // five characters
constexpr int ColWidth = 120;
constexpr int RowHeight = 16;

enum Format { FormatDec, FormatHex, FormatBin };

QString valueText(uint16_t value, int format)
{
    switch (format) {
    case FormatHex: return HexWord(value);
    case FormatBin: return BinText(value, 15);
    default: return QString::number(value);
    }
}

// The integer in an edit, clamped to [low, high]; fallback when the text is not a number.
int editValue(const QLineEdit* edit, int low, int high, int fallback)
{
    bool ok = false;
    const int v = edit->text().trimmed().toInt(&ok);
    return ok ? std::clamp(v, low, high) : fallback;
}

} // namespace

TfrmMdbView::TfrmMdbView(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("frmMdbView"));
    setAttribute(Qt::WA_DeleteOnClose); // closing frees the viewer; the menu makes a new one
    setWindowTitle(QStringLiteral("View"));

    lblAddr = MakeNamed<QLabel>(this, "lblAddr", QRect(10, 14, 52, 20));
    lblAddr->setText(QStringLiteral("Address"));
    OutIntAddr = MakeNamed<QLineEdit>(this, "OutIntAddr", QRect(64, 12, 60, 24));
    OutIntAddr->setMaxLength(5);
    OutIntAddr->setValidator(new QIntValidator(0, MaxAddress, OutIntAddr));
    lblNum = MakeNamed<QLabel>(this, "lblNum", QRect(138, 14, 40, 20));
    lblNum->setText(QStringLiteral("Count"));
    OutIntNum = MakeNamed<QLineEdit>(this, "OutIntNum", QRect(180, 12, 56, 24));
    OutIntNum->setMaxLength(5);
    OutIntNum->setValidator(new QIntValidator(0, MaxCountTyped, OutIntNum));
    lblFunc = MakeNamed<QLabel>(this, "lblFunc", QRect(252, 14, 56, 20));
    lblFunc->setText(QStringLiteral("Function"));
    cbbFunc = MakeNamed<QComboBox>(this, "cbbFunc", QRect(310, 12, 70, 24));
    cbbFunc->addItems({QStringLiteral("03H"), QStringLiteral("04H")});

    rgAddrSelect =
        Named(new TRadioGroup({QStringLiteral("Address"), QStringLiteral("Name")}, this), "rgAddrSelect");
    rgAddrSelect->setGeometry(10, 42, 170, 44);
    rgAddrSelect->SetItemIndex(0);

    formats_ = new QButtonGroup(this);
    formats_->setExclusive(true);
    const struct {
        QToolButton** button;
        const char* name;
        const char* text;
    } formatButtons[] = {{&spbDec, "spbDec", "Dec"}, {&spbHex, "spbHex", "Hex"}, {&spbBin, "spbBin", "bin"}};
    int id = 0;
    for (const auto& b : formatButtons) {
        *b.button = MakeNamed<QToolButton>(this, b.name, QRect(196 + 48 * id, 54, 44, 26));
        (*b.button)->setText(QLatin1String(b.text));
        (*b.button)->setCheckable(true);
        formats_->addButton(*b.button, id++);
    }
    spbDec->setChecked(true);

    chkPoll = MakeNamed<QCheckBox>(this, "chkPoll", QRect(350, 56, 80, 22));
    chkPoll->setText(QStringLiteral("Polls"));
    chkPoll->setChecked(true);

    pnlShowData = MakeNamed<QFrame>(this, "pnlShowData", QRect(10, 94, 460, 340));
    pnlShowData->setFrameShape(QFrame::StyledPanel);
    strGrdData = MakeNamed<QTableWidget>(pnlShowData, "strGrdData");
    strGrdData->setColumnCount(2);
    strGrdData->setColumnWidth(0, ColWidth);
    strGrdData->setColumnWidth(1, ColWidth);
    strGrdData->verticalHeader()->hide();
    strGrdData->verticalHeader()->setMinimumSectionSize(RowHeight);
    strGrdData->verticalHeader()->setDefaultSectionSize(RowHeight);
    strGrdData->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    // Row 0 holds the headings; they stand in the grid's header, which stays in place while
    // the rows scroll and whose edges size the columns.
    strGrdData->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    strGrdData->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    strGrdData->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    strGrdData->setEditTriggers(QAbstractItemView::NoEditTriggers); // double clicks edit nothing
    strGrdData->setSelectionMode(QAbstractItemView::SingleSelection);
    strGrdData->setWordWrap(false);
    QFont fixed = strGrdData->font();
    fixed.setStyleHint(QFont::TypeWriter);
    fixed.setFamily(QStringLiteral("monospace"));
    strGrdData->setFont(fixed);

    tmr1 = Named(new QTimer(this), "tmr1");
    tmr1->setInterval(2000);

    OutIntAddr->installEventFilter(this);
    OutIntNum->installEventFilter(this);
    connect(cbbFunc, &QComboBox::currentIndexChanged, this, [this] { cbbFuncChange(); });
    connect(rgAddrSelect, &TRadioGroup::clicked, this, [this] { rgAddrSelectClick(); });
    connect(formats_, &QButtonGroup::idClicked, this, [this] { spbFormatClick(); });
    connect(tmr1, &QTimer::timeout, this, [this] { tmr1Timer(); });

    frmMdbView = this;
    FormCreate();
    tmr1->start();
}

TfrmMdbView::~TfrmMdbView()
{
    if (frmMdbView == this) frmMdbView = nullptr;
}

void TfrmMdbView::FormCreate()
{
    SlaveId = 1;
    FuncCode = 1;
    Address = RegHoldingFirst;
    Number = 10;
    ByNameMode = 0;
    resize(500, 460);
    FormResize();
    ShowFields();
    FillRowLabels();
    ShowValues();
}

void TfrmMdbView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    FormResize();
}

void TfrmMdbView::FormResize()
{
    // The data panel takes the rest of the window; the grid sits inside it with a small border.
    const int w = std::max(100, width() - pnlShowData->x() - 14);
    const int h = std::max(60, height() - pnlShowData->y() - 11);
    pnlShowData->resize(w, h);
    strGrdData->setGeometry(5, 5, w - 10, h - 10);
}

bool TfrmMdbView::eventFilter(QObject* watched, QEvent* event)
{
    const bool leaving = event->type() == QEvent::FocusOut;
    const bool entered =
        event->type() == QEvent::KeyPress && (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Return ||
                                              static_cast<QKeyEvent*>(event)->key() == Qt::Key_Enter);
    if (leaving || entered) {
        if (watched == OutIntAddr) OutIntAddrExit();
        if (watched == OutIntNum) OutIntNumExit();
    }
    return QWidget::eventFilter(watched, event);
}

int TfrmMdbView::EditAddress() const { return editValue(OutIntAddr, 1, MaxAddress, Address); }
int TfrmMdbView::EditCount() const { return editValue(OutIntNum, 0, MaxCountTyped, Number); }

void TfrmMdbView::ShowFields()
{
    OutIntAddr->setText(QString::number(Address));
    OutIntNum->setText(QString::number(Number));
    cbbFunc->setCurrentIndex(FuncCode - 1);
}

void TfrmMdbView::FillRowLabels()
{
    strGrdData->setRowCount(Number + 1);
    SetCell(strGrdData, 0, 0, QStringLiteral("Address"));
    SetCell(strGrdData, 1, 0, QStringLiteral("Data"));
    strGrdData->setHorizontalHeaderLabels({QStringLiteral("Address"), QStringLiteral("Data")});
    strGrdData->setRowHidden(0, true);
    for (int i = 1; i <= Number; ++i) {
        const int reg = Address + i - 1;
        QString label;
        if (reg < MirrorEnd) // a row past the last register shows nothing
            label = ByNameMode ? (frmDict ? frmDict->LookupName(reg, 1) : QString()) : ZeroPadDec(reg, 5);
        SetCell(strGrdData, 0, i, label);
    }
}

void TfrmMdbView::ShowValues()
{
    const int format = std::max(0, formats_->checkedId());
    const int rows = std::min<int>(Number, strGrdData->rowCount() - 1);
    for (int i = 1; i <= rows; ++i) {
        const int reg = Address + i - 1;
        SetCell(strGrdData, 1, i, reg < MirrorEnd ? valueText(Cabinet().RegMirror[reg], format) : QString());
    }
}

void TfrmMdbView::OutIntAddrExit()
{
    Address = static_cast<uint16_t>(EditAddress());
    OutIntAddr->setText(QString::number(Address));
    FillRowLabels();
}

void TfrmMdbView::OutIntNumExit()
{
    // The count is a register count: no more rows than there are register numbers.
    Number = static_cast<uint16_t>(std::min(EditCount(), MaxAddress));
    ShowFields();
    FillRowLabels();
}

void TfrmMdbView::cbbFuncChange() { FuncCode = static_cast<uint8_t>(cbbFunc->currentIndex() + 1); }

void TfrmMdbView::rgAddrSelectClick()
{
    ByNameMode = static_cast<uint8_t>(std::max(0, rgAddrSelect->ItemIndex()));
    // The names are those of the dictionary file as it is now.
    if (ByNameMode && frmDict) frmDict->LoadDictionary();
    FillRowLabels();
}

void TfrmMdbView::spbFormatClick() { ShowValues(); }

void TfrmMdbView::tmr1Timer()
{
    ShowValues();
    if (!chkPoll->isChecked()) return;
    // The edits as they stand, even before they are left. The count is sent as typed, but
    // never past the last register number.
    const int start = EditAddress();
    const int count = std::min(EditCount(), MirrorEnd - start);
    QueueRequest(3, static_cast<uint8_t>(cbbFunc->currentIndex() + 3), start, count);
}
