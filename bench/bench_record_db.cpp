// What one download tick costs the record database with a full log in the table: the event
// record window's StoreRecord followed by its RefreshList, exactly as the tick runs them, with
// 65,535 rows in UpsEvntRecord. Reported per scenario: median and worst milliseconds of one
// tick's database work, beside the 100 ms tick, and the same refresh done by a list that loads
// every row (a plain query model read to its end), measured in the same run, as the model.
#include "comm/uCabinet.h"
#include "model/UShareData.h"
#include "model/uLocalPara.h"
#include "records/uUpsRec.h"
#include "store/uRecordDb.h"
#include "ui/uWidgets.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QRadioButton>
#include <QSpinBox>
#include <QSqlQuery>
#include <QSqlQueryModel>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <memory>
#include <random>
#include <vector>

namespace {

constexpr int FullLog = 65535;

TRecordData recordOf(int n)
{
    TRecordData r;
    r.DevID = 1;
    r.RecNo = n;
    r.Year = 2025;
    r.Month = static_cast<uint8_t>(1 + n % 12);
    r.Day = static_cast<uint8_t>(1 + n % 28);
    r.Hour = static_cast<uint8_t>(n % 24);
    r.Minute = static_cast<uint8_t>(n % 60);
    r.UpsState = static_cast<uint8_t>(n % 12);
    r.ModuleID = static_cast<uint8_t>(n % 5);
    r.EventNo = static_cast<uint8_t>(n % 56);
    r.AlarmNo = static_cast<uint8_t>(n % 60);
    r.CMMState = static_cast<uint16_t>(n);
    r.InputV_A = 2300;
    r.OutputFreq = 500;
    r.Temperature = static_cast<uint16_t>(n % 7 == 0 ? 345 : 31);
    return r;
}

// One window over a database of `rows` records in a private folder.
struct Fixture {
    QTemporaryDir dir;
    std::unique_ptr<TfrmUpsRec> window;
    explicit Fixture(int rows)
    {
        SetSettingsFolderOverride(dir.path());
        {
            TRecordDb fill;
            fill.OpenRecordDb();
            fill.Begin();
            for (int n = 1; n <= rows; ++n) {
                TRecordData r = recordOf(n);
                fill.StoreRecord(r);
            }
            fill.Commit();
        }
        window = std::make_unique<TfrmUpsRec>();
        window->tmr1->stop();
        window->resize(670, 540);
        window->show();
        QApplication::processEvents();
    }
    ~Fixture()
    {
        window.reset();
        SetSettingsFolderOverride(QString());
    }
};

// Worst tick of the paged list and median refresh of the full-load model, for the ratio.
double worstTickMs = 0.0;
double worstTickCpuMs = 0.0;
double fullLoadMedianMs = 0.0;

std::vector<double> storeMs, refreshMs, paintMs, cpuMs;

// CPU time of this thread: the tick's own cost, without the time other programs on a busy
// machine took the processor away.
double threadCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

double medianOf(std::vector<double> v)
{
    if (v.empty()) return 0.0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void report(benchmark::State& state, std::vector<double>& ms)
{
    state.counters["store_med_ms"] = medianOf(storeMs);
    state.counters["store_worst_ms"] =
        storeMs.empty() ? 0.0 : *std::max_element(storeMs.begin(), storeMs.end());
    state.counters["refresh_med_ms"] = medianOf(refreshMs);
    state.counters["refresh_worst_ms"] =
        refreshMs.empty() ? 0.0 : *std::max_element(refreshMs.begin(), refreshMs.end());
    state.counters["paint_med_ms"] = medianOf(paintMs);
    state.counters["cpu_med_ms"] = medianOf(cpuMs);
    state.counters["cpu_worst_ms"] = cpuMs.empty() ? 0.0 : *std::max_element(cpuMs.begin(), cpuMs.end());
    if (!cpuMs.empty())
        worstTickCpuMs = std::max(worstTickCpuMs, *std::max_element(cpuMs.begin(), cpuMs.end()));
    cpuMs.clear();
    storeMs.clear();
    refreshMs.clear();
    paintMs.clear();
    std::sort(ms.begin(), ms.end());
    state.counters["median_ms"] = ms[ms.size() / 2];
    state.counters["worst_ms"] = ms.back();
}

// The tick's work: store record n (insert or update) and refresh the list, the grid drawn.
void tick(TfrmUpsRec& w, int n, std::vector<double>& ms)
{
    QElapsedTimer t;
    const double cpu0 = threadCpuMs();
    t.start();
    Cabinet().RecInfo.Rec = recordOf(n);
    w.StoreRecord(Cabinet().RecInfo.Rec);
    const double stored = t.nsecsElapsed() / 1e6;
    w.intgrtptRec->setValue(std::min(n, 9999));
    w.RefreshList();
    const double refreshed = t.nsecsElapsed() / 1e6;
    // The grid draws the rows it shows (reading their page), as the event loop does next.
    w.DBGrd1->viewport()->repaint();
    const double all = t.nsecsElapsed() / 1e6;
    storeMs.push_back(stored);
    refreshMs.push_back(refreshed - stored);
    paintMs.push_back(all - refreshed);
    cpuMs.push_back(threadCpuMs() - cpu0);
    ms.push_back(all);
}

// Inserts: the last records of a full log arrive while the table already holds the rest.
void BM_StoreAndRefresh_Insert(benchmark::State& state)
{
    const int order = static_cast<int>(state.range(0));
    Fixture f(FullLog - 300);
    f.window->rgIDOrderby->item(order)->click();
    std::vector<double> ms;
    int n = FullLog - 300;
    for (auto _ : state) {
        if (++n > FullLog) {
            state.SkipWithError("ran out of record numbers");
            break;
        }
        tick(*f.window, n, ms);
    }
    if (!ms.empty()) report(state, ms);
    if (!ms.empty()) worstTickMs = std::max(worstTickMs, ms.back());
    state.SetLabel(order ? "DESC" : "ASC");
}
BENCHMARK(BM_StoreAndRefresh_Insert)->Arg(0)->Arg(1)->Iterations(300)->Unit(benchmark::kMillisecond);

// Updates: a second download over a full table, record numbers spread over the whole log.
void BM_StoreAndRefresh_Update(benchmark::State& state)
{
    const int order = static_cast<int>(state.range(0));
    Fixture f(FullLog);
    f.window->rgIDOrderby->item(order)->click();
    std::mt19937 random(7);
    std::uniform_int_distribution<int> pick(1, FullLog);
    std::vector<double> ms;
    for (auto _ : state) tick(*f.window, pick(random), ms);
    report(state, ms);
    worstTickMs = std::max(worstTickMs, ms.back());
    state.SetLabel(order ? "DESC" : "ASC");
}
BENCHMARK(BM_StoreAndRefresh_Update)->Arg(0)->Arg(1)->Iterations(300)->Unit(benchmark::kMillisecond);

// The model: the same refresh by a list that reads every row into memory.
void BM_RefreshLoadingEveryRow(benchmark::State& state)
{
    Fixture f(FullLog);
    QSqlQueryModel all;
    std::vector<double> ms;
    for (auto _ : state) {
        QElapsedTimer t;
        t.start();
        all.setQuery(QSqlQuery(QStringLiteral("Select * from UpsEvntRecord order by RecNo"),
                               f.window->Db().Database()));
        while (all.canFetchMore()) all.fetchMore();
        benchmark::DoNotOptimize(all.rowCount());
        ms.push_back(t.nsecsElapsed() / 1e6);
    }
    report(state, ms);
    fullLoadMedianMs = ms[ms.size() / 2];
}
BENCHMARK(BM_RefreshLoadingEveryRow)->Iterations(10)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (worstTickMs > 0.0 && fullLoadMedianMs > 0.0)
        std::printf(
            "worst tick (store + refresh + grid drawn) %.2f ms wall, %.2f ms CPU, of the 100 ms tick; a "
            "list loading every row needs %.1f ms per refresh (median), %.1f times the worst tick\n",
            worstTickMs, worstTickCpuMs, fullLoadMedianMs, fullLoadMedianMs / worstTickMs);
    return 0;
}
