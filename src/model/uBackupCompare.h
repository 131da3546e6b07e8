// A backup file beside what the cabinet holds now: the registers whose values differ, which of
// them a restore writes unless told otherwise, and whether the file comes from another cabinet.
// The restore window and the headless --restore both judge a file this way.
#pragma once

#include "model/uSettingsBackup.h"

#include <QStringList>

#include <cstdint>
#include <vector>

struct TBackupDifference {
    int reg = 0;
    uint16_t cabinet = 0;
    uint16_t file = 0;
    // Written unless told otherwise: a register a window names, not an elapsed counter (those
    // are the cabinet's own history).
    bool byDefault = false;
};

// Every register of the file that the cabinet read holds with another value, in register order.
std::vector<TBackupDifference> BackupDifferences(const TSettingsBackup& file, const TSettingsBackup& cabinet);

// What tells the file's cabinet from this one, one text a difference, in the current language
// ("type ZYX in the file, ZYR here"); empty when type, rating and address all agree.
QStringList OtherCabinetReasons(const TSettingsBackup& file, const TSettingsBackup& cabinet);
