// The five-step poll cycle of the link (the real TFrmCom, TComm, codec and Timer1) against the
// simulated cabinet pacing its replies at 2400, 9600 and 19200 bit/s. Prints, per speed, the
// measured period of one whole cycle beside the period that the tick rules, the wire time of
// each frame and the 200 ms receive silence predict, their ratio, and the CPU time the link's
// process spends per minute of polling. Then the same cycle in line-speed mode, beside the wire
// time of its frames (requests, turnarounds and replies) and the CPU it takes.
//
// Usage: bench_poll_cycle [--cycles N] [--sim PATH] [--benchmark_filter=REGEX]
#include "comm/uFrmCom.h"
#include "comm/uLinkState.h"
#include "model/UShareData.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <regex>
#include <sys/resource.h>
#include <vector>

namespace {

constexpr double TickMs = 100.0;
constexpr double SilenceMs = 200.0; // the receive chunk ends after this much quiet
constexpr int TurnaroundMs = 10;    // the simulated cabinet's delay before it answers
constexpr int RequestBytes = 8;
// Registers read by poll steps 1 to 5.
constexpr int StepCounts[5] = {44, 31, 35, 35, 11};

double charMs(int baud) { return 11000.0 / baud; } // start bit, 8 data bits, 2 stop bits

struct StepModel {
    double requestWireMs, replyWireMs, deliveredMs;
    int ticks;
};

// A step is built on the tick after the previous reply was delivered and sent on the next:
// one tick to send, then as many whole ticks as it takes until the reply chunk is delivered
// (request and reply on the wire, the turnaround, the silence that ends the chunk).
StepModel modelStep(int baud, int count)
{
    StepModel m;
    m.requestWireMs = RequestBytes * charMs(baud);
    m.replyWireMs = (5 + 2 * count) * charMs(baud);
    m.deliveredMs = m.requestWireMs + TurnaroundMs + m.replyWireMs + SilenceMs;
    m.ticks = 1 + static_cast<int>(std::ceil(m.deliveredMs / TickMs));
    return m;
}

double cpuMs()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

struct Send {
    double atMs;
    int step; // 1..5, 0 for anything else
    double cpuMs;
    double repliedMs = -1; // when its reply reached the link, from the send
};

int stepOf(const uint8_t* f, int n)
{
    if (n != 8) return 0;
    const int reg = (f[2] << 8 | f[3]) + 1;
    const int count = f[4] << 8 | f[5];
    if (f[1] == 4 && reg == 30001 && count == 44) return 1;
    if (f[1] == 4 && reg == 30061 && count == 31) return 2;
    if (f[1] == 3 && reg == 40001 && count == 35) return 3;
    if (f[1] == 4 && reg == 30101 && count == 35) return 4;
    if (f[1] == 4 && reg == 40081 && count == 11) return 5;
    return 0;
}

struct Recorder {
    QElapsedTimer clock;
    std::vector<Send> sends;
    void TraceTx(const uint8_t* f, int n)
    {
        sends.push_back({clock.nsecsElapsed() / 1e6, stepOf(f, n), cpuMs()});
    }
    void TraceRx(const uint8_t*, int)
    {
        if (!sends.empty() && sends.back().repliedMs < 0)
            sends.back().repliedMs = clock.nsecsElapsed() / 1e6 - sends.back().atMs;
    }
};

struct Result {
    int baud = 0;
    double predictedMs = 0, measuredMs = 0, cpuMsPerMin = 0;
    int cycles = 0;
    int exactCycles = 0; // whose own period is the model's, to the nearest tick
    int lost = 0;
    double wireMs = 0; // requests, turnarounds and replies of one cycle
    double stepMeasuredTicks[5] = {};
    double stepLatestReplyMs[5] = {}; // the latest a reply reached the link, from its request
    StepModel steps[5];
};

bool runSpeed(const QString& simPath, int baud, int cycles, bool fast, Result& r)
{
    r.baud = baud;
    for (int i = 0; i < 5; ++i) {
        r.steps[i] = modelStep(baud, StepCounts[i]);
        r.predictedMs += r.steps[i].ticks * TickMs;
        r.wireMs += r.steps[i].requestWireMs + TurnaroundMs + r.steps[i].replyWireMs;
    }

    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("cabinet"));
    QProcess sim;
    sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    sim.start(simPath,
              {QStringLiteral("--pty"), link, QStringLiteral("--baud"), QString::number(baud),
               QStringLiteral("--turnaround"), QString::number(TurnaroundMs), QStringLiteral("--no-drift")});
    if (!sim.waitForStarted(10000)) return false;
    QElapsedTimer wait;
    wait.start();
    while (!QFileInfo(link).isSymLink() && wait.elapsed() < 10000) QThread::msleep(10);

    ResetSharedData();
    Recorder recorder;
    bool ok = true;
    {
        TFrmCom frm; // Timer1 runs for real, every 100 ms
        frm.SetFastLineForRun(fast);
        QObject::connect(&frm, &TFrmCom::FrameSent, [&recorder](const QByteArray& b) {
            recorder.TraceTx(reinterpret_cast<const uint8_t*>(b.constData()), int(b.size()));
        });
        QObject::connect(&frm, &TFrmCom::ChunkReceived, [&recorder](const QByteArray& b) {
            recorder.TraceRx(reinterpret_cast<const uint8_t*>(b.constData()), int(b.size()));
        });
        try {
            frm.OpenPort(link, baud);
        } catch (const ECommsError& e) {
            std::fprintf(stderr, "cannot open %s: %s\n", qPrintable(link), e.what());
            ok = false;
        }
        recorder.clock.start();
        // One cycle to settle, then the measured ones, each ending at the next step 1.
        auto firstSteps = [&] {
            int n = 0;
            for (const Send& s : recorder.sends) n += s.step == 1;
            return n;
        };
        // A plain event loop, as the tool runs: the process sleeps between events, so its CPU
        // time is the link's own work.
        QEventLoop loop;
        QTimer check;
        QElapsedTimer limit;
        limit.start();
        QObject::connect(&check, &QTimer::timeout, &loop, [&] {
            if (firstSteps() >= cycles + 2 || limit.elapsed() > 120000) loop.quit();
        });
        check.start(250);
        if (ok) loop.exec();
        frm.ClosePort();
    }
    ::kill(static_cast<pid_t>(sim.processId()), SIGTERM);
    sim.waitForFinished(10000);
    if (!ok) return false;

    std::vector<size_t> starts;
    for (size_t i = 0; i < recorder.sends.size(); ++i)
        if (recorder.sends[i].step == 1) starts.push_back(i);
    if (starts.size() < 3) return false;
    const Send& first = recorder.sends[starts[1]];
    const Send& last = recorder.sends[starts.back()];
    r.cycles = static_cast<int>(starts.size()) - 2;
    r.measuredMs = (last.atMs - first.atMs) / r.cycles;
    r.cpuMsPerMin = (last.cpuMs - first.cpuMs) / (last.atMs - first.atMs) * 60000.0;
    // A host that holds the process off for a few milliseconds near a tick boundary costs that
    // cycle a whole tick: the cycles that kept the model's period tell that apart from a slower
    // link, which would lose the tick in every cycle.
    for (size_t c = 1; c + 1 < starts.size(); ++c) {
        const double period = recorder.sends[starts[c + 1]].atMs - recorder.sends[starts[c]].atMs;
        if (std::fabs(period - r.predictedMs) < TickMs / 2) ++r.exactCycles;
    }
    for (size_t i = starts[1]; i < starts.back(); ++i) {
        const Send& s = recorder.sends[i];
        const Send& next = recorder.sends[i + 1];
        if (s.step >= 1) {
            r.stepMeasuredTicks[s.step - 1] += (next.atMs - s.atMs) / TickMs / r.cycles;
            r.stepLatestReplyMs[s.step - 1] = std::max(r.stepLatestReplyMs[s.step - 1], s.repliedMs);
        }
        if (next.step != s.step % 5 + 1) ++r.lost;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int cycles = 4;
    QString simPath = qEnvironmentVariable("ZYR_CABINET_SIM");
    if (simPath.isEmpty())
        simPath = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("../cabinet-sim"));
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--cycles" && i + 1 < argc)
            cycles = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--sim" && i + 1 < argc)
            simPath = QString::fromLocal8Bit(argv[++i]);
        else if (arg.rfind("--benchmark_filter=", 0) == 0 &&
                 !std::regex_search("PollCycle", std::regex(arg.substr(19))))
            return 0; // bench.sh asked for other benchmarks only
    }
    if (!QFileInfo(simPath).isExecutable()) {
        std::fprintf(stderr, "bench_poll_cycle: no cabinet-sim at %s (set ZYR_CABINET_SIM or --sim)\n",
                     qPrintable(simPath));
        return 1;
    }

    std::printf("PollCycle: link against cabinet-sim, paced replies, turnaround %d ms, %d measured cycles "
                "per speed\n\n",
                TurnaroundMs, cycles);
    std::vector<Result> results;
    for (int baud : {2400, 9600, 19200}) {
        Result r;
        if (!runSpeed(simPath, baud, cycles, false, r)) {
            std::fprintf(stderr, "bench_poll_cycle: run at %d bit/s failed\n", baud);
            return 1;
        }
        results.push_back(r);
        std::printf("%6d bit/s  step  request  reply   delivered  ticks predicted  ticks measured  latest delivery\n",
                    baud);
        for (int i = 0; i < 5; ++i)
            std::printf("               %d   %5.1f ms %6.1f ms %7.1f ms  %8d  %16.2f  %12.1f ms\n", i + 1,
                        r.steps[i].requestWireMs, r.steps[i].replyWireMs, r.steps[i].deliveredMs,
                        r.steps[i].ticks, r.stepMeasuredTicks[i], r.stepLatestReplyMs[i]);
        std::printf("\n");
        std::fflush(stdout);
    }

    std::printf("%8s %14s %13s %7s %7s %13s %18s %9s\n", "bit/s", "predicted ms", "measured ms", "ratio", "cycles",
                "at the model", "CPU ms per minute", "out of order");
    bool within = true;
    for (const Result& r : results) {
        const double ratio = r.measuredMs / r.predictedMs;
        within = within && ratio <= 1.02;
        std::printf("%8d %14.1f %13.1f %7.3f %7d %13d %18.1f %9d\n", r.baud, r.predictedMs, r.measuredMs, ratio,
                    r.cycles, r.exactCycles, r.cpuMsPerMin, r.lost);
    }
    std::printf("\nratio target: at most 1.02 -> %s\n", within ? "met" : "NOT met");

    // Line-speed mode: the cycle against its own wire time, and the CPU of the polling process.
    std::printf("\nline-speed mode (--fast)\n%8s %10s %13s %12s %7s %15s %9s\n", "bit/s", "wire ms", "measured ms",
                "wire/measured", "cycles", "CPU % of a core", "out of order");
    for (int baud : {2400, 9600, 19200}) {
        Result r;
        if (!runSpeed(simPath, baud, cycles * 4, true, r)) {
            std::fprintf(stderr, "bench_poll_cycle: line-speed run at %d bit/s failed\n", baud);
            return 1;
        }
        std::printf("%8d %10.1f %13.1f %12.3f %7d %15.2f %9d\n", r.baud, r.wireMs, r.measuredMs,
                    r.wireMs / r.measuredMs, r.cycles, r.cpuMsPerMin / 600.0, r.lost);
        std::fflush(stdout);
    }
    return 0;
}
