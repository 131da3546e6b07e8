// cabinet-sim: a simulated ZYR cabinet serving Modbus RTU on a pseudo-terminal or a serial
// device, for the demo, the end-to-end tests and the benchmarks.
#include "SimCabinet.h"
#include "SimLogDump.h"
#include "SimOptions.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("cabinet-sim"));

    sim::Options options;
    QString error;
    bool help = false;
    if (!sim::parseOptions(QCoreApplication::arguments(), options, error, help)) {
        std::fprintf(help ? stdout : stderr, "%s\n", qPrintable(error));
        return help ? 0 : 2;
    }

    if (options.dumpLog) return sim::dumpLog(options);

    // Signals only write to a pipe; the event loop then stops and the link is removed.
    if (::pipe(signalPipe) != 0) return 1;
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    QSocketNotifier signalNotifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);

    sim::Cabinet cabinet(options);
    QObject::connect(&cabinet, &sim::Cabinet::vanished, &app, &QCoreApplication::quit);
    if (!cabinet.start(error)) {
        std::fprintf(stderr, "cabinet-sim: %s\n", qPrintable(error));
        return 1;
    }
    std::printf("cabinet-sim ready on %s\n",
                qPrintable(options.ptyLink.isEmpty() ? options.device : options.ptyLink));
    std::fflush(stdout);
    const int rc = app.exec();
    cabinet.stop();
    return rc;
}
