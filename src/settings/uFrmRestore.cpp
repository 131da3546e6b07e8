#include "settings/uFrmRestore.h"

#include "comm/uBackupReader.h"
#include "model/UShareData.h"
#include "model/uBackupCompare.h"
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
        if (item->column() != ColRestore || item->row() >= int(rows_.size())) return;
        rows_[size_t(item->row())].ticked = item->checkState() == Qt::Checked;
        enableRestore();
    });
    resize(720, 460);
    ApplyCaptions();
}

TfrmRestore::~TfrmRestore() = default;

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
    reader_ = std::make_unique<TBackupReader>(SelectedDevAddr(), objectName());
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
    int registers = 0;
    for (const TRow& r : rows_) registers += r.writable ? 1 : 0;
    lblStatus->setText(LangText("%1 registers differ from the file", "%1 个寄存器与文件不同").arg(registers));
    enableRestore();
    pbRestore->setValue(0);
}

void TfrmRestore::enableRestore()
{
    bool any = false;
    for (const TRow& r : rows_) any = any || (r.ticked && r.differs());
    btnRestore->setEnabled(any && !Writing() && !Reading());
}

void TfrmRestore::buildRows(const TSettingsBackup& cabinet)
{
    rows_.clear();
    // Another cabinet's file is shown, but nothing of it is written unless the operator ticks
    // it row by row; one Enter must not write it.
    const QStringList other = OtherCabinetReasons(file_, cabinet);
    otherCabinet_ = !other.isEmpty();
    if (otherCabinet_) {
        lblWarning->setText(LangText("This file comes from another cabinet: %1. Nothing is ticked.",
                                     "该文件来自其他机柜: %1。未勾选任何寄存器。")
                                .arg(other.join(QStringLiteral("; "))));
        lblWarning->show();
    } else {
        lblWarning->hide();
    }
    btnRestore->setAutoDefault(!otherCabinet_);
    btnRestore->setDefault(false);
    btnClose->setDefault(otherCabinet_);
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
    for (const TBackupDifference& d : BackupDifferences(file_, cabinet)) {
        TRow r;
        r.reg = QString::number(d.reg);
        r.number = d.reg;
        r.name = BackupRegisterCaption(d.reg);
        r.cabinet = QString::number(d.cabinet);
        r.file = QString::number(d.file);
        // Elapsed counters are the cabinet's own history, and a register no window names has
        // no known meaning: both are offered but not ticked.
        r.ticked = d.byDefault && !otherCabinet_;
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
    if (Writing() || Reading()) return;
    // Only what still differs: a row read back equal on an earlier press is not written again.
    writeRows_.clear();
    std::vector<TRestoreWriter::TItem> items;
    for (int i = 0; i < int(rows_.size()); ++i) {
        const TRow& r = rows_[size_t(i)];
        if (!r.ticked || !r.differs()) continue;
        writeRows_.push_back(i);
        items.push_back({r.number, static_cast<uint16_t>(r.file.toUInt())});
        setVerdict(i, QString());
    }
    if (items.empty()) return;
    // Queued writes need the open port; the kit says so when it is closed.
    if (!CheckPortOpen(this)) return;
    writer_ = std::make_unique<TRestoreWriter>(reader_ ? reader_->Result().address : SelectedDevAddr(),
                                               objectName());
    connect(writer_.get(), &TRestoreWriter::Writing, this, [this](int index) {
        const TRow& r = rows_[size_t(writeRows_[size_t(index)])];
        lblStatus->setText(LangText("Writing %1 (%2)...", "正在写 %1 (%2)...").arg(r.name, r.reg));
    });
    connect(writer_.get(), &TRestoreWriter::Verdict, this,
            [this](int index, int verdict, int readBack) { showVerdict(index, verdict, readBack); });
    connect(writer_.get(), &TRestoreWriter::Finished, this,
            [this](TRestoreWriter::TEnd end) { finishWriting(end); });
    done_ = 0;
    pbRestore->setMaximum(int(items.size()));
    pbRestore->setValue(0);
    if (!writer_->Start(std::move(items))) {
        writer_.reset();
        return;
    }
    btnRestore->setEnabled(false);
    btnCancel->setEnabled(true);
    btnClose->setEnabled(false);
    sgrdRestore->setEnabled(false);
}

void TfrmRestore::btnCancelClick()
{
    // The register in flight ends as it will; no further one is written.
    if (Writing()) writer_->Cancel();
}

void TfrmRestore::showVerdict(int index, int verdict, int readBack)
{
    const int row = writeRows_[size_t(index)];
    TRow& r = rows_[size_t(row)];
    setVerdict(row, WriteVerdictText(verdict));
    if (readBack >= 0) {
        r.cabinet = QString::number(readBack);
        if (auto* item = sgrdRestore->item(row, ColCabinet)) item->setText(r.cabinet);
    }
    if (verdict == int(TWriteVerdict::ReadBackEqual)) {
        // Nothing left to write in this row.
        r.ticked = false;
        if (auto* item = sgrdRestore->item(row, ColRestore)) {
            const QSignalBlocker block(sgrdRestore);
            item->setData(Qt::CheckStateRole, QVariant());
            item->setFlags(item->flags() & ~Qt::ItemIsUserCheckable);
        }
    }
    if (verdict != int(TWriteVerdict::NotSent)) pbRestore->setValue(++done_);
}

void TfrmRestore::finishWriting(TRestoreWriter::TEnd end)
{
    QString status;
    switch (end) {
    case TRestoreWriter::TEnd::Done: status = LangText("Restore finished", "恢复完成"); break;
    case TRestoreWriter::TEnd::Cancelled: status = LangText("Restore cancelled", "恢复已取消"); break;
    case TRestoreWriter::TEnd::PortLost:
        status = LangText("Restore stopped: the port is closed or lost", "恢复已停止: 端口已关闭或断开");
        break;
    case TRestoreWriter::TEnd::NoAnswer:
        status = LangText("Restore stopped: the cabinet did not answer", "恢复已停止: 机柜无应答");
        break;
    }
    lblStatus->setText(status);
    sgrdRestore->resizeColumnsToContents();
    btnCancel->setEnabled(false);
    btnClose->setEnabled(true);
    sgrdRestore->setEnabled(true);
    enableRestore();
}

void TfrmRestore::closeEvent(QCloseEvent* event)
{
    // A restore in progress is cancelled first, never left half-watched.
    if (Writing()) {
        writer_->Cancel();
        event->ignore();
        return;
    }
    if (reader_) reader_->Cancel();
    QDialog::closeEvent(event);
}

void TfrmRestore::reject()
{
    if (Writing()) {
        writer_->Cancel();
        return;
    }
    if (reader_) reader_->Cancel();
    QDialog::reject();
}
