#include "model/uLocalPara.h"

#include "model/UShareData.h"
#include "model/uBaudRate.h"
#include "model/uFilePlaces.h"
#include "model/uWarning.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

// The narrow, ASCII case-insensitive class is all the tool needs, and it keeps the file's bytes
// as they are; no wide-character converter (ICU) is wanted. Debian's header keeps the template
// bodies behind SI_IMPLEMENTATION (its library instantiates them); they are instantiated here
// so the reader is built with the same checks as the rest of the tool.
#define SI_NO_CONVERSION
#define SI_IMPLEMENTATION
#include <SimpleIni.h>

#include <string>

namespace {

const char* const Section = "LocalPara";

// A settings file bigger than this is not a settings file; only its beginning is read, so a
// runaway file cannot exhaust the memory at start-up.
constexpr qint64 MaxFileBytes = 4 * 1024 * 1024;

bool writeFailureShown = false;

QString settingsFolder()
{
    QString path = QFileInfo(SettingsFilePath()).absolutePath();
    if (!path.endsWith(QLatin1Char('/'))) path += QLatin1Char('/');
    return path;
}

void configure(CSimpleIniA& ini)
{
    ini.SetUnicode(true);
    ini.SetMultiKey(false);
    ini.SetMultiLine(false);
    // Profile files are written as key=value, without blanks around the sign.
    ini.SetSpaces(false);
}

// Reads as much of the file as makes sense. A missing or unreadable file reads as empty, and
// so every key as its default. False when the file goes on beyond the read limit: it was read
// only in part, and writing it back would destroy the rest.
bool loadFile(CSimpleIniA& ini, const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return true;
    QByteArray bytes = file.read(MaxFileBytes);
    const bool whole = file.atEnd() && file.size() <= MaxFileBytes;
    // The parser stops at a NUL byte; a damaged file may hold sections after one.
    bytes.replace('\0', '\n');
    ini.LoadData(bytes.constData(), static_cast<size_t>(bytes.size()));
    return whole;
}

QString tooBigReason()
{
    return IsChinese() ? QString::fromUtf8("文件超过 %1 MiB，只读入了开头部分").arg(MaxFileBytes >> 20)
                       : QStringLiteral("the file is larger than %1 MiB and was read only in part")
                             .arg(MaxFileBytes >> 20);
}

void showWriteFailure(const QString& path, const QString& reason)
{
    if (writeFailureShown) return;
    writeFailureShown = true;
    const QString file = QDir::toNativeSeparators(path);
    if (IsChinese()) {
        ShowWarning(QString::fromUtf8("设置文件"),
                    QString::fromUtf8("无法写入设置文件\n%1\n(%2)\n本次运行仍使用当前设置，但不会保存。")
                        .arg(file, reason));
    } else {
        ShowWarning(QStringLiteral("Settings file"),
                    QStringLiteral("The settings file cannot be written:\n%1\n(%2)\n"
                                   "The tool goes on with the current settings, but they are not saved.")
                        .arg(file, reason));
    }
}

void writeFile(const CSimpleIniA& ini, const QString& path)
{
    std::string data;
    if (ini.Save(data) < 0) {
        showWriteFailure(path, QStringLiteral("out of memory"));
        return;
    }
    // The user's configuration folder of an installed tool may not exist yet.
    QDir().mkpath(QFileInfo(path).absolutePath());
    // Written beside the old file and renamed over it, so a failed write never leaves half a
    // file; where no new file may be created beside it, the file is written in place.
    QSaveFile file(path);
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly) || file.write(data.data(), static_cast<qint64>(data.size())) < 0 ||
        !file.commit()) {
        showWriteFailure(path, file.errorString());
    }
}

QString readString(const CSimpleIniA& ini, const char* key, const QString& fallback)
{
    const char* value = ini.GetValue(Section, key, nullptr);
    return value ? QString::fromUtf8(value) : fallback;
}

int32_t readInt(const CSimpleIniA& ini, const char* key, int32_t fallback)
{
    const char* text = ini.GetValue(Section, key, nullptr);
    if (!text) return fallback;
    int32_t value = 0;
    return ParseProfileInt(QString::fromUtf8(text), value) ? value : fallback;
}

void setString(CSimpleIniA& ini, const char* key, const QString& value)
{
    // A line break would end the value and start a line of its own in the file.
    QString oneLine = value;
    oneLine.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    ini.SetValue(Section, key, oneLine.toUtf8().constData());
}

void setInt(CSimpleIniA& ini, const char* key, int32_t value)
{
    ini.SetValue(Section, key, std::to_string(value).c_str());
}

} // namespace

void SetSettingsFolderOverride(const QString& folder)
{
    SetFolderOverride(folder);
    writeFailureShown = false;
}

QString ReadProfileString(const char* section, const char* key, const QString& fallback)
{
    CSimpleIniA ini;
    configure(ini);
    loadFile(ini, SettingsFilePath());
    const char* value = ini.GetValue(section, key, nullptr);
    return value ? QString::fromUtf8(value) : fallback;
}

QString SettingsFilePath() { return FilePlaces().SettingsFile; }

bool ParseProfileInt(const QString& text, int32_t& value)
{
    const QString t = text.trimmed();
    int i = 0;
    bool negative = false;
    if (i < t.size() && (t[i] == QLatin1Char('+') || t[i] == QLatin1Char('-'))) {
        negative = t[i] == QLatin1Char('-');
        ++i;
    }
    int base = 10;
    if (i + 1 < t.size() && t[i] == QLatin1Char('0') &&
        (t[i + 1] == QLatin1Char('x') || t[i + 1] == QLatin1Char('X'))) {
        base = 16;
        i += 2;
    }
    if (i >= t.size()) return false;
    // Decimal must stay within the signed range; hexadecimal may use all 32 bits (0xFFFFFFFF
    // is -1), as the profile functions read it.
    const quint64 limit = base == 16 ? 0xFFFFFFFFull : (negative ? 0x80000000ull : 0x7FFFFFFFull);
    quint64 magnitude = 0;
    for (; i < t.size(); ++i) {
        const ushort c = t[i].unicode();
        int digit = -1;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        if (digit < 0) return false;
        magnitude = magnitude * base + digit;
        if (magnitude > limit) return false;
    }
    const uint32_t bits = static_cast<uint32_t>(negative ? (0u - static_cast<uint32_t>(magnitude))
                                                         : static_cast<uint32_t>(magnitude));
    value = static_cast<int32_t>(bits);
    return true;
}

void LoadLocalPara()
{
    LocalPara.AppPath = settingsFolder();
    const QString path = SettingsFilePath();

    CSimpleIniA ini;
    configure(ini);
    const bool whole = loadFile(ini, path);
    if (!whole) showWriteFailure(path, tooBigReason());

    // The first start leaves a file behind that names the port, speed and protocol, so the
    // operator can find and edit it.
    bool added = false;
    auto addMissing = [&](const char* key, const char* defaultText) {
        if (ini.GetValue(Section, key, nullptr)) return;
        ini.SetValue(Section, key, defaultText);
        added = true;
    };
    addMissing("ComName", "COM1");
    addMissing("BaudRate", "2400");
    addMissing("curProtocol", "0");
    addMissing("ModuleNum", "1");
    addMissing("SelectedAddr", "1");
    addMissing("language", "0");
    if (added && whole) writeFile(ini, path);

    LocalPara.ComName = readString(ini, "ComName", QStringLiteral("COM1"));
    LocalPara.BaudRate = readInt(ini, "BaudRate", 2400);
    // A speed no port takes (0, negative, absurd) would leave the port open and silent.
    if (!AcceptsBaudRate(LocalPara.BaudRate)) LocalPara.BaudRate = 2400;
    LocalPara.curProtocol = readInt(ini, "curProtocol", 0);
    LocalPara.ModuleNum = readInt(ini, "ModuleNum", 1);
    LocalPara.SelectedAddr = readInt(ini, "SelectedAddr", 1);
    LocalPara.Language = static_cast<uint8_t>(readInt(ini, "Language", 0) & 0xFF);
    LocalPara.Menu01 = readString(ini, "Menu01", QStringLiteral("1110000"));
    LocalPara.Menu02 = readString(ini, "Menu02", QStringLiteral("1111100"));
    LocalPara.Menu03 = readString(ini, "Menu03", QStringLiteral("1110000"));
    LocalPara.Menu04 = readString(ini, "Menu04", QStringLiteral("1111000"));
    LocalPara.PageSheet = readString(ini, "PageSheet", QStringLiteral("11"));
}

void SaveLocalPara()
{
    const QString path = SettingsFilePath();
    CSimpleIniA ini;
    configure(ini);
    if (!loadFile(ini, path)) {
        // Never saved over: the part beyond the limit would be lost.
        showWriteFailure(path, tooBigReason());
        return;
    }

    setString(ini, "ComName", LocalPara.ComName);
    setInt(ini, "BaudRate", LocalPara.BaudRate);
    setInt(ini, "curProtocol", LocalPara.curProtocol);
    setInt(ini, "ModuleNum", LocalPara.ModuleNum);
    setInt(ini, "SelectedAddr", LocalPara.SelectedAddr);
    setInt(ini, "Language", LocalPara.Language);
    setString(ini, "Menu01", LocalPara.Menu01);
    setString(ini, "Menu02", LocalPara.Menu02);
    setString(ini, "Menu03", LocalPara.Menu03);
    setString(ini, "Menu04", LocalPara.Menu04);
    setString(ini, "PageSheet", LocalPara.PageSheet);
    writeFile(ini, path);
}
