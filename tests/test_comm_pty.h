// A pseudo-terminal for tests: the test plays the far end on the master side, the
// component under test opens the slave side as it would open a serial adapter.
#pragma once

#include <QByteArray>
#include <QString>
#include <QTest>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

inline constexpr int WaitMs = 10000; // generous: the machine is shared and runs under sanitizers

class TestPty {
public:
    TestPty()
    {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ < 0) return;
        if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
            closeMaster();
            return;
        }
        ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
        slavePath_ = QString::fromLocal8Bit(::ptsname(master_));
    }
    ~TestPty() { closeMaster(); }
    TestPty(const TestPty&) = delete;
    TestPty& operator=(const TestPty&) = delete;

    bool ok() const { return master_ >= 0; }
    QString slavePath() const { return slavePath_; }
    // The cabinet's end, for a test that writes from a thread of its own.
    int masterFd() const { return master_; }
    void closeMaster()
    {
        if (master_ >= 0) ::close(master_);
        master_ = -1;
    }

    // Writes everything, letting the event loop run while the pseudo-terminal is full.
    bool send(const QByteArray& bytes)
    {
        qsizetype done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(master_, bytes.constData() + done, size_t(bytes.size() - done));
            if (n > 0)
                done += n;
            else if (n < 0 && errno != EAGAIN && errno != EINTR)
                return false;
            else
                QTest::qWait(1);
        }
        return true;
    }

    // Reads what the component sent until `count` bytes are in, or the wait runs out.
    QByteArray receive(int count)
    {
        QByteArray got;
        (void)QTest::qWaitFor(
            [&] {
                char buf[256];
                const ssize_t n = ::read(master_, buf, sizeof buf);
                if (n > 0) got.append(buf, n);
                return got.size() >= count;
            },
            WaitMs);
        return got;
    }

private:
    int master_ = -1;
    QString slavePath_;
};
