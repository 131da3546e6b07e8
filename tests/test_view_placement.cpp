// The views the main window opens without a modal loop come up centred on it, never on its menu
// bar, and Escape closes each of them.
#include "app/UFrmMain.h"
#include "cli/uCmdLine.h"
#include "app/uStartup.h"
#include "model/uLocalPara.h"
#include "support/TestSupport.h"
#include "ui/uViewRegistry.h"

#include <QPointer>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>

namespace {

class ViewPlacement : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override
    {
        ResetAll();
        ASSERT_TRUE(dir.isValid());
        TCmdLine options;
        QString error;
        ASSERT_TRUE(ParseCmdLine({"zyrtool", "--settings-dir", dir.path()}, options, error));
        startup = std::make_unique<TStartup>(options);
        ASSERT_TRUE(startup->CreateWindows(error)) << error.toStdString();
        startup->Start(); // the main window centred on the desktop
        startup->Main()->tmr1->stop();
    }
    void TearDown() override
    {
        startup.reset();
        SetSettingsFolderOverride(QString());
        ResetAll();
    }

    QTemporaryDir dir;
    std::unique_ptr<TStartup> startup;
};

TEST_P(ViewPlacement, OpensCentredOnTheMainWindowAndEscapeClosesIt)
{
    TFrmMain* main = startup->Main();
    const QString name = QString::fromLatin1(GetParam());
    ASSERT_TRUE(OpenRegisteredView(name));
    QWidget* view = FindShownWindow(name);
    ASSERT_NE(view, nullptr) << GetParam();
    ASSERT_NE(view, static_cast<QWidget*>(main));

    const QRect room = main->screen()->availableGeometry();
    const QRect at = view->frameGeometry();
    if (at.width() <= room.width() && at.height() <= room.height()) {
        const QPoint off = at.center() - main->frameGeometry().center();
        EXPECT_LE(off.manhattanLength(), 4)
            << GetParam() << " off the main window's centre by " << off.x() << "," << off.y();
    } else {
        // Bigger than the screen: its title bar stays on it, over the main window.
        EXPECT_TRUE(room.contains(at.topLeft())) << GetParam();
        EXPECT_TRUE(at.contains(main->frameGeometry().center())) << GetParam();
    }

    // Opened again while open: brought to the front where the operator left it.
    view->move(at.topLeft() + QPoint(13, 7));
    ASSERT_TRUE(OpenRegisteredView(name));
    EXPECT_EQ(view->frameGeometry().topLeft(), at.topLeft() + QPoint(13, 7));

    ASSERT_TRUE(QTest::qWaitForWindowActive(view, 2000)) << GetParam();
    const QPointer<QWidget> shown = view; // a view freed at its close is gone after Escape
    QTest::keyClick(view, Qt::Key_Escape);
    EXPECT_TRUE(!shown || !shown->isVisible()) << GetParam() << " stays open after Escape";
    EXPECT_TRUE(main->isVisible());
}

INSTANTIATE_TEST_SUITE_P(Views, ViewPlacement,
                         ::testing::Values("frmUpsPara", "frmMdbCfg", "frmUpsRec", "frmTrend", "frmJournal",
                                           "frmTrack", "frmMdbView", "frmViewMdbuff", "frmDict"),
                         [](const ::testing::TestParamInfo<const char*>& i) { return std::string(i.param); });

} // namespace
