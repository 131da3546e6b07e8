// Texts of the cabinet's state, alarm and event codes in both languages.
#include "model/UShareData.h"
#include "model/uDataFunc.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace {

struct TextCase {
    int code;
    const char* en;
    const char* zh;
};

class CodeTexts : public ::testing::Test {
protected:
    void SetUp() override { ResetAll(); }
    void TearDown() override { ResetAll(); }

    void check(QString (*text)(int), const std::vector<TextCase>& cases)
    {
        for (const TextCase& c : cases) {
            SCOPED_TRACE(c.code);
            LocalPara.Language = 0;
            EXPECT_EQ(text(c.code), QString::fromUtf8(c.en));
            LocalPara.Language = 1;
            EXPECT_EQ(text(c.code), QString::fromUtf8(c.zh));
            LocalPara.Language = 2; // only 1 means Chinese
            EXPECT_EQ(text(c.code), QString::fromUtf8(c.en));
        }
    }
    static int nonEmptyCodes(QString (*text)(int))
    {
        int n = 0;
        for (int code = -300; code <= 300; ++code)
            if (!text(code).isEmpty()) ++n;
        return n;
    }
};

TEST_F(CodeTexts, States)
{
    check(StateText, {
                         {0, "no link", "未联机"},
                         {1, "Standby Status", "待机状态"},
                         {4, "Online", "市电状态"},
                         {7, "Inverter In Soft Starting", "逆变启动中"},
                         {8, "ECO Status", "经济模式"},
                         {9, "EPO Status", "EPO状态"},
                         {11, "Fault Status", "故障模式"},
                         {12, "", ""},
                         {13, "", ""},
                         {14, "", ""},
                         {15, "no link", "未联机"},
                         {16, "", ""},
                         {17, "", ""},
                         {18, "Communication lost", "通讯中断"},
                         {19, "", ""},
                         {255, "", ""},
                         {-1, "", ""},
                     });
    EXPECT_EQ(nonEmptyCodes(StateText), 14);
}

TEST_F(CodeTexts, Alarms)
{
    check(AlarmText, {
                         {0, "", ""},
                         {1, "Rectifier fault", "整流器故障"},
                         {14, "DC bus unbalance", "正负母线压差大"},
                         {24, "Low battery alarm", "电池电压预告警"},
                         {44, "Initializtion fault", "上电初始化故障"},
                         {50, "Feedback protection", "回馈保护"},
                         {51, "Fire Alarm", "火灾报警"},
                         {55, "Err55", "Err55"},
                         {56, "Eeprom Data Error", "机型错误"},
                         {57, "", ""},
                         {255, "", ""},
                         {-1, "", ""},
                     });
    EXPECT_EQ(nonEmptyCodes(AlarmText), 56);
}

TEST_F(CodeTexts, Events)
{
    check(EventText, {
                         {0, "", ""},
                         {1, "Initializing", "初始化"},
                         {14, "Back Normal", "恢复正常"},
                         {15, "15", "15"},
                         {17, "17", "17"},
                         {19, "19", "19"},
                         {20, "Int. Input Switch Open", "内部输入开关断开"},
                         {24, "Rectifier Current Limt", "整流器限流"},
                         {41, "INV.Invalid Due To Overload", "启动容量不足"},
                         {57, "Module OffLine", "模块移去"},
                         {58, "58", "58"},
                         {255, "255", "255"},
                     });
}

TEST_F(CodeTexts, ModesHaveNoTexts)
{
    for (int language : {0, 1}) {
        LocalPara.Language = static_cast<uint8_t>(language);
        for (int code : {0, 1, 2, 3, 255}) {
            EXPECT_EQ(SupplyModeText(code), QString());
            EXPECT_EQ(InvModeText(code), QString());
        }
    }
}

TEST_F(CodeTexts, LanguageIsTakenAtEachCall)
{
    LocalPara.Language = 1;
    const QString first = EventText(5);
    LocalPara.Language = 0;
    const QString second = EventText(5);
    EXPECT_EQ(first, QString::fromUtf8("在线输出状态"));
    EXPECT_EQ(second, "On Line");
}

TEST(HexWordText, FourUpperCaseDigitsOfTheLowSixteenBits)
{
    const struct {
        uint32_t value;
        const char* text;
    } cases[] = {{0, "0000"},      {0x00FF, "00FF"},  {0xABCD, "ABCD"},     {0x1234, "1234"},
                 {0xFFFF, "FFFF"}, {0x1F00A, "F00A"}, {0xFFFFFFFFu, "FFFF"}};
    for (const auto& c : cases) EXPECT_EQ(HexWord(c.value), QString::fromLatin1(c.text)) << c.value;
}

} // namespace
