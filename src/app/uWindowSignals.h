// The ends a desktop sends the window program: SIGTERM (a logout, a shutdown, kill), SIGINT
// (Ctrl-C in the terminal it was started from) and SIGHUP (its terminal closed). While a watch
// exists they do not kill the program at once: they are noted, the event loop is woken, and
// the program closes as the operator's own close does (the port closed, the settings saved,
// the demonstration's cabinet stopped and its folder removed).
#pragma once

#include <QObject>

class QSocketNotifier;

class TWindowSignals : public QObject {
    Q_OBJECT
public:
    explicit TWindowSignals(QObject* parent = nullptr);
    ~TWindowSignals() override;

    // The first signal received, 0 while none came.
    int Signal() const;

Q_SIGNALS:
    // Emitted from the event loop, once, when the first signal has come.
    void Received(int signal);

private:
    void onWake();
    QSocketNotifier* notifier_ = nullptr;
    bool told_ = false;
};
