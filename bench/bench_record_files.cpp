// The record files with a full log of 65,535 records: export to a CSV file (with and without the
// analysis texts), and the load of that file into the record table (read, check, replace in one
// transaction), measured in the same run beside the sqlite3 command-line shell's .import of the
// same file into a table of the same columns and indexes. Targets: export under 1 s; load at most
// 3 times the shell's import. The shell's run is skipped (and said so) when sqlite3 is missing.
#include "model/UShareData.h"
#include "store/uRecordDb.h"
#include "store/uRecordFiles.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int FullLog = 65535;

TRecordData RecordOf(int n)
{
    TRecordData r;
    r.DevID = 1;
    r.RecNo = n;
    r.Year = 2025;
    r.Month = static_cast<uint8_t>(1 + n % 12);
    r.Day = static_cast<uint8_t>(1 + n % 28);
    r.Hour = static_cast<uint8_t>(n % 24);
    r.Minute = static_cast<uint8_t>(n % 60);
    r.Second = static_cast<uint8_t>(n % 59);
    r.UpsState = static_cast<uint8_t>(n % 12);
    r.ModuleID = static_cast<uint8_t>(n % 5);
    r.EventNo = static_cast<uint8_t>(n % 56);
    r.AlarmNo = static_cast<uint8_t>(n % 60);
    int k = 0;
    for (const TRecordWordField& f : StatusWordFields) r.*f.member = static_cast<uint16_t>(n * 7 + k++);
    k = 0;
    for (const TRecordWordField& f : MeasurementFields)
        r.*f.member = static_cast<uint16_t>(2200 + n % 100 + k++);
    r.Temperature = static_cast<uint16_t>(n % 7 == 0 ? 345 : 31);
    return r;
}

struct Setup {
    QTemporaryDir dir;
    std::unique_ptr<TRecordDb> source;
    QString csv;
    bool ready = false;

    Setup()
    {
        if (!dir.isValid()) return;
        source = std::make_unique<TRecordDb>();
        source->SetFilePath(dir.filePath("record.mdb"));
        if (!source->OpenRecordDb() || !source->Begin()) return;
        for (int n = 1; n <= FullLog; ++n) {
            TRecordData r = RecordOf(n);
            if (!source->StoreRecord(r).stored) return;
        }
        if (!source->Commit()) return;
        csv = dir.filePath("UpsRecord.csv");
        QString error;
        ready = ExportRecordsCsv(*source, csv, false, &error);
    }
};

Setup* TheSetup()
{
    static Setup setup;
    return &setup;
}

// Medians of the runs, in milliseconds, for the summary.
std::map<std::string, double> Medians;

void Record(const std::string& name, std::vector<double>& runs)
{
    if (runs.empty()) return;
    std::sort(runs.begin(), runs.end());
    Medians[name] = runs[runs.size() / 2];
}

void BM_ExportCsv(benchmark::State& state)
{
    Setup* s = TheSetup();
    if (!s->ready) {
        state.SkipWithError("setup failed");
        return;
    }
    const bool analysis = state.range(0) != 0;
    const QString out = s->dir.filePath(analysis ? "export-analysis.csv" : "export.csv");
    std::vector<double> runs;
    for (auto _ : state) {
        QElapsedTimer t;
        t.start();
        QString error;
        int rows = 0;
        if (!ExportRecordsCsv(*s->source, out, analysis, &error, &rows) || rows != FullLog)
            state.SkipWithError("export failed");
        const double ms = t.nsecsElapsed() / 1e6;
        runs.push_back(ms);
        state.SetIterationTime(ms / 1000);
    }
    state.counters["rows"] = FullLog;
    state.counters["bytes"] = static_cast<double>(QFile(out).size());
    Record(analysis ? "export with analysis" : "export", runs);
}
BENCHMARK(BM_ExportCsv)->Arg(0)->Arg(1)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_LoadCsv(benchmark::State& state)
{
    Setup* s = TheSetup();
    if (!s->ready) {
        state.SkipWithError("setup failed");
        return;
    }
    TRecordDb target;
    target.SetFilePath(s->dir.filePath("loaded.mdb"));
    if (!target.OpenRecordDb()) {
        state.SkipWithError("target failed");
        return;
    }
    std::vector<double> runs;
    for (auto _ : state) {
        QElapsedTimer t;
        t.start();
        QStringList lines;
        QString error;
        if (!ReadTextLines(s->csv, &lines, &error) || CheckCsvHeader(lines.first()) != TCsvHeader::Valid) {
            state.SkipWithError("read failed");
            break;
        }
        const TCsvLoadOutcome out = LoadCsvLines(target, lines);
        if (out.stored != FullLog) state.SkipWithError("load failed");
        const double ms = t.nsecsElapsed() / 1e6;
        runs.push_back(ms);
        state.SetIterationTime(ms / 1000);
    }
    state.counters["rows"] = target.RowCount();
    Record("load", runs);
}
BENCHMARK(BM_LoadCsv)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);

// The part of the load before the database: reading, decoding and splitting every line.
void BM_ReadAndParseCsv(benchmark::State& state)
{
    Setup* s = TheSetup();
    if (!s->ready) {
        state.SkipWithError("setup failed");
        return;
    }
    std::vector<double> runs;
    for (auto _ : state) {
        QElapsedTimer t;
        t.start();
        QStringList lines;
        QString error;
        ReadTextLines(s->csv, &lines, &error);
        int parsed = 0;
        TRecordData rec;
        for (int i = 1; i < lines.size(); ++i) parsed += ParseCsvRecord(lines.at(i), &rec) ? 1 : 0;
        if (parsed != FullLog) state.SkipWithError("parse failed");
        const double ms = t.nsecsElapsed() / 1e6;
        runs.push_back(ms);
        state.SetIterationTime(ms / 1000);
    }
    Record("load: read and parse", runs);
}
BENCHMARK(BM_ReadAndParseCsv)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);

// The shell imports the same file into a fresh table of the same columns (without the engine's
// row identity, which a CSV file does not carry) and the same record-number index.
void BM_Sqlite3ShellImport(benchmark::State& state)
{
    Setup* s = TheSetup();
    const QString shell = QStandardPaths::findExecutable(QStringLiteral("sqlite3"));
    if (shell.isEmpty()) {
        state.SkipWithError("sqlite3 is not installed: the shell's import is not measured");
        return;
    }
    if (!s->ready) {
        state.SkipWithError("setup failed");
        return;
    }
    QString create = QLatin1String(TRecordDb::CreateTableSql);
    create.replace(QStringLiteral("ID INTEGER PRIMARY KEY AUTOINCREMENT,"), QString());
    const QString script = create + QStringLiteral(";\n") + QLatin1String(TRecordDb::CreateRecNoIndexSql) +
                           QStringLiteral(";\n.mode csv\n.import --skip 1 '%1' UpsEvntRecord\n").arg(s->csv);
    std::vector<double> runs;
    int n = 0;
    for (auto _ : state) {
        const QString db = s->dir.filePath(QStringLiteral("shell-%1.db").arg(n++));
        QElapsedTimer t;
        t.start();
        QProcess p;
        p.start(shell, {db});
        p.write(script.toUtf8());
        p.closeWriteChannel();
        if (!p.waitForFinished(120000) || p.exitCode() != 0) {
            state.SkipWithError(("sqlite3 failed: " + p.readAllStandardError().toStdString()).c_str());
            break;
        }
        const double ms = t.nsecsElapsed() / 1e6;
        runs.push_back(ms);
        state.SetIterationTime(ms / 1000);
        QFile::remove(db);
    }
    Record("sqlite3 .import", runs);
}
BENCHMARK(BM_Sqlite3ShellImport)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    std::printf("\nRecord files, %d records (median of 5 runs):\n", FullLog);
    for (const auto& [name, ms] : Medians) std::printf("  %-22s %8.1f ms\n", name.c_str(), ms);
    const auto load = Medians.find("load");
    const auto shell = Medians.find("sqlite3 .import");
    if (load != Medians.end() && shell != Medians.end() && shell->second > 0)
        std::printf("  load / sqlite3 .import: %.2f (target at most 3)\n", load->second / shell->second);
    else if (load != Medians.end())
        std::printf("  sqlite3 .import not measured (sqlite3 missing): no ratio\n");
    const auto exp = Medians.find("export");
    if (exp != Medians.end()) std::printf("  export under 1 s: %s\n", exp->second < 1000 ? "yes" : "NO");
    return 0;
}
