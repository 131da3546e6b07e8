// The hidden link form: owns the 100 ms Timer1 and talks to the cabinet through one transport,
// Comm1 (its own serial port unless another is set); on every tick it moves one request of the
// one-at-a-time master forward: build, send, wait, resend, drop.
// It owns what it schedules and counts (the request slots, the counters, the link state, both
// buffers); everyone else reads them and tells the link what to do through its calls, and
// follows what it does through its signals.
#pragma once

#include "comm/SPComm.h"
#include "comm/uKModbus.h"
#include "comm/uLinkRequest.h"
#include "comm/uLinkState.h"
#include "comm/uTransport.h"
#include "comm/uYDT_V31.h"
#include "model/UShareData.h"
#include "model/uCabinetValues.h"

#include <QByteArray>
#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>

class TFrmCom : public QObject {
    Q_OBJECT
public:
    // Runs FormCreate: the active protocol comes from the settings' curProtocol.
    explicit TFrmCom(QObject* parent = nullptr);
    ~TFrmCom() override;

    void FormCreate();
    // Closes the port if open, then opens port (a name as the operator gives it: COMn, a
    // device path) at baudRate. Raises ECommsError when the port cannot be opened.
    void OpenPort(const QString& port, int baudRate);
    void ClosePort();
    bool PortOpen() const;
    // The device went away while the link button was on: the port is closed and the link
    // checks every ReopenTicks ticks whether it is back, reopening the port it was opened with
    // at the same speed.
    bool PortLost() const { return lost_; }
    // Ticks between two reopen attempts of a lost device: 2 s.
    static constexpr int ReopenTicks = 20;
    // Counters of the run: devices lost, reopen attempts, successful reopens.
    int LossCount() const { return lossCount_; }
    int ReopenAttempts() const { return reopenAttempts_; }
    int ReopenCount() const { return reopenCount_; }
    void SetActiveProtocol(int protocol);

    // Line-speed mode: replies end at their expected length (the port), the next request goes
    // out as soon as a reply is accepted or has timed out, after the inter-frame gap, and a
    // request times out after its wire time plus a margin. During a download the held frame
    // is not sent again. Off, the link keeps the defined 100 ms pace exactly.
    bool FastLine() const { return fast_; }
    void SetFastLine(bool on);
    // --fast: line-speed mode for this run, whatever the settings file says; taken when the
    // port opens.
    void SetFastLineForRun(bool on)
    {
        FastLineForRun = on;
        SetFastLine(LocalPara.FastLine || on);
    }
    // The wait for the reply to a frame of frameLen bytes at the port's speed, in line-speed
    // mode: the request's and the reply's wire time plus the margin.
    int FastReplyTimeoutMs(const uint8_t* frame, int frameLen) const;
    // A cabinet busy with its own work may answer a few hundred milliseconds late. A shorter
    // wait would give up on that reply and send the request again, and the late reply would
    // then spoil the exchange after it: two errors where the defined pace has none.
    static constexpr int FastMarginMs = 350;

    void SendFrame(const uint8_t* bytes, int len);
    void LinkTick();
    void Timer1Timer();
    void Comm1ReceiveData(const uint8_t* chunk, int len);

    // The device path a port name stands for on this machine: COMn is /dev/ttyS(n-1) off
    // Windows; anything else names the device as given.
    static QString DeviceName(const QString& comName);

    // The link's own serial port, set as the cabinets take it (two stop bits for Modbus).
    TComm& SerialPort() { return serial_; }
    // The transport the link talks through now.
    TTransport& Transport() const { return *Comm1; }
    // Puts the link on another transport, which it does not own; nullptr, or the transport's
    // end, gives the line back to the serial port. The line-speed mode carries over.
    void SetTransport(TTransport* transport);

    QTimer Timer1;
    QTimer ReplyTimer; // line-speed mode: the wait for the outstanding reply
    QTimer GapTimer;   // line-speed mode: the pause before the next request
    // What the link stored from the cabinets' replies; the codec fills it.
    TCabinetValues Values;
    std::unique_ptr<TMModbus> Modbus;
    std::unique_ptr<TYDT_V31> Ydt;

    // Empties every pending slot that writes, and drops a write still waiting for its reply,
    // each noted in the trace with its register: a write confirmed before the port closed or
    // was lost never goes out later, perhaps to another cabinet. The other slots of the same
    // write (its write-enable, its read-back) go with it; other reads stay pending. The
    // listeners are told of every request so dropped (RequestDropped).
    void DropPendingWrites();

    // What the link schedules and counts, for reading. Slots are numbered 1 to ReqSlotCount.
    const TReqSlot (&ReqSlot)[ReqSlotCount + 1] = reqSlot_;
    const TCommDebug& CommDebug = commDebug_;
    const TLinkState& LinkState = linkState_;
    const uint8_t (&TxBuf)[CommBufSize] = txBuf_;
    const uint8_t (&RxBuf)[CommBufSize] = rxBuf_;

    // The one way a request goes in: fills slot (1 to ReqSlotCount) with request and marks it
    // pending, when the slot is free. The slot keeps its own count of takings. False, with
    // nothing changed, for a busy slot or a slot out of range.
    bool Submit(int slot, const TReqSlot& request);
    // A pending read moves out of the way of a write, into the free slot to, and keeps the
    // number of the slot it was filled in; false, with nothing changed, when it cannot.
    bool MoveRead(int from, int to);
    // Takes back a request that is still pending (the link has not taken it): the slot is
    // free again and nothing goes out from it.
    void Withdraw(int slot);
    // The window's own reads still waiting for address before follow the selection to after; a
    // write stays with the cabinet it was confirmed for.
    void ReaddressReads(const QString& source, int before, int after);
    // The cabinet the main window has selected: the windows' requests go to it, and the
    // background poll asks it from the start of its next cycle. The module is the one whose
    // block the poll reads.
    void SetDevAddr(int addr) { devAddr_ = addr; }
    int DevAddr() const { return devAddr_; }
    void SetCurModule(int module) { curModule_ = module; }
    // The next idle turn starts a fresh poll cycle (a new address is asked at once).
    void RestartPollCycle();
    // The trace window's pause: no request goes out while paused.
    void SetPaused(bool paused);
    // Sets the three counters and the error rate to 0 (the reset of the trace window and of the
    // main window's error-rate label).
    void ResetCounters();

Q_SIGNALS:
    // Line-speed mode: a reply was accepted just now, before the next request is built, so a
    // window that asks again at once (the event-log download) is served without a tick.
    void ReplyArrived();

    // Everything below is told on the user-interface thread, one at a time, in this order for
    // one exchange: request built, frame sent, chunk received, reply accepted (or, at the end,
    // request dropped).
    void FrameSent(const QByteArray& bytes);
    void ChunkReceived(const QByteArray& bytes);
    // A frame was built for the request; it goes out on the next tick.
    void RequestBuilt(const TLinkRequest& request);
    // The reply to the request was accepted and its values stored. For functions 3 and 4 regs
    // holds the count values it carried; otherwise count is 0.
    void ReplyAccepted(const TLinkRequest& request, const uint16_t* regs, int count);
    // The request ended without an accepted reply: dropped after its attempts, refused by the
    // cabinet, dropped with the port, or dropped with the rest of its write group. The request
    // tells whether it ever went out (sent) and whether it was refused.
    void RequestDropped(const TLinkRequest& request);
    // The background poll of address has finished its last step and starts again.
    void PollCycleEnded(int address);
    // The counters (and the error rate) were worked out again or reset.
    void CountersChanged();
    // A line about the link itself (a lost or reopened device, a dropped write), between the
    // frames.
    void TraceNote(const QString& text);
    // The device of the open port went away (port is the operator's name for it); the link
    // tries to reopen it while the link button stays on.
    void DeviceLost(const QString& port);
    // The lost device came back and the port is open again.
    void DeviceBack(const QString& port);
    // The port's device went away, or the operator closed the port.
    void LinkBroken();

private:
    friend class TFrmComTestAccess; // tests that stand in for the link's own work
    TReqSlot reqSlot_[ReqSlotCount + 1];
    TCommDebug commDebug_;
    TLinkState linkState_;
    uint8_t txBuf_[CommBufSize] = {};
    uint8_t rxBuf_[CommBufSize] = {};
    bool FastLineForRun = false;
    int devAddr_ = 1;
    int curModule_ = 1;

    void buildNextRequest();
    void fastNext();
    void fastSend();
    void fastTick();
    bool linkRuns() const;
    void deviceLost(const QString& reason);
    void endOutstanding();
    // The request in progress had an exception reply to one of its attempts.
    bool refusedSeen_ = false;
    void dropGroup(int group);
    void traceStray();
    void tryReopen();
    void listenToLine();

    TComm serial_;
    TTransport* Comm1 = &serial_;
    int openedBaud_ = 0; // the speed of the operator's open, for reopening a lost device
    bool fast_ = false;
    bool linkWanted_ = false; // opened by the operator and not closed since
    bool lost_ = false;
    QString lostName_; // the operator's name of the lost port
    int reopenCountdown_ = 0;
    int lossCount_ = 0;
    int reopenAttempts_ = 0;
    int reopenCount_ = 0;
};

// The one link form of the run, created at start-up.
extern TFrmCom* FrmCom;
