#include "SimLine.h"

#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace sim {

namespace {

speed_t speedCode(int baud)
{
    switch (baud) {
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    default: return B9600;
    }
}

int speedOf(speed_t code)
{
    switch (code) {
    case B50: return 50;
    case B75: return 75;
    case B110: return 110;
    case B134: return 134;
    case B150: return 150;
    case B200: return 200;
    case B300: return 300;
    case B600: return 600;
    case B1200: return 1200;
    case B1800: return 1800;
    case B2400: return 2400;
    case B4800: return 4800;
    case B9600: return 9600;
    case B19200: return 19200;
    case B38400: return 38400;
    case B57600: return 57600;
    case B115200: return 115200;
    case B230400: return 230400;
    default: return 0;
    }
}

QString systemError(const char* what)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what), QString::fromLocal8Bit(std::strerror(errno)));
}

} // namespace

Line::Line(int baud, bool pacing, QObject* parent) : QObject(parent), baud_(baud), pacing_(pacing)
{
    silenceTimer_.setSingleShot(true);
    silenceTimer_.setTimerType(Qt::PreciseTimer);
    connect(&silenceTimer_, &QTimer::timeout, this, [this] {
        if (onSilence) onSilence();
    });
    pumpTimer_.setTimerType(Qt::PreciseTimer);
    connect(&pumpTimer_, &QTimer::timeout, this, &Line::pump);
    clock_.start();
}

Line::~Line() { close(); }

double Line::silenceMs() const
{
    // 3.5 characters, but never below the 1.75 ms the protocol fixes for fast lines.
    return std::max(3.5 * charTimeMs(), 1.75);
}

int Line::lineSpeed() const
{
    // The slave side of a pseudo-terminal carries the settings its user made.
    const int fd = slaveFd_ >= 0 ? slaveFd_ : fd_;
    termios tio{};
    if (fd < 0 || tcgetattr(fd, &tio) != 0) return 0;
    return speedOf(cfgetospeed(&tio));
}

bool Line::configure(int fd, QString& error)
{
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) {
        error = systemError("tcgetattr");
        return false;
    }
    cfmakeraw(&tio);
    tio.c_cflag &= ~(CSIZE | PARENB | CRTSCTS);
    tio.c_cflag |= CS8 | CSTOPB | CLOCAL | CREAD;
    tio.c_iflag &= ~(IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    cfsetispeed(&tio, speedCode(baud_));
    cfsetospeed(&tio, speedCode(baud_));
    if (tcsetattr(fd, TCSANOW, &tio) != 0) {
        error = systemError("tcsetattr");
        return false;
    }
    return true;
}

bool Line::openPty(const QString& linkPath, QString& error)
{
    fd_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd_ < 0 || grantpt(fd_) != 0 || unlockpt(fd_) != 0) {
        error = systemError("posix_openpt");
        close();
        return false;
    }
    const char* slaveName = ptsname(fd_);
    if (!slaveName) {
        error = systemError("ptsname");
        close();
        return false;
    }
    // Holding the slave side open keeps the master readable while no client is connected
    // (otherwise it reports a hang-up on every poll) and lets the line settings stick.
    slaveFd_ = ::open(slaveName, O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (slaveFd_ < 0 || !configure(slaveFd_, error)) {
        if (error.isEmpty()) error = systemError("open pty slave");
        close();
        return false;
    }
    const QFileInfo existing(linkPath);
    if (existing.isSymLink())
        QFile::remove(linkPath);
    else if (existing.exists()) {
        error = QStringLiteral("%1 exists and is not a link").arg(linkPath);
        close();
        return false;
    }
    if (::symlink(slaveName, QFile::encodeName(linkPath).constData()) != 0) {
        error = systemError("symlink");
        close();
        return false;
    }
    link_ = linkPath;
    notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &Line::readAvailable);
    return true;
}

bool Line::openDevice(const QString& path, QString& error)
{
    fd_ = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd_ < 0) {
        error = systemError("open");
        return false;
    }
    if (!configure(fd_, error)) {
        close();
        return false;
    }
    notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &Line::readAvailable);
    return true;
}

void Line::close()
{
    delete notifier_;
    notifier_ = nullptr;
    pumpTimer_.stop();
    silenceTimer_.stop();
    if (!link_.isEmpty()) {
        QFile::remove(link_);
        link_.clear();
    }
    if (slaveFd_ >= 0) ::close(slaveFd_);
    if (fd_ >= 0) ::close(fd_);
    slaveFd_ = fd_ = -1;
}

void Line::readAvailable()
{
    uint8_t buffer[512];
    for (;;) {
        const ssize_t n = ::read(fd_, buffer, sizeof buffer);
        if (n > 0) {
            if (onBytes) onBytes(buffer, static_cast<size_t>(n));
            silenceTimer_.start(static_cast<int>(std::ceil(silenceMs())));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            // A device that went away: stop listening rather than spin on it.
            notifier_->setEnabled(false);
        }
        return;
    }
}

void Line::send(const std::vector<uint8_t>& bytes, double startMs)
{
    double due = std::max(startMs, busyUntil_);
    const double step = pacing_ ? charTimeMs() : 0.0;
    for (uint8_t b : bytes) {
        due += step;
        // A byte is handed over when it would have finished on the wire.
        out_.push_back({b, due});
    }
    busyUntil_ = due;
    pump();
}

void Line::pump()
{
    // Bytes due within the next millisecond go now: the timer cannot wait less than that.
    const double now = nowMs() + 1.0;
    std::vector<uint8_t> ready;
    while (!out_.empty() && out_.front().dueMs <= now) {
        ready.push_back(out_.front().byte);
        out_.pop_front();
    }
    size_t written = 0;
    while (written < ready.size()) {
        const ssize_t n = ::write(fd_, ready.data() + written, ready.size() - written);
        if (n > 0) {
            written += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        break; // a full queue: drop rather than block the cabinet
    }
    if (out_.empty()) {
        pumpTimer_.stop();
        return;
    }
    // Sleep until the next byte is due; the precise timer keeps a frame within a millisecond.
    const double wait = out_.front().dueMs - nowMs() - 1.0;
    pumpTimer_.start(wait > 1.0 ? static_cast<int>(wait) : 1);
}

} // namespace sim
