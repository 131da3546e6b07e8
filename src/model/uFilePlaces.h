// Where the tool keeps its own files: the settings file "UserParaIni.ini", the record database
// "data/record.mdb" and the register dictionary "Dict(Wenlake).csv". Two layouts exist, and the
// build chooses one (the ZYR_INSTALLED_LAYOUT option, which the Debian package sets):
//  - beside the executable (a build folder, an unpacked folder): the settings file and the
//    folder "data" in the executable's folder, the dictionary in the current folder;
//  - per user (installed in /usr/bin, where a user cannot write): the settings file in the
//    user's configuration folder (~/.config/zyrtool), the folder "data" and the dictionary in
//    the user's data folder (~/.local/share/zyrtool), and the record-file dialogs start in the
//    user's documents folder.
// The layout is never guessed from permissions: root can write anywhere.
#pragma once

#include <QString>

extern const char* const SettingsFileName; // "UserParaIni.ini"
extern const char* const RecordDbFileName; // "record.mdb"
extern const char* const DictFileName;     // "Dict(Wenlake).csv"

enum class TFileLayout { BesideExecutable, PerUser };

// The layout this build was made for.
TFileLayout BuiltFileLayout();

struct TFilePlaces {
    QString SettingsFile;       // the settings file
    QString RecordFolder;       // the folder "data", with its trailing separator
    QString RecordDb;           // "record.mdb" in it
    QString DictFile;           // the register dictionary
    QString RecordDialogFolder; // where the record-file dialogs start; empty: where the window says
};

// The places of one layout as they stand now (the executable's folder, the current folder, the
// user's folders of the platform). A folder given with SetFolderOverride takes the place of the
// executable's folder, and of both user folders.
TFilePlaces FilePlaces(TFileLayout layout);
// The places of the built layout.
TFilePlaces FilePlaces();

// --settings-dir: one folder for the settings file and the folder "data" (tests and scripts
// keep a run to a temporary folder with it). Empty gives the layout's own places.
void SetFolderOverride(const QString& folder);
QString FolderOverride();
