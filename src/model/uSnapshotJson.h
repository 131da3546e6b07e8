// A snapshot of one cabinet as JSON: the device record's values scaled as received, with
// their units, the ten status words, the derived state, the identification, every module's
// state and the link counters.
#pragma once

#include "model/UShareData.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>

struct TSnapshotContext {
    QString port;
    int address = 1;
    QString takenAt;          // local time, ISO 8601
    bool complete = true;     // every block of the poll cycle and the identification arrived
    QStringList missing;      // what did not arrive, when not complete
    bool modulesRead = false; // each module's block was read for this snapshot
    TCommDebug counters;      // the link's counters when it was taken
};

class TCabinetValues;

// The snapshot of one cabinet from the values the link stored.
QJsonObject SnapshotObject(const TCabinetValues& cabinet, const TSnapshotContext& context);
QByteArray SnapshotJson(const TCabinetValues& cabinet, const TSnapshotContext& context);
