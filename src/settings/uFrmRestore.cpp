#include "settings/uFrmRestore.h"

#include "comm/uBackupReader.h"
#include "comm/uLinkState.h"
#include "model/UShareData.h"
#include "model/uDataFunc.h"
#include "model/uWriteVerdict.h"
#include "ui/uCaptions.h"
#include "ui/uNamed.h"
#include "ui/uGuard.h"
#include "ui/uReqSlots.h"
#include "ui/uWindowCaptions.h"

#include <QCloseEvent>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {
constexpr int WriteEnableReg = 50000;
constexpr uint16_t WriteEnableCode = 10;
constexpr int StepMs = 100;
// A backup file is a few kilobytes; anything far larger is not one.
constexpr qint64 MaxBackupBytes = 4 * 1024 * 1024;
} // namespace

TfrmRestore::TfrmRestore(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmRestore"));
    lblFile = MakeNamed<QLabel>(this, "lblFile");
    lblWarning = MakeNamed<QLabel>(this, "lblWarning");
    lblWarning->setStyleSheet(QStringLiteral("color: #b00000; font-weight: bold"));
    lblWarning->setWordWrap(true);
    lblWarning->hide();
    lblStatus = MakeNamed<QLabel>(this, "lblStatus");
    sgrdRestore = MakeNamed<QTableWidget>(this, "sgrdRestore");
    sgrdRestore->setColumnCount(ColumnCount);
    sgrdRestore->setEditTriggers(QAbstractItemView::NoEditTriggers);
    sgrdRestore->verticalHeader()->hide();
    sgrdRestore->horizontalHeader()->setStretchLastSection(true);
    pbRestore = MakeNamed<QProgressBar>(this, "pbRestore");
    pbRestore->setValue(0);
    btnRestore = MakeNamed<QPushButton>(this, "btnRestore");
    btnRestore->setEnabled(false);
    btnCancel = MakeNamed<QPushButton>(this, "btnCancel");
    btnCancel->setEnabled(false);
    btnClose = MakeNamed<QPushButton>(this, "btnClose");

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(pbRestore, 1);
    buttons->addWidget(btnRestore);
    buttons->addWidget(btnCancel);
    buttons->addWidget(btnClose);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblFile);
    layout->addWidget(lblWarning);
    layout->addWidget(sgrdRestore, 1);
    layout->addWidget(lblStatus);
    layout->addLayout(buttons);

    connect(btnRestore, &QPushButton::clicked, this, [this] { btnRestoreClick(); });
    connect(btnCancel, &QPushButton::clicked, this, [this] { btnCancelClick(); });
    connect(btnClose, &QPushButton::clicked, this, [this] { close(); });
    connect(sgrdRestore, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
        if (item->column() == ColRestore && item->row() < int(rows_.size()))
            rows_[size_t(item->row())].ticked = item->checkState() == Qt::Checked;
    });
    stepTimer_.setInterval(StepMs);
    connect(&stepTimer_, &QTimer::timeout, this, [this] { writeStep(); });
    resize(720, 460);
    ApplyCaptions();
}

TfrmRestore::~TfrmRestore() { RemoveLinkWatcher(this); }

void TfrmRestore::ApplyCaptions()
{
    ApplyCaptionTable({WindowCaptionRow(this),
                       {btnRestore, "Restore", "恢复"},
                       {btnCancel, "Cancel", "取消"},
                       {btnClose, "Close", "关闭"}});
    sgrdRestore->setHorizontalHeaderLabels({LangText("Name", "名称"), LangText("Register", "寄存器"),
                                            LangText("Cabinet value", "机柜值"), LangText("File value", "文件值"),
                                            LangText("Restore", "恢复"), LangText("Verdict", "结果")});
    if (!filePath_.isEmpty())
        lblFile->setText(LangText("File: %1 (cabinet %2, %3)", "文件: %1 (机柜 %2, %3)")
                             .arg(QFileInfo(filePath_).fileName())
                             .arg(file_.address)
                             .arg(file_.takenAt.toString(QStringLiteral("yyyy-MM-dd HH:mm"))));
}

bool TfrmRestore::LoadFile(const QString& path, QString* error)
{
    QFile f(path);
    if (!QFileInfo(path).isFile() || !f.open(QIODevice::ReadOnly)) {
        if (error) *error = QStringLiteral("Cannot open file \"%1\". %2").arg(path, f.errorString());
        return false;
    }
    const QByteArray bytes = f.read(MaxBackupBytes + 1);
    QString why;
    if (bytes.size() > MaxBackupBytes || !ParseBackupJson(bytes, file_, &why)) {
        if (error)
            *error = LangText("\"%1\" is not a settings backup: %2", "\"%1\" 不是设置备份文件: %2")
                         .arg(path, why.isEmpty() ? QStringLiteral("too large") : why);
        return false;
    }
    filePath_ = path;
    ApplyCaptions();
    return true;
}

bool TfrmRestore::Reading() const { return reader_ && reader_->Running(); }

void TfrmRestore::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    ApplyCaptions();
    if (!started_) {
        started_ = true;
        ReadCabinet();
    }
}

void TfrmRestore::ReadCabinet()
{
    rows_.clear();
    showRows();
    btnRestore->setEnabled(false);
    lblStatus->setText(LangText("Reading the cabinet...", "正在读取机柜..."));
    reader_ = std::make_unique<TBackupReader>(LinkMain().GetDevAddr(), objectName());
    connect(reader_.get(), &TBackupReader::Progress, this, [this](int done, int total) {
        pbRestore->setMaximum(total);
        pbRestore->setValue(done);
    });
    connect(reader_.get(), &TBackupReader::Finished, this, [this](bool ok) { readingDone(ok); });
    reader_->Start();
}

void TfrmRestore::readingDone(bool ok)
{
    if (!ok) {
        lblStatus->setText(LangText("The cabinet was not read: %1", "读取机柜失败: %1").arg(reader_->Failure()));
        return;
    }
    buildRows(reader_->Result());
    showRows();
    int ticked = 0;
    for (const TRow& r : rows_) ticked += r.ticked ? 1 : 0;
    lblStatus->setText(LangText("%1 registers differ from the file", "%1 个寄存器与文件不同").arg(rows_.size()));
    btnRestore->setEnabled(ticked > 0 || !rows_.empty());
    pbRestore->setValue(0);
}

void TfrmRestore::buildRows(const TSettingsBackup& cabinet)
{
    rows_.clear();
    if (file_.type != cabinet.type || file_.rating != cabinet.rating) {
        lblWarning->setText(LangText("This file comes from another cabinet type or rating: file %1 %2 kVA, "
                                     "cabinet %3 %4 kVA.",
                                     "该文件来自其他型号或额定功率的机柜: 文件 %1 %2 kVA, 机柜 %3 %4 kVA。")
                                .arg(file_.type)
                                .arg(file_.rating)
                                .arg(cabinet.type)
                                .arg(cabinet.rating));
        lblWarning->show();
    } else {
        lblWarning->hide();
    }
    // The identification is shown when it differs; it cannot be written.
    auto idRow = [&](const QString& reg, const QString& name, const QString& there, const QString& inFile) {
        if (there == inFile) return;
        TRow r;
        r.reg = reg;
        r.name = name;
        r.cabinet = there;
        r.file = inFile;
        r.writable = false;
        rows_.push_back(r);
    };
    idRow(QStringLiteral("43/1"), LangText("Type and rating", "型号和额定功率"),
          QStringLiteral("%1 %2 kVA").arg(cabinet.type).arg(cabinet.rating),
          QStringLiteral("%1 %2 kVA").arg(file_.type).arg(file_.rating));
    idRow(QStringLiteral("43/2"), LangText("Version", "版本"), cabinet.version, file_.version);
    for (const auto& [reg, value] : file_.registers) {
        const auto there = cabinet.registers.find(reg);
        if (there == cabinet.registers.end() || there->second == value) continue;
        TRow r;
        r.reg = QString::number(reg);
        r.number = reg;
        r.name = BackupRegisterCaption(reg);
        r.cabinet = QString::number(there->second);
        r.file = QString::number(value);
        // Elapsed counters are the cabinet's own history, and a register no window names has
        // no known meaning: both are offered but not ticked.
        r.ticked = !IsElapsedCounter(reg) && !BackupRegisterName(reg).en.isEmpty();
        rows_.push_back(r);
    }
}

void TfrmRestore::showRows()
{
    const QSignalBlocker block(sgrdRestore);
    sgrdRestore->setRowCount(int(rows_.size()));
    for (int i = 0; i < int(rows_.size()); ++i) {
        const TRow& r = rows_[size_t(i)];
        const QString cells[ColumnCount] = {r.name, r.reg, r.cabinet, r.file, QString(), QString()};
        for (int c = 0; c < ColumnCount; ++c) {
            auto* item = new QTableWidgetItem(cells[c]);
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            if (c == ColRestore && r.writable) {
                item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
                item->setCheckState(r.ticked ? Qt::Checked : Qt::Unchecked);
            }
            sgrdRestore->setItem(i, c, item);
        }
    }
    sgrdRestore->resizeColumnsToContents();
}

int TfrmRestore::RowOfRegister(const QString& reg) const
{
    for (int i = 0; i < int(rows_.size()); ++i)
        if (rows_[size_t(i)].reg == reg) return i;
    return -1;
}

void TfrmRestore::setVerdict(int row, const QString& text)
{
    if (auto* item = sgrdRestore->item(row, ColVerdict)) item->setText(text);
}

void TfrmRestore::btnRestoreClick()
{
    if (writing_ || Reading()) return;
    queue_.clear();
    for (int i = 0; i < int(rows_.size()); ++i) {
        const TRow& r = rows_[size_t(i)];
        if (r.writable && r.ticked) queue_.push_back(i);
        setVerdict(i, QString());
    }
    if (queue_.empty()) return;
    // Queued writes need the open port; the kit says so when it is closed.
    if (!CheckPortOpen(this)) return;
    writing_ = true;
    cancelled_ = false;
    done_ = 0;
    pbRestore->setMaximum(int(queue_.size()));
    pbRestore->setValue(0);
    btnRestore->setEnabled(false);
    btnCancel->setEnabled(true);
    btnClose->setEnabled(false);
    sgrdRestore->setEnabled(false);
    AddLinkWatcher(this);
    nextRegister();
    stepTimer_.start();
}

void TfrmRestore::btnCancelClick()
{
    // The register in flight ends as it will; no further one is written.
    if (writing_) cancelled_ = true;
}

void TfrmRestore::nextRegister()
{
    if (cancelled_ || queue_.empty()) {
        for (int row : queue_) setVerdict(row, WriteVerdictText(TWriteVerdict::NotSent));
        queue_.clear();
        finishWriting(cancelled_ ? LangText("Restore cancelled", "恢复已取消")
                                 : LangText("Restore finished", "恢复完成"));
        return;
    }
    current_ = queue_.front();
    queue_.erase(queue_.begin());
    step_ = TStep::WaitSlots;
    writeTaken_ = writeDropped_ = readTaken_ = false;
    lblStatus->setText(LangText("Writing %1 (%2)...", "正在写 %1 (%2)...")
                           .arg(rows_[size_t(current_)].name, rows_[size_t(current_)].reg));
    writeStep();
}

void TfrmRestore::writeStep()
{
    if (!writing_ || step_ != TStep::WaitSlots) return;
    if (!LinkPortOpen()) {
        // The kit would refuse the write; the rest is not sent and the table says so.
        abandon(QStringLiteral("COM Port is off !"));
        return;
    }
    // The windows' own reads may hold a slot for a moment: the write waits for all three to
    // be free, so the kit takes it whole. Nothing has been sent yet, so this is no retry.
    for (int slot = 1; slot <= 3; ++slot)
        if (!ReqSlotFree(slot)) return;
    const TRow& r = rows_[size_t(current_)];
    const uint16_t value = static_cast<uint16_t>(r.file.toUInt());
    const TWriteOutcome outcome =
        QueueWrite(this, {{1, 6, WriteEnableReg, 1, WriteEnableCode}, {2, 6, r.number, 1, value}, {3, 3, r.number, 1, 0}});
    if (outcome != TWriteOutcome::Queued) {
        abandon(LinkBusyText());
        return;
    }
    step_ = TStep::InFlight;
}

void TfrmRestore::abandon(const QString& status)
{
    // The register in hand and those after it are not sent, and the table says so.
    setVerdict(current_, WriteVerdictText(TWriteVerdict::NotSent));
    for (int row : queue_) setVerdict(row, WriteVerdictText(TWriteVerdict::NotSent));
    queue_.clear();
    finishWriting(status);
}

void TfrmRestore::RequestBuilt(const TLinkRequest& q)
{
    if (!writing_ || step_ != TStep::InFlight) return;
    const TRow& r = rows_[size_t(current_)];
    if (q.slot == 2 && q.func == 6 && q.startReg == r.number) writeTaken_ = true;
    if (q.slot == 3 && q.func == 3 && q.startReg == r.number && q.count == 1) readTaken_ = true;
}

void TfrmRestore::ReplyAccepted(const TLinkRequest& q, const uint16_t* regs, int count)
{
    if (!writing_ || step_ != TStep::InFlight || !readTaken_) return;
    const TRow& r = rows_[size_t(current_)];
    if (q.slot != 3 || q.func != 3 || q.startReg != r.number || count != 1) return;
    const bool equal = regs[0] == static_cast<uint16_t>(r.file.toUInt());
    setVerdict(current_, WriteVerdictText(writeDropped_  ? TWriteVerdict::NoAnswer
                                          : equal        ? TWriteVerdict::ReadBackEqual
                                                         : TWriteVerdict::ReadBackDifferent));
    if (auto* item = sgrdRestore->item(current_, ColCabinet)) item->setText(QString::number(regs[0]));
    pbRestore->setValue(++done_);
    step_ = TStep::Idle;
    QMetaObject::invokeMethod(this, [this] { nextRegister(); }, Qt::QueuedConnection);
}

void TfrmRestore::RequestDropped(const TLinkRequest& q)
{
    if (!writing_ || step_ != TStep::InFlight) return;
    const TRow& r = rows_[size_t(current_)];
    if (q.slot == 2 && writeTaken_ && q.startReg == r.number) {
        writeDropped_ = true; // the read-back still tells what the cabinet holds
        return;
    }
    if (q.slot == 3 && readTaken_ && q.startReg == r.number) {
        setVerdict(current_, WriteVerdictText(TWriteVerdict::NoAnswer));
        pbRestore->setValue(++done_);
        step_ = TStep::Idle;
        QMetaObject::invokeMethod(this, [this] { nextRegister(); }, Qt::QueuedConnection);
    }
}

void TfrmRestore::finishWriting(const QString& status)
{
    writing_ = false;
    step_ = TStep::Idle;
    current_ = -1;
    stepTimer_.stop();
    RemoveLinkWatcher(this);
    lblStatus->setText(status);
    sgrdRestore->resizeColumnsToContents();
    btnCancel->setEnabled(false);
    btnClose->setEnabled(true);
    btnRestore->setEnabled(true);
    sgrdRestore->setEnabled(true);
}

void TfrmRestore::closeEvent(QCloseEvent* event)
{
    // A restore in progress is cancelled first, never left half-watched.
    if (writing_) {
        cancelled_ = true;
        event->ignore();
        return;
    }
    if (reader_) reader_->Cancel();
    QDialog::closeEvent(event);
}

void TfrmRestore::reject()
{
    if (writing_) {
        cancelled_ = true;
        return;
    }
    if (reader_) reader_->Cancel();
    QDialog::reject();
}
