#include "cli/uSignalWatch.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>

#ifndef Q_OS_WIN
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

volatile std::sig_atomic_t caughtSignal = 0;
TSignalWatch* active = nullptr;

#ifndef Q_OS_WIN
// The handler may only note the signal and write a byte: the self-pipe wakes the event loop.
int wakePipe[2] = {-1, -1};
struct sigaction previousInt {};
struct sigaction previousTerm {};
struct sigaction previousHup {};
struct sigaction previousPipe {};

void onSignal(int signal)
{
    const int saved = errno;
    if (caughtSignal == 0) caughtSignal = signal;
    const char byte = static_cast<char>(signal);
    [[maybe_unused]] const ssize_t n = ::write(wakePipe[1], &byte, 1);
    errno = saved;
}
#else
void (*previousInt)(int) = nullptr;
void (*previousTerm)(int) = nullptr;

void onSignal(int signal)
{
    if (caughtSignal == 0) caughtSignal = signal;
}
#endif

} // namespace

TSignalWatch::TSignalWatch(QObject* parent) : QObject(parent)
{
    caughtSignal = 0;
    active = this;
#ifndef Q_OS_WIN
    if (::pipe(wakePipe) == 0) {
        for (int fd : wakePipe) {
            ::fcntl(fd, F_SETFD, FD_CLOEXEC);
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        }
        notifier_ = new QSocketNotifier(wakePipe[0], QSocketNotifier::Read, this);
        connect(notifier_, &QSocketNotifier::activated, this, &TSignalWatch::onWake);
    }
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, &previousInt);
    ::sigaction(SIGTERM, &action, &previousTerm);
    ::sigaction(SIGHUP, &action, &previousHup);
    // A reader that goes away (a closed pipe, a FIFO's reader ended) fails the write with
    // "Broken pipe" and the run ends with its message, instead of the program dying silently.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    ::sigaction(SIGPIPE, &ignore, &previousPipe);
#else
    previousInt = std::signal(SIGINT, onSignal);
    previousTerm = std::signal(SIGTERM, onSignal);
#endif
}

TSignalWatch::~TSignalWatch()
{
#ifndef Q_OS_WIN
    ::sigaction(SIGINT, &previousInt, nullptr);
    ::sigaction(SIGTERM, &previousTerm, nullptr);
    ::sigaction(SIGHUP, &previousHup, nullptr);
    ::sigaction(SIGPIPE, &previousPipe, nullptr);
    delete notifier_;
    notifier_ = nullptr;
    for (int& fd : wakePipe) {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
#else
    std::signal(SIGINT, previousInt);
    std::signal(SIGTERM, previousTerm);
#endif
    if (active == this) active = nullptr;
}

int TSignalWatch::Signal() const { return caughtSignal; }

int TSignalWatch::Caught() { return active ? int(caughtSignal) : 0; }

TSignalWatch* TSignalWatch::Active() { return active; }

QString TSignalWatch::Name(int signal)
{
#ifdef SIGHUP
    if (signal == SIGHUP) return QStringLiteral("hung up");
#endif
    return signal == SIGINT ? QStringLiteral("interrupted") : QStringLiteral("terminated");
}

void TSignalWatch::onWake()
{
#ifndef Q_OS_WIN
    char bytes[16];
    while (::read(wakePipe[0], bytes, sizeof bytes) > 0) {
    }
#endif
    if (caughtSignal != 0) Q_EMIT Interrupted(caughtSignal);
}
