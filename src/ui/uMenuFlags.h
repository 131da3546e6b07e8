// The menu-visibility strings of the settings ("1111100"): character n (counted from 1)
// shows its item when it is "1"; any other character, or one the string lacks, hides it.
#pragma once

#include <QString>

bool FlagCharOn(const QString& flags, int n);

// Writes "1" (on) or "0" at character n; a shorter string is first padded with "0" up to it.
void SetFlagChar(QString& flags, int n, bool on);
