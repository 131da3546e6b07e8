// Test-side tools for the simulated cabinet: start and stop it as a child process on a
// pseudo-terminal, and talk to it over raw termios with a CRC of the tests' own, so that
// neither the tool's serial component nor its codec stands between a test and the wire.
#pragma once

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace simtest {

using Bytes = std::vector<uint8_t>;

// CRC-16/MODBUS from the pair of 256-byte tables of the protocol's reference implementation,
// built here at start instead of typed in.
class RefCrc {
public:
    static uint16_t of(const uint8_t* bytes, size_t count)
    {
        static const RefCrc tables;
        uint8_t hi = 0xFF, lo = 0xFF;
        for (size_t i = 0; i < count; ++i) {
            const uint8_t index = lo ^ bytes[i];
            lo = hi ^ tables.hi_[index];
            hi = tables.lo_[index];
        }
        return static_cast<uint16_t>(hi << 8 | lo);
    }
    static uint16_t of(const Bytes& b) { return of(b.data(), b.size()); }
    static bool valid(const Bytes& frame)
    {
        if (frame.size() < 4) return false;
        const uint16_t crc = of(frame.data(), frame.size() - 2);
        return frame[frame.size() - 2] == (crc & 0xFF) && frame.back() == (crc >> 8);
    }

private:
    RefCrc()
    {
        for (int i = 0; i < 256; ++i) {
            uint16_t c = static_cast<uint16_t>(i);
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? static_cast<uint16_t>((c >> 1) ^ 0xA001) : static_cast<uint16_t>(c >> 1);
            hi_[i] = static_cast<uint8_t>(c & 0xFF);
            lo_[i] = static_cast<uint8_t>(c >> 8);
        }
    }
    std::array<uint8_t, 256> hi_{}, lo_{};
};

inline Bytes withCrc(Bytes frame)
{
    const uint16_t crc = RefCrc::of(frame);
    frame.push_back(static_cast<uint8_t>(crc & 0xFF));
    frame.push_back(static_cast<uint8_t>(crc >> 8));
    return frame;
}

// A request for registers numbered as the cabinet documents them (wire address = number - 1).
inline Bytes readRequest(int address, int function, int reg, int count)
{
    const int wire = reg - 1;
    return withCrc({uint8_t(address), uint8_t(function), uint8_t(wire >> 8), uint8_t(wire),
                    uint8_t(count >> 8), uint8_t(count)});
}

inline Bytes writeSingleRequest(int address, int reg, uint16_t value)
{
    const int wire = reg - 1;
    return withCrc(
        {uint8_t(address), 6, uint8_t(wire >> 8), uint8_t(wire), uint8_t(value >> 8), uint8_t(value)});
}

inline Bytes writeMultipleRequest(int address, int reg, const std::vector<uint16_t>& values)
{
    const int wire = reg - 1;
    const int n = static_cast<int>(values.size());
    Bytes q{uint8_t(address), 16,         uint8_t(wire >> 8), uint8_t(wire),
            uint8_t(n >> 8),  uint8_t(n), uint8_t(2 * n)};
    for (uint16_t v : values) {
        q.push_back(uint8_t(v >> 8));
        q.push_back(uint8_t(v));
    }
    return withCrc(q);
}

inline Bytes recordRequest(int address, int record)
{
    return withCrc({uint8_t(address), 20, 7, 6, 0, 1, uint8_t(record >> 8), uint8_t(record), 0, 0x40});
}

inline Bytes identificationRequest(int address, int object)
{
    return withCrc({uint8_t(address), 0x2B, 0x0E, 0x01, uint8_t(object)});
}

inline uint16_t wordAt(const Bytes& b, size_t at) { return static_cast<uint16_t>(b[at] << 8 | b[at + 1]); }

// Register values carried by a function 3 or 4 reply.
inline std::vector<uint16_t> registersOf(const Bytes& reply)
{
    std::vector<uint16_t> values;
    if (reply.size() < 5) return values;
    for (size_t i = 0; i + 1 < reply[2] && 4 + i < reply.size(); i += 2)
        values.push_back(wordAt(reply, 3 + i));
    return values;
}

// One run of cabinet-sim on its own pseudo-terminal link inside a temporary folder.
class SimProcess {
public:
    ~SimProcess() { stop(); }

    // False when the link did not appear within the time-out.
    bool start(const QStringList& extraArgs, int timeoutMs = 10000)
    {
        link_ = dir_.filePath(QStringLiteral("cabinet"));
        logPath_ = dir_.filePath(QStringLiteral("frames.log"));
        QStringList args{QStringLiteral("--pty"), link_, QStringLiteral("--log"), logPath_};
        args += extraArgs;
        process_.setProgram(QStringLiteral(ZYR_CABINET_SIM));
        process_.setArguments(args);
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start();
        if (!process_.waitForStarted(timeoutMs)) return false;
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < timeoutMs) {
            if (QFileInfo(link_).isSymLink()) return true;
            if (process_.state() == QProcess::NotRunning) return false;
            QThread::msleep(10);
        }
        return false;
    }

    // Sends the signal and waits; true when the process ended by itself with status 0.
    bool stop(int signal = SIGTERM)
    {
        if (process_.state() == QProcess::NotRunning)
            return process_.exitStatus() == QProcess::NormalExit && process_.exitCode() == 0;
        ::kill(static_cast<pid_t>(process_.processId()), signal);
        if (!process_.waitForFinished(10000)) {
            process_.kill();
            process_.waitForFinished(5000);
            return false;
        }
        return process_.exitStatus() == QProcess::NormalExit && process_.exitCode() == 0;
    }

    QString link() const { return link_; }
    QString logPath() const { return logPath_; }
    QStringList logLines() const
    {
        QFile f(logPath_);
        if (!f.open(QIODevice::ReadOnly | QIODevice::Text)) return {};
        return QString::fromLatin1(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    QProcess& process() { return process_; }
    QString dirPath() const { return dir_.path(); }

private:
    QTemporaryDir dir_;
    QProcess process_;
    QString link_;
    QString logPath_;
};

// The test's own end of the line: raw termios, 8 data bits, no parity, two stop bits.
class RawPort {
public:
    ~RawPort() { close(); }

    bool open(const QString& path, int baud = 2400)
    {
        fd_ = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd_ < 0) return false;
        termios tio{};
        if (tcgetattr(fd_, &tio) != 0) return false;
        cfmakeraw(&tio);
        tio.c_cflag |= CS8 | CSTOPB | CLOCAL | CREAD;
        tio.c_cflag &= ~PARENB;
        const speed_t speed = baud == 19200 ? B19200 : baud == 9600 ? B9600 : B2400;
        cfsetispeed(&tio, speed);
        cfsetospeed(&tio, speed);
        tcsetattr(fd_, TCSANOW, &tio);
        tcflush(fd_, TCIOFLUSH);
        return true;
    }

    void close()
    {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

    bool write(const Bytes& bytes)
    {
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
            if (n > 0)
                done += static_cast<size_t>(n);
            else if (n < 0 && errno != EAGAIN && errno != EINTR)
                return false;
        }
        return true;
    }

    // Reads until `want` bytes arrived, or nothing arrived for idleMs after the first byte, or
    // firstMs passed without any byte.
    Bytes read(size_t want, int firstMs = 5000, int idleMs = 400)
    {
        Bytes got;
        QElapsedTimer clock;
        clock.start();
        while (got.size() < want) {
            const int limit = got.empty() ? firstMs : idleMs;
            pollfd p{fd_, POLLIN, 0};
            const int ready = ::poll(&p, 1, limit);
            if (ready <= 0) break;
            uint8_t buffer[512];
            const ssize_t n = ::read(fd_, buffer, sizeof buffer);
            if (n > 0)
                got.insert(got.end(), buffer, buffer + n);
            else if (n < 0 && errno != EAGAIN && errno != EINTR)
                break;
        }
        return got;
    }

    // Sends a request and gathers its reply (of known length when given).
    Bytes transact(const Bytes& request, size_t expectedLength = 512, int firstMs = 5000)
    {
        if (!write(request)) return {};
        return read(expectedLength, firstMs);
    }

private:
    int fd_ = -1;
};

} // namespace simtest
