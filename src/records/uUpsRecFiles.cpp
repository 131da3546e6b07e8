// The event-record window's second page: export, copies, loading and emptying the local
// records.
#include "records/uUpsRec.h"

#include "comm/uCabinet.h"
#include "records/uRecDetail.h"
#include "store/uRecordFiles.h"

#include "ui/uReqSlots.h"
#include "model/uDataFunc.h"
#include "model/uFilePlaces.h"
#include "model/uSiteFileName.h"
#include "ui/uGuard.h"
#include "ui/uUiSeam.h"

#include <QApplication>
#include <QCheckBox>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QSpinBox>
#include <QSqlRecord>
#include <QTableView>

#include <cmath>

namespace {

// Where a record-file dialog starts: the user's documents folder for an installed tool (its
// data folder is hidden), otherwise the folder the page defines (empty: the platform's start).
QString dialogFolder(const QString& defined)
{
    const QString folder = FilePlaces().RecordDialogFolder;
    return folder.isEmpty() ? defined : folder;
}

QMessageBox::StandardButton Ask(QWidget* parent, QMessageBox::Icon icon, const QString& title,
                                const QString& text, QMessageBox::StandardButtons buttons,
                                QMessageBox::StandardButton defaultButton)
{
    TMessageBoxRequest r;
    r.parent = parent;
    r.icon = icon;
    r.title = title;
    r.text = text;
    r.buttons = buttons;
    r.defaultButton = defaultButton;
    return ShowMessageBox(r);
}

// A "Warning" box: OK and Cancel, Cancel the default; true for OK.
bool WarningOkCancel(QWidget* parent, const QString& text)
{
    return Ask(parent, QMessageBox::Warning, QStringLiteral("Warning"), text,
               QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel) == QMessageBox::Ok;
}

// A warning dialog with an OK button.
void WarningDialog(QWidget* parent, const QString& text)
{
    Ask(parent, QMessageBox::Warning, QStringLiteral("Warning"), text, QMessageBox::Ok, QMessageBox::Ok);
}

// An error the operator must know about (a file that could not be used).
void ErrorBox(QWidget* parent, const QString& text)
{
    Ask(parent, QMessageBox::Critical, parent->windowTitle(), text, QMessageBox::Ok, QMessageBox::Ok);
}

QString Shown(const QString& path) { return QDir::toNativeSeparators(path); }

} // namespace

bool TfrmUpsRec::isCurrentDatabase(const QString& path) const { return SameFile(path, DbFile); }

// ---- Export ----

void TfrmUpsRec::btnSaveAsExcelClick()
{
    TFileDialogRequest dlgSave1;
    dlgSave1.parent = this;
    dlgSave1.folder = dialogFolder(DataFolder);
    dlgSave1.filter = QStringLiteral("*.csv");
    dlgSave1.fileName = RecordCsvName(CabinetIdentificationText(Cabinet()), SelectedDevAddr(), QDate::currentDate());
    const QString path = GetSaveFileName(dlgSave1);
    if (path.isEmpty()) return;
    if (QFileInfo::exists(path) &&
        Ask(this, QMessageBox::Question, QString(),
            QStringLiteral("是否覆盖:") + Shown(path) + QStringLiteral("? "),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) == QMessageBox::No)
        return;
    if (!ExportCsv(path)) return;
    Ask(this, QMessageBox::Information, windowTitle(),
        LangText("The records are saved in %1", "记录已保存到 %1").arg(Shown(path)), QMessageBox::Ok,
        QMessageBox::Ok);
}

QString RecordCsvName(const QString& identification, int address, const QDate& day)
{
    // Without a cabinet that told who it is, the defined name.
    if (identification.isEmpty()) return QStringLiteral("UpsRecord.csv");
    return SiteFileName(QStringLiteral("UpsRecord"), QStringLiteral("csv"), {address, identification, day});
}

bool TfrmUpsRec::ExportCsv(const QString& path)
{
    if (!db_.IsOpen()) return false;
    if (db_.RowCount() <= 0) {
        ShowPlainMessage(this, QStringLiteral("No record"));
        return false;
    }
    // A CSV file written over the database file would destroy every record.
    if (isCurrentDatabase(path)) {
        WarningDialog(this, LangText("record.mdb is Current Database, Can not overwrite !",
                                     "record.mdb是当前数据库文件, 不能被重写! "));
        return false;
    }
    QString error;
    int rows = 0;
    if (!ExportRecordsCsv(db_, path, chkIsAnalysis->isChecked(), &error, &rows)) {
        ShowPlainMessage(this, QStringLiteral("Failed to save file") + QStringLiteral("\n") + error);
        return false;
    }
    if (rows == 0) {
        ShowPlainMessage(this, QStringLiteral("No record"));
        return false;
    }
    return true;
}

// ---- Save a copy ----

void TfrmUpsRec::btnSaveAsClick()
{
    TFileDialogRequest dlgSave1;
    dlgSave1.parent = this;
    dlgSave1.folder = dialogFolder(DataFolder);
    dlgSave1.filter = QStringLiteral("*.mdb");
    dlgSave1.fileName = QStringLiteral("Rec01.mdb");
    const QString path = GetSaveFileName(dlgSave1);
    if (!path.isEmpty()) {
        // The same file by any name (a link, another letter case): the copy would replace the
        // database it is made from.
        if (isCurrentDatabase(path)) {
            WarningDialog(this, LangText("record.mdb is Current Database, Can not overwrite !",
                                         "record.mdb是当前数据库文件, 不能被重写! "));
            return;
        }
        if (QFileInfo::exists(path)) {
            const QString name = QFileInfo(path).fileName();
            if (!WarningOkCancel(this, IsChinese()
                                           ? name + QStringLiteral(" 已存在, 是否覆盖? ")
                                           : name + QStringLiteral(" already exists, \nDo you want to "
                                                                   "overwrite it ? ")))
                return;
        }
        QString error;
        if (!CopyRecordDatabase(db_, path, &error))
            ErrorBox(
                this,
                LangText("The copy %1 was not saved:\n%2", "副本 %1 未能保存:\n%2").arg(Shown(path), error));
    }
    if (!db_.IsOpen()) OpenRecordDb();
    RefreshList();
}

// ---- Load ----

void TfrmUpsRec::btnLoadFileClick()
{
    if (!WarningOkCancel(
            this, LangText("Load data form files, the original data will be lost ! \ndo you want to do ? ",
                           "数据载入, 原有数据将被更新. \n是否执行? ")))
        return;
    TFileDialogRequest dlgOpen1;
    dlgOpen1.parent = this;
    dlgOpen1.folder = dialogFolder(QString());
    dlgOpen1.filter = QStringLiteral("*.*");
    const QString path = GetOpenFileName(dlgOpen1);
    if (path.isEmpty()) return;
    const QString ext = QFileInfo(path).suffix().toLower();
    if (ext == QLatin1String("mdb"))
        LoadDatabaseFile(path);
    else if (ext == QLatin1String("csv"))
        LoadCsvFile(path);
}

void TfrmUpsRec::LoadDatabaseFile(const QString& path)
{
    if (isCurrentDatabase(path)) {
        WarningDialog(this, LangText("record.mdb is current database ! ", "record.mdb 是当前数据库文件! "));
        return;
    }
    // The copy is made and checked beside the current file; only a good copy replaces it.
    QString temp, error;
    bool replaced = PrepareDatabaseCopy(path, DbFile, &temp, &error);
    if (replaced) {
        CloseRecordDb();
        replaced = ReplaceDatabaseFile(temp, DbFile, &error);
        if (!replaced) QFile::remove(temp);
    }
    if (!replaced)
        ErrorBox(this, LangText("%1 was not loaded:\n%2\nThe local records are kept.",
                                "%1 未能载入:\n%2\n本地记录保持不变.")
                           .arg(Shown(path), error));
    if (!db_.IsOpen()) OpenRecordDb();
    RefreshList();
}

void TfrmUpsRec::LoadCsvFile(const QString& path)
{
    // The file is read and its header checked before any record is replaced.
    QStringList lines;
    QString error;
    if (!ReadTextLines(path, &lines, &error)) {
        ErrorBox(this, LangText("%1 cannot be loaded: %2\nThe local records are kept.",
                                "%1 无法载入: %2\n本地记录保持不变.")
                           .arg(Shown(path), error));
        return;
    }
    const TCsvHeader header = CheckCsvHeader(lines.first());
    if (header == TCsvHeader::TooShort) {
        ErrorBox(this,
                 LangText("%1 cannot be loaded: its first line has fewer than 20 items.\nThe local records "
                          "are kept.",
                          "%1 无法载入: 第一行少于20项.\n本地记录保持不变.")
                     .arg(Shown(path)));
        return;
    }
    if (header == TCsvHeader::Invalid &&
        !WarningOkCancel(this, LangText("The file format is not valid, whether also Loading ! ",
                                        "文件格式不正确, 是否还载入! ")))
        return;

    QApplication::setOverrideCursor(Qt::WaitCursor);
    list_->CloseList();
    const TCsvLoadOutcome out =
        LoadCsvLines(db_, lines, [this](int32_t recNo, const TStoreOutcome& s) { noteStored(recNo, s); });
    QApplication::restoreOverrideCursor();
    RefreshList();
    if (!out.error.isEmpty()) {
        ErrorBox(this, LangText("Loading %1 stopped at line %2: %3\n%4 records before it were loaded.",
                                "载入 %1 在第 %2 行停止: %3\n此前的 %4 条记录已载入.")
                           .arg(Shown(path))
                           .arg(out.badLine)
                           .arg(out.error)
                           .arg(out.stored));
    }
}

// ---- Empty ----

void TfrmUpsRec::btnClearClick()
{
    if (!WarningOkCancel(this, LangText("Are you sure to delect all record ? ", "是否删除全部记录? ")))
        return;
    CloseRecordDb();
    bool removed = true;
    for (const QString& file : {DbFile, DbFile + QStringLiteral("-wal"), DbFile + QStringLiteral("-shm")})
        if (QFileInfo::exists(file) && !QFile::remove(file)) removed = false;
    if (!removed) ErrorBox(this, LangText("%1 could not be deleted.", "%1 无法删除.").arg(Shown(DbFile)));
    OpenRecordDb();
    RefreshList();
    intgrtptRec->setValue(1);
}
