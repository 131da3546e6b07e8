// Ctrl-C (SIGINT), SIGTERM and SIGHUP (the terminal closed, a logout): while a watch exists the
// signals do not kill the program; they are noted, the event loop is woken, and the program ends
// its work in order. A headless command stops the link, writes what was stored and removes its
// temporary files; the window program closes as its own close does (port closed, settings saved,
// the demonstration's cabinet stopped). Either exits with 128 + the signal's number, as shells
// expect. One watch at a time; the previous handling comes back when it is destroyed.
#pragma once

#include <QObject>

class QSocketNotifier;

class TSignalWatch : public QObject {
    Q_OBJECT
public:
    explicit TSignalWatch(QObject* parent = nullptr);
    ~TSignalWatch() override;

    // The first signal caught, 0 while none came.
    int Signal() const;
    // The signal caught by the watch in force, 0 when none came or no watch is in force.
    static int Caught();
    // The watch in force, nullptr when there is none.
    static TSignalWatch* Active();
    // The exit status a shell expects after the signal: 130 for SIGINT, 143 for SIGTERM, 129
    // for SIGHUP.
    static int ExitStatus(int signal) { return 128 + signal; }
    // "interrupted", "terminated" or "hung up", for the message that ends the run.
    static QString Name(int signal);

Q_SIGNALS:
    // Emitted from the event loop once a signal has come.
    void Interrupted(int signal);

private:
    void onWake();
    QSocketNotifier* notifier_ = nullptr;
};
