#include "model/uDataFunc.h"

#include "model/UShareData.h"

QString LangText(const char* en, const char* zh) { return QString::fromUtf8(IsChinese() ? zh : en); }

QString HexWord(uint32_t value)
{
    // Built digit by digit: the live view writes ten of these every refresh.
    static const char digits[] = "0123456789ABCDEF";
    const QChar text[4] = {QLatin1Char(digits[(value >> 12) & 0xF]), QLatin1Char(digits[(value >> 8) & 0xF]),
                           QLatin1Char(digits[(value >> 4) & 0xF]), QLatin1Char(digits[value & 0xF])};
    return QString(text, 4);
}

QString ZeroPadDec(int64_t value, int width)
{
    QString text = QString::number(value);
    if (width < 0) width = 0;
    if (text.size() < width) return QString(width - text.size(), QLatin1Char('0')) + text;
    return text.right(width);
}

QString FieldText(const uint8_t* bytes, int width)
{
    int n = 0;
    while (n < width && bytes[n] != 0) ++n;
    return QString::fromLatin1(reinterpret_cast<const char*>(bytes), n);
}

void PutFieldText(uint8_t* bytes, int width, const QString& text)
{
    for (int i = 0; i < width; ++i) bytes[i] = ' ';
    // Code points, so that a character outside the basic plane is one "?" and not two.
    const QList<uint> points = text.toUcs4();
    for (int i = 0; i < width && i < points.size(); ++i) {
        const uint c = points[i];
        bytes[i] = c >= 1 && c <= 0xFF ? static_cast<uint8_t>(c) : static_cast<uint8_t>('?');
    }
}

QString BinText(uint32_t value, int topBit)
{
    QString text;
    for (int bit = topBit < 31 ? topBit : 31; bit >= 0; --bit)
        text += (value >> bit) & 1u ? QLatin1Char('1') : QLatin1Char('0');
    return text;
}

QStringList DelimitedItems(const QString& text, QChar delimiter)
{
    // A NUL ends the text, as it ends a C string.
    const int end = text.indexOf(QChar(0)) < 0 ? int(text.size()) : int(text.indexOf(QChar(0)));
    const QChar quote = QLatin1Char('"');
    auto blank = [&](int i) { return i < end && text.at(i).unicode() <= 32; };
    QStringList items;
    int p = 0;
    while (blank(p)) ++p;
    while (p < end) {
        QString item;
        if (text.at(p) == quote) {
            ++p;
            while (p < end) {
                if (text.at(p) == quote) {
                    if (p + 1 < end && text.at(p + 1) == quote) {
                        item += quote;
                        p += 2;
                        continue;
                    }
                    ++p; // the closing quote
                    break;
                }
                item += text.at(p++);
            }
        } else {
            const int first = p;
            while (p < end && text.at(p).unicode() > 32 && text.at(p) != delimiter) ++p;
            item = text.mid(first, p - first);
        }
        items << item;
        while (blank(p)) ++p;
        if (p < end && text.at(p) == delimiter) {
            if (p + 1 >= end) items << QString();
            do {
                ++p;
            } while (blank(p));
        }
    }
    return items;
}

QString DelimitedField(const QString& text, QChar delimiter, int index)
{
    const QStringList items = DelimitedItems(text, delimiter);
    return index >= 0 && index < items.size() ? items.at(index) : QString();
}

namespace {

struct TCodeText {
    int code;
    const char* en;
    const char* zh;
};

// The operator's vocabulary for cabinet states, alarms and events. The two languages do not
// always say the same thing (state 4, alarm 56, event 41): each column is what the operators of
// that language are used to reading.
const TCodeText StateTexts[] = {
    {0, "no link", "未联机"},
    {1, "Standby Status", "待机状态"},
    {2, "Non-Output", "无输出状态"},
    {3, "Bypass Status", "旁路状态"},
    {4, "Online", "市电状态"},
    {5, "Battery Status", "电池状态"},
    {6, "Battery Self-Test", "电池自检状态"},
    {7, "Inverter In Soft Starting", "逆变启动中"},
    {8, "ECO Status", "经济模式"},
    {9, "EPO Status", "EPO状态"},
    {10, "Maintain Bypass Status", "维护旁路模式"},
    {11, "Fault Status", "故障模式"},
    {15, "no link", "未联机"},
    {18, "Communication lost", "通讯中断"},
};

const TCodeText AlarmTexts[] = {
    {1, "Rectifier fault", "整流器故障"},
    {2, "Rectifier over temperature", "整流模块过温"},
    {3, "Inverter over temperature", "逆变模块过温"},
    {4, "Rectifier over current", "整流过流故障"},
    {5, "Auxiliary power 1 fault", "辅助电源1故障"},
    {6, "Auxiliary power 2 fault", "辅助电源2故障"},
    {7, "Input Thyristor fault", "输入晶闸管故障"},
    {8, "Discharge Thyristor fault", "电池放电晶闸管故障"},
    {9, "Charge Thyristor fault", "电池充电晶闸管故障"},
    {10, "Fan fault", "风扇故障"},
    {11, "Fan Power fault", "风扇电源故障"},
    {12, "DC Bus over voltage", "母线电压过压"},
    {13, "DC Bus below voltage", "母线电压欠压"},
    {14, "DC bus unbalance", "正负母线压差大"},
    {15, "Mains Site Wiring Fault", "输入电压相序反"},
    {16, "Soft start failed", "软启动失败"},
    {17, "Input Neutral line missing", "输入缺零"},
    {18, "Battery reverse", "电池反"},
    {19, "No battery", "电池无"},
    {20, "P-Battery Charger fault", "正组电池充电器故障"},
    {21, "N-battery charger fault", "负组电池充电器故障"},
    {22, "Battery under voltage", "电池电压低"},
    {23, "Battery over voltage", "电池电压高"},
    {24, "Low battery alarm", "电池电压预告警"},
    {25, "Mains freq. abnormal", "市电频率异常"},
    {26, "Mains volt. abnormal", "市电电压异常"},
    {27, "Inverter fault", "逆变器故障"},
    {28, "Inv. IGBT bridge shorted", "逆变桥臂直通"},
    {29, "Inverter Thyristor short", "逆变晶闸管短路故障"},
    {30, "Inverter Thyristor broken", "逆变晶闸管断路故障"},
    {31, "Bypass Thyristor short", "旁路晶闸管短路故障"},
    {32, "Bypass Thyristor broken", "旁路晶闸管断路故障"},
    {33, "CAN comm. Fault", "CAN通信故障"},
    {34, "Parallel load sharing fault", "并机均流故障"},
    {35, "Bypass Site Wiring Fault", "旁路反序"},
    {36, "No synchronization", "不同步"},
    {37, "Bypass unable to trace", "旁路超跟踪"},
    {38, "Bypass Not Available", "旁路超保护"},
    {39, "IGBT over current", "IGBT过流"},
    {40, "Fuse broken", "熔丝断"},
    {41, "Cable connection error", "并机连线故障"},
    {42, "Parallel relay fault", "并机继电器故障"},
    {43, "LBS Not SYNC", "LBS超跟踪"},
    {44, "Initializtion fault", "上电初始化故障"},
    {45, "Inverter on invalid", "开机无效"},
    {46, "Overload", "过载"},
    {47, "Parallel Overload", "并机过载"},
    {48, "DC component over limit", "逆变直流分量过大"},
    {49, "Bypass over current", "旁路过流"},
    {50, "Feedback protection", "回馈保护"},
    {51, "Fire Alarm", "火灾报警"},
    {52, "Fog Alarm", "烟雾报警"},
    {53, "Battery Fault", "电池损坏"},
    {54, "Battery temperature over", "电池过温"},
    {55, "Err55", "Err55"},
    {56, "Eeprom Data Error", "机型错误"},
};

const TCodeText EventTexts[] = {
    {1, "Initializing", "初始化"},
    {2, "To Standby", "待机状态"},
    {3, "Non-Output", "无输出状态"},
    {4, "On Bypass", "旁路输出状态"},
    {5, "On Line", "在线输出状态"},
    {6, "Discharged Battery", "电池输出状态"},
    {7, "ECO Activated", "经济模式"},
    {8, "Automatic Self Test", "自检状态"},
    {9, "Inverter In Soft Starting", "逆变启动中"},
    {10, "System Fault Detected", "系统故障"},
    {11, "Maintain bypass SW. Closed", "维修旁路开关闭合"},
    {12, "EPO Activated", "紧急关机"},
    {13, "System Reset", "系统复位"},
    {14, "Back Normal", "恢复正常"},
    {20, "Int. Input Switch Open", "内部输入开关断开"},
    {21, "Int. Input Switch Closed", "内部输入开关闭合"},
    {22, "Rectifier Deactivated", "整流器停止工作"},
    {23, "Rectifier Activated", "整流器开始工作"},
    {24, "Rectifier Current Limt", "整流器限流"},
    {25, "Battery charge Deactivated", "电池充电停止"},
    {26, "P-Battery Boost Charging", "正组电池均充电"},
    {27, "P-Battery Float Charging", "正组电池浮充电"},
    {28, "N-Battery Boost Charging", "负组电池均充电"},
    {29, "N-Battery Float Charging", "负组电池浮充电"},
    {30, "Int. Bypass Switch Closed", "内部旁路开关闭合"},
    {31, "Int. Bypass Switch Open", "内部旁路开关断开"},
    {32, "Int. Output Switch Closed", "内部输出开关闭合"},
    {33, "Int. Output Switch Open", "内部输出开关断开"},
    {34, "Ext. Bypass Switch Closed", "外部旁路开关闭合"},
    {35, "Ext. Bypass Switch Open", "外部旁路开关断开"},
    {36, "Ext. Output Switch Closed", "外部输出开关闭合"},
    {37, "Ext. Output Switch Open", "外部输出开关断开"},
    {38, "Coming to Interval Transfer", "间断切换提示"},
    {39, "INV. Off Coming To Overload", "关机将导致过载告警"},
    {40, "INV. Off Coming To PowerOff", "关机将导致断电告警"},
    {41, "INV.Invalid Due To Overload", "启动容量不足"},
    {42, "Change Master", "逆变主机"},
    {43, "Transfer Times-out", "切换次数到"},
    {44, "Shutdown Due To Overload", "过载延时到关机"},
    {45, "On Bypass Due To Overload", "负载冲击切旁路"},
    {46, "Parallel In Bypass", "并机系统转旁路"},
    {47, "LBS Activated", "负载总线同步系统激活"},
    {48, "Thunder Protect", "防雷保护动作"},
    {49, "ShutDown Due To Batt. Low", "电池电压低关机"},
    {50, "Time To Turn On", "定时开机"},
    {51, "Time To Turn Off", "定时关机"},
    {52, "Time to Battery Testing", "定时自检开始"},
    {53, "Testing Stopped", "自检停止"},
    {54, "Manu Turn Off", "手动关机"},
    {55, "Remote Turn Off", "远程关机"},
    {56, "Module OnLine", "模块联机"},
    {57, "Module OffLine", "模块移去"},
};

template <size_t N> const TCodeText* findCode(const TCodeText (&table)[N], int code)
{
    for (const TCodeText& entry : table)
        if (entry.code == code) return &entry;
    return nullptr;
}

template <size_t N> QString lookup(const TCodeText (&table)[N], int code)
{
    const TCodeText* entry = findCode(table, code);
    return entry ? LangText(entry->en, entry->zh) : QString();
}

} // namespace

QString StateText(int code) { return lookup(StateTexts, code); }

QString AlarmText(int code) { return lookup(AlarmTexts, code); }

QString StateTextEnglish(int code)
{
    const TCodeText* entry = findCode(StateTexts, code);
    return entry ? QString::fromUtf8(entry->en) : QString();
}

QString AlarmTextEnglish(int code)
{
    const TCodeText* entry = findCode(AlarmTexts, code);
    return entry ? QString::fromUtf8(entry->en) : QString();
}

// A cabinet newer than the tool may log events it has no text for; the number at least tells
// the service engineer which one it was.
QString EventText(int code)
{
    if (code == 0) return {};
    const TCodeText* entry = findCode(EventTexts, code);
    return entry ? LangText(entry->en, entry->zh) : QString::number(code);
}

// The cabinet reports no supply or inverter mode that the operators have names for.
QString SupplyModeText(int) { return {}; }
QString InvModeText(int) { return {}; }
