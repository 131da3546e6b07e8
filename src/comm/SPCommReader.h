// The thread behind TComm: it owns the serial device, blocks on it until bytes come, a queued
// write is handed over or a chunk's silence runs out, and hands every finished chunk on. It
// touches nothing but the device and what it is given; what it hands on is posted by the
// sinks to the user-interface thread.
#pragma once

#include "comm/SPCommLine.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>

class QSerialPort;
class QThread;

// How received bytes are cut into chunks; changed while the port is open.
struct TChunkRules {
    uint32_t intervalMs = 200;      // the defined silence that ends a chunk (0: none)
    uint32_t totalMultiplierMs = 0; // with the constant: the oldest a chunk may grow
    uint32_t totalConstantMs = 0;
    bool fastLine = false;          // a reply also ends at its expected length or a short silence
};

class TCommReader {
public:
    struct TOpenResult {
        bool ok = false;
        bool permissionDenied = false;
        bool speedRefused = false;
        QString reason;
        qintptr handle = -1;
    };
    // Called on the reader thread; each must only hand its copy over (post it).
    struct TSinks {
        std::function<void(const QByteArray&)> chunk;
        std::function<void(uint64_t seq)> written;         // every block up to seq is out
        std::function<void(const QString& reason)> writeFailed; // writing ends, the line may live
        std::function<void(const QString& reason)> lost;   // the device went away
    };

    TCommReader();
    ~TCommReader();
    TCommReader(const TCommReader&) = delete;
    TCommReader& operator=(const TCommReader&) = delete;

    // Starts the thread, which opens and sets up the device; returns once that is done.
    TOpenResult Open(const TLineSettings& line, const TChunkRules& rules, TSinks sinks);
    // Ends the thread: purges both directions and closes the device.
    void Stop();
    // Hands a block to the thread; seq numbers the blocks for the written notice.
    void Write(const QByteArray& bytes, uint64_t seq);
    // Applies the line settings to the open device and returns once they are applied.
    void Apply(const TLineSettings& line);
    void SetRules(const TChunkRules& rules);
    // How often the thread woke (bytes, writes, silences): a lost device must not keep it busy.
    uint64_t Wakeups() const { return wakeups_.load(std::memory_order_relaxed); }
    // The seq of the last block that went out whole.
    uint64_t WrittenSeq() const { return writtenSeq_.load(std::memory_order_acquire); }

private:
    using TCommand = std::function<void(QSerialPort*)>;
    void run(TLineSettings line);
    void submit(TCommand command, bool wait);
    bool runCommands(QSerialPort* port);
    void wake();
    void drainWake();
    void loop(QSerialPort* port);

    QThread* thread_ = nullptr;
    TSinks sinks_;
    TOpenResult opened_;
    std::mutex mutex_;
    std::condition_variable done_;
    std::deque<TCommand> commands_;
    uint64_t commandsIssued_ = 0;
    uint64_t commandsDone_ = 0;
    bool ended_ = false;
    bool openDone_ = false;
    bool stop_ = false; // reader thread only
    std::atomic<uint32_t> intervalMs_{200};
    std::atomic<uint32_t> totalMultiplierMs_{0};
    std::atomic<uint32_t> totalConstantMs_{0};
    std::atomic<bool> fastLine_{false};
    std::atomic<int> charMicros_{0}; // one character on the line
    std::atomic<int> gapUs_{0};      // the inter-frame gap of a line-speed link
    std::atomic<int> baud_{0};
    std::atomic<int> charBits_{11};
    std::atomic<uint64_t> wakeups_{0};
    std::atomic<uint64_t> writtenSeq_{0};
    int wakeFds_[2] = {-1, -1};

    // Reader thread only: the block being written and the request it carries.
    QByteArray out_;
    uint64_t outSeq_ = 0;
    uint64_t lastSeq_ = 0;
    QByteArray request_;
    bool newRequest_ = false;
    bool wroteOnce_ = false; // the block in out_ has begun to go out
};
