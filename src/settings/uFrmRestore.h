// Restoring a settings backup: the window reads the same blocks from the cabinet, lists every
// register whose value differs from the file's, and writes the ticked ones one at a time,
// each with the write-enable command before it and a read-back after it, through the write
// kit; each register's verdict is shown, and nothing is retried in silence.
#pragma once

#include "comm/uLinkWatch.h"
#include "model/uSettingsBackup.h"

#include <QDialog>
#include <QTimer>

#include <memory>
#include <vector>

class QLabel;
class QProgressBar;
class QPushButton;
class QTableWidget;
class TBackupReader;

class TfrmRestore : public QDialog, public TLinkWatcher {
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
    bool Writing() const { return writing_; }

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

    // TLinkWatcher
    void RequestBuilt(const TLinkRequest& request) override;
    void ReplyAccepted(const TLinkRequest& request, const uint16_t* regs, int count) override;
    void RequestDropped(const TLinkRequest& request) override;

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
    };
    enum class TStep { Idle, WaitSlots, InFlight };

    void readingDone(bool ok);
    void buildRows(const TSettingsBackup& cabinet);
    void showRows();
    void writeStep();
    void setVerdict(int row, const QString& text);
    void nextRegister();
    void finishWriting(const QString& status);
    void abandon(const QString& status);

    TSettingsBackup file_;
    QString filePath_;
    std::unique_ptr<TBackupReader> reader_;
    std::vector<TRow> rows_;
    bool started_ = false;

    // The write in progress.
    bool writing_ = false;
    bool cancelled_ = false;
    std::vector<int> queue_; // rows still to write
    int current_ = -1;       // the row being written
    TStep step_ = TStep::Idle;
    bool writeTaken_ = false, writeDropped_ = false, readTaken_ = false;
    int done_ = 0;
    QTimer stepTimer_;
};
