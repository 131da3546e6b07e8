// Writes registers back to one cabinet, one at a time, each with the write-enable command
// before it and a read-back after it, through request slots 1 to 3 as the editors' writes go,
// and tells what became of each. It has no window: the restore window and the headless
// --restore both use it.
//
// A register's three requests are queued whole or not at all, for the cabinet chosen at the
// start. The run stops at the first request of its own the link drops and at a lost or closed
// port: the requests it still has waiting are taken back (a read-back never goes out to a device
// that comes back), the register in hand gets "no answer" when its write went out and "not
// sent" otherwise, and every register after it "not sent".
#pragma once

#include "comm/uLinkConnections.h"
#include "comm/uLinkRequest.h"
#include "model/uRegisters.h"
#include "model/uWriteVerdict.h"

#include <QObject>
#include <QTimer>

#include <vector>

class TRestoreWriter : public QObject {
    Q_OBJECT
public:
    struct TItem {
        int reg = 0;
        uint16_t value = 0;
    };
    // Why the run ended.
    enum class TEnd { Done, Cancelled, PortLost, NoAnswer };
    Q_ENUM(TEnd)

    // source names the requests (the window or command) in the trace and the journal.
    TRestoreWriter(int address, const QString& source, QObject* parent = nullptr);
    ~TRestoreWriter() override;

    // Begins with the first register; false, and nothing done, for an empty list or a port
    // that is not open.
    bool Start(std::vector<TItem> items);
    // No further register is written; the one whose requests are queued ends as it will.
    void Cancel();
    bool Running() const { return running_; }
    TEnd End() const { return end_; }
    // The register being written (an index into the list), -1 when none.
    int Current() const { return running_ && inFlight_ ? next_ : -1; }
    // One step of the 100 ms timer: queues the next register once slots 1 to 3 are free.
    void Step();

    // Seconds a register may wait for free slots or for its replies before the run gives up (a
    // link that sends nothing): well beyond the three attempts of each request.
    static constexpr int StallSeconds = 30;

    // What the link tells (connected while it follows the link).
    void RequestBuilt(const TLinkRequest& request);
    void ReplyAccepted(const TLinkRequest& request, const uint16_t* regs, int count);
    void RequestDropped(const TLinkRequest& request);
    void LinkBroken();

Q_SIGNALS:
    // The requests of register index are queued.
    void Writing(int index);
    // What became of register index (a TWriteVerdict); readBack is the value read again, -1
    // when none was.
    void Verdict(int index, int verdict, int readBack);
    // Once, after the last verdict, told from the event loop.
    void Finished(TRestoreWriter::TEnd end);

private:
    void listen();
    TLinkConnections links_;
    // Which of the three requests a link request is, 0 when it is none of this run's.
    int slotOf(const TLinkRequest& request) const;
    void queueCurrent();
    void verdictDone(TWriteVerdict verdict, int readBack);
    void stop(TEnd end);
    void takeBackSlots();

    int address_;
    QString source_;
    QTimer timer_;
    std::vector<TItem> items_;
    int next_ = 0;          // the register in hand
    bool running_ = false;
    bool cancelled_ = false;
    bool inFlight_ = false; // its requests are queued
    bool writeBuilt_ = false;
    bool writeAcked_ = false;
    bool readBuilt_ = false;
    int idleTicks_ = 0;
    TEnd end_ = TEnd::Done;
};
