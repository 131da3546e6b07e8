// The About box: the typed service code that opens the menu-visibility panel, the checks it
// loads from the settings strings, the strings it writes when it closes, and the main
// window's menu that follows at once.
#include "diag/UFrmAbout.h"

#include "model/UShareData.h"
#include "support/DialogScript.h"
#include "support/ProgramRun.h"
#include "test_main_fixture.h"
#include "ui/uMenuFlags.h"

#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

namespace {

class AboutTest : public MainWindowTest {
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        window(); // its creation loads the settings; the tests set the strings afterwards
    }
    // The main window shown (its menu applied), then a box shown and activated.
    TFrmAbout& box()
    {
        if (!box_) {
            TFrmMain& w = window();
            w.show();
            box_ = std::make_unique<TFrmAbout>(&w);
            box_->show();
            box_->FormActivate();
        }
        return *box_;
    }
    void type(const QString& keys)
    {
        for (QChar c : keys) box().FormKeyPress(c);
    }
    void TearDown() override
    {
        box_.reset();
        MainWindowTest::TearDown();
    }
    std::unique_ptr<TFrmAbout> box_;
};

TEST_F(AboutTest, TheBoxShowsItsLabelAndVersionWithThePanelHidden)
{
    TFrmAbout& b = box();
    EXPECT_EQ(b.windowTitle(), "About");
    EXPECT_EQ(b.Label2->text(), "Ro55 Engineering Software");
    EXPECT_EQ(b.lb_Version->text(), QStringLiteral("Ver: ") + QStringLiteral(ZYR_VERSION));
    EXPECT_TRUE(b.grpSelect->isHidden());
    EXPECT_TRUE(b.edt1->isHidden());
    EXPECT_EQ(b.height(), 280);
    ASSERT_FALSE(b.Image1->pixmap().isNull());
    EXPECT_EQ(b.Image1->pixmap().size(), QSize(305, 73));
}

TEST_F(AboutTest, TypingTheCodeShowsThePanel)
{
    struct Case {
        const char* typed;
        bool panel;
        const char* left; // the text edt1 holds afterwards
    } cases[] = {
        {"tulip", true, "tulip"},
        {"tuli", false, "tuli"},
        {"tulipT", false, ""},    // a capital letter hides the panel and forgets the text
        {"tulip ", false, ""},    // so does a blank
        {"TULIP", false, ""},     // the code is lower case
        {"tu lip", false, "lip"}, // the blank restarted the text
        {"xtulip", false, "xtulip"},
        {"12345678901", false, ""},          // an eleventh character empties the text
        {"12345678901tulip", true, "tulip"}, // and the code still works after it
        {"1234567890", false, "1234567890"},
        {"tulip9", true, "tulip9"}, // the panel stays until another kind of key
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        box_.reset();
        type(QString::fromLatin1(c.typed));
        EXPECT_EQ(!box().grpSelect->isHidden(), c.panel);
        EXPECT_EQ(box().edt1->text(), QString::fromLatin1(c.left));
    }
}

TEST_F(AboutTest, KeysReachTheBoxOnlyWhileNoCheckBoxHoldsTheFocus)
{
    TFrmAbout& b = box();
    b.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&b));
    QTest::keyClicks(&b, "tulip");
    ASSERT_FALSE(b.grpSelect->isHidden());
    // Shift alone types nothing and changes nothing.
    QTest::keyClick(&b, Qt::Key_Shift);
    EXPECT_FALSE(b.grpSelect->isHidden());
    b.chkM21->setFocus();
    ASSERT_EQ(b.focusWidget(), b.chkM21);
    QTest::keyClick(b.chkM21, 'X');
    EXPECT_FALSE(b.grpSelect->isHidden());
    EXPECT_EQ(b.edt1->text(), "tulip");
    b.chkM21->clearFocus();
    ASSERT_EQ(b.focusWidget(), nullptr);
    QTest::keyClick(&b, 'X');
    EXPECT_TRUE(b.grpSelect->isHidden());
    EXPECT_EQ(b.edt1->text(), "");
}

TEST_F(AboutTest, ActivationLoadsTheChecksAndSizesTheWindow)
{
    LocalPara.Menu02 = "1111100";
    LocalPara.Menu03 = "1010X";
    LocalPara.PageSheet = "1"; // one character: the Module page box is unchecked
    TFrmAbout& b = box();
    const std::pair<QCheckBox*, bool> expected[] = {{b.chkM20, true},  {b.chkM21, true},   {b.chkM22, true},
                                                    {b.chkM23, true},  {b.chkM24, true},   {b.chkM30, true},
                                                    {b.chkM31, false}, {b.chkM32, true},   {b.chkM33, false},
                                                    {b.chkM34, false}, {b.chkPSht2, false}};
    for (const auto& [check, on] : expected)
        EXPECT_EQ(check->isChecked(), on) << check->objectName().toStdString();
    type("tulip");
    EXPECT_EQ(b.height(), 280); // the height follows only at the next activation
    b.FormActivate();
    EXPECT_EQ(b.height(), 340);
    EXPECT_EQ(b.edt1->text(), "");
    LocalPara.PageSheet = "11";
    b.LoadMenuChecks();
    EXPECT_TRUE(b.chkPSht2->isChecked());
}

TEST_F(AboutTest, ClosingWithThePanelWritesTheStringsAndAppliesThem)
{
    LocalPara.Menu02 = "1111100";
    TFrmMain& w = window();
    TFrmAbout& b = box();
    EXPECT_TRUE(w.mni2002->isVisible());
    type("tulip");
    b.chkM22->setChecked(false); // "Item 2" of "Setting"
    b.close();
    EXPECT_EQ(LocalPara.Menu02, "1101100");
    EXPECT_EQ(LocalPara.Menu03, "1110000");
    EXPECT_EQ(LocalPara.PageSheet, "11");
    EXPECT_FALSE(w.mni2002->isVisible()); // hidden at once
    EXPECT_TRUE(w.mni2001->isVisible());
    EXPECT_TRUE(b.grpSelect->isHidden());
}

TEST_F(AboutTest, ThePanelWritesOnlyItsOwnCharactersAndPadsShortStrings)
{
    struct Case {
        const char* menu02;
        const char* menu03;
        const char* pageSheet;
        const char* menu02After;
        const char* menu03After;
        const char* pageSheetAfter;
    } cases[] = {
        {"1111111", "0000011", "01", "1011111", "1000011", "00"},
        {"", "", "", "10111", "10000", "00"},
        {"11", "1", "1", "10111", "10000", "10"},
        {"abcdefg", "1110000", "x1", "10111fg", "1000000", "x0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.menu02);
        LocalPara.Menu02 = c.menu02;
        LocalPara.Menu03 = c.menu03;
        LocalPara.PageSheet = c.pageSheet;
        box_.reset();
        TFrmAbout& b = box();
        type("tulip");
        // Settle every box: menus on, first item off, the rest on; Tools all off but its menu.
        for (QCheckBox* check : {b.chkM20, b.chkM22, b.chkM23, b.chkM24}) check->setChecked(true);
        b.chkM21->setChecked(false);
        b.chkM30->setChecked(true);
        for (QCheckBox* check : {b.chkM31, b.chkM32, b.chkM33, b.chkM34, b.chkPSht2})
            check->setChecked(false);
        b.close();
        EXPECT_EQ(LocalPara.Menu02, QString::fromLatin1(c.menu02After));
        EXPECT_EQ(LocalPara.Menu03, QString::fromLatin1(c.menu03After));
        EXPECT_EQ(LocalPara.PageSheet, QString::fromLatin1(c.pageSheetAfter));
    }
    // Checks take effect in the main window as they were written.
    EXPECT_FALSE(window().PageControl1->isTabVisible(window().PageControl1->indexOf(window().TabSheet2)));
    EXPECT_FALSE(window().mni3001->isVisible());
}

TEST_F(AboutTest, ClosingWithoutTheCodeLeavesTheStringsButReappliesThem)
{
    TFrmMain& w = window();
    TFrmAbout& b = box();
    ASSERT_TRUE(w.mni2000->menuAction()->isVisible());
    LocalPara.Menu02 = "0111100"; // changed behind the main window's back
    b.chkM20->setChecked(false);
    b.chkM31->setChecked(true);
    QTest::keyClick(&b, Qt::Key_Escape); // Escape closes the box
    EXPECT_FALSE(b.isVisible());
    EXPECT_EQ(LocalPara.Menu02, "0111100");
    EXPECT_EQ(LocalPara.Menu03, "1110000");
    EXPECT_FALSE(w.mni2000->menuAction()->isVisible());
}

TEST_F(AboutTest, ThePanelStateEndsWithTheBox)
{
    TFrmAbout& b = box();
    type("tulip");
    b.chkM34->setChecked(true);
    type("!"); // any other character hides the panel again: the check is forgotten
    b.close();
    EXPECT_EQ(LocalPara.Menu03, "1110000");
    // Typing the code, then closing: the panel is hidden for the next opening.
    box_.reset();
    type("tulip");
    box().close();
    EXPECT_TRUE(box().grpSelect->isHidden());
}

TEST_F(AboutTest, TheMenuItemOpensAFreshBoxModallyAndFreesIt)
{
    LocalPara.Menu02 = "1111100";
    TFrmMain& w = window();
    w.show();
    DialogScript script;
    QPointer<TFrmAbout> opened;
    int openings = 0;
    script.otherModal = [&](QDialog* d) {
        ++openings;
        opened = qobject_cast<TFrmAbout*>(d);
        EXPECT_FALSE(opened.isNull());
        if (!opened) return int(QDialog::Rejected);
        d->show();
        opened->FormActivate();
        EXPECT_TRUE(opened->grpSelect->isHidden()); // each opening starts with the panel hidden
        QTest::keyClicks(d, "tulip");
        opened->FormActivate();
        opened->chkM22->setChecked(false);
        d->close();
        return d->result();
    };
    w.mni4001->trigger();
    EXPECT_EQ(openings, 1);
    EXPECT_TRUE(opened.isNull());
    EXPECT_EQ(LocalPara.Menu02, "1101100");
    EXPECT_FALSE(w.mni2002->isVisible());
    w.mni4001->trigger();
    EXPECT_EQ(openings, 2);
}

TEST(MenuFlags, CharactersOfAVisibilityString)
{
    struct Case {
        const char* flags;
        int n;
        bool on;
    } reads[] = {{"1111100", 1, true}, {"1111100", 6, false}, {"1111100", 8, false}, {"1", 2, false},
                 {"", 1, false},       {"x1", 2, true},       {"11", 0, false}};
    for (const Case& c : reads)
        EXPECT_EQ(FlagCharOn(QString::fromLatin1(c.flags), c.n), c.on) << c.flags << c.n;

    struct Write {
        const char* before;
        int n;
        bool on;
        const char* after;
    } writes[] = {{"1111100", 3, false, "1101100"}, {"", 2, true, "01"},
                  {"1", 5, true, "10001"},          {"10", 1, true, "10"},
                  {"11", 2, false, "10"},           {"1", 0, true, "1"}};
    for (const Write& w : writes) {
        QString flags = QString::fromLatin1(w.before);
        SetFlagChar(flags, w.n, w.on);
        EXPECT_EQ(flags, QString::fromLatin1(w.after)) << w.before << " " << w.n;
    }
}

} // namespace

namespace {

// `zyrtool --window FrmAbout` opens the box as the menu does, for its picture.
TEST(AboutProgram, TheWindowOptionOpensTheBox)
{
    const TProgramRun run = RunViewScreenshot(QStringLiteral("FrmAbout"), 1, 3);
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_FALSE(run.errors.contains(QLatin1String("not shown"))) << run.errors.toStdString();
    EXPECT_EQ(run.picture.size(), QSize(329, 280));
}

} // namespace
