// The password prompt and the guard rules every guarded action goes through.
#include "comm/uFrmCom.h"
#include "model/uLocalPara.h"
#include "support/DialogScript.h"
#include "support/TestSupport.h"
#include "test_comm_pty.h"
#include "ui/uGuard.h"
#include "ui/uPassword.h"

#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace {

// The settings file's section "System" as a test wants it.
enum class FilePsw { Absent, Empty, Secret };

class PasswordTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetAll();
        ASSERT_TRUE(dir.isValid());
        SetSettingsFolderOverride(dir.path());
        SetPswGraceCounter(&grace);
    }
    void TearDown() override
    {
        com.reset();
        SetPswGraceCounter(nullptr);
        SetSettingsFolderOverride(QString());
        ResetAll();
    }
    void writeSystemSection(FilePsw psw)
    {
        QFile f(dir.filePath(QStringLiteral("UserParaIni.ini")));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QByteArray text = "[LocalPara]\nLanguage=0\n";
        if (psw == FilePsw::Empty) text += "[System]\nPassword=\n";
        if (psw == FilePsw::Secret) text += "[System]\nPassword=secret\n";
        f.write(text);
    }
    void openPort()
    {
        ASSERT_TRUE(pty.ok());
        com = std::make_unique<TFrmCom>();
        com->Timer1.stop();
        com->OpenPort(pty.slavePath(), 2400);
        ASSERT_TRUE(com->PortOpen());
    }

    QTemporaryDir dir;
    TestPty pty;
    std::unique_ptr<TFrmCom> com;
    int32_t grace = 0;
};

struct PromptCase {
    const char* name;
    FilePsw file;
    const char* typed;
    TPromptAnswer::How how;
    int verdict;
    const char* entered;  // EnteredPsw after the run
    const char* left;     // text left in edtPsw
    const char* accepted; // AcceptedPsw after the run
};

class PromptTable : public PasswordTest, public ::testing::WithParamInterface<PromptCase> {};

TEST_P(PromptTable, JudgesTheEntry)
{
    const PromptCase& c = GetParam();
    writeSystemSection(c.file);
    AcceptedPsw = QStringLiteral("before");
    DialogScript script;
    script.prompts.push_back({QString::fromUtf8(c.typed), c.how});
    QString left, entered;
    const int verdict = RunPasswordPrompt(nullptr, {}, &left, &entered);
    EXPECT_EQ(verdict == QDialog::Accepted ? 1 : 2, c.verdict) << "1 accepted, 2 refused";
    EXPECT_EQ(entered, QString::fromUtf8(c.entered));
    EXPECT_EQ(left, QString::fromUtf8(c.left));
    EXPECT_EQ(AcceptedPsw, QString::fromUtf8(c.accepted));
    EXPECT_TRUE(script.messages.empty()) << "the prompt itself shows no message";
}

using H = TPromptAnswer;
INSTANTIATE_TEST_SUITE_P(
    Entries, PromptTable,
    ::testing::Values(
        PromptCase{"DefaultPassword", FilePsw::Absent, "tulip", H::Ensure, 1, "tulip", "tulip", "tulip"},
        PromptCase{"BlanksAroundAreTrimmed", FilePsw::Absent, "  tulip  ", H::Ensure, 1, "tulip", "  tulip  ",
                   "tulip"},
        PromptCase{"MasterCodeWithBlanks", FilePsw::Absent, " QDN4172 ", H::Ensure, 1, "QDN4172", " QDN4172 ",
                   "QDN4172"},
        PromptCase{"MasterCodeIsExact", FilePsw::Absent, "qdn4172", H::Ensure, 2, "qdn4172", "qdn4172",
                   "before"},
        PromptCase{"CaseMatters", FilePsw::Absent, "TULIP", H::Ensure, 2, "TULIP", "TULIP", "before"},
        PromptCase{"FilePasswordReplacesTheDefault", FilePsw::Secret, "tulip", H::Ensure, 2, "tulip", "tulip",
                   "before"},
        PromptCase{"FilePassword", FilePsw::Secret, "secret", H::Ensure, 1, "secret", "secret", "secret"},
        PromptCase{"EmptyKeyAcceptsAnEmptyEntry", FilePsw::Empty, "", H::Ensure, 1, "", "", ""},
        PromptCase{"EmptyEntryRefusedByDefault", FilePsw::Absent, "", H::Ensure, 2, "", "", "before"},
        PromptCase{"EnterKeyConfirms", FilePsw::Absent, "tulip", H::EnterKey, 1, "tulip", "tulip", "tulip"},
        PromptCase{"CancelEmptiesTheEdit", FilePsw::Absent, "tulip", H::Cancel, 2, "", "", "before"},
        PromptCase{"CloseKeepsTheEdit", FilePsw::Absent, "tulip", H::Close, 2, "", "tulip", "before"},
        PromptCase{"AtMostTenCharacters", FilePsw::Absent, "tulip12345678", H::Ensure, 2, "tulip12345",
                   "tulip12345", "before"}),
    [](const ::testing::TestParamInfo<PromptCase>& info) { return std::string(info.param.name); });

TEST_F(PasswordTest, PromptReadsThePasswordAtEachCreationAndShowsStars)
{
    writeSystemSection(FilePsw::Secret);
    TfrmPassword first;
    EXPECT_EQ(first.SetPSW, QStringLiteral("secret"));
    EXPECT_EQ(first.edtPsw->echoMode(), QLineEdit::Password);
    EXPECT_EQ(first.edtPsw->maxLength(), 10);
    writeSystemSection(FilePsw::Absent);
    TfrmPassword second;
    EXPECT_EQ(second.SetPSW, QStringLiteral("tulip"));
}

TEST_F(PasswordTest, CaptionsFollowTheLanguageWhenShown)
{
    TfrmPassword p;
    LocalPara.Language = 1;
    p.show();
    EXPECT_EQ(p.windowTitle(), QString::fromUtf8("密码输入"));
    EXPECT_EQ(p.btnSure->text(), QString::fromUtf8("确定"));
    EXPECT_EQ(p.btnCancel->text(), QString::fromUtf8("放弃"));
    p.hide();
    LocalPara.Language = 0;
    p.show();
    EXPECT_EQ(p.windowTitle(), QStringLiteral("Input Password"));
    EXPECT_EQ(p.btnSure->text(), QStringLiteral("Ensure"));
    EXPECT_EQ(p.btnCancel->text(), QStringLiteral("Cancel"));
}

TEST_F(PasswordTest, ACallerMayReplaceThePasswordBeforeTheRun)
{
    writeSystemSection(FilePsw::Secret);
    DialogScript script;
    script.prompts.push_back({QStringLiteral("tulip"), H::Ensure});
    EXPECT_EQ(RunPasswordPrompt(nullptr, [](TfrmPassword& p) { p.SetPSW = QStringLiteral("tulip"); }),
              QDialog::Accepted);
}

// One guarded action: the port (open or not), the grace counter before, the entry, and what
// the guard did.
struct GuardCase {
    const char* name;
    TGuardKind kind;
    bool portOpen;
    int32_t graceBefore;
    const char* typed; // nullptr: no prompt expected
    TPromptAnswer::How how;
    bool allowed;
    int32_t graceAfter;
    const char* message; // "" for none
    const char* title;   // of the message, "" when not checked
};

class GuardTable : public PasswordTest, public ::testing::WithParamInterface<GuardCase> {};

TEST_P(GuardTable, AppliesTheRule)
{
    const GuardCase& c = GetParam();
    writeSystemSection(FilePsw::Absent);
    if (c.portOpen) openPort();
    grace = c.graceBefore;
    DialogScript script;
    if (c.typed) script.prompts.push_back({QString::fromUtf8(c.typed), c.how});
    EXPECT_EQ(GuardAction(nullptr, c.kind), c.allowed);
    EXPECT_EQ(script.promptsShown, c.typed ? 1 : 0);
    EXPECT_EQ(grace, c.graceAfter);
    if (*c.message) {
        ASSERT_EQ(script.messages.size(), 1u);
        EXPECT_EQ(script.messages[0].text, QString::fromUtf8(c.message));
        if (*c.title) {
            EXPECT_EQ(script.messages[0].title, QString::fromUtf8(c.title));
            EXPECT_EQ(script.messages[0].icon, QMessageBox::Warning);
        }
    } else {
        EXPECT_TRUE(script.messages.empty()) << script.messageTexts().join('|').toStdString();
    }
}

using K = TGuardKind;
INSTANTIATE_TEST_SUITE_P(
    Actions, GuardTable,
    ::testing::Values(
        GuardCase{"PortClosed", K::PortAndGrace, false, 0, nullptr, H::Ensure, false, 0, "COM Port is off !",
                  ""},
        GuardCase{"PortClosedEvenInGrace", K::PortAndGrace, false, 30, nullptr, H::Ensure, false, 30,
                  "COM Port is off !", ""},
        GuardCase{"GraceSkipsThePrompt", K::PortAndGrace, true, 5, nullptr, H::Ensure, true, 60, "", ""},
        GuardCase{"Accepted", K::PortAndGrace, true, 0, "tulip", H::Ensure, true, 60, "", ""},
        GuardCase{"Wrong", K::PortAndGrace, true, 0, "nope", H::Ensure, false, 0, "Password is wrong !", ""},
        GuardCase{"CancelSaysNothing", K::PortAndGrace, true, 0, "nope", H::Cancel, false, 0, "", ""},
        GuardCase{"EmptyEntrySaysNothing", K::PortAndGrace, true, 0, "", H::Ensure, false, 0, "", ""},
        GuardCase{"ClosedWithTextSaysWrong", K::PortAndGrace, true, 0, "nope", H::Close, false, 0,
                  "Password is wrong !", ""},
        GuardCase{"MaskNeedsNoPort", K::AlarmMaskMenu, false, 0, "tulip", H::Ensure, true, 60, "", ""},
        GuardCase{"MaskSkipsWhileNotZero", K::AlarmMaskMenu, false, -3, nullptr, H::Ensure, true, 60, "", ""},
        GuardCase{"MaskWrong", K::AlarmMaskMenu, false, 0, "nope", H::Ensure, false, 0,
                  "Password is wrong ! ", "Warning"},
        GuardCase{"MaskCancel", K::AlarmMaskMenu, false, 0, "nope", H::Cancel, false, 0, "", ""},
        GuardCase{"ServiceWordAnyCase", K::ServiceCode, false, 0, "TuLiP", H::Ensure, true, 60, "", ""},
        GuardCase{"ServiceWordDefault", K::ServiceCode, false, 0, "tulip", H::Ensure, true, 60, "", ""},
        GuardCase{"ServiceNeverSkipped", K::ServiceCode, false, 40, "tulip", H::Ensure, true, 60, "", ""},
        GuardCase{"ServiceNotTheMasterCode", K::ServiceCode, false, 0, "QDN4172", H::Ensure, false, 0,
                  "Password is wrong !", ""},
        GuardCase{"ServiceEmpty", K::ServiceCode, false, 0, "", H::Ensure, false, 0, "Password is wrong !",
                  ""}),
    [](const ::testing::TestParamInfo<GuardCase>& info) { return std::string(info.param.name); });

TEST_F(PasswordTest, ServiceWordIgnoresTheVerdict)
{
    // The settings file's password is "secret": the prompt refuses "tulip", the runtime
    // editor still opens because it compares the upper-cased entry itself.
    writeSystemSection(FilePsw::Secret);
    DialogScript script;
    script.prompts.push_back({QStringLiteral("tulip"), H::Ensure});
    EXPECT_TRUE(GuardAction(nullptr, TGuardKind::ServiceCode));
    EXPECT_EQ(AcceptedPsw, QString()) << "the prompt refused the entry, so nothing was accepted";
    script.prompts.push_back({QStringLiteral("secret"), H::Ensure});
    EXPECT_FALSE(GuardAction(nullptr, TGuardKind::ServiceCode));
}

TEST_F(PasswordTest, MaskRefusalInChinese)
{
    writeSystemSection(FilePsw::Absent);
    LocalPara.Language = 1;
    DialogScript script;
    script.prompts.push_back({QStringLiteral("nope"), H::Ensure});
    EXPECT_FALSE(GuardAction(nullptr, TGuardKind::AlarmMaskMenu));
    ASSERT_EQ(script.messages.size(), 1u);
    EXPECT_EQ(script.messages[0].text, QString::fromUtf8("密码错误 ! "));
    EXPECT_EQ(script.messages[0].title, QStringLiteral("Warning"));
}

} // namespace
