#include "model/uSettingsBackup.h"

#include "model/UShareData.h"
#include "model/uCabinetValues.h"
#include "model/uDataFunc.h"
#include "model/uFileWriter.h"
#include "model/uRegisters.h"
#include "model/uUpsInfo.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

namespace {

constexpr int FormatVersion = 1;
const char* const FormatName = "zyrtool settings backup";

struct TNameRow {
    int reg;
    const char* en;
    const char* zh;
};

// The names the windows show for the registers they write: the UPS parameters window and
// the data set window, the configuration editor, the alarm-mask window, the OPTION-port view
// and the runtime counters.
const TNameRow NameRows[] = {
    {40002, "Parallel ID", "并机系统ID"},
    {40003, "Module Number", "内部模块个数"},
    {40004, "Work Mode", "工作模式"},
    {40005, "System Voltage Level(V)", "系统电压等级(V)"},
    {40006, "System Frequency Level(Hz)", "系统频率等级(Hz)"},
    {40007, "System Parallel Amount", "系统并机台数"},
    {40011, "Bypass Frequency Range", "旁路频率跟踪范围"},
    {40012, "Bypass Volt Upper Limit", "旁路电压上限"},
    {40013, "Bypass Volt lower Limit", "旁路电压下限"},
    {40014, "Invert-Volt adjustment", "逆变电压微调"},
    {40015, "Battery Number", "电池节数"},
    {40017, "Battery Group", "电池组数"},
    {40018, "Boost upper limit Volt.(V/Cell)", "均充电压上限(V/Cell)"},
    {40019, "Float base Volt.(V/Cell)", "浮充基准电压(V/Cell)"},
    {40020, "EOD Volt(V/Cell)", "EOD电压(V/Cell)"},
    {40021, "Single Battery Capability(AH)", "单节电池容量(AH)"},
    {40022, "Shutdown PreAlarm Time(min)", "关机预报警时间(分钟)"},
    {40023, "Max Charge current(A)", "最大充电电流(A)"},
    {40024, "Power Walk In(Sec)", "Power Walk In(秒)"},
    {40025, "Boost Last Time(min)", "均充持续时间(分钟)"},
    {40027, "Staus Control", "状态控制位"},
    {40028, "Charge Volt. Revise(V/Cell)", "浮充电压温度补偿系数(V/Cell)"},
    {40029, "Operate Mode", "操作模式"},
    {40030, "Grid-connected Power(%)", "并网功率(%)"},
    {40034, "Power Distribution", "配电方式"},
    {40035, "Power Shift Delay(Sec)", "供电切换延时(秒)"},
    {RegMaskFirst + 0, "UPS State1", "整机状态位信息1"},
    {RegMaskFirst + 1, "UPS State2", "整机状态位信息2"},
    {RegMaskFirst + 2, "UPS State3", "整机状态位信息3"},
    {RegMaskFirst + 3, "UPS State4", "整机状态位信息4"},
    {RegMaskFirst + 4, "UPS Alarm1", "整机告警位信息1"},
    {RegMaskFirst + 5, "UPS Alarm2", "整机告警位信息2"},
    {RegMaskFirst + 6, "UPS Alarm3", "整机告警位信息3"},
    {RegMaskFirst + 7, "UPS Alarm4", "整机告警位信息4"},
    {RegMaskFirst + 8, "Monitor System State", "监控系统状态位信息"},
    {RegMaskFirst + 9, "Monitor System Alarm", "监控系统告警位信息"},
    {RegOptBaud, "Baud Rate", "波特率"},
    {RegOptProtocol, "Protocol", "通讯协议"},
    {RegRectTimeLimit, "Rectifier Time limit(hour)", "运行时间报警上限(小时)"},
    {RegUpsRunTimeCfg, "Rectifier Elapsed time(hour)", "UPS已运行时间(小时)"},
    {RegBattTimeLimit, "Battery Time limit(hour)", "电池时间上限(小时)"},
    {RegBattRunTime, "Battery Elapsed time(hour)", "电池已运行时间(小时)"},
    {RegFanTimeLimit, "Fan Time limit(hour)", "风扇时间上限(小时)"},
    {RegFanRunTime, "Fan Elapsed time(hour)", "风扇已运行时间(小时)"},
    {RegBroadCast, "Type of Inside Common", "内部通讯方式"},
    {RegRemote, "Remote Control", "远程控制"},
    {RegPwrRat, "Power Rating Type", "额定功率模式"},
    {RegMdType, "Module Type", "模块类型"},
    {RegConfirm, "Count of Confirmation for Module Status", "模块状态确认计数"},
    {RegBtCalcBy, "The Data of Battery calculated by", "电池数据的计算者为"},
};

// The company name and the UPS model are one character per register.
constexpr int CompanyFirst = RegCompanyFirst, CompanyLast = RegCompanyFirst + CompanyLength - 1,
              ModelFirst = RegModelFirst, ModelLast = RegModelFirst + ModelLength - 1;

// The first key that appears twice in one object of the JSON text, empty when none does. The
// parser keeps the last of such keys in silence, so a file edited by hand could hold two
// values for one register and restore the one nobody looked at. The text parsed before, so
// the scan only has to tell keys from values.
QString firstDuplicateKey(const QByteArray& json)
{
    struct TLevel {
        bool object;
        bool expectKey;
        QSet<QString> keys;
    };
    std::vector<TLevel> levels;
    for (int i = 0; i < json.size(); ++i) {
        const char c = json.at(i);
        if (c == '{' || c == '[') {
            levels.push_back({c == '{', c == '{', {}});
        } else if (c == '}' || c == ']') {
            if (!levels.empty()) levels.pop_back();
        } else if (c == ',') {
            if (!levels.empty() && levels.back().object) levels.back().expectKey = true;
        } else if (c == '"') {
            int end = i + 1;
            while (end < json.size() && json.at(end) != '"') end += json.at(end) == '\\' ? 2 : 1;
            if (!levels.empty() && levels.back().object && levels.back().expectKey) {
                // The key as the parser reads it, escapes decoded.
                const QJsonArray one = QJsonDocument::fromJson("[" + json.mid(i, end - i + 1) + "]").array();
                const QString key = one.isEmpty() ? QString::fromUtf8(json.mid(i + 1, end - i - 1)) : one.at(0).toString();
                if (levels.back().keys.contains(key)) return key;
                levels.back().keys.insert(key);
                levels.back().expectKey = false;
            }
            i = end;
        }
    }
    return {};
}

} // namespace

const std::vector<TBackupBlock>& BackupBlocks()
{
    static const std::vector<TBackupBlock> blocks = {
        {3, RegParaFirst, ParaBlockCount, "UPS parameters 40001-40035"},
        {3, RegTextFirst, TextBlockCount, "cabinet configuration 53000-53029"},
        {3, RegCfgRegsFirst, CfgRegsBlockCount, "cabinet configuration 51201-51208"},
        {3, RegMaskFirst, MaskWordCount, "alarm masks 40082-40091"},
        {3, RegOptFirst, OptBlockCount, "OPTION port 51021-51030"},
        {3, RegRunTimeFirst, RunTimeBlockCount, "runtime counters 51051-51066"},
        {FuncIdentification, 1, 0, "identification object 1"},
        {FuncIdentification, 2, 0, "identification object 2"},
    };
    return blocks;
}

void ReadIdentification(const TCabinetValues& values, TSettingsBackup& backup)
{
    backup.type = values.TypeText();
    backup.rating = values.Rating();
    backup.version = values.VersionText();
}

TRegisterName BackupRegisterName(int reg)
{
    for (const TNameRow& r : NameRows)
        if (r.reg == reg) return {QString::fromUtf8(r.en), QString::fromUtf8(r.zh)};
    if (reg >= CompanyFirst && reg <= CompanyLast)
        return {QStringLiteral("Company Name %1").arg(reg - CompanyFirst + 1),
                QStringLiteral("公司名称 %1").arg(reg - CompanyFirst + 1)};
    if (reg >= ModelFirst && reg <= ModelLast)
        return {QStringLiteral("UPS Model %1").arg(reg - ModelFirst + 1),
                QStringLiteral("UPS型号 %1").arg(reg - ModelFirst + 1)};
    return {};
}

QString BackupRegisterCaption(int reg)
{
    const TRegisterName n = BackupRegisterName(reg);
    const QString& text = IsChinese() ? n.zh : n.en;
    return text.isEmpty() ? QString::number(reg) : text;
}

bool IsElapsedCounter(int reg)
{
    return reg == RegUpsRunTimeCfg || reg == RegBattRunTime || reg == RegFanRunTime;
}

bool IsBackupRegister(int reg)
{
    for (const TBackupBlock& b : BackupBlocks())
        if (b.func == 3 && reg >= b.startReg && reg < b.startReg + b.count) return true;
    return false;
}

QByteArray BackupJson(const TSettingsBackup& b)
{
    QJsonObject cabinet;
    cabinet.insert(QStringLiteral("address"), b.address);
    cabinet.insert(QStringLiteral("type"), b.type);
    cabinet.insert(QStringLiteral("rating"), b.rating);
    cabinet.insert(QStringLiteral("version"), b.version);
    QJsonObject registers;
    QJsonObject names;
    for (const auto& [reg, value] : b.registers) {
        const QString key = QString::number(reg);
        registers.insert(key, int(value));
        const TRegisterName n = BackupRegisterName(reg);
        if (!n.en.isEmpty()) names.insert(key, n.en);
    }
    QJsonObject root;
    root.insert(QStringLiteral("format"), QString::fromLatin1(FormatName));
    root.insert(QStringLiteral("formatVersion"), FormatVersion);
    root.insert(QStringLiteral("cabinet"), cabinet);
    // Local time with its offset from UTC, so the file tells the moment unambiguously.
    const QDateTime t = b.takenAt.toOffsetFromUtc(b.takenAt.offsetFromUtc());
    root.insert(QStringLiteral("time"), t.toString(Qt::ISODate));
    root.insert(QStringLiteral("registers"), registers);
    root.insert(QStringLiteral("names"), names);
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

bool ParseBackupJson(const QByteArray& json, TSettingsBackup& out, QString* error)
{
    auto fail = [&](const QString& why) {
        if (error) *error = why;
        return false;
    };
    QJsonParseError e{};
    const QJsonDocument doc = QJsonDocument::fromJson(json, &e);
    if (e.error != QJsonParseError::NoError || !doc.isObject())
        return fail(QStringLiteral("not a JSON object (%1)").arg(e.errorString()));
    const QJsonObject root = doc.object();
    if (const QString twice = firstDuplicateKey(json); !twice.isEmpty())
        return fail(QStringLiteral("the key \"%1\" appears twice").arg(twice));
    const QJsonValue regsValue = root.value(QStringLiteral("registers"));
    if (!regsValue.isObject() || regsValue.toObject().isEmpty())
        return fail(QStringLiteral("no \"registers\" object"));
    TSettingsBackup b;
    const QJsonObject cabinet = root.value(QStringLiteral("cabinet")).toObject();
    b.address = cabinet.value(QStringLiteral("address")).toInt(1);
    b.type = cabinet.value(QStringLiteral("type")).toString();
    b.rating = cabinet.value(QStringLiteral("rating")).toInt();
    b.version = cabinet.value(QStringLiteral("version")).toString();
    b.takenAt = QDateTime::fromString(root.value(QStringLiteral("time")).toString(), Qt::ISODate);
    const QJsonObject regs = regsValue.toObject();
    for (auto it = regs.begin(); it != regs.end(); ++it) {
        bool ok = false;
        const int reg = it.key().toInt(&ok);
        if (!ok || reg < 1 || reg > 65535 || it.key() != QString::number(reg))
            return fail(QStringLiteral("\"%1\" is not a register number").arg(it.key()));
        // A backup holds the blocks the tool reads and nothing else; any other register was put
        // there by hand or by another program, and what it means on this cabinet is not known.
        if (!IsBackupRegister(reg))
            return fail(QStringLiteral("register %1 is not one of the settings a backup holds").arg(reg));
        const double v = it.value().toDouble(-1);
        if (!it.value().isDouble() || v < 0 || v > 65535 || v != double(int(v)))
            return fail(QStringLiteral("register %1 holds no value from 0 to 65535").arg(reg));
        b.registers[reg] = static_cast<uint16_t>(v);
    }
    out = b;
    return true;
}

bool WriteFileWhole(const QString& path, const QByteArray& bytes, QString* error)
{
    return TFileWriter::WriteWhole(path, bytes, error);
}
