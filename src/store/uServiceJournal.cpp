#include "store/uServiceJournal.h"

#include "comm/uCabinet.h"
#include "comm/uFrmCom.h"
#include "model/UShareData.h"
#include "model/uDataFunc.h"
#include "model/uSettingsBackup.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QUuid>
#include <QVariant>

namespace {
TServiceJournal* theJournal = nullptr;
const char* const TimeFormat = "yyyy-MM-ddTHH:mm:ss.zzz";

QString timeText(const QDateTime& t) { return t.toString(QString::fromLatin1(TimeFormat)); }
QVariant optionalValue(const std::optional<int>& v) { return v ? QVariant(*v) : QVariant(QMetaType::fromType<int>()); }
} // namespace

const char* const TServiceJournal::CreateTableSql =
    "CREATE TABLE IF NOT EXISTS WriteJournal(ID INTEGER PRIMARY KEY AUTOINCREMENT, WrittenAt TEXT NOT NULL, "
    "DevAddr INTEGER NOT NULL, CabinetType TEXT, CabinetRating INTEGER, CabinetVersion TEXT, Source TEXT, "
    "Func INTEGER NOT NULL, Register INTEGER NOT NULL, ValueBefore INTEGER, ValueSent INTEGER NOT NULL, "
    "ReadBack INTEGER, Verdict INTEGER NOT NULL, VerdictAt TEXT)";

TServiceJournal* ServiceJournal() { return theJournal; }
void SetServiceJournal(TServiceJournal* journal) { theJournal = journal; }

TServiceJournal::TServiceJournal()
    : name_(QStringLiteral("journal-") + QUuid::createUuid().toString(QUuid::WithoutBraces))
{
}

TServiceJournal::~TServiceJournal()
{
    Close();
    links_.Disconnect();
    if (theJournal == this) theJournal = nullptr;
}

void TServiceJournal::fail(const QString& why)
{
    failed_ = true;
    if (told_.exchange(true)) return;
    if (QThread::currentThread() == home_.thread()) {
        if (onFailure_) onFailure_(why);
        return;
    }
    // From the journal's thread: told on the journal's home thread, never from the writer.
    QMetaObject::invokeMethod(
        &home_,
        [this, why] {
            if (onFailure_) onFailure_(why);
        },
        Qt::QueuedConnection);
}

namespace {
// The file made ready on the journal's thread, with its connection: empty when it is, else why.
QString setUpJournal(const QString& connection, const QString& path)
{
    QSqlDatabase db = QSqlDatabase::database(connection, false);
    if (!db.isOpen() && !db.open())
        return QStringLiteral("%1: %2").arg(path, db.lastError().text().trimmed());
    QSqlQuery q(db);
    auto run = [&](const QString& sql) {
        if (q.exec(sql)) return QString();
        return QStringLiteral("%1: %2").arg(path, q.lastError().text().trimmed());
    };
    if (QString why = run(QStringLiteral("PRAGMA user_version")); !why.isEmpty()) return why;
    if (!q.next()) return QStringLiteral("%1: %2").arg(path, q.lastError().text().trimmed());
    const int found = q.value(0).toInt();
    q.finish(); // an open statement holds a read transaction, and WAL cannot be set inside one
    if (found > TServiceJournal::SchemaVersion)
        return QStringLiteral("%1 was made by a newer tool (schema %2)").arg(path).arg(found);
    for (const QString& sql :
         {QStringLiteral("PRAGMA journal_mode=WAL"), QString::fromLatin1(TServiceJournal::CreateTableSql),
          QStringLiteral("CREATE INDEX IF NOT EXISTS JournalTime ON WriteJournal(WrittenAt)"),
          QStringLiteral("PRAGMA user_version=%1").arg(TServiceJournal::SchemaVersion)}) {
        if (QString why = run(sql); !why.isEmpty()) return why;
        q.finish();
    }
    return QString();
}
} // namespace

bool TServiceJournal::Open(const QString& path)
{
    Close();
    path_ = path;
    listen();
    if (!QFileInfo(QFileInfo(path).absolutePath()).isDir()) {
        fail(QStringLiteral("%1: the folder cannot be used").arg(path));
        return false;
    }
    writer_ = std::make_unique<TJournalWriter>(
        path, [path](const QString& connection) { return setUpJournal(connection, path); },
        [this](const QString& why) { fail(why); });
    writer_->start();
    open_ = true;
    return true;
}

void TServiceJournal::Close()
{
    open_ = false;
    if (writer_) {
        // What is queued still goes to the disk, unless a lock holds it longer than that.
        writer_->Finish(3000);
        writer_.reset();
    }
    if (QSqlDatabase::contains(name_)) {
        QSqlDatabase::database(name_, false).close();
        QSqlDatabase::removeDatabase(name_);
    }
}

bool TServiceJournal::WaitWritten(int ms) const { return writer_ && writer_->WaitWritten(ms, false); }

bool TServiceJournal::openReader() const
{
    if (!QSqlDatabase::contains(name_)) {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name_);
        db.setDatabaseName(path_);
        // A reader that finds the file locked answers soon, with what it could read.
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=300;QSQLITE_OPEN_READONLY"));
    }
    QSqlDatabase db = QSqlDatabase::database(name_, false);
    if (db.isOpen() || db.open()) return true;
    readError_ = db.lastError().text().trimmed();
    return false;
}

void TServiceJournal::RequestBuilt(const TLinkRequest& r)
{
    outstanding_.clear();
    if (r.func != 6 && r.func != 16) return;
    outstandingAddr_ = r.addr;
    TSettingsBackup id;
    ReadIdentification(Cabinet(), id);
    const QString now = timeText(QDateTime::currentDateTime());
    const QString source = r.source.isEmpty() ? QStringLiteral("link") : r.source;
    const int n = r.func == 6 ? 1 : r.count;
    for (int i = 0; i < n; ++i) {
        const int reg = r.startReg + i;
        const int sent = r.func == 6 ? r.value : (r.words ? r.words[i] : 0);
        std::optional<int> before;
        const auto it = lastRead_.find(key(r.addr, reg));
        if (it != lastRead_.end()) before = it->second;
        const TPending entry{nextToken_++, reg, sent};
        if (open_)
            writer_->Enqueue(
                {TJournalOp::TKind::Insert,
                 entry.token,
                 QStringLiteral("INSERT INTO WriteJournal(WrittenAt,DevAddr,CabinetType,CabinetRating,"
                                "CabinetVersion,Source,Func,Register,ValueBefore,ValueSent,Verdict) "
                                "VALUES(?,?,?,?,?,?,?,?,?,?,?)"),
                 {now, int(r.addr), id.type, id.rating, id.version, source, int(r.func), reg,
                  optionalValue(before), sent, int(TJournalVerdict::Sent)}});
        outstanding_.push_back(entry);
    }
}

void TServiceJournal::setVerdict(qint64 token, TJournalVerdict verdict, std::optional<int> readBack)
{
    if (!open_) return;
    writer_->Enqueue({TJournalOp::TKind::Update,
                      token,
                      QStringLiteral("UPDATE WriteJournal SET Verdict=?, ReadBack=?, VerdictAt=? WHERE ID=?"),
                      {int(verdict), optionalValue(readBack), timeText(QDateTime::currentDateTime())}});
}

void TServiceJournal::ReplyAccepted(const TLinkRequest& r, const uint16_t* regs, int count)
{
    if (r.func == 6 || r.func == 16) {
        // Acknowledged: each register now waits for the next read of it from this cabinet.
        for (const TPending& entry : outstanding_) {
            setVerdict(entry.token, TJournalVerdict::Written);
            awaitingReadBack_[key(outstandingAddr_, entry.reg)] = entry;
        }
        outstanding_.clear();
        return;
    }
    for (int i = 0; i < count; ++i) {
        const qint64 k = key(r.addr, r.startReg + i);
        lastRead_[k] = regs[i];
        const auto it = awaitingReadBack_.find(k);
        if (it == awaitingReadBack_.end()) continue;
        // The first read after the acknowledgement decides.
        const TPending entry = it->second;
        awaitingReadBack_.erase(it);
        setVerdict(entry.token,
                   entry.sent == regs[i] ? TJournalVerdict::ReadBackEqual
                                         : TJournalVerdict::ReadBackDifferent,
                   regs[i]);
    }
}

void TServiceJournal::RequestDropped(const TLinkRequest& r)
{
    // Only the write in progress has rows waiting; a slot dropped before it was built has none.
    if ((r.func != 6 && r.func != 16) || outstanding_.empty() || outstanding_.front().reg != r.startReg) return;
    const TJournalVerdict verdict = r.refused ? TJournalVerdict::Refused
                                    : r.sent  ? TJournalVerdict::NoAnswer
                                              : TJournalVerdict::NotSent;
    for (const TPending& entry : outstanding_) setVerdict(entry.token, verdict);
    outstanding_.clear();
}

std::vector<TJournalEntry> TServiceJournal::Entries(int address, const QDate& day) const
{
    std::vector<TJournalEntry> out;
    readError_.clear();
    if (!open_) return out;
    // The rows handed over a moment ago are most likely on the disk by now.
    writer_->WaitWritten(1000, true);
    if (!openReader()) return out;
    QString sql = QStringLiteral(
        "SELECT ID,WrittenAt,DevAddr,CabinetType,CabinetRating,CabinetVersion,Source,Func,Register,ValueBefore,"
        "ValueSent,ReadBack,Verdict FROM WriteJournal WHERE 1=1");
    if (address > 0) sql += QStringLiteral(" AND DevAddr=:addr");
    if (day.isValid()) sql += QStringLiteral(" AND WrittenAt>=:from AND WrittenAt<:to");
    sql += QStringLiteral(" ORDER BY ID DESC");
    QSqlQuery q(QSqlDatabase::database(name_, false));
    q.prepare(sql);
    if (address > 0) q.bindValue(QStringLiteral(":addr"), address);
    if (day.isValid()) {
        q.bindValue(QStringLiteral(":from"), day.toString(Qt::ISODate));
        q.bindValue(QStringLiteral(":to"), day.addDays(1).toString(Qt::ISODate));
    }
    if (!q.exec()) {
        readError_ = q.lastError().text().trimmed();
        return out;
    }
    while (q.next()) {
        TJournalEntry e;
        e.id = q.value(0).toLongLong();
        e.writtenAt = QDateTime::fromString(q.value(1).toString(), QString::fromLatin1(TimeFormat));
        e.address = q.value(2).toInt();
        e.cabinetType = q.value(3).toString();
        e.cabinetRating = q.value(4).toInt();
        e.cabinetVersion = q.value(5).toString();
        e.source = q.value(6).toString();
        e.func = q.value(7).toInt();
        e.reg = q.value(8).toInt();
        if (!q.value(9).isNull()) e.valueBefore = q.value(9).toInt();
        e.valueSent = q.value(10).toInt();
        if (!q.value(11).isNull()) e.readBack = q.value(11).toInt();
        e.verdict = q.value(12).toInt();
        out.push_back(e);
    }
    return out;
}

std::vector<int> TServiceJournal::Addresses() const
{
    std::vector<int> out;
    readError_.clear();
    if (!open_) return out;
    writer_->WaitWritten(1000, true);
    if (!openReader()) return out;
    QSqlQuery q(QSqlDatabase::database(name_, false));
    if (!q.exec(QStringLiteral("SELECT DISTINCT DevAddr FROM WriteJournal ORDER BY DevAddr"))) {
        readError_ = q.lastError().text().trimmed();
        return out;
    }
    while (q.next()) out.push_back(q.value(0).toInt());
    return out;
}

// Follows the run's link from now on (no link, nothing to follow).
void TServiceJournal::listen()
{
    FollowRequests(links_, this);
}
