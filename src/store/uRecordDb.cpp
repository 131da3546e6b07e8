#include "store/uRecordDb.h"

#include "model/uFilePlaces.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlRecord>
#include <QStringList>
#include <QVariant>

#include <atomic>
#include <cstdio>

const char* const TRecordDb::CreateTableSql =
    "Create Table UpsEvntRecord(ID INTEGER PRIMARY KEY AUTOINCREMENT,DevID   smallint,RecNo   Int,UPSDate "
    "DATETIME,UpsState smallint,ModuleID smallint,EventNo smallint,AlarmNo smallint,CMMState  Int,CMMAlarmH "
    "Int,CMMAlarmL Int,INVStateH Int,INVStateL Int,INVAlarmH Int,INVAlarmL Int,MontState Int,MontAlarm "
    "Int,InputV_A  real,InputV_B  real,InputV_C  real,InputFreq real,OutputV_A  real,OutputV_B  "
    "real,OutputV_C  real,OutputFreq real,OutputI_A  real,OutputI_B  real,OutputI_C  real,PBattV     "
    "real,NBattV     real,PBattI     real,NBattI     real,Temperature real)";
const char* const TRecordDb::CreateIndexSql = "Create UNIQUE Index IDIndex ON UpsEvntRecord(ID)";
// Every store looks its row up by record number.
const char* const TRecordDb::CreateRecNoIndexSql = "Create Index RecNoIndex ON UpsEvntRecord(RecNo)";
const char* const TRecordDb::InsertSql =
    "Insert into "
    "UpsEvntRecord(DevID,RecNo,UPSDate,UpsState,ModuleID,EventNo,AlarmNo,CMMState,CMMAlarmH,CMMAlarmL,"
    "INVStateH,INVStateL,INVAlarmH,INVAlarmL,MontState,MontAlarm,InputV_A,InputV_B,InputV_C,InputFreq,"
    "OutputV_A,OutputV_B,OutputV_C,OutputFreq,OutputI_A,OutputI_B,OutputI_C,PBattV,NBattV,PBattI,NBattI,"
    "Temperature) "
    "values(:DevID,:RecNo,:UPSDate,:UpsState,:ModuleID,:EventNo,:AlarmNo,:CMMState,:CMMAlarmH,:CMMAlarmL,:"
    "INVStateH,:INVStateL,:INVAlarmH,:INVAlarmL,:MontState,:MontAlarm,:InputV_A,:InputV_B,:InputV_C,:"
    "InputFreq,:OutputV_A,:OutputV_B,:OutputV_C,:OutputFreq,:OutputI_A,:OutputI_B,:OutputI_C,:PBattV,:"
    "NBattV,:PBattI,:NBattI,:Temperature);";
const char* const TRecordDb::UpdateSql =
    "Update UpsEvntRecord set "
    "DevID=:DevID,UPSDate=:UPSDate,ModuleID=:ModuleID,UpsState=:UpsState,EventNo=:EventNo,AlarmNo=:"
    "AlarmNo,CMMState=:CMMState,CMMAlarmH=:CMMAlarmH,CMMAlarmL=:CMMAlarmL,INVStateH=:INVStateH,INVStateL=:"
    "INVStateL,INVAlarmH=:INVAlarmH,INVAlarmL=:INVAlarmL,MontState =:MontState,MontAlarm "
    "=:MontAlarm,InputV_A "
    " =:InputV_A,InputV_B  =:InputV_B,InputV_C  =:InputV_C,InputFreq =:InputFreq,OutputV_A =:OutputV_A,"
    "OutputV_B =:OutputV_B,OutputV_C =:OutputV_C,OutputFreq=:OutputFreq,OutputI_A =:OutputI_A,OutputI_B "
    "=:OutputI_B,OutputI_C =:OutputI_C,PBattV    =:PBattV,NBattV    =:NBattV,PBattI    =:PBattI,NBattI    "
    "=:NBattI,Temperature =:Temperature where RecNo=:RecNo ";

const TRecordWordField StatusWordFields[9] = {
    {"CMMState", &TRecordData::CMMState},   {"CMMAlarmH", &TRecordData::CMMAlarmH},
    {"CMMAlarmL", &TRecordData::CMMAlarmL}, {"INVStateH", &TRecordData::INVStateH},
    {"INVStateL", &TRecordData::INVStateL}, {"INVAlarmH", &TRecordData::INVAlarmH},
    {"INVAlarmL", &TRecordData::INVAlarmL}, {"MontState", &TRecordData::MontState},
    {"MontAlarm", &TRecordData::MontAlarm}};

const TRecordWordField MeasurementFields[15] = {
    {"InputV_A", &TRecordData::InputV_A},   {"InputV_B", &TRecordData::InputV_B},
    {"InputV_C", &TRecordData::InputV_C},   {"InputFreq", &TRecordData::InputFreq},
    {"OutputV_A", &TRecordData::OutputV_A}, {"OutputV_B", &TRecordData::OutputV_B},
    {"OutputV_C", &TRecordData::OutputV_C}, {"OutputFreq", &TRecordData::OutputFreq},
    {"OutputI_A", &TRecordData::OutputI_A}, {"OutputI_B", &TRecordData::OutputI_B},
    {"OutputI_C", &TRecordData::OutputI_C}, {"PBattV", &TRecordData::PBattV},
    {"NBattV", &TRecordData::NBattV},       {"PBattI", &TRecordData::PBattI},
    {"NBattI", &TRecordData::NBattI}};

namespace {

const char* const InvalidDateText = "2000-01-01 00:00:00";

// The columns a record database must have, in table order.
const char* const Columns[] = {"ID",         "DevID",     "RecNo",      "UPSDate",   "UpsState",  "ModuleID",
                               "EventNo",    "AlarmNo",   "CMMState",   "CMMAlarmH", "CMMAlarmL", "INVStateH",
                               "INVStateL",  "INVAlarmH", "INVAlarmL",  "MontState", "MontAlarm", "InputV_A",
                               "InputV_B",   "InputV_C",  "InputFreq",  "OutputV_A", "OutputV_B", "OutputV_C",
                               "OutputFreq", "OutputI_A", "OutputI_B",  "OutputI_C", "PBattV",    "NBattV",
                               "PBattI",     "NBattI",    "Temperature"};

} // namespace

QString RecordDataFolder() { return FilePlaces().RecordFolder; }

QString RecordDbPath() { return FilePlaces().RecordDb; }

namespace {

// ":" + name, made once per name.
const QString& Placeholder(const char* name)
{
    static QHash<const char*, QString> made;
    auto found = made.constFind(name);
    if (found != made.constEnd()) return *found;
    return *made.insert(name, QLatin1Char(':') + QLatin1String(name));
}

// The canonical "yyyy-MM-dd hh:mm:ss" without a pattern match: the form every stored date and
// every exported date has.
bool ParseCanonicalDateTime(const QString& text, QDate* date, QTime* time)
{
    if (text.size() != 19) return false;
    const char16_t* c = reinterpret_cast<const char16_t*>(text.utf16());
    auto num = [&](int from, int count, int* value) {
        int v = 0;
        for (int i = from; i < from + count; ++i) {
            if (c[i] < u'0' || c[i] > u'9') return false;
            v = v * 10 + (c[i] - u'0');
        }
        *value = v;
        return true;
    };
    int y, mo, d, h, mi, se;
    if (c[4] != u'-' || c[7] != u'-' || c[10] != u' ' || c[13] != u':' || c[16] != u':') return false;
    if (!num(0, 4, &y) || !num(5, 2, &mo) || !num(8, 2, &d) || !num(11, 2, &h) || !num(14, 2, &mi) ||
        !num(17, 2, &se))
        return false;
    *date = QDate(y, mo, d);
    *time = QTime(h, mi, se);
    return true;
}

// The date and time of a text in the tool's date form; false when it is not one. No time zone
// is consulted (a local date-time looks the zone up on every call, which a load of thousands of
// records would feel).
bool ParseDateTime(const QString& text, QDate* date, QTime* time)
{
    if (ParseCanonicalDateTime(text, date, time))
        return date->isValid() && date->year() >= 1 && time->isValid();
    static const QRegularExpression form(QStringLiteral(
        R"(^\s*(\d{1,4})-(\d{1,2})-(\d{1,2})(?:\s+(\d{1,2})(?::(\d{1,2})(?::(\d{1,2})(?:\.(\d{1,3}))?)?)?)?\s*$)"));
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch()) return false;
    int year = m.captured(1).toInt();
    if (m.capturedLength(1) <= 2) year += 2000; // a two-digit year is of this century
    const QDate d(year, m.captured(2).toInt(), m.captured(3).toInt());
    if (year < 1 || !d.isValid()) return false;
    const QTime t(m.captured(4).toInt(), m.captured(5).toInt(), m.captured(6).toInt(), m.captured(7).toInt());
    if (!t.isValid()) return false;
    *date = d;
    *time = t;
    return true;
}

} // namespace

bool IsValidDateTime(const QString& text, QDateTime* value)
{
    QDate date;
    QTime time;
    if (!ParseDateTime(text, &date, &time)) return false;
    if (value) *value = QDateTime(date, time);
    return true;
}

QString RecordDateText(const TRecordData& rec)
{
    if (!rec.DateText.isEmpty()) return rec.DateText;
    return QStringLiteral("%1-%2-%3 %4:%5:%6")
        .arg(rec.Year)
        .arg(rec.Month)
        .arg(rec.Day)
        .arg(rec.Hour)
        .arg(rec.Minute)
        .arg(rec.Second);
}

QString StoredDateText(const QString& dateText)
{
    QDate date;
    QTime time;
    if (!ParseDateTime(dateText, &date, &time)) return QString::fromLatin1(InvalidDateText);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", date.year(), date.month(), date.day(),
                  time.hour(), time.minute(), time.second());
    return QString::fromLatin1(text);
}

TRecordDb::TRecordDb() : path_(RecordDbPath())
{
    static std::atomic<int> serial{0};
    name_ = QStringLiteral("record-db-%1").arg(++serial);
    QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name_);
}

TRecordDb::~TRecordDb()
{
    Close();
    QSqlDatabase::removeDatabase(name_);
}

QSqlDatabase TRecordDb::Database() const { return QSqlDatabase::database(name_, false); }

bool TRecordDb::IsOpen() const { return Database().isOpen(); }

void TRecordDb::Close()
{
    find_.reset();
    insert_.reset();
    update_.reset();
    QSqlDatabase db = Database();
    if (db.isOpen()) db.close();
}

void TRecordDb::fail(QString* error, const QString& text)
{
    openError_ = text;
    if (error) *error = text;
}

bool TRecordDb::applyPragmas(QString* error)
{
    // Write-ahead log, each commit synced: a killed process or a power cut leaves every
    // committed record and a file that opens cleanly.
    QSqlQuery q(Database());
    for (const char* sql :
         {"PRAGMA journal_mode=WAL", "PRAGMA synchronous=FULL", "PRAGMA busy_timeout=2000"}) {
        if (!q.exec(QLatin1String(sql))) {
            fail(error, QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path_), q.lastError().text()));
            return false;
        }
    }
    return true;
}

bool TRecordDb::prepare()
{
    const QSqlDatabase db = Database();
    find_ = std::make_unique<QSqlQuery>(db);
    insert_ = std::make_unique<QSqlQuery>(db);
    update_ = std::make_unique<QSqlQuery>(db);
    return find_->prepare(QStringLiteral("Select 1 from UpsEvntRecord where RecNo =:RecNo limit 1")) &&
           insert_->prepare(QLatin1String(InsertSql)) && update_->prepare(QLatin1String(UpdateSql));
}

bool TRecordDb::CreateRecordDb(QString* error)
{
    Close();
    foreignFile_ = false;
    QDir().mkpath(QFileInfo(path_).absolutePath());
    QSqlDatabase db = Database();
    db.setDatabaseName(path_);
    if (!db.open()) {
        fail(error, QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path_), db.lastError().text()));
        return false;
    }
    if (!applyPragmas(error)) {
        Close();
        return false;
    }
    QSqlQuery q(db);
    for (const char* sql : {CreateTableSql, CreateIndexSql, CreateRecNoIndexSql}) {
        if (!q.exec(QLatin1String(sql))) {
            fail(error, QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path_), q.lastError().text()));
            Close();
            return false;
        }
    }
    if (!prepare()) {
        fail(error, QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path_), find_->lastError().text()));
        Close();
        return false;
    }
    openError_.clear();
    return true;
}

bool TRecordDb::openFile(QString* error)
{
    const QString shown = QDir::toNativeSeparators(path_);
    QSqlDatabase db = Database();
    db.setDatabaseName(path_);
    if (!db.open()) {
        fail(error, QStringLiteral("%1: %2").arg(shown, db.lastError().text()));
        return false;
    }
    // The file must be a database with the record table and all its columns; anything else
    // is the operator's file and is not touched.
    QSqlQuery q(db);
    if (!q.exec(
            QStringLiteral("Select name from sqlite_master where type='table' and name='UpsEvntRecord'"))) {
        foreignFile_ = true;
        fail(error, QStringLiteral("%1 is not a record database (%2)").arg(shown, q.lastError().text()));
        Close();
        return false;
    }
    if (!q.next()) {
        foreignFile_ = true;
        fail(error, QStringLiteral("%1 is not a record database (it has no table UpsEvntRecord)").arg(shown));
        Close();
        return false;
    }
    // The open statement would hold a read transaction, in which the journal mode of a copy
    // made by VACUUM INTO (a rollback journal) cannot be changed.
    q.finish();
    const QSqlRecord columns = db.record(QStringLiteral("UpsEvntRecord"));
    for (const char* c : Columns) {
        if (columns.indexOf(QLatin1String(c)) < 0) {
            foreignFile_ = true;
            fail(error, QStringLiteral("%1 is not a record database (table UpsEvntRecord has no column %2)")
                            .arg(shown, QLatin1String(c)));
            Close();
            return false;
        }
    }
    if (!applyPragmas(error)) {
        Close();
        return false;
    }
    // A database from an older copy may lack the record-number index.
    q.exec(QStringLiteral("Create Index if not exists RecNoIndex ON UpsEvntRecord(RecNo)"));
    if (!prepare()) {
        fail(error, QStringLiteral("%1: %2").arg(shown, find_->lastError().text()));
        Close();
        return false;
    }
    openError_.clear();
    return true;
}

bool TRecordDb::OpenRecordDb(QString* error)
{
    Close();
    foreignFile_ = false;
    const QFileInfo file(path_);
    // An empty file holds nothing to lose: it becomes a new database.
    if (file.exists() && file.size() > 0) return openFile(error);
    if (file.exists()) QFile::remove(path_);
    return CreateRecordDb(error);
}

int TRecordDb::RowCount()
{
    if (!IsOpen()) return -1;
    QSqlQuery q(Database());
    if (!q.exec(QStringLiteral("Select count(*) from UpsEvntRecord")) || !q.next()) return -1;
    return q.value(0).toInt();
}

bool TRecordDb::Begin() { return IsOpen() && Database().transaction(); }
bool TRecordDb::Commit() { return IsOpen() && Database().commit(); }

TStoreOutcome TRecordDb::StoreRecord(TRecordData& rec)
{
    TStoreOutcome out;
    if (!IsOpen()) OpenRecordDb();
    out.dateText = RecordDateText(rec);
    const QString stored = StoredDateText(out.dateText);
    out.rawTemperature = rec.Temperature;
    int temperature = rec.Temperature;
    if (temperature > 99) {
        temperature /= 10;
        out.tempCorrected = true;
    }
    if (!IsOpen()) {
        out.error = openError_.isEmpty() ? QStringLiteral("The record database is not open") : openError_;
        out.tempCorrected = false;
        rec.DateText.clear();
        return out;
    }

    find_->bindValue(QStringLiteral(":RecNo"), rec.RecNo);
    if (!find_->exec()) {
        out.error = find_->lastError().text();
        out.tempCorrected = false;
        rec.DateText.clear();
        return out;
    }
    out.updated = find_->next();
    find_->finish();

    QSqlQuery& q = out.updated ? *update_ : *insert_;
    // The placeholder texts are made once: a bulk load stores tens of thousands of records.
    auto bind = [&q](const char* name, const QVariant& v) { q.bindValue(Placeholder(name), v); };
    auto tenths = [](uint16_t v) { return static_cast<uint32_t>(v / 10); };
    bind("DevID", rec.DevID);
    bind("RecNo", rec.RecNo);
    bind("UPSDate", stored);
    bind("UpsState", rec.UpsState);
    bind("ModuleID", rec.ModuleID);
    bind("EventNo", rec.EventNo);
    bind("AlarmNo", rec.AlarmNo);
    for (const TRecordWordField& f : StatusWordFields) bind(f.name, rec.*f.member);
    for (const TRecordWordField& f : MeasurementFields) bind(f.name, tenths(rec.*f.member));
    bind("Temperature", temperature);
    if (!q.exec()) {
        out.error = q.lastError().text();
        out.tempCorrected = false;
        q.finish();
        rec.DateText.clear();
        return out;
    }
    q.finish();
    out.stored = true;
    rec.DateText.clear();
    return out;
}
