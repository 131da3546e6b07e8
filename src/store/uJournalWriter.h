// The service journal's own thread: it holds its own connection to "data/journal.db" and writes
// the statements the window's thread hands it, in the order they came. A file another program
// holds locked only delays the rows: the writer says so once and tries again until the lock is
// gone; the window's thread never waits for the disk.
#pragma once

#include <QMutex>
#include <QString>
#include <QThread>
#include <QVariant>
#include <QWaitCondition>

#include <deque>
#include <functional>
#include <map>
#include <vector>

struct TJournalOp {
    enum class TKind { Insert, Update };
    TKind kind = TKind::Insert;
    // The row the window's thread knows: an insert gives it its row, an update names it.
    qint64 token = 0;
    QString sql;
    // For an update the row's ID is bound last, after these.
    std::vector<QVariant> values;
};

class TJournalWriter : public QThread {
public:
    // setUp runs on the writer's thread, with its connection, before the first row; it answers
    // an empty text when the file is ready, else why not. told is called on the writer's
    // thread, with the reason, whenever a batch could not be written (a lock, a broken file).
    TJournalWriter(const QString& path, std::function<QString(const QString& connection)> setUp,
                   std::function<void(const QString& why)> told);
    ~TJournalWriter() override;

    void Enqueue(TJournalOp op);
    // Waits at most ms for the queue to be written; answers at once when the file is broken,
    // and while a lock holds the writer back when stopAtLock. True when nothing waits.
    bool WaitWritten(int ms, bool stopAtLock);
    // Writes what it can within ms, then ends the thread; rows still waiting are lost.
    void Finish(int ms);
    // Rows dropped because the file is broken (not those waiting for a lock).
    bool Broken() const;

protected:
    void run() override;

private:
    enum class TOutcome { Done, Busy, Broken };
    TOutcome writeBatch(const std::vector<TJournalOp>& batch, QString* why);

    const QString path_;
    const QString connection_;
    std::function<QString(const QString&)> setUp_;
    std::function<void(const QString&)> told_;

    mutable QMutex mutex_;
    QWaitCondition wake_;    // work has come, or the end
    QWaitCondition written_; // the queue is written, or the writer is held back
    std::deque<TJournalOp> queue_;
    bool ready_ = false; // the file is set up
    bool inFlight_ = false;
    bool blocked_ = false;
    bool broken_ = false;
    bool stop_ = false;

    std::map<qint64, qint64> rows_; // token -> row ID (writer's thread only)
};

// True for SQLite's "database is locked" and "table is locked" answers, which pass once the
// other connection lets go.
bool JournalErrorIsBusy(const QString& nativeCode);
