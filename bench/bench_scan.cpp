// The whole cabinet scan (five speeds, addresses 1 to 15) on a silent line and on a line with
// one cabinet (cabinet-sim at one speed only, paced replies). Prints, per line, the time the
// scan took beside the sum of the wire times its tries waited for (request and expected reply),
// the sum of the windows the tries would wait with nothing arriving (wire time, 3.5 characters
// of silence and the margin), and their ratios; and whether the silent line stays within 15 s.
//
// Usage: bench_scan [--sim PATH] [--benchmark_filter=REGEX]
#include "comm/uCabinetScan.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <regex>
#include <unistd.h>

namespace {

constexpr double SilentBoundMs = 15000;
constexpr int CabinetBaud = 2400;
constexpr int CabinetAddress = 9;
constexpr int TurnaroundMs = 5;

struct Result {
    const char* line = "";
    double elapsedMs = 0, wireMs = 0, windowsMs = 0;
    int tries = 0, found = 0;
};

// The windows of every try made when nothing answers: each speed, each address, one version read.
double silentWindowsMs()
{
    double sum = 0;
    for (int baud : TCabinetScan::DefaultSpeeds())
        sum += (TCabinetScan::LastAddress - TCabinetScan::FirstAddress + 1) *
               TCabinetScan::TryWindowMs(baud, TCabinetScan::VersionReplyBytes);
    return sum;
}

bool scan(const QString& port, Result& r)
{
    TCabinetScan s;
    QEventLoop loop;
    QObject::connect(&s, &TCabinetScan::Finished, &loop, &QEventLoop::quit);
    QElapsedTimer clock;
    clock.start();
    try {
        s.Start(port);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_scan: cannot open %s: %s\n", qPrintable(port), e.what());
        return false;
    }
    loop.exec();
    r.elapsedMs = clock.nsecsElapsed() / 1e6;
    r.wireMs = s.WaitedWireMs();
    r.tries = s.Tries();
    r.found = int(s.Found().size());
    return true;
}

bool silentLine(Result& r)
{
    r.line = "silent";
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) return false;
    const QString slave = QString::fromLocal8Bit(::ptsname(master));
    const bool ok = scan(slave, r);
    ::close(master);
    r.windowsMs = silentWindowsMs();
    return ok;
}

bool oneCabinet(const QString& simPath, Result& r)
{
    r.line = "one cabinet";
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("cabinet"));
    QProcess sim;
    sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    sim.start(simPath, {QStringLiteral("--pty"), link, QStringLiteral("--baud"), QString::number(CabinetBaud),
                        QStringLiteral("--strict-speed"), QStringLiteral("--addresses"),
                        QString::number(CabinetAddress), QStringLiteral("--turnaround"),
                        QString::number(TurnaroundMs), QStringLiteral("--no-drift")});
    if (!sim.waitForStarted(10000)) return false;
    QElapsedTimer wait;
    wait.start();
    while (!QFileInfo(link).isSymLink() && wait.elapsed() < 10000) QThread::msleep(10);
    const bool ok = scan(link, r);
    ::kill(static_cast<pid_t>(sim.processId()), SIGTERM);
    sim.waitForFinished(10000);
    // The silent windows and the window of the type read: what the scan waits at most (an
    // answered try ends with the answer).
    r.windowsMs = silentWindowsMs() + TCabinetScan::TryWindowMs(CabinetBaud, TCabinetScan::TypeReplyBytes);
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QString simPath = qEnvironmentVariable("ZYR_CABINET_SIM");
    if (simPath.isEmpty())
        simPath = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("../cabinet-sim"));
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--sim" && i + 1 < argc)
            simPath = QString::fromLocal8Bit(argv[++i]);
        else if (arg.rfind("--benchmark_filter=", 0) == 0 && !std::regex_search("Scan", std::regex(arg.substr(19))))
            return 0; // bench.sh asked for other benchmarks only
    }
    if (!QFileInfo(simPath).isExecutable()) {
        std::fprintf(stderr, "bench_scan: no cabinet-sim at %s (set ZYR_CABINET_SIM or --sim)\n",
                     qPrintable(simPath));
        return 1;
    }

    std::printf("Scan: speeds 19200 to 1200 bit/s, addresses %d to %d, margin %d ms per try; the cabinet at "
                "%d bit/s, address %d, turnaround %d ms\n\n",
                TCabinetScan::FirstAddress, TCabinetScan::LastAddress, TCabinetScan::MarginMs, CabinetBaud,
                CabinetAddress, TurnaroundMs);
    Result silent, one;
    if (!silentLine(silent) || !oneCabinet(simPath, one)) {
        std::fprintf(stderr, "bench_scan: a run failed\n");
        return 1;
    }
    std::printf("%-12s %6s %6s %12s %13s %15s %11s %13s\n", "line", "tries", "found", "scan ms", "wire ms",
                "windows ms", "scan/wire", "scan/windows");
    for (const Result& r : {silent, one})
        std::printf("%-12s %6d %6d %12.1f %13.1f %15.1f %11.3f %13.3f\n", r.line, r.tries, r.found, r.elapsedMs,
                    r.wireMs, r.windowsMs, r.elapsedMs / r.wireMs, r.elapsedMs / r.windowsMs);
    std::printf("\nsilent line within %.0f s: %s; the cabinet found: %s\n", SilentBoundMs / 1000,
                silent.elapsedMs <= SilentBoundMs ? "met" : "NOT met", one.found == 1 ? "yes" : "NO");
    return 0;
}
