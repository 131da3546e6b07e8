#include "app/uSignalWatch.h"

#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
int pairFds[2] = {-1, -1};
struct sigaction oldInt {};
struct sigaction oldTerm {};

void onSignal(int sig)
{
    const unsigned char b = static_cast<unsigned char>(sig);
    [[maybe_unused]] const ssize_t n = ::write(pairFds[0], &b, 1);
}
} // namespace

TSignalWatch::TSignalWatch(QObject* parent) : QObject(parent)
{
    if (pairFds[0] >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM, 0, pairFds) != 0) return;
    for (int fd : pairFds) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    notifier_ = new QSocketNotifier(pairFds[1], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] {
        unsigned char b = 0;
        while (::read(pairFds[1], &b, 1) == 1) Q_EMIT stopAsked(int(b));
    });
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &sa, &oldInt);
    ::sigaction(SIGTERM, &sa, &oldTerm);
}

TSignalWatch::~TSignalWatch()
{
    if (!notifier_) return;
    ::sigaction(SIGINT, &oldInt, nullptr);
    ::sigaction(SIGTERM, &oldTerm, nullptr);
    delete notifier_;
    notifier_ = nullptr;
    ::close(pairFds[0]);
    ::close(pairFds[1]);
    pairFds[0] = pairFds[1] = -1;
}
