// The shared text helpers: zero-padded decimals, bit strings and delimited lists.
#include "model/uDataFunc.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(TextHelpers, ZeroPadDec)
{
    struct Case {
        int64_t value;
        int width;
        const char* text;
    } cases[] = {{0, 5, "00000"},  {40001, 5, "40001"}, {7, 3, "007"},     {123456, 5, "23456"},
                 {65535, 2, "35"}, {5, 0, ""},          {-12, 5, "00-12"}, {99999, 5, "99999"}};
    for (const Case& c : cases)
        EXPECT_EQ(ZeroPadDec(c.value, c.width), QString::fromLatin1(c.text)) << c.value << " " << c.width;
}

TEST(TextHelpers, BinText)
{
    EXPECT_EQ(BinText(0x8001, 15), "1000000000000001");
    EXPECT_EQ(BinText(0xFFFF, 15), "1111111111111111");
    EXPECT_EQ(BinText(0x5, 3), "0101");
    EXPECT_EQ(BinText(0x1F0, 7), "11110000") << "bits above topBit are not shown";
    EXPECT_EQ(BinText(1, 0), "1");
}

struct DelimitedCase {
    const char* text;
    std::vector<const char*> items;
};

TEST(TextHelpers, DelimitedItems)
{
    const DelimitedCase cases[] = {
        {"a,b,c", {"a", "b", "c"}},
        {"40001,Input voltage", {"40001", "Input", "voltage"}}, // blanks separate items too
        {"40001,\"Input voltage\"", {"40001", "Input voltage"}},
        {"  a , b ", {"a", "b"}},
        {"a,,b", {"a", "", "b"}},
        {"a,", {"a", ""}},
        {",a", {"", "a"}},
        {"\"say \"\"hi\"\"\",x", {"say \"hi\"", "x"}},
        {"\"open quote,x", {"open quote,x"}},
        {"\"\"", {""}},
        {"", {}},
        {"   ", {}},
        {"a\tb", {"a", "b"}},
        {"1,2\r\n", {"1", "2"}},
        {"\"a\"b,c", {"a", "b", "c"}},
    };
    for (const DelimitedCase& c : cases) {
        QStringList expected;
        for (const char* i : c.items) expected << QString::fromUtf8(i);
        EXPECT_EQ(DelimitedItems(QString::fromUtf8(c.text), QLatin1Char(',')), expected) << c.text;
    }
}

TEST(TextHelpers, DelimitedFieldPicksOneItem)
{
    const QString line = QStringLiteral("30001,\"Input volt A\",0.1");
    EXPECT_EQ(DelimitedField(line, QLatin1Char(','), 0), "30001");
    EXPECT_EQ(DelimitedField(line, QLatin1Char(','), 1), "Input volt A");
    EXPECT_EQ(DelimitedField(line, QLatin1Char(','), 2), "0.1");
    EXPECT_EQ(DelimitedField(line, QLatin1Char(','), 3), "");
    EXPECT_EQ(DelimitedField(line, QLatin1Char(','), -1), "");
    EXPECT_EQ(DelimitedField(QStringLiteral("a;b"), QLatin1Char(';'), 1), "b");
    EXPECT_EQ(DelimitedField(QString::fromUtf8("地址,名称"), QLatin1Char(','), 1), QString::fromUtf8("名称"));
}

} // namespace

namespace {

TEST(TextHelpers, FieldTextEndsAtZeroOrWidth)
{
    const uint8_t bytes[] = {'A', 'C', 'M', 'E', 0, 'X', 'Y'};
    EXPECT_EQ(FieldText(bytes, 7), QStringLiteral("ACME"));
    EXPECT_EQ(FieldText(bytes, 2), QStringLiteral("AC"));
    const uint8_t latin1[] = {'C', 'a', 'f', 0xE9};
    EXPECT_EQ(FieldText(latin1, 4), QStringLiteral("Café"));
}

TEST(TextHelpers, PutFieldTextOneBytePerCharacter)
{
    struct Case {
        const char* text;  // UTF-8
        const char* bytes; // the six bytes of the field afterwards
    } cases[] = {{"AB", "AB    "},
                 {"ABCDEFGH", "ABCDEF"},
                 {"", "      "},
                 {"é€", "\xE9?    "},
                 {"中文", "??    "},
                 {"\xF0\x9F\x98\x80"
                  "x",
                  "?x    "}};
    for (const Case& c : cases) {
        uint8_t field[8];
        std::memset(field, 0x55, sizeof field);
        PutFieldText(field, 6, QString::fromUtf8(c.text));
        EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(field), 6), QByteArray(c.bytes, 6)) << c.text;
        EXPECT_EQ(field[6], 0x55) << "nothing written past the field";
    }
    uint8_t field[3];
    PutFieldText(field, 3, QString(QChar(0)) + QStringLiteral("A"));
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(field), 3), QByteArray("?A "))
        << "a zero would end the text";
}

} // namespace
