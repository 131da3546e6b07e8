// The Setting menu's OPTION port and runtime items, and the views they register for
// --window, over the windows the start-up code creates.
#include "app/UFrmMain.h"
#include "cli/uCmdLine.h"
#include "app/uStartup.h"
#include "model/UShareData.h"
#include "model/uLocalPara.h"
#include "settings/uEdtMdRegist.h"
#include "settings/uModbusConfig.h"
#include "settings/uRunTime.h"
#include "support/DialogScript.h"
#include "support/ProgramRun.h"
#include "support/TestSupport.h"
#include "ui/uViewRegistry.h"

#include <QAction>
#include <QPointer>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

class SettingMenuTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetAll();
        ASSERT_TRUE(dir_.isValid());
        TCmdLine o;
        QString error;
        ASSERT_TRUE(ParseCmdLine({"zyrtool", "--settings-dir", dir_.path()}, o, error));
        startup_ = std::make_unique<TStartup>(o);
        ASSERT_TRUE(startup_->CreateWindows(error)) << error.toStdString();
        startup_->Main()->tmr1->stop();
    }
    void TearDown() override
    {
        startup_.reset();
        SetSettingsFolderOverride(QString());
        ResetAll();
    }

    QTemporaryDir dir_;
    std::unique_ptr<TStartup> startup_;
};

TEST_F(SettingMenuTest, OptionPortItemShowsTheViewMadeAtStartUp)
{
    TFrmMain* w = startup_->Main();
    QPointer<TfrmMdbCfg> made = w->MdbCfgWindow;
    ASSERT_TRUE(made);
    EXPECT_FALSE(made->isVisible());
    EXPECT_TRUE(made->tmr1->isActive());
    w->mni2004->trigger();
    EXPECT_EQ(w->MdbCfgWindow, made) << "the same view, not a second one";
    EXPECT_TRUE(made->isVisible());
    made->close();
    EXPECT_TRUE(OpenRegisteredView(QStringLiteral("frmMdbCfg")));
    EXPECT_TRUE(made->isVisible());
    EXPECT_EQ(FindShownWindow(QStringLiteral("frmMdbCfg")), made.data());
}

TEST_F(SettingMenuTest, RuntimeItemReplacesTheWindowAndShowsANewOneModally)
{
    TFrmMain* w = startup_->Main();
    QPointer<TfrmRunTime> first = w->RunTimeWindow;
    ASSERT_TRUE(first);
    DialogScript script;
    QStringList shown;
    QPointer<QDialog> modal;
    script.otherModal = [&](QDialog* d) {
        shown << QString::fromLatin1(d->metaObject()->className());
        modal = d;
        EXPECT_FALSE(first) << "the earlier window is freed first";
        return int(QDialog::Rejected);
    };
    w->mni2006->trigger();
    EXPECT_EQ(shown, QStringList{"TfrmRunTime"});
    EXPECT_FALSE(modal) << "freed after it closed";
    EXPECT_TRUE(OpenRegisteredView(QStringLiteral("frmRunTime")));
    EXPECT_EQ(shown.size(), 2);
}

// The built program opens each view with --window and takes its picture, in both languages,
// over the demonstration cabinet.
struct ViewShot {
    const char* window;
    int language;
    QSize size;
};

class ViewPicture : public ::testing::TestWithParam<ViewShot> {};

TEST_P(ViewPicture, OpensTheViewAndTakesItsPicture)
{
    const ViewShot& v = GetParam();
    const TProgramRun run = RunViewScreenshot(QLatin1String(v.window), v.language, 5);
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(run.exitCode, 0) << run.errors.toStdString();
    EXPECT_FALSE(run.errors.contains(QLatin1String("not shown"))) << run.errors.toStdString();
    EXPECT_EQ(run.picture.size(), v.size);
}

INSTANTIATE_TEST_SUITE_P(Views, ViewPicture,
                         ::testing::Values(ViewShot{"frmMdbCfg", 0, QSize(320, 140)},
                                           ViewShot{"frmMdbCfg", 1, QSize(320, 140)},
                                           ViewShot{"frmRunTime", 0, QSize(506, 264)},
                                           ViewShot{"frmRunTime", 1, QSize(506, 264)}));

} // namespace
