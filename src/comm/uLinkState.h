// The state of the one-at-a-time Modbus master, and the narrow hooks through which the link
// reaches the main window and the trace window without knowing them.
#pragma once

#include <QString>

#include <cstdint>

struct TLinkState {
    int32_t ActiveProtocol = 0; // 0 Modbus master, 1 YD/T stub, other: the link builds nothing
    bool CommPaused = false;
    bool ReqOutstanding = false;
    bool ReplyAccepted = false;
    uint8_t RetryCountdown = 0;
    uint8_t MaxAttempts = 0;
    uint8_t AttemptCount = 0;
    int32_t FrameLen = 0;
    uint8_t PollStep = 0;
    uint8_t PollSteps = 5;
    // The last frame sent is still waiting for its reply: it is not yet counted in the error
    // rate, neither as answered nor as lost.
    bool AttemptWaiting = false;
};
extern TLinkState LinkState;

// --fast: line-speed mode for this run, whatever the settings file says.
extern bool FastLineForRun;

constexpr int CommBufSize = 404;
constexpr int MaxRxChunk = 399;
extern uint8_t TxBuf[CommBufSize];
extern uint8_t RxBuf[CommBufSize];

// What the link needs from the main window. The defaults stand in until a window installs
// its own: address 1, module 1, flags merely dropped.
class TLinkMainHooks {
public:
    virtual ~TLinkMainHooks() = default;
    virtual int GetDevAddr() { return 1; }
    virtual void SyncDevAddr() {}
    virtual int CurModule() { return 1; }
    virtual void SetDataChanged() {}
    virtual void SetTxLedHold(int) {}
    virtual void SetRxLedHold(int) {}
    // The device of the open port went away (port is the operator's name for it); the link
    // tries to reopen it while the link button stays on.
    virtual void LinkLost(const QString& /*port*/) {}
    // The lost device came back and the port is open again.
    virtual void LinkReopened(const QString& /*port*/) {}
};

// What the link tells the trace window.
class TLinkTraceHooks {
public:
    virtual ~TLinkTraceHooks() = default;
    virtual void TraceTx(const uint8_t*, int) {}
    virtual void TraceRx(const uint8_t*, int) {}
    virtual void ShowCounters() {}
    // A line about the link itself (a lost or reopened device), between the frames.
    virtual void TraceNote(const QString&) {}
};

// Install nullptr to return to the defaults.
void SetLinkMainHooks(TLinkMainHooks* hooks);
void SetLinkTraceHooks(TLinkTraceHooks* hooks);
TLinkMainHooks& LinkMain();
TLinkTraceHooks& LinkTrace();

// Puts the link state and both buffers back to zero (tests and start-up).
void ResetLinkState();
