// The settings file: first start, profile-file reading rules, keeping foreign sections, and
// files that cannot be written or are damaged.
#include "model/UShareData.h"
#include "model/uLocalPara.h"
#include "support/TestSupport.h"
#include "ui/uUiSeam.h"

#include "model/uFileWriter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStringEncoder>
#include <QTemporaryDir>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <gtest/gtest.h>

namespace {

class SettingsFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetAll();
        ASSERT_TRUE(dir.isValid());
        SetSettingsFolderOverride(dir.path());
        SetMessageBoxHandler([this](const TMessageBoxRequest& r) {
            messages << r.text;
            return QMessageBox::Ok;
        });
    }
    void TearDown() override
    {
        SetSettingsFolderOverride(QString());
        ResetAll();
    }

    QString path() const { return dir.filePath(QStringLiteral("UserParaIni.ini")); }
    void writeFile(const QByteArray& bytes) const
    {
        QFile f(path());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    QByteArray readFile() const
    {
        QFile f(path());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    // The key names of section "LocalPara" in file order, as spelled in the file.
    QStringList localParaKeys() const
    {
        QStringList keys;
        bool inSection = false;
        for (const QByteArray& raw : readFile().split('\n')) {
            const QString line = QString::fromUtf8(raw).trimmed();
            if (line.startsWith(QLatin1Char('['))) {
                inSection = line.compare(QStringLiteral("[LocalPara]"), Qt::CaseInsensitive) == 0;
            } else if (inSection && line.contains(QLatin1Char('='))) {
                keys << line.section(QLatin1Char('='), 0, 0);
            }
        }
        return keys;
    }
    QString value(const QString& key) const
    {
        bool inSection = false;
        for (const QByteArray& raw : readFile().split('\n')) {
            const QString line = QString::fromUtf8(raw).trimmed();
            if (line.startsWith(QLatin1Char('['))) {
                inSection = line.compare(QStringLiteral("[LocalPara]"), Qt::CaseInsensitive) == 0;
            } else if (inSection &&
                       line.section(QLatin1Char('='), 0, 0).compare(key, Qt::CaseInsensitive) == 0) {
                return line.section(QLatin1Char('='), 1);
            }
        }
        return QStringLiteral("<missing>");
    }

    QTemporaryDir dir;
    QStringList messages;
};

TEST_F(SettingsFile, FirstStartWritesSixKeysDuringLoadAndAllElevenAtSave)
{
    ASSERT_FALSE(QFile::exists(path()));
    LocalPara.Language = 7; // the load must replace it
    LoadLocalPara();

    EXPECT_EQ(localParaKeys(),
              (QStringList{"ComName", "BaudRate", "curProtocol", "ModuleNum", "SelectedAddr", "language"}));
    EXPECT_EQ(value("ComName"), "COM1");
    EXPECT_EQ(value("BaudRate"), "2400");
    EXPECT_EQ(value("curProtocol"), "0");
    EXPECT_EQ(value("ModuleNum"), "1");
    EXPECT_EQ(value("SelectedAddr"), "1");
    EXPECT_EQ(value("language"), "0");

    EXPECT_EQ(LocalPara.ComName, "COM1");
    EXPECT_EQ(LocalPara.BaudRate, 2400);
    EXPECT_EQ(LocalPara.curProtocol, 0);
    EXPECT_EQ(LocalPara.ModuleNum, 1);
    EXPECT_EQ(LocalPara.SelectedAddr, 1);
    EXPECT_EQ(LocalPara.Language, 0);
    EXPECT_EQ(LocalPara.Menu01, "1110000");
    EXPECT_EQ(LocalPara.Menu02, "1111100");
    EXPECT_EQ(LocalPara.Menu03, "1110000");
    EXPECT_EQ(LocalPara.Menu04, "1111000");
    EXPECT_EQ(LocalPara.PageSheet, "11");
    EXPECT_EQ(LocalPara.AppPath, QDir(dir.path()).absolutePath() + "/");

    LocalPara.Language = 1;
    LocalPara.ComName = "COM12";
    SaveLocalPara();
    // The key first written as "language" keeps that spelling; the others follow in order.
    EXPECT_EQ(localParaKeys(),
              (QStringList{"ComName", "BaudRate", "curProtocol", "ModuleNum", "SelectedAddr", "language",
                           "Menu01", "Menu02", "Menu03", "Menu04", "PageSheet"}));
    EXPECT_EQ(value("language"), "1");
    EXPECT_EQ(value("ComName"), "COM12");
    EXPECT_EQ(value("Menu04"), "1111000");
    EXPECT_EQ(value("PageSheet"), "11");
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(SettingsFile, SaveWithoutFileWritesElevenKeysInOrder)
{
    SaveLocalPara();
    EXPECT_EQ(localParaKeys(),
              (QStringList{"ComName", "BaudRate", "curProtocol", "ModuleNum", "SelectedAddr", "Language",
                           "Menu01", "Menu02", "Menu03", "Menu04", "PageSheet"}));
}

TEST_F(SettingsFile, NamesMatchWithoutRegardToCase)
{
    writeFile("[localpara]\ncomname=COM7\nBAUDRATE=9600\nCurProtocol=2\nmoduleNUM=4\nselectedaddr=3\n"
              "LANGUAGE=1\nmenu02=0111100\nPAGESHEET=10\n");
    const QByteArray before = readFile();
    LoadLocalPara();
    EXPECT_EQ(readFile(), before) << "nothing is missing, so the load writes nothing";
    EXPECT_EQ(LocalPara.ComName, "COM7");
    EXPECT_EQ(LocalPara.BaudRate, 9600);
    EXPECT_EQ(LocalPara.curProtocol, 2);
    EXPECT_EQ(LocalPara.ModuleNum, 4);
    EXPECT_EQ(LocalPara.SelectedAddr, 3);
    EXPECT_EQ(LocalPara.Language, 1);
    EXPECT_EQ(LocalPara.Menu02, "0111100");
    EXPECT_EQ(LocalPara.PageSheet, "10");

    LocalPara.BaudRate = 19200;
    SaveLocalPara();
    // Existing keys are replaced where they stand, in their own spelling; none is doubled.
    EXPECT_EQ(localParaKeys(),
              (QStringList{"comname", "BAUDRATE", "CurProtocol", "moduleNUM", "selectedaddr", "LANGUAGE",
                           "menu02", "PAGESHEET", "Menu01", "Menu03", "Menu04"}));
    EXPECT_EQ(value("baudrate"), "19200");
}

// The rules of a profile integer, on a key that takes any value (the speed takes only what a
// port takes, below).
TEST_F(SettingsFile, IntegerValues)
{
    struct Case {
        const char* text;
        int32_t moduleNum;
    };
    const Case cases[] = {
        {"9600", 9600},
        {"0x2580", 9600},
        {"0X2580", 9600},
        {" 4800 ", 4800},
        {"abc", 1},
        {"12abc", 1},
        {"", 1},
        {"0x", 1},
        {"0xG1", 1},
        {"-1", -1},
        {"+1200", 1200},
        {"2147483647", 2147483647},
        {"2147483648", 1},
        {"-2147483648", INT32_MIN},
        {"0xFFFFFFFF", -1},
        {"0x100000000", 1},
        {"１２００", 1}, // full-width digits are not digits here
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        writeFile(QByteArray("[LocalPara]\nModuleNum=") + c.text + "\n");
        LocalPara.ModuleNum = 0;
        LoadLocalPara();
        EXPECT_EQ(LocalPara.ModuleNum, c.moduleNum);
    }
}

TEST_F(SettingsFile, LanguageKeepsTheLowEightBits)
{
    const struct {
        const char* text;
        uint8_t language;
    } cases[] = {{"1", 1}, {"257", 1}, {"0x101", 1}, {"-1", 255}, {"x", 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        writeFile(QByteArray("[LocalPara]\nLanguage=") + c.text + "\n");
        LoadLocalPara();
        EXPECT_EQ(LocalPara.Language, c.language);
    }
}

TEST_F(SettingsFile, MenuStringsAreKeptAsRead)
{
    writeFile("[LocalPara]\nMenu01=abc\nMenu02=10\nMenu03=1110100111\nMenu04=\nPageSheet=1\n");
    LoadLocalPara();
    EXPECT_EQ(LocalPara.Menu01, "abc");
    EXPECT_EQ(LocalPara.Menu02, "10");
    EXPECT_EQ(LocalPara.Menu03, "1110100111");
    EXPECT_EQ(LocalPara.Menu04, "") << "a key that is present but empty is not missing";
    EXPECT_EQ(LocalPara.PageSheet, "1");
    SaveLocalPara();
    EXPECT_EQ(value("Menu01"), "abc");
    EXPECT_EQ(value("Menu02"), "10");
    EXPECT_EQ(value("Menu03"), "1110100111");
    EXPECT_EQ(value("Menu04"), "");
    EXPECT_EQ(value("PageSheet"), "1");
}

TEST_F(SettingsFile, OtherSectionsSurviveASave)
{
    writeFile("; written by hand\n\n[System]\nPassword=secret\n\n[LocalPara]\nComName=COM3\nOwnKey=kept\n\n"
              "[Other]\nx=1\n");
    LoadLocalPara();
    LocalPara.ComName = "COM4";
    LocalPara.Language = 1;
    SaveLocalPara();
    const QString text = QString::fromUtf8(readFile());
    EXPECT_TRUE(text.contains("[System]\nPassword=secret\n")) << qPrintable(text);
    EXPECT_TRUE(text.contains("[Other]\nx=1\n")) << qPrintable(text);
    EXPECT_TRUE(text.contains("; written by hand")) << qPrintable(text);
    EXPECT_EQ(value("OwnKey"), "kept");
    EXPECT_EQ(value("ComName"), "COM4");
    EXPECT_EQ(text.count("[LocalPara]"), 1);
    EXPECT_LT(text.indexOf("[System]"), text.indexOf("[LocalPara]"));
}

TEST_F(SettingsFile, LineBreaksInAValueCannotStartNewLines)
{
    LocalPara.ComName = "COM1\n[System]\nPassword=x";
    SaveLocalPara();
    EXPECT_FALSE(QString::fromUtf8(readFile()).contains("[System]\n"));
    LoadLocalPara();
    EXPECT_EQ(LocalPara.ComName, "COM1 [System] Password=x");
}

TEST_F(SettingsFile, UnwritableFileGivesOneMessageAndKeepsTheValuesInMemory)
{
    // Root may write into any folder, so the folder is placed below a plain file instead.
    QFile plain(dir.filePath("plain"));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    SetSettingsFolderOverride(dir.filePath("plain/sub"));

    LoadLocalPara();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].contains("UserParaIni.ini")) << qPrintable(messages[0]);
    EXPECT_EQ(LocalPara.BaudRate, 2400);
    EXPECT_EQ(LocalPara.ComName, "COM1");

    LocalPara.BaudRate = 9600;
    SaveLocalPara();
    SaveLocalPara();
    EXPECT_EQ(messages.size(), 1) << "the message is shown once per run";
    EXPECT_EQ(LocalPara.BaudRate, 9600);
}

TEST_F(SettingsFile, DamagedFilesAreReadAsFarAsTheyGo)
{
    QByteArray garbage;
    for (int i = 0; i < 4096; ++i) garbage.append(static_cast<char>((i * 131 + 7) % 256));
    const QByteArray hugeLine(1 << 20, 'A');

    // A file that is not text (NUL bytes, control characters) is kept aside as ".bad" and
    // read as empty; text is read as far as it goes.
    const struct {
        const char* name;
        QByteArray bytes;
        int32_t baudRate;
        bool keptAside;
    } cases[] = {
        {"binary garbage", garbage, 2400, true},
        {"garbage, then a section", garbage + "\n[LocalPara]\nBaudRate=1200\n", 2400, true},
        {"NUL byte before the section", QByteArray("x\0y", 3) + "\n[LocalPara]\nBaudRate=4800\n", 2400, true},
        {"huge line, then a section", hugeLine + "\n[LocalPara]\nBaudRate=9600\n", 9600, false},
        {"huge unterminated section name", hugeLine.left(1000).prepend('['), 2400, false},
        {"no section at all", "BaudRate=9600\nComName=COM9\n", 2400, false},
        {"invalid UTF-8 value", "[LocalPara]\nComName=\xff\xfe\x80\nBaudRate=19200\n", 19200, false},
    };
    const QString bad = path() + QStringLiteral(".bad");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(bad);
        writeFile(c.bytes);
        testing::internal::CaptureStderr();
        LoadLocalPara();
        testing::internal::GetCapturedStderr();
        EXPECT_EQ(LocalPara.BaudRate, c.baudRate);
        QFile aside(bad);
        EXPECT_EQ(aside.open(QIODevice::ReadOnly) ? aside.readAll() : QByteArray("<none>"),
                  c.keptAside ? c.bytes : QByteArray("<none>"));
        SaveLocalPara();
        LoadLocalPara();
        EXPECT_EQ(LocalPara.BaudRate, c.baudRate) << "what was read survives its own save";
    }
    EXPECT_TRUE(messages.isEmpty());
}

// A file beyond the read limit was read only in part: saving it would cut it off. It is
// treated as a file that cannot be written: one message, the values kept in memory.
TEST_F(SettingsFile, FileBeyondTheReadLimitIsNeverSavedOver)
{
    const QByteArray big = "[LocalPara]\nBaudRate=9600\n" + QByteArray(5 << 20, '[') + "\n[Tail]\nKey=1\n";
    writeFile(big);
    LoadLocalPara();
    EXPECT_EQ(LocalPara.BaudRate, 9600) << "the beginning is read";
    EXPECT_EQ(LocalPara.ComName, "COM1");
    LocalPara.ComName = QStringLiteral("COM7");
    SaveLocalPara();
    SaveLocalPara();
    EXPECT_EQ(readFile(), big) << "the file is left exactly as it was";
    ASSERT_EQ(messages.size(), 1) << messages.join(" | ").toStdString();
    EXPECT_TRUE(messages[0].contains("4 MiB")) << messages[0].toStdString();
    EXPECT_EQ(LocalPara.ComName, "COM7") << "the values stay in memory";

    // Exactly at the limit the file is whole and is written as usual.
    QByteArray atLimit = "[LocalPara]\nBaudRate=4800\n";
    atLimit += QByteArray((4 << 20) - atLimit.size(), ' ');
    writeFile(atLimit);
    LoadLocalPara();
    SaveLocalPara();
    EXPECT_EQ(value("ComName"), "COM1");
    EXPECT_EQ(messages.size(), 1);
}

// A speed no port takes would leave the port open and silent: it reads as the default.
TEST_F(SettingsFile, SpeedThatNoPortTakesReadsAsTheDefault)
{
    const struct {
        const char* text;
        int32_t speed;
    } cases[] = {{"-5", 2400},       {"0", 2400},          {"999999999", 2400}, {"0x7fffffff", 2400},
                 {"-0x1", 2400},     {"fast", 2400},       {"1200", 1200},      {"19200", 19200},
                 {"115200", 115200}, {"4000000", 4000000}, {"4000001", 2400}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        writeFile(QByteArray("[LocalPara]\nBaudRate=") + c.text + "\n");
        LoadLocalPara();
        EXPECT_EQ(LocalPara.BaudRate, c.speed);
    }
    EXPECT_TRUE(messages.isEmpty());
}

// A settings file that is not text would be overwritten by the defaults: it is kept aside as
// "UserParaIni.ini.bad" first, with a warning on standard error. Text in the encodings the
// reader takes stays where it is.
TEST_F(SettingsFile, FileThatIsNotTextIsKeptAsideBeforeTheDefaultsAreWritten)
{
    QByteArray random(20 * 1024, '\0');
    QRandomGenerator generator(20);
    for (char& c : random) c = static_cast<char>(generator.bounded(256));
    QStringEncoder utf16(QStringConverter::Utf16LE);
    const QByteArray utf16Text = utf16.encode(QStringLiteral("[LocalPara]\r\nComName=COM3\r\n"));
    QStringEncoder gb("GB18030");
    ASSERT_TRUE(gb.isValid());
    const QByteArray gbText = "[LocalPara]\nComName=COM3\n; " + QByteArray(gb.encode(QStringLiteral("机房三号柜"))) + "\n";

    const struct {
        const char* name;
        QByteArray bytes;
        bool keptAside;
    } cases[] = {
        {"20 KB of binary bytes", random, true},
        {"UTF-16 text (NUL bytes)", utf16Text, true},
        {"control characters, no NUL", "[LocalPara]\nComName=COM3\x01\x02\x1b[0m\n", true},
        {"UTF-8 text", "[LocalPara]\nComName=COM3\n; \xE4\xB8\xAD\xE6\x96\x87\n", false},
        {"GB18030 text", gbText, false},
    };
    const QString bad = path() + QStringLiteral(".bad");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(bad);
        writeFile(c.bytes);
        testing::internal::CaptureStderr();
        LoadLocalPara();
        const QString warning = QString::fromStdString(testing::internal::GetCapturedStderr());
        if (c.keptAside) {
            EXPECT_EQ(FileBytes(bad), c.bytes) << "the file is kept as it was";
            EXPECT_TRUE(warning.contains("is not a text file") && warning.contains(bad)) << warning.toStdString();
            EXPECT_EQ(LocalPara.ComName, "COM1");
            EXPECT_EQ(value("ComName"), "COM1") << "the defaults are written in a new file";
        } else {
            EXPECT_FALSE(QFileInfo::exists(bad));
            EXPECT_TRUE(warning.isEmpty()) << warning.toStdString();
            EXPECT_EQ(LocalPara.ComName, "COM3");
        }
    }
    EXPECT_TRUE(messages.isEmpty());
}

// A settings file that is a link is written through it: the file it leads to gets the keys,
// the link stays; a link to a device writes the device and leaves it a device.
TEST_F(SettingsFile, LinkedSettingsFileIsWrittenThroughTheLink)
{
    ASSERT_TRUE(QDir(dir.path()).mkdir("real"));
    const QString real = dir.filePath("real/actual.ini");
    WriteFile(real, "[LocalPara]\nComName=COM5\n[System]\nPassword=abc\n");
    ASSERT_TRUE(QFile::link(real, path()));
    LoadLocalPara();
    EXPECT_EQ(LocalPara.ComName, "COM5");
    LocalPara.ComName = QStringLiteral("COM8");
    SaveLocalPara();
    EXPECT_TRUE(QFileInfo(path()).isSymLink());
    EXPECT_EQ(QFileInfo(path()).symLinkTarget(), real);
    const QByteArray written = FileBytes(real);
    EXPECT_TRUE(written.contains("ComName=COM8")) << written.constData();
    EXPECT_TRUE(written.contains("Password=abc")) << "the other sections are kept";
    EXPECT_EQ(QDir(dir.filePath("real")).entryList(QDir::Files | QDir::Hidden), QStringList{"actual.ini"})
        << "no temporary file left";
    EXPECT_TRUE(messages.isEmpty()) << messages.join(" | ").toStdString();

    // A link to a device: the null device of the system, made here (root only).
    const QString node = dir.filePath("null-device");
    if (::mknod(QFile::encodeName(node).constData(), S_IFCHR | 0666, makedev(1, 3)) != 0) {
        std::printf("the device case is skipped: making a device node needs root (%s)\n", std::strerror(errno));
        return;
    }
    QFile::remove(path());
    ASSERT_TRUE(QFile::link(node, path()));
    SaveLocalPara();
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(node).constData(), &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode)) << "the device is written, never replaced";
    EXPECT_TRUE(QFileInfo(path()).isSymLink());
    EXPECT_TRUE(messages.isEmpty()) << messages.join(" | ").toStdString();
}

// A write that fails half-way (a full disk) leaves the old settings file exactly as it was and
// says which file and why.
TEST_F(SettingsFile, FailedWriteKeepsTheOldFileAndSaysWhy)
{
    writeFile("[LocalPara]\nComName=COM5\nBaudRate=9600\n");
    LoadLocalPara(); // adds the missing keys
    const QByteArray old = readFile();
    ASSERT_TRUE(old.contains("ComName=COM5"));
    SetWriteFaultForTesting([](const QString&, qint64 offset, qint64) { return offset > 0 ? 0 : ENOSPC; });
    LocalPara.ComName = QStringLiteral("COM9");
    SaveLocalPara();
    SetWriteFaultForTesting({});
    EXPECT_EQ(readFile(), old);
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].contains(QDir::toNativeSeparators(path())) &&
                messages[0].contains(QString::fromLocal8Bit(std::strerror(ENOSPC))))
        << messages[0].toStdString();
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"UserParaIni.ini"});
}

TEST(ProfileInt, Parses)
{
    const struct {
        const char* text;
        bool ok;
        int32_t value;
    } cases[] = {{"0", true, 0},     {"-0", true, 0},   {"0x7fffffff", true, INT32_MAX},
                 {"-0x1", true, -1}, {"1 2", false, 0}, {"--1", false, 0},
                 {"0x-1", false, 0}, {" ", false, 0},   {"00012", true, 12}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        int32_t v = 12345;
        EXPECT_EQ(ParseProfileInt(QString::fromUtf8(c.text), v), c.ok);
        if (c.ok) EXPECT_EQ(v, c.value);
    }
}

} // namespace
