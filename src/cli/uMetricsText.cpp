#include "cli/uMetricsText.h"

#include "model/uDataFunc.h"

#include <cmath>
#include <initializer_list>
#include <utility>
#include <vector>

const char* const MetricsContentType = "text/plain; version=0.0.4; charset=utf-8";

namespace {

struct TFamily {
    const char* name;
    const char* type;
    const char* help;
};

// Every family in the order it is written.
const TFamily families[] = {
    {"zyr_up", "gauge", "1 when the last poll cycle of the cabinet was answered, else 0."},
    {"zyr_info", "gauge", "The cabinet's identification (function 43); always 1."},
    {"zyr_last_reply_timestamp_seconds", "gauge",
     "Time of the cabinet's last accepted reply, seconds since 1970."},
    {"zyr_input_voltage_volts", "gauge", "Input voltage per phase."},
    {"zyr_input_current_amperes", "gauge", "Input current per phase."},
    {"zyr_input_frequency_hertz", "gauge", "Input frequency."},
    {"zyr_output_voltage_volts", "gauge", "Output voltage per phase."},
    {"zyr_output_current_amperes", "gauge", "Output current per phase."},
    {"zyr_output_frequency_hertz", "gauge", "Output frequency."},
    {"zyr_output_active_power_watts", "gauge", "Output active power per phase."},
    {"zyr_load_ratio", "gauge", "Load per phase as a ratio of the rated load (1 is full load)."},
    {"zyr_bypass_voltage_volts", "gauge", "Bypass voltage per phase."},
    {"zyr_bypass_frequency_hertz", "gauge", "Bypass frequency."},
    {"zyr_battery_voltage_volts", "gauge", "Battery voltage of the positive and the negative string."},
    {"zyr_battery_current_amperes", "gauge", "Battery charge and discharge current of each string."},
    {"zyr_battery_remaining_seconds", "gauge", "Time the battery can still support the load."},
    {"zyr_temperature_celsius", "gauge", "Battery and inside temperature."},
    {"zyr_state", "gauge", "1 for the cabinet's current running state, 0 for the others."},
    {"zyr_status_word", "gauge", "The ten status and alarm words, numbered 1 to 10 in block order."},
    {"zyr_alarm_active", "gauge", "1 for each alarm the status words report."},
    {"zyr_modules_present", "gauge", "Power modules the cabinet is set for (40003)."},
    {"zyr_module_output_current_amperes", "gauge", "Inverter output current of a power module per phase."},
    {"zyr_link_requests_total", "counter", "Requests the link sent."},
    {"zyr_link_replies_total", "counter", "Replies the link accepted."},
    {"zyr_link_errors_total", "counter", "Requests that ended without an accepted reply."},
    {"zyr_link_reopens_total", "counter", "Times the port was opened again after the device was lost."},
};
constexpr int familyCount = int(sizeof families / sizeof families[0]);

const char* const phases[3] = {"A", "B", "C"};
const char* const poles[2] = {"positive", "negative"};

using TLabels = std::initializer_list<std::pair<const char*, QString>>;

// Go's text of a float would do; this keeps what the cabinet said (0.1 steps) without the
// binary noise a scaled double carries (230.10000000000002).
QByteArray number(double v)
{
    if (std::isnan(v)) return "NaN";
    if (std::isinf(v)) return v > 0 ? "+Inf" : "-Inf";
    return QByteArray::number(v, 'g', 15);
}

class TWriter {
public:
    void add(const char* name, TLabels labels, double value) { addLine(name, labels, number(value)); }
    void addCount(const char* name, uint64_t value)
    {
        addLine(name, {}, QByteArray::number(qulonglong(value)));
    }

    QByteArray text() const
    {
        QByteArray out;
        for (int i = 0; i < familyCount; ++i) {
            if (samples_[i].isEmpty()) continue;
            out += QByteArray("# HELP ") + families[i].name + ' ' + families[i].help + '\n';
            out += QByteArray("# TYPE ") + families[i].name + ' ' + families[i].type + '\n';
            out += samples_[i];
        }
        return out;
    }

private:
    void addLine(const char* name, TLabels labels, const QByteArray& value)
    {
        QByteArray line = name;
        if (labels.size() > 0) {
            line += '{';
            bool first = true;
            for (const auto& label : labels) {
                if (!first) line += ',';
                first = false;
                line += label.first;
                line += "=\"";
                line += EscapeLabelValue(label.second).toUtf8();
                line += '"';
            }
            line += '}';
        }
        line += ' ';
        line += value;
        line += '\n';
        samples_[indexOf(name)] += line;
    }

    static int indexOf(const char* name)
    {
        for (int i = 0; i < familyCount; ++i)
            if (qstrcmp(families[i].name, name) == 0) return i;
        Q_ASSERT_X(false, "TWriter", "a metric family missing from the table");
        return 0;
    }

    QByteArray samples_[familyCount];
};

QString text(int n) { return QString::number(n); }
QString text(const char* s) { return QString::fromLatin1(s); }

void writeValues(TWriter& w, const QString& a, const TUpsData& d)
{
    for (int p = 0; p < 3; ++p) {
        const QString phase = text(phases[p]);
        w.add("zyr_input_voltage_volts", {{"address", a}, {"phase", phase}}, d.InVolt[p]);
        w.add("zyr_input_current_amperes", {{"address", a}, {"phase", phase}}, d.InCurr[p]);
        w.add("zyr_output_voltage_volts", {{"address", a}, {"phase", phase}}, d.OutVolt[p]);
        w.add("zyr_output_current_amperes", {{"address", a}, {"phase", phase}}, d.OutCurr[p]);
        // The cabinet counts kilowatts and percent.
        w.add("zyr_output_active_power_watts", {{"address", a}, {"phase", phase}}, d.OutPower[p] * 1000.0);
        w.add("zyr_load_ratio", {{"address", a}, {"phase", phase}}, d.LoadPct[p] / 100.0);
        w.add("zyr_bypass_voltage_volts", {{"address", a}, {"phase", phase}}, d.BpsVolt[p]);
    }
    w.add("zyr_input_frequency_hertz", {{"address", a}}, d.InFreq);
    w.add("zyr_output_frequency_hertz", {{"address", a}}, d.OutFreq);
    w.add("zyr_bypass_frequency_hertz", {{"address", a}}, d.BpsFreq);
    for (int s = 0; s < 2; ++s) {
        const QString pole = text(poles[s]);
        w.add("zyr_battery_voltage_volts", {{"address", a}, {"pole", pole}}, d.BattVolt[s]);
        w.add("zyr_battery_current_amperes", {{"address", a}, {"pole", pole}, {"direction", text("charge")}},
              d.BattChgCurr[s]);
        w.add("zyr_battery_current_amperes",
              {{"address", a}, {"pole", pole}, {"direction", text("discharge")}}, d.BattDisCurr[s]);
    }
    // The cabinet counts minutes.
    w.add("zyr_battery_remaining_seconds", {{"address", a}}, double(d.BattSupport) * 60.0);
    w.add("zyr_temperature_celsius", {{"address", a}, {"sensor", text("battery")}}, d.BattTemp);
    w.add("zyr_temperature_celsius", {{"address", a}, {"sensor", text("inside")}}, d.InsideTemp);
}

void writeStatus(TWriter& w, const QString& a, const TMetricsCabinet& c)
{
    // Two codes may share a text ("no link"); a state is named once.
    QStringList named;
    for (int code : MetricsStateCodes()) {
        const QString state = StateTextEnglish(code);
        if (state.isEmpty() || named.contains(state)) continue;
        named << state;
        const bool current = StateTextEnglish(c.State) == state;
        w.add("zyr_state", {{"address", a}, {"state", state}}, current ? 1 : 0);
    }
    for (int i = 0; i < 10; ++i)
        w.add("zyr_status_word", {{"address", a}, {"word", text(i + 1)}}, c.Data.Status.Word(i));
    for (const TMetricsAlarm& alarm : c.Alarms)
        w.add("zyr_alarm_active", {{"address", a}, {"code", text(alarm.Code)}, {"name", alarm.Name}}, 1);
}

void writeCabinet(TWriter& w, const TMetricsCabinet& c)
{
    const QString a = text(c.Address);
    w.add("zyr_up", {{"address", a}}, c.Up ? 1 : 0);
    if (c.Type || c.Rating || c.Version)
        w.add("zyr_info",
              {{"address", a},
               {"type", c.Type.value_or(QString())},
               {"rating", c.Rating ? text(*c.Rating) : QString()},
               {"version", c.Version.value_or(QString())}},
              1);
    if (c.LastReplyMs)
        w.add("zyr_last_reply_timestamp_seconds", {{"address", a}}, double(*c.LastReplyMs) / 1000.0);
    if (c.Read.Values) writeValues(w, a, c.Data);
    if (c.Read.Status) writeStatus(w, a, c);
    if (c.ModulesPresent) w.add("zyr_modules_present", {{"address", a}}, *c.ModulesPresent);
    for (const TMetricsModule& m : c.Modules)
        for (int p = 0; p < 3; ++p)
            w.add("zyr_module_output_current_amperes",
                  {{"address", a}, {"module", text(m.Number)}, {"phase", text(phases[p])}},
                  m.Data.InvCurr[p]);
}

} // namespace

QString EscapeLabelValue(const QString& value)
{
    QString out;
    out.reserve(value.size());
    for (QChar ch : value) {
        if (ch == QLatin1Char('\\'))
            out += QLatin1String("\\\\");
        else if (ch == QLatin1Char('"'))
            out += QLatin1String("\\\"");
        else if (ch == QLatin1Char('\n'))
            out += QLatin1String("\\n");
        else
            out += ch;
    }
    return out;
}

QByteArray MetricsText(const TMetricsSnapshot& snapshot)
{
    TWriter w;
    for (const TMetricsCabinet& c : snapshot.Cabinets) writeCabinet(w, c);
    w.addCount("zyr_link_requests_total", snapshot.Link.Requests);
    w.addCount("zyr_link_replies_total", snapshot.Link.Replies);
    w.addCount("zyr_link_errors_total", snapshot.Link.Errors);
    w.addCount("zyr_link_reopens_total", snapshot.Link.Reopens);
    return w.text();
}
