#include "model/uLocalPara.h"

#include "model/UShareData.h"
#include "model/uBaudRate.h"
#include "model/uFilePlaces.h"
#include "model/uFileWriter.h"
#include "model/uWarning.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

// The narrow, ASCII case-insensitive class is all the tool needs, and it keeps the file's bytes
// as they are; no wide-character converter (ICU) is wanted. Debian's header keeps the template
// bodies behind SI_IMPLEMENTATION (its library instantiates them); they are instantiated here
// so the reader is built with the same checks as the rest of the tool.
#define SI_NO_CONVERSION
#define SI_IMPLEMENTATION
#include <SimpleIni.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

namespace {

const char* const Section = "LocalPara";

// A settings file bigger than this is not a settings file; only its beginning is read, so a
// runaway file cannot exhaust the memory at start-up.
constexpr qint64 MaxFileBytes = 4 * 1024 * 1024;

bool writeFailureShown = false;
// The port of this run only; see SetRunOnlyPort.
QString runOnlyPort;

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

// Text the reader takes: no NUL byte, no control character but tab, line and page ends (and
// the old end-of-file mark), in UTF-8, the system's character set, or the code page of a
// Chinese or a Western Windows (GB18030, windows-1252), where such files are often edited.
bool isText(QByteArray bytes)
{
    if (bytes.contains('\0')) return false;
    if (bytes.startsWith("\xEF\xBB\xBF")) bytes.remove(0, 3);
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != '\f' && c != '\v' && u != 0x1A)
            return false;
    }
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    (void)utf8.decode(bytes);
    if (!utf8.hasError()) return true;
    QStringDecoder local(QStringConverter::System, QStringConverter::Flag::Stateless);
    (void)local.decode(bytes);
    if (!local.hasError()) return true;
    for (const char* codePage : {"GB18030", "windows-1252"}) {
        QStringDecoder decoder(codePage, QStringConverter::Flag::Stateless);
        if (!decoder.isValid()) continue;
        (void)decoder.decode(bytes);
        if (!decoder.hasError()) return true;
    }
    return false;
}

enum class TLoad {
    Whole,     // read whole (or missing): may be written back
    Partly,    // larger than the read limit: never written back
    NotText,   // binary and still in place (it could not be moved aside): never written back
    KeptAside, // binary, moved to ".bad": the defaults are used and written
};

// Moves a settings file that is not text out of the way, so the defaults written next do not
// destroy what it holds; the operator is told on standard error. False when it cannot be moved.
bool keepAside(const QString& path)
{
    const QString aside = path + QStringLiteral(".bad");
    std::error_code ec;
    std::filesystem::rename(std::filesystem::path(path.toStdU16String()),
                            std::filesystem::path(aside.toStdU16String()), ec);
    if (ec) {
        std::fprintf(stderr, "zyrtool: the settings file %s is not a text file and cannot be kept aside (%s); "
                             "it is left as it is and not written\n",
                     qPrintable(QDir::toNativeSeparators(path)), ec.message().c_str());
        return false;
    }
    std::fprintf(stderr, "zyrtool: the settings file %s is not a text file; it is kept as %s and the defaults "
                         "are used\n",
                 qPrintable(QDir::toNativeSeparators(path)), qPrintable(QDir::toNativeSeparators(aside)));
    return true;
}

// Reads as much of the file as makes sense. A missing or unreadable file reads as empty, and
// so every key as its default. A file larger than the read limit is read only in part, and
// writing it back would destroy the rest. A regular file that is not text is moved aside when
// the caller is about to write (mayMoveAside), and read as empty.
TLoad loadFile(CSimpleIniA& ini, const QString& path, bool mayMoveAside = false)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return TLoad::Whole;
    QByteArray bytes = file.read(MaxFileBytes);
    const bool whole = file.atEnd() && file.size() <= MaxFileBytes;
    if (QFileInfo(path).isFile() && !isText(bytes)) {
        file.close();
        if (!mayMoveAside) return TLoad::NotText;
        return keepAside(path) ? TLoad::KeptAside : TLoad::NotText;
    }
    // The parser stops at a NUL byte; a damaged file may hold sections after one.
    bytes.replace('\0', '\n');
    ini.LoadData(bytes.constData(), static_cast<size_t>(bytes.size()));
    return whole ? TLoad::Whole : TLoad::Partly;
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
    // file; through a link to the file it leads to.
    TFileWriter file(path);
    if (!file.Open() || !file.Write(data.data(), static_cast<qint64>(data.size())) || !file.Commit())
        showWriteFailure(path, file.Reason());
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

void SetRunOnlyPort(const QString& port) { runOnlyPort = port.trimmed(); }

bool IsRunOnlyPort(const QString& port)
{
    if (runOnlyPort.isEmpty()) return false;
    const QString name = port.trimmed();
    if (name == runOnlyPort) return true;
    // The same device under another spelling (a link, "..", a doubled slash).
    const QString device = QFileInfo(name).canonicalFilePath();
    return !device.isEmpty() && device == QFileInfo(runOnlyPort).canonicalFilePath();
}

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
    const TLoad load = loadFile(ini, path, true);
    if (load == TLoad::Partly) showWriteFailure(path, tooBigReason());
    const bool whole = load == TLoad::Whole || load == TLoad::KeptAside;

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
    // Line-speed mode; nothing is written when the key is missing.
    LocalPara.FastLine = readInt(ini, "FastLine", 0) != 0;
}

void SaveLocalPara()
{
    const QString path = SettingsFilePath();
    CSimpleIniA ini;
    configure(ini);
    const TLoad load = loadFile(ini, path, true);
    if (load == TLoad::Partly) {
        // Never saved over: the part beyond the limit would be lost.
        showWriteFailure(path, tooBigReason());
        return;
    }
    if (load == TLoad::NotText) return;

    const bool runOnly = IsRunOnlyPort(LocalPara.ComName);
    if (!runOnly) {
        setString(ini, "ComName", LocalPara.ComName);
        setInt(ini, "BaudRate", LocalPara.BaudRate);
        setInt(ini, "curProtocol", LocalPara.curProtocol);
    }
    setInt(ini, "ModuleNum", LocalPara.ModuleNum);
    if (!runOnly) setInt(ini, "SelectedAddr", LocalPara.SelectedAddr);
    setInt(ini, "Language", LocalPara.Language);
    setString(ini, "Menu01", LocalPara.Menu01);
    setString(ini, "Menu02", LocalPara.Menu02);
    setString(ini, "Menu03", LocalPara.Menu03);
    setString(ini, "Menu04", LocalPara.Menu04);
    setString(ini, "PageSheet", LocalPara.PageSheet);
    // The line-speed key appears once the mode is chosen; a file that never had it keeps its
    // eleven keys.
    if (LocalPara.FastLine || ini.GetValue(Section, "FastLine", nullptr))
        setInt(ini, "FastLine", LocalPara.FastLine ? 1 : 0);
    writeFile(ini, path);
}
