#include "records/uUpsRec.h"

#include "comm/uCabinet.h"
#include "records/uRecDetail.h"
#include "records/uRecordGridDelegate.h"

#include "comm/uFrmCom.h"
#include "model/UShareData.h"
#include "model/uDataFunc.h"
#include "ui/uCaptions.h"
#include "ui/uGuard.h"
#include "ui/uNamed.h"
#include "ui/uPassword.h"
#include "ui/uReqSlots.h"
#include "ui/uUiSeam.h"
#include "ui/uWidgets.h"
#include "ui/uWindowFlags.h"
#include "ui/uWindowCaptions.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFocusEvent>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QWheelEvent>

#include <algorithm>

namespace {

constexpr int FormWidth = 670;
constexpr int FormHeight = 540;

} // namespace

TfrmUpsRec::TfrmUpsRec(QWidget* parent) : QWidget(parent, FixedWindowFlags)
{
    setObjectName(QStringLiteral("frmUpsRec"));
    clock_.start();
    list_ = new TRecordListModel(db_, this);
    createComponents();
    FormCreate();
}

TfrmUpsRec::~TfrmUpsRec() { FormDestroy(); }

void TfrmUpsRec::createComponents()
{
    setFixedSize(FormWidth, FormHeight);

    pgcRec = MakeNamed<QTabWidget>(this, "pgcRec", QRect(4, 4, FormWidth - 8, 118));
    ts1 = Named(new QWidget, "ts1");
    ts2 = Named(new QWidget, "ts2");
    pgcRec->addTab(ts1, QString());
    pgcRec->addTab(ts2, QString());

    lblMaxCount = MakeNamed<QLabel>(ts1, "lblMaxCount", QRect(10, 12, 120, 22));
    redtMaxRec = MakeNamed<QLineEdit>(ts1, "redtMaxRec", QRect(134, 10, 80, 24));
    redtMaxRec->setReadOnly(true);
    redtMaxRec->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lblAllRec = MakeNamed<QLabel>(ts1, "lblAllRec", QRect(10, 46, 120, 22));
    redtAllRec = MakeNamed<QLineEdit>(ts1, "redtAllRec", QRect(134, 44, 80, 24));
    redtAllRec->setReadOnly(true);
    redtAllRec->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    chkRecNo = MakeNamed<QCheckBox>(ts1, "chkRecNo", QRect(232, 12, 100, 22));
    chkRecNo->setChecked(true);
    intgrtptRec = MakeNamed<QSpinBox>(ts1, "intgrtptRec", QRect(336, 10, 70, 24));
    intgrtptRec->setRange(1, 9999);
    intgrtptRec->setValue(1);
    intgrtptRec->setButtonSymbols(QAbstractSpinBox::NoButtons);
    intgrtptRec->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    btnBegin = MakeNamed<QPushButton>(ts1, "btnBegin", QRect(418, 8, 76, 28));
    btnBegin->setCheckable(true);
    btnStop = MakeNamed<QPushButton>(ts1, "btnStop", QRect(498, 8, 70, 28));
    btnStop->setEnabled(false);
    btnClrRec = MakeNamed<QPushButton>(ts1, "btnClrRec", QRect(572, 8, 76, 28));

    // The progress of a running download: stored out of those to fetch, rate, time left.
    pbDownload = MakeNamed<QProgressBar>(ts1, "pbDownload", QRect(232, 46, 174, 20));
    pbDownload->setRange(0, 100);
    pbDownload->setValue(0);
    lblProgress = MakeNamed<QLabel>(ts1, "lblProgress", QRect(414, 46, 236, 20));

    chkIsAnalysis = MakeNamed<QCheckBox>(ts2, "chkIsAnalysis", QRect(10, 12, 140, 22));
    chkIsAnalysis->setText(QStringLiteral("with Analysis"));
    btnSaveAsExcel = MakeNamed<QPushButton>(ts2, "btnSaveAsExcel", QRect(160, 8, 110, 28));
    btnSaveAs = MakeNamed<QPushButton>(ts2, "btnSaveAs", QRect(280, 8, 110, 28));
    btnLoadFile = MakeNamed<QPushButton>(ts2, "btnLoadFile", QRect(400, 8, 120, 28));
    btnClear = MakeNamed<QPushButton>(ts2, "btnClear", QRect(530, 8, 100, 28));

    rgIDOrderby =
        Named(new TRadioGroup({QStringLiteral("ASC"), QStringLiteral("DESC")}, this), "rgIDOrderby");
    rgIDOrderby->setGeometry(4, 124, 200, 40);
    rgIDOrderby->SetItemIndex(0);
    lblCntErr = Named(new TClickLabel(this), "lblCntErr");
    lblCntErr->setGeometry(214, 136, 80, 20);
    lblCntErr->setStyleSheet(QStringLiteral("color: red"));
    lblCntErr->setVisible(false);

    DBGrd1 = MakeNamed<QTableView>(this, "DBGrd1", QRect(4, 168, FormWidth - 8, FormHeight - 172));
    DBGrd1->setModel(list_);
    DBGrd1->setItemDelegate(new TRecordGridDelegate(DBGrd1));
    QFont gridFont = DBGrd1->font();
    gridFont.setPixelSize(11);
    DBGrd1->setFont(gridFont);
    DBGrd1->setSelectionBehavior(QAbstractItemView::SelectRows);
    DBGrd1->setSelectionMode(QAbstractItemView::SingleSelection);
    DBGrd1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    DBGrd1->setWordWrap(false);
    DBGrd1->verticalHeader()->setVisible(false);
    DBGrd1->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    DBGrd1->verticalHeader()->setDefaultSectionSize(20);
    DBGrd1->horizontalHeader()->setHighlightSections(false);
    // The current row stays marked when the grid loses the focus.
    QPalette grid = DBGrd1->palette();
    grid.setColor(QPalette::Inactive, QPalette::Highlight, grid.color(QPalette::Active, QPalette::Highlight));
    grid.setColor(QPalette::Inactive, QPalette::HighlightedText,
                  grid.color(QPalette::Active, QPalette::HighlightedText));
    DBGrd1->setPalette(grid);

    mmo2 = MakeNamed<QPlainTextEdit>(this, "mmo2", QRect(300, 190, 360, 160));
    mmo2->setReadOnly(true);
    mmo2->setVisible(false);
    mmo2->viewport()->installEventFilter(this);

    tmr1 = Named(new QTimer(this), "tmr1");
    tmr1->setInterval(100);

    connect(btnBegin, &QPushButton::clicked, this, [this] { btnBeginClick(); });
    connect(btnStop, &QPushButton::clicked, this, [this] { btnStopClick(); });
    connect(btnClrRec, &QPushButton::clicked, this, [this] { btnClrRecClick(); });
    connect(rgIDOrderby, &TRadioGroup::clicked, this, [this] { rgIDOrderbyClick(); });
    connect(lblCntErr, &TClickLabel::doubleClicked, this, [this] { lblCntErrDblClick(); });
    connect(tmr1, &QTimer::timeout, this, [this] { tmr1Timer(); });
    if (FrmCom) connect(FrmCom, &TFrmCom::ReplyArrived, this, [this] { replyArrived(); });
    connect(btnSaveAsExcel, &QPushButton::clicked, this, [this] { btnSaveAsExcelClick(); });
    connect(btnSaveAs, &QPushButton::clicked, this, [this] { btnSaveAsClick(); });
    connect(btnLoadFile, &QPushButton::clicked, this, [this] { btnLoadFileClick(); });
    connect(btnClear, &QPushButton::clicked, this, [this] { btnClearClick(); });
    connect(DBGrd1, &QTableView::clicked, this, [this] { DBGrd1CellClick(); });
    connect(DBGrd1, &QTableView::doubleClicked, this, [this] { DBGrd1DblClick(); });
    DBGrd1->installEventFilter(this);
    DBGrd1->viewport()->installEventFilter(this);
}

void TfrmUpsRec::FormCreate()
{
    pgcRec->setCurrentIndex(0);
    DataFolder = RecordDataFolder();
    DbFile = DataFolder + QStringLiteral("record.mdb");
    // The folder is made one level deep; a failure shows when the list is first refreshed.
    QDir().mkdir(DataFolder);
    db_.SetFilePath(DbFile);
    OpenRecordDb();
    ApplyCaptions();
    tmr1->start();
}

void TfrmUpsRec::FormDestroy()
{
    if (tmr1) tmr1->stop();
    if (list_) list_->CloseList();
    db_.Close();
}

int64_t TfrmUpsRec::now() const { return ProgressClock ? ProgressClock() : clock_.elapsed(); }

bool TfrmUpsRec::portOpen() const { return LinkPortOpen(); }

bool TfrmUpsRec::windowActive() const { return ActiveForTest ? *ActiveForTest : isActiveWindow(); }

bool TfrmUpsRec::OpenRecordDb()
{
    // The list reads through the same connection: it is closed first and reopened by the next
    // RefreshList.
    list_->CloseList();
    return db_.OpenRecordDb();
}

bool TfrmUpsRec::CreateRecordDb()
{
    list_->CloseList();
    return db_.CreateRecordDb();
}

void TfrmUpsRec::CloseRecordDb()
{
    list_->CloseList();
    db_.Close();
}

void TfrmUpsRec::ApplyCaptions()
{
    ApplyCaptionTable({
        WindowCaptionRow(this),
        {ts1, "Record Info of UPS", "UPS记录信息"},
        {ts2, "Local Record", "本地记录"},
        {lblMaxCount, "Amount of volume", "额定记录总数"},
        {lblAllRec, "Sum of record", "已有记录总数"},
        {chkRecNo, "Record No", "记录号"},
        {btnStop, "Stop", "停止"},
        {btnClrRec, "Clear", "清除"},
        {btnClear, "Clear", "清除"},
        {btnSaveAs, "Save As", "另存为"},
        {btnLoadFile, "Load From file", "从文件读取"},
        {btnSaveAsExcel, "Save as Excel", "另存为Excel"},
    });
    if (Cabinet().RecInfo.PollHold != 0)
        ApplyCaptionTable({{btnBegin, "Loading", "下载中"}});
    else
        ApplyCaptionTable({{btnBegin, "Load", "下载"}});
    rgIDOrderby->item(0)->setText(LangText("ASC", "升序"));
    rgIDOrderby->item(1)->setText(LangText("DESC", "降序"));
    showProgress();
}

void TfrmUpsRec::FormActivate()
{
    ApplyCaptions();
    RefreshList();
}

void TfrmUpsRec::FormDeactivate() { mmo2->setVisible(false); }

void TfrmUpsRec::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() != QEvent::ActivationChange) return;
    if (isActiveWindow())
        FormActivate();
    else
        FormDeactivate();
}

void TfrmUpsRec::closeEvent(QCloseEvent* event)
{
    // Closing only hides the window; a running download goes on.
    if (TfrmRecDetail* detail = RecDetailWindow()) detail->hide();
    hide();
    event->ignore();
}

bool TfrmUpsRec::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == mmo2->viewport() && event->type() == QEvent::MouseButtonDblClick) {
        mmo2DblClick();
        return true;
    }
    if ((watched == DBGrd1 || watched == DBGrd1->viewport()) && event->type() == QEvent::Wheel &&
        DBGrd1->hasFocus() && static_cast<QWheelEvent*>(event)->angleDelta().y() != 0) {
        GridWheel(static_cast<QWheelEvent*>(event)->angleDelta().y());
        return true;
    }
    if (watched == DBGrd1 && event->type() == QEvent::FocusOut) {
        // Leaving for another control of this window; not the window losing its activation
        // (the detail window itself, a message box, another program).
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) DBGrd1Exit();
    }
    return QWidget::eventFilter(watched, event);
}

// ---- Download ----

void TfrmUpsRec::lblCntErrDblClick()
{
    if (mmo2->isVisible())
        mmo2->setVisible(false);
    else if (TempFixCount != 0)
        mmo2->setVisible(true);
}

void TfrmUpsRec::mmo2DblClick()
{
    mmo2->clear();
    mmo2->setVisible(false);
    TempFixCount = 0;
}
