// What became of one register written to a cabinet: the journal keeps it, the restore window
// shows it.
#pragma once

#include <QString>

enum class TWriteVerdict {
    Sent = 0,              // built and sent; no reply yet
    Written = 1,           // the cabinet acknowledged it; not read again yet
    ReadBackEqual = 2,     // read again: the value sent
    ReadBackDifferent = 3, // read again: another value
    NoAnswer = 4,          // the write or its read-back was dropped after its attempts
    NotSent = 5,           // never went out (cancelled, port closed)
    Refused = 6,           // the cabinet answered the write with an exception
};

// "read back equal" and the others, in the current language.
QString WriteVerdictText(int verdict);
inline QString WriteVerdictText(TWriteVerdict verdict) { return WriteVerdictText(int(verdict)); }
