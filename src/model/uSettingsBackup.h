// A backup of the settings a cabinet's windows can write: what blocks it reads, the register
// names the windows give, and its JSON file, written only whole.
#pragma once

class TCabinetValues;

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <cstdint>
#include <map>
#include <vector>

// One block a backup reads through a request slot.
struct TBackupBlock {
    uint8_t func;     // 3, or 43 for the identification
    int32_t startReg; // function 43: the object id
    int32_t count;    // 0 for function 43
    const char* what; // for progress and failure lines
};

// The UPS parameters 40001-40035, the cabinet configuration 53000-53029 and 51201-51208, the
// alarm masks 40082-40091, the OPTION port 51021-51030, the runtime counters 51051-51066 and
// the identification (function 43 objects 1 and 2), in the order they are read.
const std::vector<TBackupBlock>& BackupBlocks();

struct TSettingsBackup {
    int address = 1;
    QString type;    // the first three characters of identification object 1
    int rating = 0;  // its fifth and sixth bytes, 256 x high + low
    QString version; // identification object 2
    QDateTime takenAt;
    std::map<int, uint16_t> registers;
};

// The cabinet's type, rating and version as the identification area holds them now.
void ReadIdentification(const TCabinetValues& values, TSettingsBackup& backup);

// The register's name in both languages where the windows give it one; empty texts otherwise.
struct TRegisterName {
    QString en;
    QString zh;
};
TRegisterName BackupRegisterName(int reg);
// The same in the current language; the register number when the windows give no name.
QString BackupRegisterCaption(int reg);
// The elapsed-time counters of the runtime block (restore never ticks them by default).
bool IsElapsedCounter(int reg);

// True for a register of the blocks a backup reads (function 3); the identification is not one.
bool IsBackupRegister(int reg);

// The file: {"format", "formatVersion", "cabinet": {address, type, rating, version},
// "time" (ISO 8601 with the offset from UTC), "registers": {"40001": 0, ...},
// "names": {"40002": "Parallel ID", ...}}.
QByteArray BackupJson(const TSettingsBackup& backup);
// False with a reason for a file that is not such a backup (not JSON, a key that appears twice
// in one object, no registers, a key that is no register number or a register outside the
// blocks a backup reads, a value outside 0 to 65535).
bool ParseBackupJson(const QByteArray& json, TSettingsBackup& backup, QString* error);

// Writes bytes to path whole or not at all, through the tool's one file writer: on any failure
// the old file stays as it was, no temporary file is left and error says why.
bool WriteFileWhole(const QString& path, const QByteArray& bytes, QString* error);
