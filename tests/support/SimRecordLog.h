// The simulated cabinet's own account of its event log, and the comparison of a stored row with
// it: shared by the end-to-end tests of the event log.
#pragma once

#include <QDate>
#include <QDateTime>
#include <QProcess>
#include <QSqlRecord>
#include <QStringList>
#include <QVariant>

#include <map>

// The simulator's own account of its log: record number -> the items of its dump line.
inline std::map<int, QStringList> simulatorLog(const QStringList& args)
{
    QProcess p;
    p.start(QStringLiteral(ZYR_CABINET_SIM), args + QStringList{"--dump-log"});
    std::map<int, QStringList> log;
    if (!p.waitForFinished(30000)) return log;
    for (const QString& line :
         QString::fromLatin1(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts)) {
        const QStringList items = line.split(',');
        if (items.size() == 36) log[items[0].toInt()] = items;
    }
    return log;
}

// What the record database must hold for one dump line; an empty text when the row matches.
inline QString compareRow(const QSqlRecord& row, const QStringList& e, int* corrected)
{
    QStringList wrong;
    auto expect = [&](const char* column, const QVariant& want) {
        const QVariant got = row.value(QLatin1String(column));
        if (got.toString() != want.toString())
            wrong << QStringLiteral("%1=%2 (want %3)").arg(column, got.toString(), want.toString());
    };
    const int n = e[0].toInt();
    const QDate date(e[1].toInt(), e[2].toInt(), e[3].toInt());
    const QString when =
        date.isValid()
            ? QDateTime(date, QTime(e[4].toInt(), e[5].toInt(), e[6].toInt())).toString("yyyy-MM-dd hh:mm:ss")
            : QStringLiteral("2000-01-01 00:00:00");
    expect("DevID", 1);
    expect("RecNo", n);
    expect("UPSDate", when);
    expect("UpsState", e[7].toInt());
    expect("ModuleID", e[8].toInt());
    expect("EventNo", e[9].toInt());
    expect("AlarmNo", e[10].toInt());
    const char* words[] = {"CMMState",  "CMMAlarmH", "CMMAlarmL", "INVStateH", "INVStateL",
                           "INVAlarmH", "INVAlarmL", "MontState", "MontAlarm"};
    for (int i = 0; i < 9; ++i) expect(words[i], e[11 + i].toInt());
    const char* measures[] = {"InputV_A",   "InputV_B",  "InputV_C",  "InputFreq", "OutputV_A",
                              "OutputV_B",  "OutputV_C", "OutputI_A", "OutputI_B", "OutputI_C",
                              "OutputFreq", "PBattV",    "NBattV",    "PBattI",    "NBattI"};
    for (int i = 0; i < 15; ++i) expect(measures[i], e[20 + i].toInt() / 10);
    // Module records carry tenths; a reading still above 99 is divided once more on storing.
    int t = e[35].toInt();
    if (e[8].toInt() != 0) t /= 10;
    if (t > 99) {
        t /= 10;
        if (corrected) ++*corrected;
    }
    expect("Temperature", t);
    return wrong.join("; ");
}
