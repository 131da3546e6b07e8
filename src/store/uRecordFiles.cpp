#include "store/uRecordFiles.h"

#include "model/uDataFunc.h"
#include "model/uFileWriter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringDecoder>
#include <QUuid>
#include <QVariant>

#include <cmath>
#include <filesystem>
#include <system_error>

const char* const CsvColumns[32] = {
    "DevID",     "RecNo",     "UPSDate",   "UpsState",  "ModuleID",  "EventNo",   "AlarmNo",   "CMMState",
    "CMMAlarmH", "CMMAlarmL", "INVStateH", "INVStateL", "INVAlarmH", "INVAlarmL", "MontState", "MontAlarm",
    "InputV_A",  "InputV_B",  "InputV_C",  "InputFreq", "OutputV_A", "OutputV_B", "OutputV_C", "OutputFreq",
    "OutputI_A", "OutputI_B", "OutputI_C", "PBattV",    "NBattV",    "PBattI",    "NBattI",    "Temperature"};

namespace {

constexpr int HeaderItemsChecked = 20;
constexpr int CsvItems = 32;

std::filesystem::path FsPath(const QString& path) { return std::filesystem::path(path.toStdU16String()); }

void SetError(QString* error, const QString& text)
{
    if (error) *error = text;
}

// A whole number as plain decimal text, anything else as the shortest text of its value.
QString NumberText(const QVariant& v)
{
    bool ok = false;
    const double d = v.toDouble(&ok);
    if (!ok) return v.toString();
    if (std::floor(d) == d && std::fabs(d) < 1e15) return QString::number(static_cast<qint64>(d));
    return QString::number(d, 'g', 15);
}

QString CodeItem(const QVariant& v, bool analysis, QString (*text)(int))
{
    const QString code = NumberText(v);
    if (!analysis) return code;
    return text(v.toInt()) + QLatin1Char('(') + code + QLatin1Char(')');
}

// The date item: "yyyy-MM-dd hh:mm:ss" as stored; another date form in a copy from elsewhere
// is brought to it; a text that is no date is written as it is.
QString DateItem(const QString& text)
{
    auto digits = [&](int from, int to) {
        for (int i = from; i < to; ++i)
            if (!text.at(i).isDigit()) return false;
        return true;
    };
    if (text.size() == 19 && text.at(4) == QLatin1Char('-') && text.at(7) == QLatin1Char('-') &&
        text.at(10) == QLatin1Char(' ') && text.at(13) == QLatin1Char(':') &&
        text.at(16) == QLatin1Char(':') && digits(0, 4) && digits(5, 7) && digits(8, 10) && digits(11, 13) &&
        digits(14, 16) && digits(17, 19))
        return text;
    return IsValidDateTime(text) ? StoredDateText(text) : text;
}

bool IsStatusWord(const QString& name)
{
    for (const TRecordWordField& f : StatusWordFields)
        if (name == QLatin1String(f.name)) return true;
    return false;
}

// Runs VACUUM INTO a fresh temporary file beside target; *temp names it on success.
bool VacuumBeside(QSqlDatabase db, const QString& target, QString* temp, QString* error)
{
    // Beside the file the target's link leads to, so the finished copy is renamed into place;
    // for a device, in the temporary folder, and copied into it.
    const QString out = TFileWriter::ScratchPathFor(target);
    QFile::remove(out);
    QSqlQuery q(db);
    // The file name is a string literal of the statement: quotes inside are doubled.
    QString literal = QDir::toNativeSeparators(QFileInfo(out).absoluteFilePath());
    literal.replace(QLatin1Char('\''), QStringLiteral("''"));
    if (!q.exec(QStringLiteral("VACUUM INTO '%1'").arg(literal))) {
        SetError(error, q.lastError().text());
        QFile::remove(out);
        return false;
    }
    *temp = out;
    return true;
}

// True when the file at path opens as a database with the record table and all its columns.
bool HoldsRecordTable(const QString& path, QString* error)
{
    const QString name = QStringLiteral("record-check-%1").arg(QUuid::createUuid().toString(QUuid::Id128));
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        if (!db.open()) {
            SetError(error, db.lastError().text());
        } else {
            QSqlQuery q(db);
            if (!q.exec(QStringLiteral("PRAGMA quick_check")) || !q.next() ||
                q.value(0).toString() != QLatin1String("ok")) {
                SetError(error, q.lastError().isValid() ? q.lastError().text()
                                                        : QStringLiteral("the database is damaged"));
            } else {
                const QSqlRecord columns = db.record(QStringLiteral("UpsEvntRecord"));
                QStringList missing;
                for (const char* c : CsvColumns)
                    if (columns.indexOf(QLatin1String(c)) < 0) missing << QLatin1String(c);
                if (columns.isEmpty())
                    SetError(error, QStringLiteral("it has no table UpsEvntRecord"));
                else if (!missing.isEmpty())
                    SetError(error,
                             QStringLiteral("table UpsEvntRecord has no column %1").arg(missing.first()));
                else
                    ok = true;
            }
            q.finish();
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(name);
    return ok;
}

} // namespace

QString CommaText(const QStringList& items)
{
    if (items.size() == 1 && items.first().isEmpty()) return QStringLiteral("\"\"");
    QString line;
    for (int i = 0; i < items.size(); ++i) {
        if (i > 0) line += QLatin1Char(',');
        const QString& item = items.at(i);
        bool quote = false;
        for (const QChar c : item) {
            if (c.unicode() <= 32 || c == QLatin1Char(',') || c == QLatin1Char('"')) {
                quote = true;
                break;
            }
        }
        if (!quote) {
            line += item;
            continue;
        }
        line += QLatin1Char('"');
        for (const QChar c : item) {
            if (c == QLatin1Char('"')) line += QLatin1Char('"');
            line += c;
        }
        line += QLatin1Char('"');
    }
    return line;
}

bool ExportRecordsCsv(TRecordDb& db, const QString& path, bool analysis, QString* error, int* rows)
{
    if (rows) *rows = 0;
    if (!db.IsOpen() && !db.OpenRecordDb(error)) return false;
    QSqlQuery q(db.Database());
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("Select * from UpsEvntRecord order by RecNo"))) {
        SetError(error, q.lastError().text());
        return false;
    }
    const QSqlRecord shape = q.record();
    const int columns = shape.count();
    enum Kind { Skip, Plain, Word, Date, State, Event, Alarm };
    QVector<Kind> kinds(columns, Plain);
    QStringList names;
    for (int c = 0; c < columns; ++c) {
        const QString name = shape.fieldName(c);
        names << name;
        if (name == QLatin1String("ID"))
            kinds[c] = Skip;
        else if (IsStatusWord(name))
            kinds[c] = Word;
        else if (name == QLatin1String("UPSDate"))
            kinds[c] = Date;
        else if (name == QLatin1String("UpsState"))
            kinds[c] = State;
        else if (name == QLatin1String("EventNo"))
            kinds[c] = Event;
        else if (name == QLatin1String("AlarmNo"))
            kinds[c] = Alarm;
    }

    TFileWriter file(path);
    QByteArray out;
    out.reserve(1 << 20);
    out.append("\xEF\xBB\xBF");
    int count = 0;
    QStringList items;
    items.reserve(columns);
    while (q.next()) {
        if (count == 0) {
            // The header is taken from the first row: the names of its non-null columns.
            if (!file.Open()) {
                SetError(error, file.ErrorString());
                return false;
            }
            for (int c = 0; c < columns; ++c)
                if (kinds[c] != Skip && !q.isNull(c)) items << names.at(c);
            out.append(CommaText(items).toUtf8()).append("\r\n");
        }
        items.clear();
        for (int c = 0; c < columns; ++c) {
            if (kinds[c] == Skip || q.isNull(c)) continue;
            const QVariant v = q.value(c);
            switch (kinds[c]) {
            case Word: items << HexWord(static_cast<uint32_t>(v.toLongLong())); break;
            case Date: items << DateItem(v.toString()); break;
            case State: items << CodeItem(v, analysis, StateText); break;
            case Event: items << CodeItem(v, analysis, EventText); break;
            case Alarm: items << CodeItem(v, analysis, AlarmText); break;
            default: items << NumberText(v); break;
            }
        }
        out.append(CommaText(items).toUtf8()).append("\r\n");
        ++count;
        if (out.size() > (1 << 20)) {
            if (!file.Write(out)) break;
            out.clear();
        }
    }
    if (q.lastError().isValid()) {
        SetError(error, q.lastError().text());
        file.Cancel();
        return false;
    }
    if (count == 0) return true;
    if (!file.Write(out) || !file.Commit()) {
        SetError(error, file.ErrorString());
        return false;
    }
    if (rows) *rows = count;
    return true;
}

bool CopyRecordDatabase(TRecordDb& source, const QString& target, QString* error)
{
    if (!source.IsOpen() && !source.OpenRecordDb(error)) return false;
    if (SameFile(source.FilePath(), target)) {
        SetError(error,
                 QStringLiteral("%1 is the database being copied").arg(QDir::toNativeSeparators(target)));
        return false;
    }
    QString temp;
    if (!VacuumBeside(source.Database(), target, &temp, error)) {
        SetError(error, QStringLiteral("cannot write %1: %2").arg(QDir::toNativeSeparators(target), *error));
        return false;
    }
    return ReplaceDatabaseFile(temp, target, error);
}

bool PrepareDatabaseCopy(const QString& sourceFile, const QString& beside, QString* tempPath, QString* error)
{
    if (!QFileInfo(sourceFile).isFile()) {
        SetError(error, QStringLiteral("the file does not exist"));
        return false;
    }
    if (!HoldsRecordTable(sourceFile, error)) return false;
    const QString name = QStringLiteral("record-copy-%1").arg(QUuid::createUuid().toString(QUuid::Id128));
    bool ok = false;
    QString temp;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(sourceFile);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        if (!db.open())
            SetError(error, db.lastError().text());
        else
            ok = VacuumBeside(db, beside, &temp, error);
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    if (!ok) return false;
    // The copy itself is opened as the record database would open it, by the same class with
    // the same rules (every column, ID included): a copy the database would refuse never
    // replaces the local records.
    bool usable = false;
    {
        TRecordDb check;
        check.SetFilePath(temp);
        usable = check.OpenRecordDb(error);
        check.Close();
    }
    if (!usable) {
        for (const char* suffix : {"", "-wal", "-shm", "-journal"})
            QFile::remove(temp + QLatin1String(suffix));
        return false;
    }
    *tempPath = temp;
    return true;
}

bool ReplaceDatabaseFile(const QString& from, const QString& target, QString* error)
{
    // A log left beside the old file would be replayed into the new one.
    const QString file = TFileWriter::FollowLinks(target);
    if (!file.isEmpty() && QFileInfo(file).isFile()) {
        for (const char* suffix : {"-wal", "-shm", "-journal"}) {
            const QString side = file + QLatin1String(suffix);
            if (QFileInfo::exists(side) && !QFile::remove(side)) {
                QFile::remove(from);
                SetError(error, QStringLiteral("%1 cannot be removed").arg(QDir::toNativeSeparators(side)));
                return false;
            }
        }
    }
    return TFileWriter::PlaceFinished(from, target, error);
}

bool SameFile(const QString& a, const QString& b)
{
    const QFileInfo fa(a), fb(b);
    if (fa.absoluteFilePath() == fb.absoluteFilePath()) return true;
    if (!fa.exists() || !fb.exists()) return false;
    if (fa.canonicalFilePath() == fb.canonicalFilePath()) return true;
    std::error_code ec;
    return std::filesystem::equivalent(FsPath(a), FsPath(b), ec) && !ec;
}

bool ReadTextLines(const QString& path, QStringList* lines, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        SetError(error, file.errorString());
        return false;
    }
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        SetError(error, file.errorString());
        return false;
    }
    if (bytes.startsWith("\xEF\xBB\xBF")) bytes.remove(0, 3);
    QString text;
    {
        QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
        text = utf8.decode(bytes);
        if (utf8.hasError()) {
            // Not UTF-8: the system's 8-bit character set, or Latin-1 where that is UTF-8 too.
            QStringDecoder local(QStringConverter::System, QStringConverter::Flag::Stateless);
            text = local.decode(bytes);
            if (local.hasError()) text = QString::fromLatin1(bytes);
        }
    }
    QStringList result;
    qsizetype start = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        if (c != QLatin1Char('\r') && c != QLatin1Char('\n')) continue;
        result << text.mid(start, i - start);
        if (c == QLatin1Char('\r') && i + 1 < n && text.at(i + 1) == QLatin1Char('\n')) ++i;
        start = i + 1;
    }
    if (start < n) result << text.mid(start);
    if (result.isEmpty()) {
        SetError(error, QStringLiteral("the file is empty"));
        return false;
    }
    *lines = result;
    return true;
}

TCsvHeader CheckCsvHeader(const QString& line)
{
    const QStringList items = DelimitedItems(line, QLatin1Char(','));
    for (int i = 0; i < HeaderItemsChecked; ++i) {
        if (i >= items.size()) return TCsvHeader::TooShort;
        if (items.at(i) != QLatin1String(CsvColumns[i])) return TCsvHeader::Invalid;
    }
    return TCsvHeader::Valid;
}

bool ParseCsvRecord(const QString& line, TRecordData* rec)
{
    const QStringList items = DelimitedItems(line, QLatin1Char(','));
    if (items.size() < CsvItems) return false;
    auto dec = [&](int i) -> int64_t {
        bool ok = false;
        const qlonglong v = items.at(i).toLongLong(&ok, 10);
        return ok ? v : 0;
    };
    auto hex = [&](int i) -> uint16_t {
        bool ok = false;
        const qulonglong v = items.at(i).toULongLong(&ok, 16);
        return ok ? static_cast<uint16_t>(v) : 0;
    };
    TRecordData r;
    r.DevID = static_cast<uint8_t>(dec(0));
    r.RecNo = static_cast<int32_t>(dec(1));
    r.DateText = items.at(2);
    r.UpsState = static_cast<uint8_t>(dec(3));
    r.ModuleID = static_cast<uint8_t>(dec(4));
    r.EventNo = static_cast<uint8_t>(dec(5));
    r.AlarmNo = static_cast<uint8_t>(dec(6));
    // The words in the table's order, CMMState to MontAlarm.
    for (int w = 0; w < 9; ++w) r.*StatusWordFields[w].member = hex(7 + w);
    for (int m = 0; m < 15; ++m) r.*MeasurementFields[m].member = static_cast<uint16_t>(dec(16 + m) * 10);
    r.Temperature = static_cast<uint16_t>(dec(31));
    *rec = r;
    return true;
}

TCsvLoadOutcome LoadCsvLines(TRecordDb& db, const QStringList& lines,
                             const std::function<void(int32_t recNo, const TStoreOutcome&)>& stored)
{
    TCsvLoadOutcome out;
    if (lines.isEmpty()) {
        out.error = QStringLiteral("the file is empty");
        return out;
    }
    if (CheckCsvHeader(lines.first()) == TCsvHeader::TooShort) {
        out.badLine = 1;
        out.error = QStringLiteral("the header has fewer than %1 items").arg(HeaderItemsChecked);
        return out;
    }
    QString openError;
    if (!db.IsOpen() && !db.OpenRecordDb(&openError)) {
        out.error = openError;
        return out;
    }
    if (!db.Begin()) {
        out.error = db.Database().lastError().text();
        return out;
    }
    // The old records go in the same transaction as the new ones: a load cut short by a crash
    // leaves the old records.
    QSqlQuery clear(db.Database());
    if (!clear.exec(QStringLiteral("Delete from UpsEvntRecord")) ||
        !clear.exec(QStringLiteral("Delete from sqlite_sequence where name='UpsEvntRecord'"))) {
        out.error = clear.lastError().text();
        db.Database().rollback();
        return out;
    }
    clear.finish();
    for (int i = 1; i < lines.size(); ++i) {
        TRecordData rec;
        if (!ParseCsvRecord(lines.at(i), &rec)) {
            out.badLine = i + 1;
            out.error = QStringLiteral("line %1 has fewer than %2 items").arg(i + 1).arg(CsvItems);
            break;
        }
        const int32_t recNo = rec.RecNo;
        const TStoreOutcome result = db.StoreRecord(rec);
        if (!result.stored) {
            out.badLine = i + 1;
            out.error = result.error;
            break;
        }
        ++out.stored;
        if (stored) stored(recNo, result);
    }
    if (!db.Commit()) {
        out.error = db.Database().lastError().text();
        db.Database().rollback();
        out.stored = 0;
    }
    return out;
}
