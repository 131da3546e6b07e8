#include "model/uSnapshotJson.h"

#include "model/UShareData.h"
#include "model/uCabinetValues.h"
#include "model/uDataFunc.h"
#include "model/uUpsInfo.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <cmath>

namespace {

// Values are stored scaled by 0.1 or 0.01; the decimal text of the register is the value.
double tidy(double v) { return std::round(v * 100.0) / 100.0; }

QJsonObject quantity(const double* values, int count, const char* unit)
{
    QJsonArray a;
    for (int i = 0; i < count; ++i) a.append(tidy(values[i]));
    return QJsonObject{{"value", a}, {"unit", QLatin1String(unit)}};
}

QJsonObject quantity(double value, const char* unit)
{
    return QJsonObject{{"value", tidy(value)}, {"unit", QLatin1String(unit)}};
}

QJsonObject statusWords(const TStatusBlock& s)
{
    static const char* const names[10] = {"CmmStaH", "CmmStaL", "CmmAlmH", "CmmAlmL", "InvStaH",
                                          "InvStaL", "InvAlmH", "InvAlmL", "SysSta",  "SysAlm"};
    QJsonObject o;
    for (int i = 0; i < 10; ++i) o.insert(QLatin1String(names[i]), HexWord(s.Word(i)));
    return o;
}

QJsonObject stateOf(int code) { return QJsonObject{{"code", code}, {"text", StateText(code)}}; }

} // namespace

QJsonObject SnapshotObject(const TCabinetValues& cabinet, const TSnapshotContext& c)
{
    const int addr = c.address >= 0 && c.address <= MaxDevAddr ? c.address : 1;
    const TUpsData& u = cabinet.UpsData[addr];
    TStatusBlock block = u.Status;
    DecodeStatusBlock(block);

    QJsonObject values{
        {"InVolt", quantity(u.InVolt, 3, "V")},
        {"InFreq", quantity(u.InFreq, "Hz")},
        {"InCurr", quantity(u.InCurr, 3, "A")},
        {"InPF", quantity(u.InPF, 3, "")},
        {"OutVolt", quantity(u.OutVolt, 3, "V")},
        {"OutFreq", quantity(u.OutFreq, "Hz")},
        {"OutCurr", quantity(u.OutCurr, 3, "A")},
        {"OutPower", quantity(u.OutPower, 3, "kW")},
        {"LoadPct", quantity(u.LoadPct, 3, "%")},
        {"LoadPeak", quantity(u.LoadPeak, 3, "")},
        {"BpsVolt", quantity(u.BpsVolt, 3, "V")},
        {"BpsFreq", quantity(u.BpsFreq, "Hz")},
        {"BattVolt", quantity(u.BattVolt, 2, "V")},
        {"BattChgCurr", quantity(u.BattChgCurr, 2, "A")},
        {"BattDisCurr", quantity(u.BattDisCurr, 2, "A")},
        {"BattChgRate", quantity(double(u.BattChgRate), "%")},
        {"BattSupport", quantity(double(u.BattSupport), "min")},
        {"BattTemp", quantity(u.BattTemp, "°C")},
        {"InsideTemp", quantity(u.InsideTemp, "°C")},
        {"UpsRunTime", quantity(double(u.UpsRunTime), "h")},
    };

    QJsonArray modules;
    for (int m = 1; m <= ModuleCount; ++m) {
        QJsonObject mo = stateOf(cabinet.ModuleData[m].ModState);
        mo.insert("module", m);
        modules.append(mo);
    }

    QJsonObject state = stateOf(u.SysState);
    state.insert("SupplyMode", block.SupplyMode);
    state.insert("SupplyModeText", SupplyModeText(block.SupplyMode));
    state.insert("InvMode", block.InvMode);
    state.insert("InvModeText", InvModeText(block.InvMode));

    QJsonObject o{
        {"port", c.port},
        {"address", addr},
        {"takenAt", c.takenAt},
        {"complete", c.complete},
        {"identification", QJsonObject{{"version", cabinet.VersionText().trimmed()},
                                       {"type", cabinet.TypeText().trimmed()},
                                       {"rating", cabinet.Rating()}}},
        {"values", values},
        {"statusWords", statusWords(u.Status)},
        {"state", state},
        {"modules", modules},
        {"modulesRead", c.modulesRead},
        {"link", QJsonObject{{"TxCount", c.counters.TxCount},
                             {"RxCount", c.counters.RxCount},
                             {"AckCount", c.counters.AckCount},
                             {"ErrRate", tidy(c.counters.ErrRate)}}},
    };
    if (!c.complete) o.insert("missing", QJsonArray::fromStringList(c.missing));
    return o;
}

QByteArray SnapshotJson(const TCabinetValues& cabinet, const TSnapshotContext& context)
{
    return QJsonDocument(SnapshotObject(cabinet, context)).toJson(QJsonDocument::Indented);
}
