// Where the tool keeps its files in each layout: beside the executable (a build or unpacked
// folder) and per user (the installed package), with and without --settings-dir; and that the
// settings file, the record database and the dictionary window take their places from that rule.
#include "model/uLocalPara.h"
#include "diag/uFrmDict.h"
#include "model/UShareData.h"
#include "model/uFilePlaces.h"
#include "store/uRecordDb.h"
#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// The user's folders of the platform, pointed into a temporary home for the test.
class FilePlacesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetAll();
        ASSERT_TRUE(home.isValid());
        ASSERT_TRUE(work.isValid());
        for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME"}) saved.append(qgetenv(name));
        qputenv("HOME", QFile::encodeName(home.path()));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath("cfg")));
        qputenv("XDG_DATA_HOME", QFile::encodeName(home.filePath("share")));
        savedName = QCoreApplication::applicationName();
        QCoreApplication::setApplicationName(QStringLiteral("zyrtool"));
        savedCurrent = QDir::currentPath();
        ASSERT_TRUE(QDir::setCurrent(work.path()));
    }
    void TearDown() override
    {
        SetSettingsFolderOverride(QString());
        QDir::setCurrent(savedCurrent);
        QCoreApplication::setApplicationName(savedName);
        const char* names[] = {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME"};
        for (int i = 0; i < 3; ++i) {
            if (saved[i].isNull())
                qunsetenv(names[i]);
            else
                qputenv(names[i], saved[i]);
        }
        ResetAll();
    }

    QString exeFolder() const { return QCoreApplication::applicationDirPath() + QLatin1Char('/'); }

    QTemporaryDir home, work;
    QList<QByteArray> saved;
    QString savedName, savedCurrent;
};

struct PlaceCase {
    const char* name;
    TFileLayout layout;
    bool override;
    // Folders, each as "exe", "cwd", "cfg" (the user's configuration folder), "data" (the
    // user's data folder), "dir" (the --settings-dir folder), "docs" or "" (none).
    const char* settings;
    const char* records;
    const char* dict;
    const char* dialogs;
};

const PlaceCase placeCases[] = {
    {"BesideExecutable", TFileLayout::BesideExecutable, false, "exe", "exe", "cwd", ""},
    {"BesideExecutableSettingsDir", TFileLayout::BesideExecutable, true, "dir", "dir", "cwd", ""},
    {"PerUser", TFileLayout::PerUser, false, "cfg", "data", "data", "docs"},
    {"PerUserSettingsDir", TFileLayout::PerUser, true, "dir", "dir", "dir", "docs"},
};

class FilePlacesRule : public FilePlacesTest, public ::testing::WithParamInterface<PlaceCase> {};

TEST_P(FilePlacesRule, SettingsDatabaseAndDictionary)
{
    const PlaceCase& c = GetParam();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    if (c.override) SetSettingsFolderOverride(dir.path());
    const auto folder = [&](const QString& which) -> QString {
        if (which == "exe") return exeFolder();
        if (which == "cwd") return QDir(work.path()).absolutePath() + "/";
        if (which == "cfg") return home.filePath("cfg/zyrtool/");
        if (which == "data") return home.filePath("share/zyrtool/");
        if (which == "dir") return QDir(dir.path()).absolutePath() + "/";
        if (which == "docs") return home.filePath("Documents/");
        return QString();
    };

    const TFilePlaces p = FilePlaces(c.layout);
    EXPECT_EQ(p.SettingsFile, folder(c.settings) + "UserParaIni.ini");
    EXPECT_EQ(p.RecordFolder, folder(c.records) + "data/");
    EXPECT_EQ(p.RecordDb, folder(c.records) + "data/record.mdb");
    EXPECT_EQ(p.DictFile, folder(c.dict) + "Dict(Wenlake).csv");
    EXPECT_EQ(p.RecordDialogFolder, folder(c.dialogs));
}

INSTANTIATE_TEST_SUITE_P(Layouts, FilePlacesRule, ::testing::ValuesIn(placeCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The settings file code, the record database and the dictionary window all follow the rule
// of the layout this build was made for.
TEST_F(FilePlacesTest, TheFilesFollowTheBuiltLayout)
{
    const TFilePlaces places = FilePlaces();
    EXPECT_EQ(places.SettingsFile, FilePlaces(BuiltFileLayout()).SettingsFile);
    EXPECT_EQ(SettingsFilePath(), places.SettingsFile);
    EXPECT_EQ(RecordDataFolder(), places.RecordFolder);
    EXPECT_EQ(RecordDbPath(), places.RecordDb);

    // A dictionary at the rule's place is the one the window reads.
    QDir().mkpath(QFileInfo(places.DictFile).absolutePath());
    QFile dict(places.DictFile);
    ASSERT_TRUE(dict.open(QIODevice::WriteOnly));
    dict.write("40001,InputVoltageA\n");
    dict.close();
    TfrmDict window;
    ASSERT_TRUE(window.LoadDictionary());
    EXPECT_EQ(window.LookupName(40001, 1), QStringLiteral("InputVoltageA"));
    QFile::remove(places.DictFile);
}

// The per-user folders do not exist before the first run: saving the settings makes them.
TEST_F(FilePlacesTest, SavingMakesAMissingSettingsFolder)
{
    const QString folder = home.filePath("cfg/zyrtool");
    SetSettingsFolderOverride(folder);
    ASSERT_FALSE(QFileInfo::exists(folder));
    LoadLocalPara();
    LocalPara.BaudRate = 9600;
    SaveLocalPara();
    QFile file(folder + "/UserParaIni.ini");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << "the folder and the file were made";
    EXPECT_TRUE(file.readAll().contains("BaudRate=9600"));
}

} // namespace
