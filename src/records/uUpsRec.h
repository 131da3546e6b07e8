// The event-record window: its first page reads the cabinet's record counters, downloads the
// event log record by record with function 20 into the local record database, and erases the
// cabinet's log; the grid below lists the local records.
#pragma once

#include "store/uDownloadProgress.h"
#include "store/uRecordDb.h"
#include "store/uRecordDownload.h"
#include "records/uRecordListModel.h"

#include <QElapsedTimer>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <optional>

class QCheckBox;
class QDate;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTabWidget;
class QTableView;
class QTimer;
class TClickLabel;
class TRadioGroup;

// The name the record export offers: the defined "UpsRecord.csv" while no cabinet told its
// identification, else the cabinet's address, identification and the day in it.
QString RecordCsvName(const QString& identification, int address, const QDate& day);

class TfrmUpsRec : public QWidget {
    Q_OBJECT
public:
    explicit TfrmUpsRec(QWidget* parent = nullptr);
    ~TfrmUpsRec() override;

    // The download (its WaitTicks and Attempts) and the other fields of the window.
    TRecordDownload Download;
    int32_t InfoCountdown = 0;
    int32_t TempFixCount = 0;

    // Download.
    void RequestRecord();
    void RequestRecordInfo();
    void ShowRecordInfo();
    // Record database and list.
    bool OpenRecordDb();
    bool CreateRecordDb();
    // Closes the list and the connection (the last connection to close folds the write-ahead
    // log back into the file, so the file alone is then the whole database and may be copied
    // or replaced); OpenRecordDb reconnects.
    void CloseRecordDb();
    void StoreRecord(TRecordData& rec);
    void RefreshList();
    void SetupGridColumns();
    void ApplyCaptions();

    // Form events and handlers.
    void FormCreate();
    void FormActivate();
    void FormDeactivate();
    void FormDestroy();
    void tmr1Timer();
    void btnBeginClick();
    // Ends a running download at once: the records stored so far stay, the poll goes on and
    // the request waiting in slot 1 is taken back.
    void btnStopClick();
    void btnClrRecClick();
    void rgIDOrderbyClick();
    void lblCntErrDblClick();
    void mmo2DblClick();

    // Second page: the record files.
    void btnSaveAsExcelClick();
    // Writes the local records to path as a CSV file (the "No record" and "Failed to save file"
    // messages included); true when the file was written.
    bool ExportCsv(const QString& path);
    void btnSaveAsClick();
    void btnLoadFileClick();
    void btnClearClick();
    // Loads a CSV record file or a copy of a record database in place of the local records; the
    // current records stay when the file cannot be used.
    void LoadCsvFile(const QString& path);
    void LoadDatabaseFile(const QString& path);

    // The detail view.
    void FillDetail();
    void DBGrd1CellClick();
    void DBGrd1DblClick();
    void DBGrd1Exit();
    // A wheel turn over the grid while it has the focus: the row moves by one.
    void GridWheel(int delta);

    // The grid's current row as an ordinal number (1 = first row shown), 0 when none.
    int CurrentRowNo() const;
    // True when the last store of the download failed (the tick ended there).
    bool LastStoreFailed() const { return lastStoreFailed_; }

    TRecordDb& Db() { return db_; }
    TRecordListModel& List() { return *list_; }
    const TDownloadProgress& Progress() const { return progress_; }
    // The folder "data" with its trailing separator, and the database file.
    QString DataFolder;
    QString DbFile;

    // Tests decide whether the window counts as the active one; unset asks the platform.
    std::optional<bool> ActiveForTest;
    // The clock of the progress figures, in milliseconds (tests replace it).
    std::function<int64_t()> ProgressClock;

    // Components.
    QTabWidget* pgcRec = nullptr;
    QWidget* ts1 = nullptr;
    QWidget* ts2 = nullptr;
    QLabel* lblMaxCount = nullptr;
    QLineEdit* redtMaxRec = nullptr;
    QLabel* lblAllRec = nullptr;
    QLineEdit* redtAllRec = nullptr;
    QCheckBox* chkRecNo = nullptr;
    QSpinBox* intgrtptRec = nullptr;
    QPushButton* btnBegin = nullptr;
    QPushButton* btnStop = nullptr;
    QPushButton* btnClrRec = nullptr;
    QProgressBar* pbDownload = nullptr;
    QLabel* lblProgress = nullptr;
    // Second page (the record files).
    QPushButton* btnSaveAs = nullptr;
    QPushButton* btnSaveAsExcel = nullptr;
    QPushButton* btnLoadFile = nullptr;
    QPushButton* btnClear = nullptr;
    QCheckBox* chkIsAnalysis = nullptr;
    // The list.
    TRadioGroup* rgIDOrderby = nullptr;
    TClickLabel* lblCntErr = nullptr;
    QTableView* DBGrd1 = nullptr;
    QPlainTextEdit* mmo2 = nullptr;
    QTimer* tmr1 = nullptr;

protected:
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createComponents();
    bool portOpen() const;
    bool windowActive() const;
    void showProgress();
    void reportDbProblem(const QString& cause, bool foreignFile);
    void noteStored(int32_t recNo, const TStoreOutcome& out);
    bool isCurrentDatabase(const QString& path) const;
    int64_t now() const;

    TRecordDb db_;
    TRecordListModel* list_ = nullptr;
    TDownloadProgress progress_;
    QElapsedTimer clock_;
    bool inTick_ = false;
    // The download's part of a tick; replyOnly on a line-speed link when a reply was accepted.
    // False when the database refused the record.
    bool downloadStep(bool replyOnly);
    void replyArrived();
    bool lastStoreFailed_ = false;
    QString reportedStoreError_;
    QString reportedOpenError_;
};
