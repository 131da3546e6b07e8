#include "cli/uMetricsSnapshot.h"

#include "model/uActiveAlarms.h"
#include "model/uDataFunc.h"

#include <algorithm>

namespace {

// Where function 43 puts the identification among the configuration bytes.
constexpr int VersionAt = 25, VersionWidth = 10;
constexpr int TypeAt = 41, TypeWidth = 3;
constexpr int RatingHighAt = 45, RatingLowAt = 46;

} // namespace

TMetricsCabinet MetricsCabinet(int address, const TUpsData& data, const TMetricsBlocks& read)
{
    TMetricsCabinet c;
    c.Address = address;
    c.Read = read;
    c.Data = data;
    if (read.Status) {
        c.State = DecodeState(data.Status);
        for (int code : ActiveAlarmCodes(data.Status)) c.Alarms.push_back({code, AlarmTextEnglish(code)});
    }
    if (read.Parameters) c.ModulesPresent = data.Para40003;
    return c;
}

void AddMetricsModule(TMetricsCabinet& cabinet, int number, const TModuleData& data)
{
    if (number < 1 || number > ModuleCount) return;
    auto at = std::lower_bound(cabinet.Modules.begin(), cabinet.Modules.end(), number,
                               [](const TMetricsModule& m, int n) { return m.Number < n; });
    if (at != cabinet.Modules.end() && at->Number == number)
        at->Data = data;
    else
        cabinet.Modules.insert(at, TMetricsModule{number, data});
}

void SetMetricsIdentification(TMetricsCabinet& cabinet, const uint8_t* cfg, bool typeRead, bool versionRead)
{
    if (typeRead) {
        cabinet.Type = FieldText(cfg + TypeAt, TypeWidth).trimmed();
        cabinet.Rating = 256 * cfg[RatingHighAt] + cfg[RatingLowAt];
    }
    if (versionRead) cabinet.Version = FieldText(cfg + VersionAt, VersionWidth).trimmed();
}

const std::vector<int>& MetricsStateCodes()
{
    static const std::vector<int> codes = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 15};
    return codes;
}
