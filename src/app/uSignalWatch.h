// Ctrl-C and SIGTERM for a headless command that runs until stopped: the signal is turned into
// a Qt signal on the user-interface thread (through a socket pair), so the command ends its
// work in order instead of being cut off.
#pragma once

#include <QObject>

class QSocketNotifier;

class TSignalWatch : public QObject {
    Q_OBJECT
public:
    explicit TSignalWatch(QObject* parent = nullptr);
    ~TSignalWatch() override; // the previous handlers come back

    bool Watching() const { return notifier_ != nullptr; }

Q_SIGNALS:
    void stopAsked(int signal);

private:
    QSocketNotifier* notifier_ = nullptr;
};
