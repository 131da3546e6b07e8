// The program's main routine: the command line is parsed once; a headless command, help or
// version runs on a core application; otherwise the application object, the always-present
// windows in their order, the message loop; the program ends when the main window closes.
#include "app/uStartup.h"
#include "cli/uCmdLine.h"
#include "cli/uHeadless.h"
#include "cli/uSignalWatch.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>

int main(int argc, char** argv)
{
    // Before any window system starts: a mistyped command line reads the same on any machine,
    // and a headless command never needs a display nor loads a platform plugin.
    TCmdLine options;
    if (!ParseProgramArguments(argc, argv, options)) return 1;
    if (NeedsNoWindow(options)) return RunWithoutWindow(argc, argv, options);

    QApplication app(argc, argv);
    NameApplication();
    // The main window's close ends the run even while the trace window is open.
    QApplication::setQuitOnLastWindowClosed(false);

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
