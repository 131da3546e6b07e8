#include "records/uUpsRec.h"

#include "records/uRecDetail.h"
#include "records/uRecordGridDelegate.h"

#include "comm/uFrmCom.h"
#include "model/UShareData.h"
#include "model/uDataFunc.h"
#include "settings/uPassword.h"
#include "ui/uCaptions.h"
#include "ui/uGuard.h"
#include "ui/uNamed.h"
#include "ui/uReqSlots.h"
#include "ui/uUiSeam.h"
#include "ui/uWidgets.h"
#include "ui/uWindowFlags.h"

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

// The grid's titled columns: field, English title, Chinese title, English and Chinese widths.
struct GridColumn {
    const char* field;
    const char* en;
    const char* zh;
    int widthEn;
    int widthZh;
};
const GridColumn GridColumns[] = {
    {"DevID", "DevId", "DevID", 20, 30},       {"RecNo", "Record", "记录号", 45, 45},
    {"UPSDate", "DateTime", "日期", 110, 110}, {"UpsState", "UPS State", "运行状态", 100, 100},
    {"ModuleID", "Module", "模块ID", 40, 40},  {"EventNo", "Event", "事件", 130, 130},
    {"AlarmNo", "Alarm", "告警", 130, 130},
};

// Clears a flag when the scope ends.
struct TickGuard {
    bool& flag;
    explicit TickGuard(bool& f) : flag(f) { flag = true; }
    ~TickGuard() { flag = false; }
};

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
    btnBegin = MakeNamed<QPushButton>(ts1, "btnBegin", QRect(424, 8, 100, 28));
    btnBegin->setCheckable(true);
    btnClrRec = MakeNamed<QPushButton>(ts1, "btnClrRec", QRect(534, 8, 100, 28));

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
        {this, "Event Logo", "事件记录"},
        {ts1, "Record Info of UPS", "UPS记录信息"},
        {ts2, "Local Record", "本地记录"},
        {lblMaxCount, "Amount of volume", "额定记录总数"},
        {lblAllRec, "Sum of record", "已有记录总数"},
        {chkRecNo, "Record No", "记录号"},
        {btnClrRec, "Clear", "清除"},
        {btnClear, "Clear", "清除"},
        {btnSaveAs, "Save As", "另存为"},
        {btnLoadFile, "Load From file", "从文件读取"},
        {btnSaveAsExcel, "Save as Excel", "另存为Excel"},
    });
    if (RecInfo.PollHold != 0)
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

void TfrmUpsRec::RequestRecord()
{
    intgrtptRec->setValue(RecInfo.NextRecNo);
    if (!portOpen()) return;
    QueueRequest(1, 20, 0, 0, static_cast<uint16_t>(RecInfo.NextRecNo));
}

void TfrmUpsRec::RequestRecordInfo()
{
    if (!portOpen()) return;
    QueueRequest(2, 3, 40051, 6);
}

void TfrmUpsRec::ShowRecordInfo()
{
    redtMaxRec->setText(QString::number(RecInfo.MaxRec));
    redtAllRec->setText(QString::number(RecInfo.AllRec));
}

void TfrmUpsRec::btnBeginClick()
{
    // The click has already flipped the button.
    if (!portOpen() && btnBegin->isChecked()) {
        btnBegin->setChecked(false);
        RecInfo.PollHold = 0;
        TMessageBoxRequest r;
        r.parent = this;
        r.icon = QMessageBox::Warning;
        r.title = QStringLiteral("Warning");
        r.text = QStringLiteral("Com is off");
        r.buttons = QMessageBox::Ok;
        ShowMessageBox(r);
        return;
    }
    if (RecInfo.PollHold != 0) {
        RecInfo.PollHold = 0;
        btnBegin->setChecked(false);
        return;
    }
    if (list_->IsOpen() && CurrentRowNo() > 0) {
        TMessageBoxRequest r;
        r.parent = this;
        r.icon = QMessageBox::Question;
        r.text =
            LangText("Local data will be replaced, do you want to continue? ", "本地数据将被替代,是否继续? ");
        r.buttons = QMessageBox::Yes | QMessageBox::No;
        r.defaultButton = QMessageBox::No;
        if (ShowMessageBox(r) != QMessageBox::Yes) {
            RecInfo.PollHold = 0;
            btnBegin->setChecked(false);
            return;
        }
    }
    Download.Start(intgrtptRec->value());
    btnBegin->setChecked(true);
    TempFixCount = 0;
    reportedStoreError_.clear();
    lastStoreFailed_ = false;
    progress_.Start(RecInfo.NextRecNo, RecInfo.AllRec, now());
    showProgress();
}

void TfrmUpsRec::tmr1Timer()
{
    // A message box opened from inside a tick runs its own event loop, in which this timer
    // keeps firing: those ticks are skipped.
    if (inTick_) return;
    TickGuard guard(inTick_);

    btnBegin->setChecked(RecInfo.PollHold != 0);
    if (RecInfo.PollHold != 0 && !downloadStep(false)) return;

    if (InfoCountdown <= 0) {
        if (windowActive() && RecInfo.PollHold == 0) {
            RequestRecordInfo();
            InfoCountdown = 300;
        }
    } else {
        InfoCountdown -= 1;
    }

    if (RecInfo.RecCntRecvd != 0) {
        RecInfo.RecCntRecvd = 0;
        InfoCountdown = 100;
        ShowRecordInfo();
    }
}

bool TfrmUpsRec::downloadStep(bool replyOnly)
{
    bool refused = false;
    const auto request = [this] { RequestRecord(); };
    const auto store = [this, &refused](TRecordData& rec) {
        StoreRecord(rec);
        if (lastStoreFailed_) {
            refused = true;
            return false;
        }
        RefreshList();
        progress_.Stored(now());
        return true;
    };
    if (replyOnly)
        Download.ReplyNow(request, store);
    else
        Download.Tick(request, store);
    if (refused) return false;
    progress_.SetLast(RecInfo.AllRec);
    showProgress();
    return true;
}

void TfrmUpsRec::replyArrived()
{
    // Line-speed link: the record is stored and the next one asked for at once.
    if (inTick_ || RecInfo.PollHold == 0 || RecInfo.RecReplyRecvd == 0) return;
    TickGuard guard(inTick_);
    downloadStep(true);
    btnBegin->setChecked(RecInfo.PollHold != 0);
}

void TfrmUpsRec::showProgress()
{
    if (!progress_.Started()) return;
    pbDownload->setValue(progress_.Percent());
    lblProgress->setText(progress_.Text());
}

void TfrmUpsRec::btnClrRecClick()
{
    TMessageBoxRequest ask;
    ask.parent = this;
    ask.icon = QMessageBox::Question;
    ask.text = LangText("Do you want Clear Records of UPS ? ", "是否删除UPS历史记录? ");
    ask.buttons = QMessageBox::Yes | QMessageBox::No;
    ask.defaultButton = QMessageBox::No;
    if (ShowMessageBox(ask) != QMessageBox::Yes) return;

    const int verdict = RunPasswordPrompt(this, [](TfrmPassword& p) { p.SetPSW = QStringLiteral("tulip"); });
    if (verdict != QDialog::Accepted) {
        TMessageBoxRequest r;
        r.parent = this;
        r.icon = QMessageBox::Question;
        r.text = LangText("Password is incorrect ! ", "密码不正确! ");
        r.buttons = QMessageBox::Ok;
        ShowMessageBox(r);
        return;
    }
    if (!ReqSlotFree(1) || !ReqSlotFree(2)) return;
    // The write-enable command first, then 0 into the low half of the record count.
    QueueRequest(1, 6, 50000, 0, 10);
    QueueRequest(2, 6, 40054, 0, 0);
}

// ---- Record database and list ----

void TfrmUpsRec::StoreRecord(TRecordData& rec)
{
    const int32_t recNo = rec.RecNo;
    const TStoreOutcome out = db_.StoreRecord(rec);
    lastStoreFailed_ = !out.stored;
    if (!out.stored) {
        // Once per cause, not once per retry of the same record.
        const QString cause = out.error;
        if (cause != reportedStoreError_) {
            reportedStoreError_ = cause;
            TMessageBoxRequest r;
            r.parent = this;
            r.icon = QMessageBox::Critical;
            r.title = windowTitle();
            r.text = LangText("Record %1 was not stored in %2:\n%3", "记录 %1 未能存入 %2:\n%3")
                         .arg(recNo)
                         .arg(QDir::toNativeSeparators(db_.FilePath()), cause);
            ShowMessageBox(r);
        }
        return;
    }
    reportedStoreError_.clear();
    noteStored(recNo, out);
}

void TfrmUpsRec::noteStored(int32_t recNo, const TStoreOutcome& out)
{
    if (!out.tempCorrected) return;
    TempFixCount += 1;
    mmo2->appendPlainText(
        QStringLiteral("Rec: %1; DT=%2; Temp=%3").arg(recNo).arg(out.dateText).arg(out.rawTemperature));
}

void TfrmUpsRec::reportDbProblem(const QString& cause, bool foreignFile)
{
    if (cause.isEmpty() || cause == reportedOpenError_) return;
    reportedOpenError_ = cause;
    TMessageBoxRequest r;
    r.parent = this;
    r.title = windowTitle();
    if (!foreignFile) {
        r.icon = QMessageBox::Critical;
        r.text = cause;
        ShowMessageBox(r);
        return;
    }
    // The operator's file is kept: with consent it is moved aside and a new database made.
    r.icon = QMessageBox::Warning;
    r.text = cause + LangText("\nMove this file aside and create a new record database?",
                              "\n是否将此文件改名保留, 并新建记录数据库?");
    r.buttons = QMessageBox::Yes | QMessageBox::No;
    r.defaultButton = QMessageBox::No;
    if (ShowMessageBox(r) != QMessageBox::Yes) return;
    const QString aside =
        DbFile +
        QStringLiteral(".unreadable-%1").arg(QDateTime::currentDateTime().toString("yyyyMMdd-hhmmss"));
    if (!QFile::rename(DbFile, aside)) {
        TMessageBoxRequest e;
        e.parent = this;
        e.icon = QMessageBox::Critical;
        e.title = windowTitle();
        e.text = LangText("Could not rename %1", "无法改名 %1").arg(QDir::toNativeSeparators(DbFile));
        ShowMessageBox(e);
        return;
    }
    reportedOpenError_.clear();
    db_.OpenRecordDb();
}

int TfrmUpsRec::CurrentRowNo() const
{
    const QModelIndex at = DBGrd1->currentIndex();
    return at.isValid() ? at.row() + 1 : 0;
}

void TfrmUpsRec::RefreshList()
{
    int position = 0;
    if (list_->IsOpen()) position = CurrentRowNo();
    if (chkRecNo->isChecked()) position = intgrtptRec->value();
    if (position < 0) position = 0;

    // The list is read again in the order chosen (the grid keeps its columns when only the
    // rows changed).
    if (!db_.IsOpen() && !db_.OpenRecordDb()) reportDbProblem(db_.OpenError(), db_.ForeignFile());
    QString error;
    if (!db_.IsOpen())
        list_->CloseList();
    else if (!list_->OpenList(rgIDOrderby->ItemIndex() == 1, &error))
        reportDbProblem(error, false);

    if (list_->IsOpen()) {
        SetupGridColumns();
        const int rows = list_->rowCount();
        int row = 0;
        if (rows > 1 && position > 0) row = (position < rows ? position : rows) - 1;
        if (rows > 0) {
            // A shown column: the view does not scroll to a cell of a hidden one.
            const QModelIndex at = list_->index(row, std::max(0, list_->FieldIndex(QStringLiteral("RecNo"))));
            DBGrd1->setCurrentIndex(at);
            DBGrd1->selectionModel()->select(at,
                                             QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
            DBGrd1->scrollTo(at);
        }
    }
    lblCntErr->setText(QString::number(TempFixCount));
    lblCntErr->setVisible(TempFixCount >= 1);
}

void TfrmUpsRec::SetupGridColumns()
{
    const QStringList fields = list_->FieldNames();
    QStringList titles;
    QHeaderView* header = DBGrd1->horizontalHeader();
    header->setMinimumSectionSize(0);
    for (int c = 0; c < fields.size(); ++c) {
        const GridColumn* shown = nullptr;
        for (const GridColumn& g : GridColumns)
            if (fields.at(c) == QLatin1String(g.field)) shown = &g;
        if (shown) {
            titles << LangText(shown->en, shown->zh);
            DBGrd1->setColumnHidden(c, false);
            DBGrd1->setColumnWidth(c, IsChinese() ? shown->widthZh : shown->widthEn);
        } else {
            titles << QString();
            DBGrd1->setColumnWidth(c, 0);
            DBGrd1->setColumnHidden(c, true);
        }
    }
    list_->SetTitles(titles);
}

void TfrmUpsRec::rgIDOrderbyClick() { RefreshList(); }

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
