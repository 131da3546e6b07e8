// The main window's "Save settings…", "Restore settings…" and "Journal": shown whatever the
// visibility strings say, captioned in both languages, and "Save settings…" end to end over
// a pseudo-terminal with "Restore settings…" behind the password.
#include "model/uSettingsBackup.h"
#include "app/UFrmSaveProgress.h"
#include "comm/uBackupReader.h"
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
#include <QProgressBar>
#include <QPushButton>

#include <set>

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

// The reading behind "Save settings…" shows its progress, block by block, and closes when the
// file is written; Cancel in the middle ends it and writes nothing.
TEST_F(BackupMenuTest, SaveSettingsShowsItsProgressAndCancelWritesNothing)
{
    writeSettings(QString());
    TFrmMain& w = window();
    DialogScript script;
    FileDialogScript files;
    SimProcess sim;
    ASSERT_TRUE(sim.start({"--baud", "19200", "--no-drift"}));
    LinkDriver link;
    ASSERT_TRUE(link.open(sim.link(), 19200));
    const auto shown = [&w]() -> TfrmSaveProgress* {
        auto* p = w.findChild<TfrmSaveProgress*>("frmSaveProgress");
        return p && p->isVisible() ? p : nullptr;
    };
    EXPECT_EQ(shown(), nullptr);

    LocalPara.Language = 1;
    const QString file = dir_.filePath("whole.json");
    files.answers.push_back(file);
    w.mni2007->trigger();
    TfrmSaveProgress* progress = shown();
    ASSERT_NE(progress, nullptr);
    EXPECT_EQ(progress->pbSave->maximum(), TBackupReader::BlockCount());
    EXPECT_EQ(progress->pbSave->value(), 0);
    EXPECT_EQ(progress->btnSaveCancel->text(), QString::fromUtf8("取消"));
    EXPECT_EQ(progress->lblSave->text(), QString::fromUtf8("正在读取机柜 1: 0/8 块"));
    std::set<int> seen;
    ASSERT_TRUE(link.tickUntil(
        [&] {
            if (TfrmSaveProgress* p = shown()) seen.insert(p->pbSave->value());
            return !script.messages.empty();
        },
        600));
    EXPECT_GE(seen.size(), 4u) << "the bar moves with the blocks";
    EXPECT_TRUE(seen.count(0));
    EXPECT_EQ(shown(), nullptr) << "gone once the reading ended";
    EXPECT_TRUE(QFileInfo::exists(file));
    EXPECT_EQ(script.messages[0].icon, QMessageBox::Information);

    // Cancel after the first blocks: no file, no message, and the menu works again.
    LocalPara.Language = 0;
    script.messages.clear();
    const QString cancelled = dir_.filePath("cancelled.json");
    files.answers.push_back(cancelled);
    w.mni2007->trigger();
    progress = shown();
    ASSERT_NE(progress, nullptr);
    EXPECT_EQ(progress->btnSaveCancel->text(), "Cancel");
    ASSERT_TRUE(link.tickUntil([&] { return progress->pbSave->value() >= 2; }, 600));
    EXPECT_EQ(progress->lblSave->text(), QStringLiteral("Reading cabinet 1: %1 of 8 blocks").arg(progress->pbSave->value()));
    progress->btnSaveCancel->click();
    ASSERT_TRUE(link.tickUntil([&] { return !w.BackupReader; }, 100));
    link.tickUntil([] { return false; }, 60); // the blocks that would have come
    EXPECT_FALSE(QFileInfo::exists(cancelled));
    EXPECT_TRUE(script.messages.empty()) << script.messageTexts().join('|').toStdString();
    EXPECT_EQ(shown(), nullptr);
    const QString again = dir_.filePath("again.json");
    files.answers.push_back(again);
    w.mni2007->trigger();
    ASSERT_TRUE(link.tickUntil([&] { return !script.messages.empty(); }, 600));
    EXPECT_TRUE(QFileInfo::exists(again));
}

} // namespace
