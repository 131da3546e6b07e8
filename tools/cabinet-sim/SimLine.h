// The serial side of the cabinet: a pseudo-terminal it creates (with a link to its slave
// side) or an existing serial device, read through a socket notifier, written byte by byte at
// the pace of the line.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

class QSocketNotifier;

namespace sim {

class Line : public QObject {
    Q_OBJECT
public:
    Line(int baud, bool pacing, QObject* parent = nullptr);
    ~Line() override;

    // Both return false with a message in error.
    bool openPty(const QString& linkPath, QString& error);
    bool openDevice(const QString& path, QString& error);
    void close();

    // The speed the line is set to now, in bit/s; on a pseudo-terminal the other end sets it.
    // 0 when it cannot be read.
    int lineSpeed() const;

    // Time of one character on the line: start bit, 8 data bits, 2 stop bits.
    double charTimeMs() const { return 11000.0 / baud_; }
    // The line is quiet for this long after the last byte of a frame.
    double silenceMs() const;

    // Queues bytes to go out no earlier than startMs on the line's clock.
    void send(const std::vector<uint8_t>& bytes, double startMs);
    // Milliseconds since the line opened.
    double nowMs() const { return clock_.nsecsElapsed() / 1e6; }
    // When the last queued byte will have left, on the line's clock.
    double busyUntilMs() const { return busyUntil_; }

    std::function<void(const uint8_t*, size_t)> onBytes;
    std::function<void()> onSilence;

private:
    void readAvailable();
    void pump();
    bool configure(int fd, QString& error);

    struct Pending {
        uint8_t byte;
        double dueMs;
    };

    int baud_;
    bool pacing_;
    int fd_ = -1;
    int slaveFd_ = -1;
    QString link_;
    QSocketNotifier* notifier_ = nullptr;
    QTimer silenceTimer_;
    QTimer pumpTimer_;
    QElapsedTimer clock_;
    std::deque<Pending> out_;
    double busyUntil_ = 0.0;
};

} // namespace sim
