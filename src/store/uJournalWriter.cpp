#include "store/uJournalWriter.h"

#include <QDeadlineTimer>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

namespace {
// How long one statement waits for another connection's lock before the batch is tried again
// later; the queue keeps the rows meanwhile.
constexpr int BusyTimeoutMs = 100;
constexpr int RetryMs = 250;
} // namespace

bool JournalErrorIsBusy(const QString& nativeCode)
{
    bool ok = false;
    const int code = nativeCode.toInt(&ok) & 0xff; // the primary code of an extended one
    return ok && (code == 5 || code == 6);         // SQLITE_BUSY, SQLITE_LOCKED
}

TJournalWriter::TJournalWriter(const QString& path, std::function<QString(const QString&)> setUp,
                               std::function<void(const QString&)> told)
    : path_(path),
      connection_(QStringLiteral("journal-writer-") + QUuid::createUuid().toString(QUuid::WithoutBraces)),
      setUp_(std::move(setUp)),
      told_(std::move(told))
{
}

TJournalWriter::~TJournalWriter() { Finish(0); }

void TJournalWriter::Enqueue(TJournalOp op)
{
    QMutexLocker lock(&mutex_);
    if (broken_ || stop_) return;
    queue_.push_back(std::move(op));
    wake_.wakeAll();
}

bool TJournalWriter::WaitWritten(int ms, bool stopAtLock)
{
    QDeadlineTimer deadline(ms);
    QMutexLocker lock(&mutex_);
    while ((!ready_ || !queue_.empty() || inFlight_) && !(stopAtLock && blocked_) && !broken_ && !stop_)
        if (!written_.wait(&mutex_, deadline)) break;
    return ready_ && queue_.empty() && !inFlight_;
}

void TJournalWriter::Finish(int ms)
{
    if (!isRunning()) return;
    WaitWritten(ms, false);
    {
        QMutexLocker lock(&mutex_);
        stop_ = true;
        wake_.wakeAll();
    }
    wait();
}

bool TJournalWriter::Broken() const
{
    QMutexLocker lock(&mutex_);
    return broken_;
}

void TJournalWriter::run()
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection_);
        db.setDatabaseName(path_);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(BusyTimeoutMs));
    }
    bool ready = false;
    for (;;) {
        std::vector<TJournalOp> batch;
        {
            QMutexLocker lock(&mutex_);
            while (!stop_ && ready && queue_.empty()) wake_.wait(&mutex_);
            if (stop_) break;
            batch.assign(queue_.begin(), queue_.end());
            inFlight_ = true;
        }
        QString why;
        TOutcome outcome = TOutcome::Done;
        if (!ready) {
            why = setUp_(connection_);
            if (why.isEmpty())
                ready = true;
            else
                outcome = why.contains(QLatin1String("locked"), Qt::CaseInsensitive) ||
                                  why.contains(QLatin1String("busy"), Qt::CaseInsensitive)
                              ? TOutcome::Busy
                              : TOutcome::Broken;
            if (ready) batch.clear(); // the rows go in the next round
        } else {
            outcome = writeBatch(batch, &why);
        }
        QMutexLocker lock(&mutex_);
        inFlight_ = false;
        if (outcome == TOutcome::Done) {
            ready_ = ready;
            if (!batch.empty()) queue_.erase(queue_.begin(), queue_.begin() + qsizetype(batch.size()));
            blocked_ = false;
            written_.wakeAll();
            continue;
        }
        lock.unlock();
        if (told_) told_(why);
        lock.relock();
        if (outcome == TOutcome::Broken) {
            broken_ = true;
            queue_.clear();
            written_.wakeAll();
            // Nothing more is written; the thread waits for the end.
            while (!stop_) wake_.wait(&mutex_);
            break;
        }
        blocked_ = true;
        written_.wakeAll();
        if (!stop_) wake_.wait(&mutex_, RetryMs);
    }
    QSqlDatabase::database(connection_, false).close();
    QSqlDatabase::removeDatabase(connection_);
}

TJournalWriter::TOutcome TJournalWriter::writeBatch(const std::vector<TJournalOp>& batch, QString* why)
{
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    auto failed = [&](const QSqlError& e) {
        *why = QStringLiteral("%1: %2").arg(path_, e.text().trimmed());
        return JournalErrorIsBusy(e.nativeErrorCode()) ? TOutcome::Busy : TOutcome::Broken;
    };
    // One transaction for what has gathered: one sync to the disk, not one a row.
    if (!db.transaction()) return failed(db.lastError());
    std::map<qint64, qint64> added;
    for (const TJournalOp& op : batch) {
        QSqlQuery q(db);
        if (!q.prepare(op.sql)) {
            const QSqlError e = q.lastError();
            db.rollback();
            return failed(e);
        }
        for (const QVariant& v : op.values) q.addBindValue(v);
        if (op.kind == TJournalOp::TKind::Update) {
            qint64 row = -1;
            if (const auto fresh = added.find(op.token); fresh != added.end())
                row = fresh->second;
            else if (const auto known = rows_.find(op.token); known != rows_.end())
                row = known->second;
            if (row < 0) continue; // its row was never written
            q.addBindValue(row);
        }
        if (!q.exec()) {
            const QSqlError e = q.lastError();
            q.finish();
            db.rollback();
            return failed(e);
        }
        if (op.kind == TJournalOp::TKind::Insert) added[op.token] = q.lastInsertId().toLongLong();
    }
    if (!db.commit()) {
        const QSqlError e = db.lastError();
        db.rollback();
        return failed(e);
    }
    rows_.insert(added.begin(), added.end());
    return TOutcome::Done;
}
