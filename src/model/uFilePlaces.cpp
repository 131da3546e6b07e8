#include "model/uFilePlaces.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>

const char* const SettingsFileName = "UserParaIni.ini";
const char* const RecordDbFileName = "record.mdb";
const char* const DictFileName = "Dict(Wenlake).csv";

namespace {

QString folderOverride;

QString withSeparator(const QString& folder)
{
    QString path = QDir(folder).absolutePath();
    if (!path.endsWith(QLatin1Char('/'))) path += QLatin1Char('/');
    return path;
}

} // namespace

TFileLayout BuiltFileLayout()
{
#ifdef ZYR_INSTALLED_LAYOUT
    return TFileLayout::PerUser;
#else
    return TFileLayout::BesideExecutable;
#endif
}

TFilePlaces FilePlaces(TFileLayout layout)
{
    QString configFolder, dataFolder, dictFolder;
    if (!folderOverride.isEmpty()) {
        configFolder = dataFolder = withSeparator(folderOverride);
        dictFolder = layout == TFileLayout::PerUser ? dataFolder : withSeparator(QDir::currentPath());
    } else if (layout == TFileLayout::PerUser) {
        configFolder = withSeparator(QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation));
        dataFolder = dictFolder =
            withSeparator(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
    } else {
        configFolder = dataFolder = withSeparator(QCoreApplication::applicationDirPath());
        // The dictionary is opened by its bare name, so it is looked for in the current folder.
        dictFolder = withSeparator(QDir::currentPath());
    }

    TFilePlaces places;
    places.SettingsFile = configFolder + QLatin1String(SettingsFileName);
    places.RecordFolder = dataFolder + QStringLiteral("data/");
    places.RecordDb = places.RecordFolder + QLatin1String(RecordDbFileName);
    places.DictFile = dictFolder + QLatin1String(DictFileName);
    // The user's data folder is hidden; copies and exports belong where the user keeps files.
    if (layout == TFileLayout::PerUser)
        places.RecordDialogFolder =
            withSeparator(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
    return places;
}

TFilePlaces FilePlaces() { return FilePlaces(BuiltFileLayout()); }

void SetFolderOverride(const QString& folder) { folderOverride = folder; }

QString FolderOverride() { return folderOverride; }
