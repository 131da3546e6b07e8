// What the journal's grid, its CSV and the service report show for a stored row: the window
// that wrote by its caption, the write-enable command by its name. The rows themselves keep the
// object name and the register number.
#pragma once

#include <QString>

// The caption of the window that wrote, in the current language; a headless command and a
// name no window has are shown as they are stored.
QString JournalSourceText(const QString& source);

// The name of a register written: "write enable" for the command at 50000, the backup's name
// for the others, the number itself when it has none.
QString JournalRegisterText(int reg);
