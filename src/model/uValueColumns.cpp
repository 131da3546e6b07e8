#include "model/uValueColumns.h"

#include "model/uUpsInfo.h"

#include <QFile>
#include <QFileInfo>

#include <cstdlib>

const char ValueLogBom[3] = {'\xEF', '\xBB', '\xBF'};

namespace {
#define PHASES(field, label_en, label_zh, unit, dec, trend, right)                                              \
    {#field "_A", unit, dec, [](const TUpsData& u) { return u.field[0]; }, trend, right, label_en " A", label_zh " A"}, \
    {#field "_B", unit, dec, [](const TUpsData& u) { return u.field[1]; }, trend, right, label_en " B", label_zh " B"}, \
    {#field "_C", unit, dec, [](const TUpsData& u) { return u.field[2]; }, trend, right, label_en " C", label_zh " C"}
#define STRINGS(field, label_en, label_zh, unit, dec, trend, right)                                             \
    {#field "_P", unit, dec, [](const TUpsData& u) { return u.field[0]; }, trend, right, label_en " +", label_zh " +"}, \
    {#field "_N", unit, dec, [](const TUpsData& u) { return u.field[1]; }, trend, right, label_en " -", label_zh " -"}
#define SINGLE(field, label_en, label_zh, unit, dec, trend, right)                                              \
    {#field, unit, dec, [](const TUpsData& u) { return double(u.field); }, trend, right, label_en, label_zh}

const std::vector<TValueColumn> columns = {
    PHASES(InVolt, "Input", "输入电压", "V", 1, true, false),
    SINGLE(InFreq, "Input", "输入频率", "Hz", 1, true, true),
    PHASES(InCurr, "Input current", "输入电流", "A", 1, false, true),
    PHASES(InPF, "Input PF", "输入功因", "", 2, false, true),
    PHASES(OutVolt, "Output", "输出电压", "V", 1, true, false),
    SINGLE(OutFreq, "Output", "输出频率", "Hz", 1, true, true),
    PHASES(OutCurr, "Output current", "输出电流", "A", 1, true, true),
    PHASES(OutPower, "Output power", "输出有功功率", "kW", 1, false, true),
    PHASES(LoadPct, "Load", "负载率", "%", 1, true, true),
    PHASES(LoadPeak, "Load peak", "负载峰值比", "", 2, false, true),
    PHASES(BpsVolt, "Bypass", "旁路电压", "V", 1, true, false),
    SINGLE(BpsFreq, "Bypass", "旁路频率", "Hz", 1, false, true),
    STRINGS(BattVolt, "Battery", "电池电压", "V", 1, true, false),
    STRINGS(BattChgCurr, "Battery charge", "电池充电电流", "A", 1, true, true),
    STRINGS(BattDisCurr, "Battery discharge", "电池放电电流", "A", 1, true, true),
    SINGLE(BattChgRate, "Charging rate", "电池充电率", "%", 0, false, true),
    SINGLE(BattSupport, "Battery support", "电池后备时间", "min", 0, false, true),
    SINGLE(BattTemp, "Battery temp.", "电池温度", "°C", 1, false, true),
    SINGLE(InsideTemp, "Inside temp.", "环境温度", "°C", 1, true, true),
    SINGLE(UpsRunTime, "Run time", "UPS已运行时间", "h", 0, false, true),
};
#undef PHASES
#undef STRINGS
#undef SINGLE
} // namespace

const std::vector<TValueColumn>& ValueColumns() { return columns; }

const std::vector<const TValueColumn*>& TrendColumns()
{
    static const std::vector<const TValueColumn*> trend = [] {
        std::vector<const TValueColumn*> t;
        for (const TValueColumn& c : columns)
            if (c.trend) t.push_back(&c);
        Q_ASSERT(int(t.size()) == TrendChannelCount);
        return t;
    }();
    return trend;
}

std::vector<const TValueColumn*> AllValueColumns()
{
    std::vector<const TValueColumn*> all;
    for (const TValueColumn& c : columns) all.push_back(&c);
    return all;
}

QString ColumnHeading(const TValueColumn& c)
{
    const QString name = QString::fromLatin1(c.name);
    return *c.unit ? name + QStringLiteral(" (") + QString::fromUtf8(c.unit) + QLatin1Char(')') : name;
}

QString ValueLogHeader(const std::vector<const TValueColumn*>& cols)
{
    QStringList h{QStringLiteral("Time")};
    for (const TValueColumn* c : cols) h << ColumnHeading(*c);
    h << QStringLiteral("State");
    return h.join(QLatin1Char(','));
}

QString ValueLogTime(const QDateTime& when)
{
    // The offset is always written out ("+00:00" rather than "Z"), so a reader sees local time.
    const QDateTime local = when.toLocalTime();
    const int offset = local.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    return local.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")) + QLatin1Char(offset < 0 ? '-' : '+') +
           QStringLiteral("%1:%2").arg(minutes / 60, 2, 10, QLatin1Char('0')).arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

QString ValueText(const TValueColumn& c, double v) { return QString::number(v, 'f', c.decimals); }

QString ValueLogLine(const QString& time, const QStringList& values, const QString& state)
{
    QString s = state;
    if (s.contains(QLatin1Char(',')) || s.contains(QLatin1Char('"')))
        s = QLatin1Char('"') + s.replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
    return time + QLatin1Char(',') + values.join(QLatin1Char(',')) + QLatin1Char(',') + s;
}

THeaderMatch MatchValueLogHeader(const QString& path, const QString& header, bool* unterminated, QString* found)
{
    if (unterminated) *unterminated = false;
    QFile f(path);
    if (!f.exists()) return THeaderMatch::Absent;
    // A FIFO, a terminal or a device has no first line to compare, and opening one to read
    // would wait for a writer: it gets the header.
    if (!QFileInfo(path).isFile()) return THeaderMatch::Absent;
    if (!f.open(QIODevice::ReadOnly)) return THeaderMatch::Other;
    if (f.size() == 0) return THeaderMatch::Absent;
    QByteArray first = f.readLine(64 * 1024);
    if (first.startsWith(QByteArray(ValueLogBom, 3))) first.remove(0, 3);
    while (first.endsWith('\n') || first.endsWith('\r')) first.chop(1);
    const QString text = QString::fromUtf8(first);
    if (found) *found = text;
    if (text != header) return THeaderMatch::Other;
    if (unterminated && f.seek(f.size() - 1)) {
        char last = 0;
        *unterminated = f.getChar(&last) && last != '\n';
    }
    return THeaderMatch::Same;
}
