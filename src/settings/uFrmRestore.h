// Restoring a settings backup: the window reads the same blocks from the cabinet, lists every
// register whose value differs from the file's, and writes the ticked ones one at a time,
// each with the write-enable command before it and a read-back after it (the restore writer);
// each register's verdict is shown, and nothing is retried in silence. A file from another
// cabinet (type, rating or address) starts with nothing ticked and Restore is not the default
// button.
#pragma once

#include "comm/uRestoreWriter.h"
#include "model/uSettingsBackup.h"

#include <QDialog>

#include <memory>
#include <vector>

class QLabel;
class QProgressBar;
class QPushButton;
class QTableWidget;
class TBackupReader;

class TfrmRestore : public QDialog {
    Q_OBJECT
public:
    explicit TfrmRestore(QWidget* parent = nullptr);
    ~TfrmRestore() override;

    // Reads the backup file; false with the reason for a file that is no backup.
    bool LoadFile(const QString& path, QString* error);
    const TSettingsBackup& FileBackup() const { return file_; }
    // Reads the blocks from the selected cabinet (done by FormShow).
    void ReadCabinet();
    bool Reading() const;
    bool Writing() const { return writer_ && writer_->Running(); }
    // The file comes from another cabinet than the one read (type, rating or address).
    bool OtherCabinet() const { return otherCabinet_; }

    void ApplyCaptions();
    void btnRestoreClick();
    void btnCancelClick();

    // Columns of the table.
    enum Column { ColName, ColRegister, ColCabinet, ColFile, ColRestore, ColVerdict, ColumnCount };
    // The row of a register (identification rows are "43/1" and "43/2"), -1 when not listed.
    int RowOfRegister(const QString& reg) const;

    QLabel* lblFile = nullptr;
    QLabel* lblWarning = nullptr;
    QLabel* lblStatus = nullptr;
    QTableWidget* sgrdRestore = nullptr;
    QProgressBar* pbRestore = nullptr;
    QPushButton* btnRestore = nullptr;
    QPushButton* btnCancel = nullptr;
    QPushButton* btnClose = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    struct TRow {
        QString reg; // register number, or "43/1", "43/2"
        int number = 0; // 0 for identification rows
        QString name;
        QString cabinet;
        QString file;
        bool writable = true;
        bool ticked = false;
        // Still to write: the cabinet's value (as last read) differs from the file's.
        bool differs() const { return writable && cabinet != file; }
    };

    void readingDone(bool ok);
    void buildRows(const TSettingsBackup& cabinet);
    void showRows();
    void setVerdict(int row, const QString& text);
    void showVerdict(int index, int verdict, int readBack);
    void finishWriting(TRestoreWriter::TEnd end);
    void enableRestore();

    TSettingsBackup file_;
    QString filePath_;
    std::unique_ptr<TBackupReader> reader_;
    std::vector<TRow> rows_;
    bool started_ = false;

    bool otherCabinet_ = false;

    // The write in progress: the rows it writes, in the writer's order.
    std::unique_ptr<TRestoreWriter> writer_;
    std::vector<int> writeRows_;
    int done_ = 0;
};
