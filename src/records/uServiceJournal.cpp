#include "records/uServiceJournal.h"

#include "model/UShareData.h"
#include "model/uDataFunc.h"
#include "model/uSettingsBackup.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
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
    RemoveLinkWatcher(this);
    if (theJournal == this) theJournal = nullptr;
}

void TServiceJournal::fail(const QString& why)
{
    failed_ = true;
    if (told_) return;
    told_ = true;
    if (onFailure_) onFailure_(why);
}

bool TServiceJournal::Open(const QString& path)
{
    Close();
    path_ = path;
    AddLinkWatcher(this);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name_);
        db.setDatabaseName(path);
        if (!QFileInfo(path).absoluteDir().exists() || !db.open()) {
            const QString why = db.lastError().text().trimmed();
            fail(QStringLiteral("%1: %2").arg(path, why.isEmpty() ? QStringLiteral("the folder cannot be used") : why));
            return false;
        }
    }
    open_ = true;
    QSqlDatabase db = QSqlDatabase::database(name_, false);
    QSqlQuery version(db);
    if (!version.exec(QStringLiteral("PRAGMA user_version")) || !version.next()) {
        open_ = false;
        fail(QStringLiteral("%1: %2").arg(path, version.lastError().text()));
        return false;
    }
    const int found = version.value(0).toInt();
    version.finish(); // an open statement holds a read transaction, and WAL cannot be set inside one
    if (found > SchemaVersion) {
        open_ = false;
        fail(QStringLiteral("%1 was made by a newer tool (schema %2)").arg(path).arg(found));
        return false;
    }
    if (!exec(QStringLiteral("PRAGMA journal_mode=WAL")) || !exec(QString::fromLatin1(CreateTableSql)) ||
        !exec(QStringLiteral("CREATE INDEX IF NOT EXISTS JournalTime ON WriteJournal(WrittenAt)")) ||
        !exec(QStringLiteral("PRAGMA user_version=%1").arg(SchemaVersion))) {
        open_ = false;
        return false;
    }
    return true;
}

void TServiceJournal::Close()
{
    open_ = false;
    if (QSqlDatabase::contains(name_)) {
        QSqlDatabase::database(name_, false).close();
        QSqlDatabase::removeDatabase(name_);
    }
}

bool TServiceJournal::exec(const QString& sql, const std::vector<QVariant>& values, qint64* insertId)
{
    if (!open_) return false;
    QSqlQuery q(QSqlDatabase::database(name_, false));
    if (!q.prepare(sql)) {
        fail(QStringLiteral("%1: %2").arg(path_, q.lastError().text()));
        return false;
    }
    for (const QVariant& v : values) q.addBindValue(v);
    if (!q.exec()) {
        fail(QStringLiteral("%1: %2").arg(path_, q.lastError().text()));
        return false;
    }
    if (insertId) *insertId = q.lastInsertId().toLongLong();
    return true;
}

void TServiceJournal::RequestBuilt(const TLinkRequest& r)
{
    outstanding_.clear();
    if (r.func != 6 && r.func != 16) return;
    outstandingAddr_ = r.addr;
    TSettingsBackup id;
    ReadIdentification(id);
    const QString now = timeText(QDateTime::currentDateTime());
    const QString source = r.source.isEmpty() ? QStringLiteral("link") : r.source;
    const int n = r.func == 6 ? 1 : r.count;
    for (int i = 0; i < n; ++i) {
        const int reg = r.startReg + i;
        const int sent = r.func == 6 ? r.value : (r.words ? r.words[i] : 0);
        std::optional<int> before;
        const auto it = lastRead_.find(key(r.addr, reg));
        if (it != lastRead_.end()) before = it->second;
        qint64 id64 = 0;
        if (exec(QStringLiteral("INSERT INTO WriteJournal(WrittenAt,DevAddr,CabinetType,CabinetRating,CabinetVersion,"
                                "Source,Func,Register,ValueBefore,ValueSent,Verdict) VALUES(?,?,?,?,?,?,?,?,?,?,?)"),
                 {now, int(r.addr), id.type, id.rating, id.version, source, int(r.func), reg, optionalValue(before),
                  sent, int(TJournalVerdict::Sent)},
                 &id64))
            outstanding_.push_back({id64, reg});
    }
}

void TServiceJournal::setVerdict(qint64 id, TJournalVerdict verdict, std::optional<int> readBack)
{
    exec(QStringLiteral("UPDATE WriteJournal SET Verdict=?, ReadBack=?, VerdictAt=? WHERE ID=?"),
         {int(verdict), optionalValue(readBack), timeText(QDateTime::currentDateTime()), id});
}

void TServiceJournal::ReplyAccepted(const TLinkRequest& r, const uint16_t* regs, int count)
{
    if (r.func == 6 || r.func == 16) {
        // Acknowledged: each register now waits for the next read of it from this cabinet.
        for (const auto& [id, reg] : outstanding_) {
            setVerdict(id, TJournalVerdict::Written);
            awaitingReadBack_[key(outstandingAddr_, reg)] = id;
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
        const qint64 id = it->second;
        awaitingReadBack_.erase(it);
        std::optional<int> sent;
        if (open_) {
            QSqlQuery q(QSqlDatabase::database(name_, false));
            q.prepare(QStringLiteral("SELECT ValueSent FROM WriteJournal WHERE ID=?"));
            q.addBindValue(id);
            if (q.exec() && q.next()) sent = q.value(0).toInt();
        }
        if (!sent) continue;
        setVerdict(id, *sent == regs[i] ? TJournalVerdict::ReadBackEqual : TJournalVerdict::ReadBackDifferent,
                   regs[i]);
    }
}

void TServiceJournal::RequestDropped(const TLinkRequest& r)
{
    // Only the write in progress has rows waiting; a slot dropped before it was built has none.
    if ((r.func != 6 && r.func != 16) || outstanding_.empty() || outstanding_.front().second != r.startReg) return;
    const TJournalVerdict verdict = r.refused ? TJournalVerdict::Refused
                                    : r.sent  ? TJournalVerdict::NoAnswer
                                              : TJournalVerdict::NotSent;
    for (const auto& entry : outstanding_) setVerdict(entry.first, verdict);
    outstanding_.clear();
}

std::vector<TJournalEntry> TServiceJournal::Entries(int address, const QDate& day) const
{
    std::vector<TJournalEntry> out;
    if (!open_) return out;
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
    if (!q.exec()) return out;
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
    if (!open_) return out;
    QSqlQuery q(QSqlDatabase::database(name_, false));
    if (!q.exec(QStringLiteral("SELECT DISTINCT DevAddr FROM WriteJournal ORDER BY DevAddr"))) return out;
    while (q.next()) out.push_back(q.value(0).toInt());
    return out;
}
