// The program's main routine: the application object, the always-present windows in their
// order, the message loop; the program ends when the main window closes.
#include "cli/uCmdLine.h"
#include "cli/uHeadless.h"
#include "cli/uScanCommand.h"
#include "cli/uSignalWatch.h"
#include "app/uStartup.h"
#include "ui/uUiSeam.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <cstring>

namespace {
void nameApplication()
{
    QCoreApplication::setApplicationName(QStringLiteral("zyrtool"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ZYR_VERSION));
}

// Parses the options; returns the exit code when the run ends here (help, version, a bad
// option), or -1 when the tool is to start.
int parseOptions(TCmdLine& options, const QStringList& arguments)
{
    QString error;
    if (!ParseCmdLine(arguments, options, error)) {
        std::fprintf(stderr, "%s\n", qPrintable(UsageErrorLine(error)));
        return 1;
    }
    if (options.Help) {
        std::printf("%s", qPrintable(options.HelpText));
        return 0;
    }
    if (options.Version) {
        std::printf("zyrtool %s\n", ZYR_VERSION);
        return 0;
    }
    return -1;
}

// Help, version and the headless commands need no display: they run on the offscreen
// platform unless one is named.
bool needsNoDisplay(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        if (!std::strcmp(a, "--help") || !std::strcmp(a, "-h") || !std::strcmp(a, "--help-all") ||
            !std::strcmp(a, "--version") || !std::strcmp(a, "-v") || !std::strncmp(a, "--snapshot", 10) ||
            !std::strncmp(a, "--download-log", 14) || !std::strncmp(a, "--backup", 8) ||
            !std::strncmp(a, "--restore", 9) ||
            !std::strncmp(a, "--log-values", 12))
            return true;
    }
    return false;
}

// The options are checked before any window system starts, so that a mistyped command line is
// told in one line on any machine, with or without a display. Exit status 1 for a usage error.
bool usageIsSound(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    TCmdLine options;
    QString error;
    if (ParseCmdLine(WithoutToolkitOptions(arguments), options, error)) return true;
    std::fprintf(stderr, "%s\n", qPrintable(UsageErrorLine(error)));
    return false;
}

bool asksForScan(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i)
        if (!std::strcmp(argv[i], "--scan")) return true;
    return false;
}

// zyrtool --scan needs no window system at all.
int runScan(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    nameApplication();
    TCmdLine options;
    // The core application leaves the toolkit's options in place; they mean nothing here.
    if (const int code = parseOptions(options, WithoutToolkitOptions(QCoreApplication::arguments())); code >= 0)
        return code;
    return RunScanCommand(options);
}
} // namespace

int main(int argc, char** argv)
{
    if (!usageIsSound(argc, argv)) return 1;
    if (asksForScan(argc, argv)) return runScan(argc, argv);
    if (needsNoDisplay(argc, argv) && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    QApplication app(argc, argv);
    nameApplication();
    // The main window's close ends the run even while the trace window is open.
    QApplication::setQuitOnLastWindowClosed(false);

    TCmdLine options;
    if (const int code = parseOptions(options, QCoreApplication::arguments()); code >= 0) return code;
    if (IsHeadlessCommand(options)) {
        SetNoOneToAnswer(true);
        return RunHeadless(options);
    }

    // Watched before anything starts (the demonstration's cabinet among them), so that a
    // signal at any moment ends the run in order.
    TSignalWatch desktopEnds;
    TStartup startup(options);
    QObject::connect(&desktopEnds, &TSignalWatch::Interrupted, &startup, &TStartup::End,
                     Qt::SingleShotConnection);
    QString error;
    if (!startup.CreateWindows(error)) {
        std::fprintf(stderr, "zyrtool: %s\n", qPrintable(error));
        return 1;
    }
    QObject::connect(&startup, &TStartup::finished, &app, &QApplication::quit, Qt::QueuedConnection);
    // Started from inside the message loop, so that a message shown at start (a port that
    // cannot be opened) does not keep a timed end from ending the program.
    QTimer::singleShot(0, &startup, &TStartup::Start);
    const int code = app.exec();
    // Ended by a signal: the status a shell expects (143 for SIGTERM, 130 for SIGINT).
    return desktopEnds.Signal() ? TSignalWatch::ExitStatus(desktopEnds.Signal()) : code;
}
