// The values of one cabinet as columns of a value log: their names (the snapshot's names, with
// the phase or battery string after an underscore), units and decimals, and the CSV form that
// the value logger writes and the trend window exports.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <vector>

struct TUpsData;

struct TValueColumn {
    const char* name;    // "InVolt_A"
    const char* unit;    // "V"; empty for a ratio
    int decimals;        // the scale of its register: 1 for x0.1, 2 for x0.01, 0 for raw
    double (*get)(const TUpsData&);
    bool trend;          // the trend window draws it
    bool rightAxis;      // amperes, %, °C and Hz; volts go on the left
    const char* en;      // the trend window's check box, without the unit
    const char* zh;
};

// Every column the value logger writes, in order.
const std::vector<TValueColumn>& ValueColumns();
// The columns the trend window keeps, in the order of its ring.
const std::vector<const TValueColumn*>& TrendColumns();
constexpr int TrendChannelCount = 24;

// "InVolt_A (V)", or the bare name for a column without a unit.
QString ColumnHeading(const TValueColumn& c);
// "Time,InVolt_A (V),...,State" without the line end.
QString ValueLogHeader(const std::vector<const TValueColumn*>& columns);
std::vector<const TValueColumn*> AllValueColumns();

// The time of a line: ISO 8601 local time with milliseconds and the offset from UTC.
QString ValueLogTime(const QDateTime& when);
// A value as the line writes it: fixed with the column's decimals, "." as separator.
QString ValueText(const TValueColumn& c, double v);

// One line without its end: the time, each value (empty text for none) and the state text.
QString ValueLogLine(const QString& time, const QStringList& values, const QString& state);

// The byte-order mark and the line end of the value log (as of the record files).
extern const char ValueLogBom[3];
constexpr const char* ValueLogEol = "\r\n";

// How an existing file meets the header a run would write.
enum class THeaderMatch {
    Absent,  // no file, or an empty one: write the mark and the header
    Same,    // the same header: append
    Other,   // another header (or not a value log): refuse, leave it alone
};
// Reads the first line of path (without the mark and the line end). unterminated tells that
// the file's last line has no line end (a power cut mid-line): the next line starts on a new one.
THeaderMatch MatchValueLogHeader(const QString& path, const QString& header, bool* unterminated = nullptr,
                                 QString* found = nullptr);
