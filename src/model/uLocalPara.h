// The operator settings file "UserParaIni.ini", section "LocalPara", where the file places put it
// (beside the executable, or in the user's configuration folder of an installed tool).
// It is read and written like a Windows profile file on every platform: section and key names
// match without regard to case, integers are decimal text (0x... is read as hexadecimal), and
// every other section and key of the file is kept as it stands.
#pragma once

#include <QString>

#include <cstdint>

// Fills LocalPara from the settings file, writing the defaults of the first six keys that
// are missing.
void LoadLocalPara();
// Writes the eleven keys of section "LocalPara" (and "FastLine" once the line-speed mode was
// chosen); every other section and key is kept.
void SaveLocalPara();

// A port that belongs to this run only (the demonstration's pseudo-terminal in its private
// folder), empty for none. While LocalPara names it, SaveLocalPara leaves the file's port, and
// the speed, protocol and cabinet address chosen with it, as they stand: the next run would
// find no such device.
void SetRunOnlyPort(const QString& port);
bool IsRunOnlyPort(const QString& port);

// The folder the settings file and the folder "data" live in; empty means the places of the
// built layout. Tests point it at a temporary folder. Setting it also re-arms the one-per-run
// message about a settings file that cannot be written.
void SetSettingsFolderOverride(const QString& folder);

// The full path of the settings file as LoadLocalPara and SaveLocalPara use it.
QString SettingsFilePath();

// Reads one key of any section of the settings file as the file stands now, fallback when
// the file or the key is missing.
QString ReadProfileString(const char* section, const char* key, const QString& fallback);

// A profile integer as the tool reads it: optional blanks and sign, then decimal digits or 0x
// and hexadecimal digits, within 32 bits. False for anything else.
bool ParseProfileInt(const QString& text, int32_t& value);
