// The main window's "Save settings…", "Restore settings…" and "Journal": shown whatever the
// visibility strings say, captioned in both languages, and "Save settings…" end to end over
// a pseudo-terminal with "Restore settings…" behind the password.
#include "model/uSettingsBackup.h"
#include "settings/uFrmRestore.h"
#include "simharness/LinkDriver.h"
#include "simharness/SimHarness.h"
#include "support/DialogScript.h"
#include "support/FileDialogScript.h"
#include "test_main_fixture.h"
#include "ui/uGuard.h"

#include <QAction>
#include <QLabel>
#include <QMenu>

using namespace simtest;

namespace {

using BackupMenuTest = MainWindowTest;

TEST_F(BackupMenuTest, ItemsShownWhateverTheVisibilityStringsInBothLanguages)
{
    writeSettings(QStringLiteral("Menu02=1000000\nMenu03=1000000\n"));
    TFrmMain& w = window();
    w.ApplyMenuVisibility();
    EXPECT_FALSE(w.mni2001->isVisible());
    EXPECT_TRUE(w.mni2007->isVisible());
    EXPECT_TRUE(w.mni2008->isVisible());
    EXPECT_FALSE(w.mni3001->isVisible());
    EXPECT_TRUE(w.mni3006->isVisible());
    EXPECT_EQ(w.mni2007->parent(), w.mni2000);
    EXPECT_EQ(w.mni3006->parent(), w.mni3000);
    w.ApplyCaptions();
    EXPECT_EQ(w.mni2007->text(), QString::fromUtf8("Save settings…"));
    EXPECT_EQ(w.mni2008->text(), QString::fromUtf8("Restore settings…"));
    EXPECT_EQ(w.mni3006->text(), "Journal");
    LocalPara.Language = 1;
    w.ApplyCaptions();
    EXPECT_EQ(w.mni2007->text(), QString::fromUtf8("保存设置…"));
    EXPECT_EQ(w.mni2008->text(), QString::fromUtf8("恢复设置…"));
    EXPECT_EQ(w.mni3006->text(), QString::fromUtf8("服务日志"));
}

TEST_F(BackupMenuTest, SaveSettingsWritesTheBackupAndRestoreAsksThePasswordFirst)
{
    writeSettings(QString());
    TFrmMain& w = window();
    DialogScript script;
    FileDialogScript files;

    // With the port closed nothing is read and no file is asked for.
    w.mni2007->trigger();
    EXPECT_EQ(script.messageTexts(), QStringList{"COM Port is off !"});
    EXPECT_TRUE(files.asked.empty());

    SimProcess sim;
    ASSERT_TRUE(sim.start({"--baud", "19200", "--no-drift"}));
    LinkDriver link;
    ASSERT_TRUE(link.open(sim.link(), 19200));
    const QString file = dir_.filePath("saved.json");
    files.answers.push_back(file);
    w.mni2007->trigger();
    ASSERT_EQ(files.asked.size(), 1u);
    EXPECT_TRUE(files.asked[0].save);
    EXPECT_EQ(files.asked[0].filter, "*.json");
    ASSERT_TRUE(link.tickUntil([&] { return script.messages.size() == 2; }, 600));
    EXPECT_TRUE(script.messages[1].text.contains("saved.json")) << script.messages[1].text.toStdString();
    TSettingsBackup backup;
    ASSERT_TRUE(ParseBackupJson(FileBytes(file), backup, nullptr));
    EXPECT_EQ(backup.registers.at(51024), 2);
    EXPECT_EQ(backup.type, "ZYR");

    // Restore: a cancelled prompt asks for no file.
    script.prompts.push_back({QString(), TPromptAnswer::Cancel});
    w.mni2008->trigger();
    EXPECT_EQ(script.promptsShown, 1);
    EXPECT_EQ(files.asked.size(), 1u);
    // The password, then the file, then the window with it.
    script.prompts.push_back({QStringLiteral("tulip"), TPromptAnswer::Ensure});
    files.answers.push_back(file);
    QString shown;
    script.otherModal = [&](QDialog* d) {
        if (auto* r = qobject_cast<TfrmRestore*>(d)) shown = r->lblFile->text();
        return int(QDialog::Rejected);
    };
    w.mni2008->trigger();
    EXPECT_EQ(script.promptsShown, 2);
    ASSERT_EQ(files.asked.size(), 2u);
    EXPECT_FALSE(files.asked[1].save);
    EXPECT_TRUE(shown.contains("saved.json")) << shown.toStdString();
}

} // namespace
