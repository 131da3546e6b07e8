#include "comm/SPCommReader.h"

#include "comm/uReplyFrame.h"

#include <QThread>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>

#ifndef Q_OS_WIN
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#endif

namespace {
using Clock = std::chrono::steady_clock;

// One chunk is at most this many bytes, pause or not.
constexpr int MaxChunk = 2048;
// While a chunk trickles in, the thread looks at the device again only after this many
// milliseconds, so that a reply paced byte by byte costs one wake-up per few bytes. Used only
// where the silence is long beside it and where it holds several characters at the line speed.
constexpr int GatherMs = 6;
constexpr uint32_t MinIntervalForGathering = 50;
constexpr int MinCharsPerGathering = 8;

int64_t usUntil(Clock::time_point deadline, Clock::time_point now)
{
    if (deadline <= now) return 0;
    // Rounded up: woken a little late, never early.
    return int64_t(std::chrono::duration_cast<std::chrono::microseconds>(deadline - now).count()) + 1;
}

#ifndef Q_OS_WIN
// poll() to the microsecond: the gap before a request at 19200 bit/s is 2 ms, and a timeout in
// whole milliseconds would stretch it by half.
int pollFor(pollfd* fds, nfds_t count, int64_t timeoutUs)
{
    if (timeoutUs < 0) return ::ppoll(fds, count, nullptr, nullptr);
    const timespec ts{time_t(timeoutUs / 1000000), long(timeoutUs % 1000000) * 1000};
    return ::ppoll(fds, count, &ts, nullptr);
}
#endif

QString systemReason(int err) { return QString::fromLocal8Bit(std::strerror(err)); }
} // namespace

TCommReader::TCommReader() = default;

TCommReader::~TCommReader() { Stop(); }

TCommReader::TOpenResult TCommReader::Open(const TLineSettings& line, const TChunkRules& rules, TSinks sinks)
{
    Stop();
    sinks_ = std::move(sinks);
    SetRules(rules);
    baud_ = static_cast<int>(std::min<uint32_t>(line.baudRate, INT_MAX));
    charBits_ = line.CharBits();
    charMicros_ = static_cast<int>(ReplyFrame::WireMicros(1, baud_, charBits_));
    gapUs_ = ReplyFrame::InterFrameGapMicros(baud_, charBits_);
#ifndef Q_OS_WIN
    if (::pipe(wakeFds_) != 0) {
        TOpenResult r;
        r.reason = systemReason(errno);
        return r;
    }
    for (int fd : wakeFds_) {
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
#endif
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ended_ = false;
        openDone_ = false;
        commands_.clear();
    }
    stop_ = false;
    out_.clear();
    request_.clear();
    thread_ = QThread::create([this, line] { run(line); });
    thread_->setObjectName(QStringLiteral("TReadThread"));
    thread_->start(QThread::HighestPriority);
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait(lock, [this] { return openDone_; });
    const TOpenResult result = opened_;
    lock.unlock();
    if (!result.ok) Stop();
    return result;
}

void TCommReader::Stop()
{
    if (thread_) {
        submit([this](QSerialPort*) { stop_ = true; }, false);
        thread_->wait();
        delete thread_;
        thread_ = nullptr;
    }
#ifndef Q_OS_WIN
    for (int& fd : wakeFds_) {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
#endif
}

void TCommReader::Write(const QByteArray& bytes, uint64_t seq)
{
    submit(
        [this, bytes, seq](QSerialPort* port) {
            if (!port) return;
            // The request tells how long its reply is, and so how long the thread may sleep
            // while the reply comes in.
            request_ = bytes;
            // On a line-speed link a reply ends with its frame: what is still gathered when the
            // next request goes out is handed on as it stands, never joined to the new reply.
            if (fastLine_.load()) newRequest_ = true;
            out_.append(bytes);
            outSeq_ = seq;
        },
        false);
}

void TCommReader::Apply(const TLineSettings& line)
{
    baud_ = static_cast<int>(std::min<uint32_t>(line.baudRate, INT_MAX));
    charBits_ = line.CharBits();
    charMicros_ = static_cast<int>(ReplyFrame::WireMicros(1, baud_, charBits_));
    gapUs_ = ReplyFrame::InterFrameGapMicros(baud_, charBits_);
    submit(
        [line](QSerialPort* port) {
            if (port) ApplyLineSettings(*port, line);
        },
        true);
}

void TCommReader::SetRules(const TChunkRules& rules)
{
    intervalMs_ = rules.intervalMs;
    totalMultiplierMs_ = rules.totalMultiplierMs;
    totalConstantMs_ = rules.totalConstantMs;
    fastLine_ = rules.fastLine;
    wake(); // a silence being waited for is measured again with the new rules
}

void TCommReader::submit(TCommand command, bool wait)
{
    std::unique_lock<std::mutex> lock(mutex_);
    if (ended_) {
        lock.unlock();
        command(nullptr); // the thread is gone; the command finds no port
        return;
    }
    commands_.push_back(std::move(command));
    const uint64_t mine = ++commandsIssued_;
    lock.unlock();
    wake();
    if (!wait) return;
    lock.lock();
    done_.wait(lock, [&] { return commandsDone_ >= mine || ended_; });
}

bool TCommReader::runCommands(QSerialPort* port)
{
    std::deque<TCommand> batch;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        batch.swap(commands_);
    }
    for (TCommand& c : batch) c(port);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        commandsDone_ += batch.size();
    }
    done_.notify_all();
    return !batch.empty();
}

void TCommReader::wake()
{
#ifndef Q_OS_WIN
    if (wakeFds_[1] >= 0) {
        const char b = 1;
        [[maybe_unused]] const ssize_t n = ::write(wakeFds_[1], &b, 1);
    }
#endif
}

void TCommReader::drainWake()
{
#ifndef Q_OS_WIN
    // A short read has emptied the pipe: asking again would only hear that it is empty.
    char buf[64];
    ssize_t n;
    do {
        n = ::read(wakeFds_[0], buf, sizeof buf);
    } while (n == ssize_t(sizeof buf) || (n < 0 && errno == EINTR));
#endif
}

void TCommReader::run(TLineSettings line)
{
    QSerialPort* port = new QSerialPort;
    port->setPortName(line.location);
    ApplyLineSettings(*port, line);
    TOpenResult result;
    if (!port->open(QIODevice::ReadWrite)) {
        result.permissionDenied = port->error() == QSerialPort::PermissionError;
        result.reason = port->errorString();
    } else if (!port->setBaudRate(static_cast<qint32>(std::min<uint32_t>(line.baudRate, INT_MAX))) ||
               port->baudRate() != qint32(line.baudRate)) {
        // A port that does not take its speed would stay open and send nothing.
        result.speedRefused = true;
        result.reason = port->errorString();
        port->close();
    } else {
        port->clear(QSerialPort::AllDirections);
        ApplyLineSettings(*port, line);
        result.ok = true;
        result.handle = port->handle();
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        opened_ = result;
        openDone_ = true;
    }
    done_.notify_all();
    if (result.ok) loop(port);
    if (port->isOpen()) {
        port->clear(QSerialPort::AllDirections);
        port->close();
    }
    delete port;
    // Whatever was still handed over finds no port, and nobody waits for it for ever.
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ended_ = true;
    }
    runCommands(nullptr);
    done_.notify_all();
}

#ifndef Q_OS_WIN
void TCommReader::loop(QSerialPort* port)
{
    const int fd = static_cast<int>(port->handle());
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    QByteArray pending; // the chunk being gathered
    Clock::time_point chunkStart{};
    Clock::time_point lastByte{}; // of the last byte received, chunk or not

    const auto deliver = [&](int count) {
        const QByteArray chunk = pending.left(count);
        pending.remove(0, count);
        if (sinks_.chunk) sinks_.chunk(chunk);
    };
    // Hands on every complete frame at the start of the chunk (line-speed link only).
    const auto cutFrames = [&] {
        while (fastLine_.load() && !pending.isEmpty()) {
            const int len = ReplyFrame::CompleteLength(reinterpret_cast<const uint8_t*>(request_.constData()),
                                                       int(request_.size()),
                                                       reinterpret_cast<const uint8_t*>(pending.constData()),
                                                       int(pending.size()));
            if (len <= 0) return;
            deliver(len);
            // What follows a complete frame answers nothing: it ends by silence alone.
            request_.clear();
            chunkStart = lastByte;
        }
    };
    const auto silenceMs = [&]() -> int {
        const uint32_t interval = intervalMs_.load();
        if (!fastLine_.load()) return static_cast<int>(interval);
        const int shortMs = ReplyFrame::ShortSilenceMs(baud_, charBits_);
        return interval == 0 ? shortMs : std::min<int>(shortMs, static_cast<int>(interval));
    };
    const auto chunkDeadline = [&]() -> Clock::time_point {
        Clock::time_point deadline = Clock::time_point::max();
        const int silence = silenceMs();
        if (silence > 0) deadline = lastByte + std::chrono::milliseconds(silence);
        const uint64_t total = uint64_t(totalMultiplierMs_.load()) * MaxChunk + totalConstantMs_.load();
        if (total > 0)
            deadline = std::min(deadline, chunkStart + std::chrono::milliseconds(std::min<uint64_t>(total, INT_MAX)));
        return deadline;
    };
    // How long to leave the device alone while a chunk trickles in, in microseconds.
    const auto gatherUs = [&]() -> int64_t {
        if (pending.isEmpty()) return 0;
        const int expected = ReplyFrame::ExpectedLength(reinterpret_cast<const uint8_t*>(request_.constData()),
                                                        int(request_.size()),
                                                        reinterpret_cast<const uint8_t*>(pending.constData()),
                                                        int(pending.size()));
        // Until the rest of the reply should be in: one wake-up for a reply instead of one for
        // every few bytes.
        const int64_t rest = expected > pending.size() ? int64_t(expected - pending.size()) * charMicros_.load() : 0;
        if (fastLine_.load()) {
            // A reply that stops short ends by the silence, counted from its last byte, once
            // the thread looks again. Its first byte alone does not tell an exception from the
            // answer; the answer is by far the likelier, and sleeping through it saves a
            // wake-up a frame. An exception then waits for the answer's length at the most.
            if (expected == 0) {
                const int normal = ReplyFrame::NormalReplyLength(reinterpret_cast<const uint8_t*>(request_.constData()),
                                                                 int(request_.size()));
                if (normal > pending.size()) return int64_t(normal - pending.size()) * charMicros_.load();
            }
            return rest;
        }
        const bool plain = intervalMs_.load() >= MinIntervalForGathering && totalMultiplierMs_.load() == 0 &&
                           totalConstantMs_.load() == 0;
        if (!plain) return 0;
        if (expected > 0 && rest == 0) return 0; // the reply is in; the silence ends the chunk
        // A reply of known length is slept through at any speed; at 2400 bit/s its bytes come
        // 4.6 ms apart, and a wake-up for each cost the link 2 % of a core. Where the length is
        // not known yet, a short sleep pays only where it holds several characters.
        const bool pays = int64_t(baud_) * GatherMs >= int64_t(MinCharsPerGathering) * charBits_ * 1000;
        if (rest == 0 && !pays) return 0;
        // Within the silence, so that a reply that stops short still ends on time.
        const int64_t withinSilence = (int64_t(intervalMs_.load()) - GatherMs) * 1000;
        const int64_t least = pays ? int64_t(GatherMs) * 1000 : 0;
        return std::min(std::max(least, rest), withinSilence);
    };

    char buf[4096];
    while (!stop_) {
        const Clock::time_point now = Clock::now();
        int64_t timeout = -1; // microseconds
        if (!pending.isEmpty()) timeout = usUntil(chunkDeadline(), now);
        if (!out_.isEmpty() && !wroteOnce_ && fastLine_.load()) {
            // A request waiting for the end of the gap.
            const int64_t gap = usUntil(lastByte + std::chrono::microseconds(gapUs_.load()), now);
            timeout = timeout < 0 ? gap : std::min(timeout, gap);
        }
        // Room to write is asked for only when a write did not go out whole: a terminal is
        // nearly always writable, and asking while a request waits for the end of the gap
        // would spin until it ends.
        const bool waitsForRoom = !out_.isEmpty() && wroteOnce_;
        pollfd fds[2] = {{wakeFds_[0], POLLIN, 0}, {fd, short(POLLIN | (waitsForRoom ? POLLOUT : 0)), 0}};
        const int ready = pollFor(fds, 2, timeout);
        wakeups_.fetch_add(1, std::memory_order_relaxed);
        if (ready < 0 && errno != EINTR) {
            if (sinks_.lost) sinks_.lost(systemReason(errno));
            return;
        }
        if (fds[0].revents & POLLIN) drainWake();
        const bool hadOutput = !out_.isEmpty();
        newRequest_ = false;
        runCommands(port);
        if (stop_) return;
        // A new request on a line-speed link: bytes still gathered are handed on first.
        if (newRequest_ && !pending.isEmpty()) deliver(int(pending.size()));

        bool lineGone = (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
        QString goneReason;
        bool readSome = false;
        if (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) {
            for (bool first = true;; first = false) {
                const ssize_t n = ::read(fd, buf, sizeof buf);
                if (n > 0) {
                    const Clock::time_point at = Clock::now();
                    if (pending.isEmpty()) chunkStart = at;
                    lastByte = at;
                    pending.append(buf, n);
                    readSome = true;
                    while (pending.size() >= MaxChunk) deliver(MaxChunk);
                    cutFrames();
                    // A short read took all the device held; bytes that come after it wake
                    // the poll again.
                    if (n < ssize_t(sizeof buf)) break;
                    continue;
                }
                if (n < 0 && errno == EINTR) continue;
                if (n < 0 && errno == EAGAIN) break;
                // A terminal that takes no minimum count reads 0 when it holds nothing more;
                // nothing at all after the device said it had bytes means it hung up.
                if (n == 0 && !first) break;
                // End of file or an error: the device is gone.
                lineGone = true;
                goneReason = n < 0 ? systemReason(errno) : QStringLiteral("the device hung up");
                break;
            }
        }
        if (lineGone) {
            if (sinks_.lost) sinks_.lost(goneReason.isEmpty() ? QStringLiteral("the device hung up") : goneReason);
            return;
        }
        // On a line-speed link a request leaves the line silent for the inter-frame gap after
        // the last byte received.
        const Clock::time_point gapEnd = lastByte + std::chrono::microseconds(gapUs_.load());
        const bool gapOver = !fastLine_.load() || Clock::now() >= gapEnd;
        if (!out_.isEmpty() && gapOver && (!hadOutput || !wroteOnce_ || (fds[1].revents & POLLOUT))) {
            wroteOnce_ = true;
            while (!out_.isEmpty()) {
                const ssize_t n = ::write(fd, out_.constData(), size_t(out_.size()));
                if (n > 0) {
                    out_.remove(0, n);
                    continue;
                }
                if (n < 0 && (errno == EINTR)) continue;
                if (n < 0 && errno == EAGAIN) break;
                const QString reason = systemReason(n < 0 ? errno : EIO);
                out_.clear();
                pollfd p{fd, POLLIN, 0};
                if (::poll(&p, 1, 0) < 0 || (p.revents & (POLLHUP | POLLERR | POLLNVAL))) {
                    if (sinks_.lost) sinks_.lost(reason);
                    return;
                }
                // Writing ends until the port is opened again; reading goes on.
                if (sinks_.writeFailed) sinks_.writeFailed(reason);
                lastSeq_ = outSeq_;
                break;
            }
            if (out_.isEmpty()) wroteOnce_ = false;
            if (out_.isEmpty() && lastSeq_ != outSeq_) {
                lastSeq_ = outSeq_;
                writtenSeq_.store(outSeq_, std::memory_order_release);
                if (sinks_.written) sinks_.written(outSeq_);
            }
        }
        if (!pending.isEmpty() && Clock::now() >= chunkDeadline()) deliver(int(pending.size()));
        if (readSome) {
            const int64_t gather = gatherUs();
            if (gather > 0) {
                // Only a handed-over command wakes the thread early.
                pollfd w{wakeFds_[0], POLLIN, 0};
                pollFor(&w, 1, gather);
                wakeups_.fetch_add(1, std::memory_order_relaxed);
            }
        }
    }
}
#else
void TCommReader::loop(QSerialPort* port)
{
    // Windows: the device is waited on in short slices; the same chunk rules apply.
    QByteArray pending;
    Clock::time_point chunkStart{}, lastByte{};
    while (!stop_) {
        runCommands(port);
        if (stop_) return;
        if (!out_.isEmpty()) {
            port->write(out_);
            out_.clear();
            if (!port->waitForBytesWritten(1000) && port->error() != QSerialPort::TimeoutError) {
                if (sinks_.writeFailed) sinks_.writeFailed(port->errorString());
            } else {
                writtenSeq_.store(outSeq_, std::memory_order_release);
                if (sinks_.written) sinks_.written(outSeq_);
            }
        }
        const bool got = port->waitForReadyRead(5);
        wakeups_.fetch_add(1, std::memory_order_relaxed);
        if (got) {
            const QByteArray bytes = port->readAll();
            if (pending.isEmpty()) chunkStart = Clock::now();
            lastByte = Clock::now();
            pending.append(bytes);
            while (pending.size() >= MaxChunk) {
                if (sinks_.chunk) sinks_.chunk(pending.left(MaxChunk));
                pending.remove(0, MaxChunk);
            }
            while (fastLine_.load() && !pending.isEmpty()) {
                const int len = ReplyFrame::CompleteLength(reinterpret_cast<const uint8_t*>(request_.constData()),
                                                           int(request_.size()),
                                                           reinterpret_cast<const uint8_t*>(pending.constData()),
                                                           int(pending.size()));
                if (len <= 0) break;
                if (sinks_.chunk) sinks_.chunk(pending.left(len));
                pending.remove(0, len);
                request_.clear();
            }
        } else if (port->error() == QSerialPort::ResourceError) {
            if (sinks_.lost) sinks_.lost(port->errorString());
            return;
        }
        const int silence = fastLine_.load() ? std::min<int>(ReplyFrame::ShortSilenceMs(baud_, charBits_),
                                                              int(intervalMs_.load()))
                                             : int(intervalMs_.load());
        if (!pending.isEmpty() && Clock::now() >= lastByte + std::chrono::milliseconds(silence)) {
            if (sinks_.chunk) sinks_.chunk(pending);
            pending.clear();
        }
        (void)chunkStart;
    }
}
#endif
