// Placeholder until the settings issue lands.
#include "app/uLocalPara.h"

#include "model/UShareData.h"

#include <QCoreApplication>
#include <QDir>

namespace {
QString folderOverride;
}

void SetSettingsFolderOverride(const QString& folder) { folderOverride = folder; }

void LoadLocalPara()
{
    const QString dir = folderOverride.isEmpty() ? QCoreApplication::applicationDirPath() : folderOverride;
    LocalPara.AppPath = QDir(dir).absolutePath() + QLatin1Char('/');
}

void SaveLocalPara() {}
