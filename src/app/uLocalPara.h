// The operator settings file "UserParaIni.ini" beside the executable, section "LocalPara".
#pragma once

#include <QString>

// Fills LocalPara from the settings file, writing the defaults of the first six keys that
// are missing.
void LoadLocalPara();
// Writes the eleven keys of section "LocalPara"; every other section and key is kept.
void SaveLocalPara();

// The folder the settings file lives in; empty means the executable's folder. Tests point it
// at a temporary folder.
void SetSettingsFolderOverride(const QString& folder);
