// Every guarded button asks for the password at every click: an entry refused, its message
// answered, and the next click on the same button brings the prompt again, in both languages.
#include "app/UFrmMain.h"
#include "comm/uFrmCom.h"
#include "model/uLocalPara.h"
#include "records/uUpsRec.h"
#include "settings/uFrmUpsPara.h"
#include "settings/uModbusConfig.h"
#include "settings/uRunTime.h"
#include "settings/uZyrCfg.h"
#include "support/DialogScript.h"
#include "support/FakeTransport.h"
#include "support/TestSupport.h"
#include "ui/uGraceWindows.h"
#include "ui/uGuard.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <tuple>

namespace {

struct GuardedButton {
    const char* name;
    // Makes and shows the window that holds the button; nullptr for the main window's menu.
    std::function<QWidget*(TFrmMain&)> make;
    const char* button; // a push button of that window, or an action of the main menu
    // One tick of the window's own timer, as it comes while the prompt is in front.
    std::function<void(QWidget*)> tick;
    bool asksFirst; // a question answered Yes comes before the prompt
    const char* refusedEn;
    const char* refusedZh;
};

void PrintTo(const GuardedButton& b, std::ostream* os) { *os << b.name; }

template <class W> std::function<QWidget*(TFrmMain&)> maker()
{
    return [](TFrmMain& main) -> QWidget* { return new W(&main); };
}

template <class W> std::function<void(QWidget*)> ticker(void (W::*handler)())
{
    return [handler](QWidget* w) { (static_cast<W*>(w)->*handler)(); };
}

const GuardedButton guardedButtons[] = {
    {"UpsParaSet", maker<TfrmUpsPara>(), "btnSet", ticker(&TfrmUpsPara::Timer1Timer), false,
     "Password is wrong !", "Password is wrong !"},
    {"ZyrCfgEdit", maker<TfrmZyrCfg>(), "btnEdit", ticker(&TfrmZyrCfg::tmr1Timer), false,
     "Password is wrong !", "Password is wrong !"},
    {"OptionPortSet", maker<TfrmMdbCfg>(), "btnSet", ticker(&TfrmMdbCfg::tmr1Timer), false,
     "Password is wrong !", "Password is wrong !"},
    {"RuntimeSet", maker<TfrmRunTime>(), "btnSet", ticker(&TfrmRunTime::tmr1Timer), false,
     "Password is wrong !", "Password is wrong !"},
    {"RuntimeSetBatt", maker<TfrmRunTime>(), "btnSetBatt", ticker(&TfrmRunTime::tmr1Timer), false,
     "Password is wrong !", "Password is wrong !"},
    {"RuntimeSetFan", maker<TfrmRunTime>(), "btnSetFan", ticker(&TfrmRunTime::tmr1Timer), false,
     "Password is wrong !", "Password is wrong !"},
    {"EraseEventLog", maker<TfrmUpsRec>(), "btnClrRec", ticker(&TfrmUpsRec::tmr1Timer), true,
     "Password is incorrect ! ", "密码不正确! "},
    {"AlarmMaskMenu", nullptr, "mni2003", nullptr, false, "Password is wrong ! ", "密码错误 ! "},
    {"RestoreSettingsMenu", nullptr, "mni2008", nullptr, false, "Password is wrong !", "Password is wrong !"},
};

class GuardButtons : public ::testing::TestWithParam<std::tuple<GuardedButton, int>> {
protected:
    void SetUp() override
    {
        ResetAll();
        ClearGraceWindowProbes();
        ASSERT_TRUE(dir.isValid());
        SetSettingsFolderOverride(dir.path());
        com = std::make_unique<TFrmCom>();
        com->Timer1.stop();
        UseFakeLine(
            *com, [] { return true; }, [](const uint8_t*, int) { return true; });
        main = std::make_unique<TFrmMain>();
        main->tmr1->stop();
        main->show();
    }
    void TearDown() override
    {
        main.reset(); // with the windows it owns
        com.reset();
        SetSettingsFolderOverride(QString());
        ClearGraceWindowProbes();
        ResetAll();
    }
    // The window system makes w the active window (it answers a request in its own time).
    static bool activate(QWidget* w)
    {
        w->activateWindow();
        return QTest::qWaitFor([w] { return QApplication::activeWindow() == w; }, 2000);
    }
    // A click as the operator's mouse gives it: a button that is greyed takes none.
    static void click(QObject* target)
    {
        if (auto* b = qobject_cast<QAbstractButton*>(target))
            QTest::mouseClick(b, Qt::LeftButton);
        else if (auto* a = qobject_cast<QAction*>(target))
            a->trigger();
        // What the window system does after the boxes have gone.
        QCoreApplication::processEvents();
    }

    QTemporaryDir dir;
    std::unique_ptr<TFrmCom> com;
    std::unique_ptr<TFrmMain> main;
};

TEST_P(GuardButtons, ARefusedEntryLeavesTheButtonAskingAgain)
{
    const GuardedButton& row = std::get<0>(GetParam());
    const int language = std::get<1>(GetParam());
    LocalPara.Language = static_cast<uint8_t>(language);
    QWidget* window = row.make ? row.make(*main) : main.get();
    if (auto* rec = qobject_cast<TfrmUpsRec*>(window)) rec->tmr1->stop();
    window->show();
    ASSERT_TRUE(activate(window)) << row.name;
    QObject* target = window->findChild<QObject*>(QLatin1String(row.button));
    ASSERT_NE(target, nullptr) << row.button;

    DialogScript script;
    script.prompts = {{QStringLiteral("nope"), TPromptAnswer::Ensure},
                      {QStringLiteral("nope"), TPromptAnswer::Ensure}};
    if (row.asksFirst)
        script.buttons = {QMessageBox::Yes, QMessageBox::Ok, QMessageBox::Yes, QMessageBox::Ok};
    // The prompt is in front while the operator types, and the window's timer ticks behind it.
    script.whilePromptShown = [&row, window](TfrmPassword* prompt) {
        EXPECT_TRUE(activate(prompt));
        if (row.tick) row.tick(window);
    };

    click(target);
    ASSERT_EQ(script.promptsShown, 1) << "the first click asks";
    const QString refused = QString::fromUtf8(language == 1 ? row.refusedZh : row.refusedEn);
    ASSERT_FALSE(script.messages.empty());
    EXPECT_EQ(script.messages.back().text, refused);
    EXPECT_EQ(PswGraceValue(), 0) << "a refusal starts no grace";
    // The boxes have gone: the desktop gives the activation back to the window they were over.
    ASSERT_TRUE(activate(window));

    click(target);
    EXPECT_EQ(script.promptsShown, 2) << "the click after the refusal asks again";
    EXPECT_EQ(script.messages.back().text, refused);
}

INSTANTIATE_TEST_SUITE_P(Buttons, GuardButtons,
                         ::testing::Combine(::testing::ValuesIn(guardedButtons), ::testing::Values(0, 1)),
                         [](const ::testing::TestParamInfo<std::tuple<GuardedButton, int>>& info) {
                             return std::string(std::get<0>(info.param).name) +
                                    (std::get<1>(info.param) == 1 ? "_zh" : "_en");
                         });

} // namespace
