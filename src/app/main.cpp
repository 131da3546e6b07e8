// The program's main routine: the application object, the always-present windows in their
// order, the message loop; the program ends when the main window closes.
#include "app/uCmdLine.h"
#include "app/uStartup.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("zyrtool"));
    QApplication::setApplicationVersion(QStringLiteral(ZYR_VERSION));
    // The main window's close ends the run even while the trace window is open.
    QApplication::setQuitOnLastWindowClosed(false);

    TCmdLine options;
    QString error;
    if (!ParseCmdLine(QApplication::arguments(), options, error)) {
        std::fprintf(stderr, "zyrtool: %s\n\n%s", qPrintable(error), qPrintable(options.HelpText));
        return 2;
    }
    if (options.Help) {
        std::printf("%s", qPrintable(options.HelpText));
        return 0;
    }
    if (options.Version) {
        std::printf("zyrtool %s\n", ZYR_VERSION);
        return 0;
    }

    TStartup startup(options);
    if (!startup.CreateWindows(error)) {
        std::fprintf(stderr, "zyrtool: %s\n", qPrintable(error));
        return 1;
    }
    QObject::connect(&startup, &TStartup::finished, &app, &QApplication::quit, Qt::QueuedConnection);
    // Started from inside the message loop, so that a message shown at start (a port that
    // cannot be opened) does not keep a timed end from ending the program.
    QTimer::singleShot(0, &startup, &TStartup::Start);
    return app.exec();
}
