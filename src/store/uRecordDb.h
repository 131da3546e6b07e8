// The local record database "data/record.mdb": one row per event record of the cabinet's log,
// table UpsEvntRecord. Opening, creating, storing by record number and counting live here, so
// that the event-record window, the record files and a headless download share one code.
#pragma once

#include "model/UShareData.h"

#include <QDateTime>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>

#include <memory>

// A 16-bit field of the record with its column name.
struct TRecordWordField {
    const char* name;
    uint16_t TRecordData::*member;
};
// The nine status and alarm words and the fifteen measurements (in tenths in the record, in
// whole units in the table), each in the table's column order.
extern const TRecordWordField StatusWordFields[9];
extern const TRecordWordField MeasurementFields[15];

// The folder "data" where the file places put it, with its trailing separator.
QString RecordDataFolder();
// "record.mdb" in that folder.
QString RecordDbPath();

// True when text is a date-time the tool accepts: year, month and day separated by "-", then
// optionally the time of day with its parts separated by ":"; leading zeros optional. The
// date-time is written to value when given.
bool IsValidDateTime(const QString& text, QDateTime* value = nullptr);

// The date text of a record: its DateText when not empty, else Year-Month-Day Hour:Minute:Second
// in plain decimal ("2010-5-23 15:0:0").
QString RecordDateText(const TRecordData& rec);

// The text a record's date is stored as: "yyyy-MM-dd hh:mm:ss" of the validated date, or
// "2000-01-01 00:00:00" when the text is not a date.
QString StoredDateText(const QString& dateText);

// What one store did besides writing the row.
struct TStoreOutcome {
    bool stored = false;
    bool updated = false;       // an existing row was rewritten
    bool tempCorrected = false; // the temperature was above 99 and was divided by 10
    int rawTemperature = 0;     // the temperature as the record carried it
    QString dateText;           // the date text before validation (for the correction line)
    QString error;              // the engine's message when not stored
};

class TRecordDb {
public:
    // Every instance has a connection of its own.
    TRecordDb();
    ~TRecordDb();
    TRecordDb(const TRecordDb&) = delete;
    TRecordDb& operator=(const TRecordDb&) = delete;

    // The file this instance works on; RecordDbPath() unless set.
    void SetFilePath(const QString& path) { path_ = path; }
    QString FilePath() const { return path_; }

    // Closes the connection; then opens the file when it exists, or creates it with the table
    // and its indexes. A file that is not a record database (not a database at all, or one
    // without the table) is left untouched, the connection stays closed and error names it.
    bool OpenRecordDb(QString* error = nullptr);
    // Creates a new file with the table and the indexes (the file must not exist).
    bool CreateRecordDb(QString* error = nullptr);
    bool IsOpen() const;
    void Close();
    // The last reason OpenRecordDb failed, empty when it succeeded.
    QString OpenError() const { return openError_; }
    // True when the last failure was a file that exists but is not a usable record database.
    bool ForeignFile() const { return foreignFile_; }

    // Inserts the record, or rewrites every row with its record number. Measurements are
    // stored in whole units (tenths divided by 10), a temperature above 99 divided by 10, an
    // invalid date as "2000-01-01 00:00:00". Opens the database first when it is closed.
    // DateText of the record is cleared afterwards.
    TStoreOutcome StoreRecord(TRecordData& rec);

    // Rows in the table; -1 when closed or on error.
    int RowCount();
    QSqlDatabase Database() const;
    QString ConnectionName() const { return name_; }

    // One transaction around bulk work (a file load); false when the engine refuses.
    bool Begin();
    bool Commit();

    static const char* const CreateTableSql;
    static const char* const CreateIndexSql;
    static const char* const CreateRecNoIndexSql;
    static const char* const InsertSql;
    static const char* const UpdateSql;

private:
    bool openFile(QString* error);
    bool applyPragmas(QString* error);
    bool prepare();
    void fail(QString* error, const QString& text);

    QString name_;
    QString path_;
    QString openError_;
    bool foreignFile_ = false;
    std::unique_ptr<QSqlQuery> find_, insert_, update_;
};
