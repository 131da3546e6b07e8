// The simulated cabinet of a demonstration run: cabinet-sim beside the executable, on a
// pseudo-terminal in a private temporary folder, stopped when the run ends.
#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <memory>

class TDemoCabinet {
public:
    static constexpr int DemoBaud = 19200;

    ~TDemoCabinet();
    // Starts the simulator and waits until its pseudo-terminal appears. On failure returns
    // false with a message and leaves nothing running.
    bool Start(QString& error, const QString& simulator = QString());
    void Stop();
    // The device to open: the simulator's end of the line.
    QString PortPath() const { return portPath_; }
    bool Running() const { return process_ && process_->state() != QProcess::NotRunning; }

private:
    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<QProcess> process_;
    QString portPath_;
};
