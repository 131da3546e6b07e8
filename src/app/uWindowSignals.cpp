#include "app/uWindowSignals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>

#ifndef Q_OS_WIN
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

volatile std::sig_atomic_t received = 0;

#ifndef Q_OS_WIN
// The handler only notes the signal and writes a byte; the pipe wakes the event loop.
int wakePipe[2] = {-1, -1};
constexpr int Watched[] = {SIGTERM, SIGINT, SIGHUP};
struct sigaction previous[3]{};

void onSignal(int signal)
{
    const int saved = errno;
    if (received == 0) received = signal;
    const char byte = static_cast<char>(signal);
    [[maybe_unused]] const ssize_t n = ::write(wakePipe[1], &byte, 1);
    errno = saved;
}
#endif

} // namespace

TWindowSignals::TWindowSignals(QObject* parent) : QObject(parent)
{
    received = 0;
#ifndef Q_OS_WIN
    if (::pipe(wakePipe) != 0) return; // the signals keep their usual effect
    for (int fd : wakePipe) {
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    }
    notifier_ = new QSocketNotifier(wakePipe[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &TWindowSignals::onWake);
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int i = 0; i < 3; ++i) ::sigaction(Watched[i], &action, &previous[i]);
#endif
}

TWindowSignals::~TWindowSignals()
{
#ifndef Q_OS_WIN
    if (!notifier_) return;
    for (int i = 0; i < 3; ++i) ::sigaction(Watched[i], &previous[i], nullptr);
    delete notifier_;
    notifier_ = nullptr;
    for (int& fd : wakePipe) {
        ::close(fd);
        fd = -1;
    }
#endif
}

int TWindowSignals::Signal() const { return received; }

void TWindowSignals::onWake()
{
#ifndef Q_OS_WIN
    char bytes[16];
    while (::read(wakePipe[0], bytes, sizeof bytes) > 0) {
    }
#endif
    if (received == 0 || told_) return;
    told_ = true;
    Q_EMIT Received(received);
}
