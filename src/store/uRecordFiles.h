// The record files, without any window: export of the local records to a CSV file, consistent
// copies of a record database, and the reading and storing of a CSV record file. The
// event-record window and the headless download command share these.
#pragma once

#include "model/UShareData.h"
#include "store/uRecordDb.h"

#include <QString>
#include <QStringList>

#include <functional>

// The 32 column names of a CSV record file, in table order (the table's columns without ID).
extern const char* const CsvColumns[32];

// One line in the comma-text form: items separated by commas; an item holding a blank, a
// control character, a comma or a double quote is enclosed in double quotes (a quote inside
// written twice); a line of one empty item is written as two double quotes.
QString CommaText(const QStringList& items);

// Writes every record of db in ascending record number to path as a CSV record file: the header
// from the first row's non-null columns, the status words as 4 hexadecimal digits, the date as
// "yyyy-MM-dd hh:mm:ss", and with analysis the state, event and alarm codes as their texts in
// the current language followed by the code in brackets. UTF-8 with a byte-order mark, lines
// ended by CR LF. The file is replaced only once it is written whole (TFileWriter). False with a
// message naming the file when the database cannot be read or the file cannot be written. An empty table writes no file and
// returns true with *rows 0.
bool ExportRecordsCsv(TRecordDb& db, const QString& path, bool analysis, QString* error, int* rows = nullptr);

// A consistent copy of the open database (SQLite's VACUUM INTO a temporary file beside the
// target, synced and renamed into place, or copied into a target that is a device); the target
// is replaced only when the copy is complete.
bool CopyRecordDatabase(TRecordDb& source, const QString& target, QString* error);

// A consistent copy of a database file that is not open here (read through a read-only
// connection) into a temporary file beside beside; the copy must hold a record table. On
// success *tempPath names the checked copy, which the caller renames into place
// (ReplaceDatabaseFile) or removes.
bool PrepareDatabaseCopy(const QString& sourceFile, const QString& beside, QString* tempPath, QString* error);

// Puts the finished file from over target (synced, then an atomic rename), after removing
// target's stale write-ahead log and shared-memory files. The target's connections must be
// closed. from is gone afterwards, whatever the outcome.
bool ReplaceDatabaseFile(const QString& from, const QString& target, QString* error);

// True when both paths name the same file: the same text, the same file through a link, or an
// existing file reached by another spelling on a file system that ignores letter case.
bool SameFile(const QString& a, const QString& b);

// Reads a text file whole: a UTF-8 byte-order mark is skipped; a file that is not valid UTF-8
// is read in the system's 8-bit character set. Lines are split at CR LF, LF or CR. False with a
// message when the file cannot be read or holds no line.
bool ReadTextLines(const QString& path, QStringList* lines, QString* error);

// The header check of a CSV record file: its first 20 items must be the first 20 column names.
enum class TCsvHeader {
    Valid,   // the first 20 items match
    Invalid, // an item differs (the operator may load the file anyway)
    TooShort // the items present match, but there are fewer than 20
};
TCsvHeader CheckCsvHeader(const QString& line);

// Fills rec from one CSV line by position (codes and measurements decimal, the measurements as
// tenths, the nine words hexadecimal; an item that is no such number gives 0; the date text
// kept as it is). False when the line has fewer than 32 items.
bool ParseCsvRecord(const QString& line, TRecordData* rec);

// What a CSV load did.
struct TCsvLoadOutcome {
    int stored = 0;  // records stored
    int badLine = 0; // the 1-based line number that stopped the load, 0 when none did
    QString error;   // why the load stopped, empty when every line was stored
};

// Replaces the records of db by those of the lines (line 1 is the header, not stored), in one
// transaction. A line with fewer than 32 items or a record the engine refuses stops the load;
// the records stored before it stay. stored is told about every stored record (temperature
// corrections). A header with fewer than 20 items stops before anything is replaced.
TCsvLoadOutcome LoadCsvLines(TRecordDb& db, const QStringList& lines,
                             const std::function<void(int32_t recNo, const TStoreOutcome&)>& stored = {});
