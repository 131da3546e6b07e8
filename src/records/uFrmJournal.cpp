#include "records/uFrmJournal.h"

#include "comm/uCabinet.h"
#include "ui/uReqSlots.h"
#include "model/UShareData.h"
#include "model/uDataFunc.h"
#include "model/uSettingsBackup.h"
#include "model/uSiteFileName.h"
#include "model/uUpsInfo.h"
#include "records/uJournalTexts.h"
#include "records/uServiceReport.h"
#include "store/uRecordDb.h"
#include "store/uServiceJournal.h"
#include "ui/uCaptions.h"
#include "ui/uNamed.h"
#include "ui/uUiSeam.h"
#include "ui/uWindowCaptions.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

struct THeading {
    const char* en;
    const char* zh;
};
const THeading Headings[] = {
    {"Time", "时间"},       {"Cabinet", "机柜"},     {"Identification", "设备信息"}, {"Window", "窗口"},
    {"Register", "寄存器"}, {"Name", "名称"},        {"Before", "原值"},             {"Sent", "写入值"},
    {"Read back", "回读值"}, {"Verdict", "结果"},
};
constexpr int ColumnCount = int(sizeof Headings / sizeof Headings[0]);

QString optional(const std::optional<int>& v) { return v ? QString::number(*v) : QString(); }

QString csvField(const QString& text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) && !text.contains(QLatin1Char('\n')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

// The save dialog of the window's exports, in the data folder.
QString askSavePath(QWidget* parent, const QString& title, const char* filter, const QString& name)
{
    TFileDialogRequest r;
    r.parent = parent;
    r.save = true;
    r.title = title;
    r.folder = RecordDataFolder();
    r.filter = QString::fromLatin1(filter);
    r.fileName = name;
    return GetSaveFileName(r);
}

// A save is confirmed with the file's full path, so the operator knows where it went.
void showSaved(QWidget* parent, const QString& text)
{
    TMessageBoxRequest r;
    r.parent = parent;
    r.icon = QMessageBox::Information;
    r.title = parent->windowTitle();
    r.text = text;
    ShowMessageBox(r);
}

void showError(QWidget* parent, const QString& text)
{
    TMessageBoxRequest r;
    r.parent = parent;
    r.icon = QMessageBox::Critical;
    r.title = parent->windowTitle();
    r.text = text;
    ShowMessageBox(r);
}

} // namespace

TfrmJournal::TfrmJournal(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("frmJournal"));
    lblCabinet = MakeNamed<QLabel>(this, "lblCabinet");
    cbbCabinet = MakeNamed<QComboBox>(this, "cbbCabinet");
    cbbCabinet->addItem(QString());
    for (int a = 1; a <= MaxDevAddr; ++a) cbbCabinet->addItem(QString::number(a));
    chkDay = MakeNamed<QCheckBox>(this, "chkDay");
    dtpDay = MakeNamed<QDateEdit>(this, "dtpDay");
    dtpDay->setCalendarPopup(true);
    dtpDay->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    dtpDay->setDate(QDate::currentDate());
    btnRefresh = MakeNamed<QPushButton>(this, "btnRefresh");
    sgrdJournal = MakeNamed<QTableWidget>(this, "sgrdJournal");
    sgrdJournal->setColumnCount(ColumnCount);
    sgrdJournal->setEditTriggers(QAbstractItemView::NoEditTriggers);
    sgrdJournal->setSelectionBehavior(QAbstractItemView::SelectRows);
    sgrdJournal->verticalHeader()->hide();
    sgrdJournal->horizontalHeader()->setStretchLastSection(true);
    btnExportCsv = MakeNamed<QPushButton>(this, "btnExportCsv");
    btnReport = MakeNamed<QPushButton>(this, "btnReport");

    auto* filter = new QHBoxLayout;
    filter->addWidget(lblCabinet);
    filter->addWidget(cbbCabinet);
    filter->addSpacing(12);
    filter->addWidget(chkDay);
    filter->addWidget(dtpDay);
    filter->addWidget(btnRefresh);
    filter->addStretch();
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnExportCsv);
    buttons->addWidget(btnReport);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(filter);
    layout->addWidget(sgrdJournal);
    layout->addLayout(buttons);

    connect(cbbCabinet, &QComboBox::currentIndexChanged, this, [this] { RefreshList(); });
    connect(chkDay, &QCheckBox::toggled, this, [this] { RefreshList(); });
    connect(dtpDay, &QDateEdit::dateChanged, this, [this] { RefreshList(); });
    connect(btnRefresh, &QPushButton::clicked, this, [this] { RefreshList(); });
    connect(btnExportCsv, &QPushButton::clicked, this, [this] { btnExportCsvClick(); });
    connect(btnReport, &QPushButton::clicked, this, [this] { btnReportClick(); });
    resize(900, 480);
    ApplyCaptions();
    RefreshList();
}

void TfrmJournal::ApplyCaptions()
{
    ApplyCaptionTable({WindowCaptionRow(this),
                       {lblCabinet, "Cabinet", "机柜"},
                       {chkDay, "Day", "日期"},
                       {btnRefresh, "Refresh", "刷新"},
                       {btnExportCsv, "Export CSV", "导出CSV"},
                       {btnReport, "Service report (PDF)", "服务报告(PDF)"}});
    cbbCabinet->setItemText(0, LangText("All", "全部"));
    QStringList heads;
    for (const THeading& h : Headings) heads << QString::fromUtf8(IsChinese() ? h.zh : h.en);
    sgrdJournal->setHorizontalHeaderLabels(heads);
}

int TfrmJournal::FilterAddress() const { return cbbCabinet->currentIndex() <= 0 ? 0 : cbbCabinet->currentIndex(); }

QDate TfrmJournal::FilterDay() const { return chkDay->isChecked() ? dtpDay->date() : QDate(); }

void TfrmJournal::RefreshList()
{
    const TServiceJournal* journal = ServiceJournal();
    const std::vector<TJournalEntry> entries =
        journal ? journal->Entries(FilterAddress(), FilterDay()) : std::vector<TJournalEntry>{};
    // A journal another program holds locked is listed as far as it can be read, and said so.
    if (journal && !journal->LastReadError().isEmpty())
        showError(this, LangText("The service journal cannot be read now (%1); the list may be incomplete.",
                                 "服务日志暂时无法读取 (%1)，列表可能不完整。")
                            .arg(journal->LastReadError()));
    sgrdJournal->setRowCount(int(entries.size()));
    for (int row = 0; row < int(entries.size()); ++row) {
        const TJournalEntry& e = entries[size_t(row)];
        const QString id = QStringLiteral("%1 %2 kVA %3").arg(e.cabinetType).arg(e.cabinetRating).arg(e.cabinetVersion);
        const QStringList cells = {e.writtenAt.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                                   QString::number(e.address),
                                   id.trimmed(),
                                   JournalSourceText(e.source),
                                   QString::number(e.reg),
                                   JournalRegisterText(e.reg),
                                   optional(e.valueBefore),
                                   QString::number(e.valueSent),
                                   optional(e.readBack),
                                   JournalVerdictText(e.verdict)};
        for (int c = 0; c < ColumnCount; ++c) {
            auto* item = sgrdJournal->item(row, c);
            if (!item) {
                item = new QTableWidgetItem;
                sgrdJournal->setItem(row, c, item);
            }
            item->setText(cells[c]);
        }
    }
    sgrdJournal->resizeColumnsToContents();
}

QByteArray TfrmJournal::CsvBytes() const
{
    QStringList lines;
    QStringList head;
    for (int c = 0; c < ColumnCount; ++c) head << csvField(sgrdJournal->horizontalHeaderItem(c)->text());
    lines << head.join(QLatin1Char(','));
    for (int r = 0; r < sgrdJournal->rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < ColumnCount; ++c) cells << csvField(sgrdJournal->item(r, c)->text());
        lines << cells.join(QLatin1Char(','));
    }
    // The mark lets a spreadsheet read the Chinese texts as UTF-8.
    return QByteArray("\xEF\xBB\xBF") + (lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toUtf8();
}

void TfrmJournal::btnExportCsvClick()
{
    const QString path =
        askSavePath(this, LangText("Export CSV", "导出CSV"), "*.csv", QStringLiteral("Journal.csv"));
    if (path.isEmpty()) return;
    QString error;
    if (!WriteFileWhole(path, CsvBytes(), &error)) {
        showError(this, error);
        return;
    }
    showSaved(this, LangText("The journal is saved in %1", "服务日志已保存到 %1").arg(QDir::toNativeSeparators(path)));
}

void TfrmJournal::btnReportClick()
{
    const int address = FilterAddress() > 0 ? FilterAddress() : SelectedDevAddr();
    const QDate day = dtpDay->date();
    const QString path = askSavePath(this, LangText("Service report (PDF)", "服务报告(PDF)"), "*.pdf",
                                     SiteFileName(QStringLiteral("ServiceReport"), QStringLiteral("pdf"),
                                                  {address, CabinetIdentificationText(Cabinet()), day}));
    if (path.isEmpty()) return;
    QString error;
    if (!WriteServiceReportPdf(path, CollectServiceReport(address, day, ServiceJournal()), &error)) {
        showError(this, error);
        return;
    }
    showSaved(this,
              LangText("The service report is saved in %1", "服务报告已保存到 %1").arg(QDir::toNativeSeparators(path)));
}

void TfrmJournal::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    ApplyCaptions();
    RefreshList();
}

void TfrmJournal::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) {
        ApplyCaptions();
        RefreshList();
    }
}
