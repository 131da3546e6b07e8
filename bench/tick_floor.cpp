// The least a tool with this one's ticks can cost on this machine: an application with one
// shown window and the two 100 ms timers of the main window and the link, doing nothing on
// either. bench/soak runs it in the same minutes as the tool, so that the tool's figure can be
// read against what the machine charges for waking a process ten times a second.
//
// Usage: tick_floor SECONDS
#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <cstdlib>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
    QWidget window;
    window.resize(742, 582);
    window.show();
    QTimer mainTick;
    QTimer linkTick;
    for (QTimer* t : {&mainTick, &linkTick}) {
        t->setInterval(100);
        QObject::connect(t, &QTimer::timeout, [] {});
        t->start();
    }
    QTimer::singleShot(seconds * 1000, &app, &QApplication::quit);
    return app.exec();
}
