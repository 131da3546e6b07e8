// The main window's settings backup, restore and service journal: "Save settings…" and
// "Restore settings…" in the "Setting" menu, "Journal" in the "Tools" menu.
#include "app/UFrmMain.h"
#include "app/UFrmSaveProgress.h"

#include "comm/uBackupReader.h"
#include "comm/uCabinet.h"
#include "model/UShareData.h"
#include "model/uDataFunc.h"
#include "model/uSettingsBackup.h"
#include "model/uSiteFileName.h"
#include "records/uFrmJournal.h"
#include "settings/uFrmRestore.h"
#include "store/uRecordDb.h"
#include "ui/uGuard.h"
#include "ui/uUiSeam.h"

#include <QDate>
#include <QDir>

#include <memory>

namespace {
void tell(QWidget* parent, QMessageBox::Icon icon, const QString& text)
{
    TMessageBoxRequest r;
    r.parent = parent;
    r.icon = icon;
    r.title = parent->windowTitle();
    r.text = text;
    ShowMessageBox(r);
}
} // namespace

// Save settings: the blocks of the selected cabinet, read through the slots while the tool
// goes on as before; the file is written only when every block answered.
void TFrmMain::mni2007Click()
{
    if (BackupReader) return; // one reading at a time; it ends answered or dropped
    if (!CheckPortOpen(this)) return;
    TFileDialogRequest r;
    r.parent = this;
    r.save = true;
    r.title = LangText("Save settings", "保存设置");
    r.folder = RecordDataFolder();
    r.filter = QStringLiteral("*.json");
    r.fileName = SiteFileName(QStringLiteral("Settings"), QStringLiteral("json"),
                              {DevAddr, CabinetIdentificationText(Cabinet()), QDate::currentDate()});
    const QString path = GetSaveFileName(r);
    if (path.isEmpty()) return;
    auto* reader = new TBackupReader(DevAddr, objectName(), this);
    BackupReader = reader;
    // The reading takes some seconds: its progress shows, and Cancel ends it with no file.
    auto* progress = new TfrmSaveProgress(DevAddr, TBackupReader::BlockCount(), this);
    const auto cancelled = std::make_shared<bool>(false);
    connect(progress, &TfrmSaveProgress::Cancelled, reader, [reader, cancelled] {
        *cancelled = true;
        reader->Cancel();
    });
    connect(reader, &TBackupReader::Progress, progress, &TfrmSaveProgress::SetProgress);
    connect(reader, &TBackupReader::Finished, this, [this, reader, progress, cancelled, path](bool ok) {
        reader->deleteLater();
        progress->hide();
        progress->deleteLater();
        if (*cancelled) return; // the operator's Cancel: nothing written, nothing to tell
        if (!ok) {
            tell(this, QMessageBox::Warning,
                 LangText("No file written: %1", "未写入文件: %1").arg(reader->Failure()));
            return;
        }
        QString error;
        if (!WriteFileWhole(path, BackupJson(reader->Result()), &error)) {
            tell(this, QMessageBox::Critical, error);
            return;
        }
        tell(this, QMessageBox::Information,
             LangText("The settings of cabinet %1 are saved in %2", "机柜 %1 的设置已保存到 %2")
                 .arg(reader->Result().address)
                 .arg(QDir::toNativeSeparators(path)));
    });
    reader->Start();
    progress->show();
}

// Restore settings: behind the parameter guard, a backup file, then the window that compares
// and writes.
void TFrmMain::mni2008Click()
{
    if (!GuardAction(this, TGuardKind::PortAndGrace)) return;
    TFileDialogRequest r;
    r.parent = this;
    r.title = LangText("Restore settings", "恢复设置");
    r.folder = RecordDataFolder();
    r.filter = QStringLiteral("*.json");
    const QString path = GetOpenFileName(r);
    if (path.isEmpty()) return;
    auto* restore = new TfrmRestore(this);
    QString error;
    if (!restore->LoadFile(path, &error)) {
        delete restore;
        tell(this, QMessageBox::Critical, error);
        return;
    }
    ExecModal(restore);
    delete restore;
}

// Journal: made on first use, then shown and brought to the front.
void TFrmMain::mni3006Click()
{
    if (!frmJournal) frmJournal = new TfrmJournal(this);
    bringToFront(frmJournal);
}
