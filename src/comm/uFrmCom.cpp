#include "comm/uFrmCom.h"

#include "comm/uCrc16.h"
#include "comm/uReplyFrame.h"
#include "model/UShareData.h"
#include "model/uDataFunc.h"

#include <algorithm>
#include <cstring>

TFrmCom* FrmCom = nullptr;

namespace {
// Ticks a sent frame waits for its reply before it is resent or dropped.
constexpr uint8_t ReplyWaitTicks = 10;
// Ticks between two refreshes of the counters: every eleventh tick, 1.1 s.
constexpr uint8_t CounterRefreshTicks = 10;
} // namespace

TFrmCom::TFrmCom(QObject* parent) : QObject(parent)
{
    setObjectName(QStringLiteral("FrmCom"));
    serial_.setObjectName(QStringLiteral("Comm1"));
    Timer1.setObjectName(QStringLiteral("Timer1"));
    // The serial port as the form sets it; the line itself is chosen by OpenPort.
    serial_.SetCommName(QStringLiteral("COM1"));
    serial_.SetBaudRate(2400);
    serial_.SetReadIntervalTimeout(200);
    listenToLine();
    Timer1.setInterval(100);
    connect(&Timer1, &QTimer::timeout, this, &TFrmCom::Timer1Timer);
    ReplyTimer.setObjectName(QStringLiteral("ReplyTimer"));
    ReplyTimer.setSingleShot(true);
    ReplyTimer.setTimerType(Qt::PreciseTimer);
    connect(&ReplyTimer, &QTimer::timeout, this, [this] {
        if (linkRuns() && linkState_.ReqOutstanding) fastSend();
    });
    GapTimer.setObjectName(QStringLiteral("GapTimer"));
    GapTimer.setSingleShot(true);
    GapTimer.setTimerType(Qt::PreciseTimer);
    connect(&GapTimer, &QTimer::timeout, this, [this] {
        if (linkRuns() && !linkState_.ReqOutstanding) fastNext();
    });
    FormCreate();
    Timer1.start();
    FrmCom = this;
}

TFrmCom::~TFrmCom()
{
    Timer1.stop();
    disconnect(Comm1, nullptr, this, nullptr);
    Comm1->close();
    if (FrmCom == this) FrmCom = nullptr;
}

void TFrmCom::listenToLine()
{
    connect(Comm1, &TTransport::received, this, [this](const QByteArray& chunk) {
        Comm1ReceiveData(reinterpret_cast<const uint8_t*>(chunk.constData()), int(chunk.size()));
    });
    connect(Comm1, &TTransport::lost, this, [this](const QString& reason) { deviceLost(reason); });
    if (Comm1 == &serial_) return;
    connect(Comm1, &QObject::destroyed, this, [this] {
        Comm1 = &serial_;
        listenToLine();
    });
}

void TFrmCom::SetTransport(TTransport* transport)
{
    TTransport* next = transport ? transport : &serial_;
    if (next == Comm1) return;
    disconnect(Comm1, nullptr, this, nullptr);
    Comm1 = next;
    listenToLine();
    Comm1->setFastLine(fast_);
}

void TFrmCom::FormCreate()
{
    linkState_.ActiveProtocol = LocalPara.curProtocol;
    Modbus = std::make_unique<TMModbus>(txBuf_, Values);
    Ydt = std::make_unique<TYDT_V31>(Values);
    if (linkState_.ActiveProtocol == 0) {
        // The cabinets speak Modbus with two stop bits and no software flow control.
        serial_.SetInx_XonXoffFlow(false);
        serial_.SetOutx_XonXoffFlow(false);
        serial_.SetStopBits(TStopBits::_2);
    }
    linkState_.CommPaused = false;
    SetFastLine(LocalPara.FastLine || FastLineForRun);
}

void TFrmCom::SetFastLine(bool on)
{
    fast_ = on;
    Comm1->setFastLine(on);
    // The defined pace sends the held frame again on every idle tick of a download.
    if (Modbus) Modbus->RepeatHeldFrame = !on;
    if (!on) {
        ReplyTimer.stop();
        GapTimer.stop();
    }
}

int TFrmCom::FastReplyTimeoutMs(const uint8_t* frame, int frameLen) const
{
    const int reply = ReplyFrame::NominalReplyLength(frame, frameLen);
    const int64_t wireUs = Comm1->wireMicros(frameLen + (reply > 0 ? reply : ReplyFrame::MaxFrame));
    return static_cast<int>((wireUs + 999) / 1000) + FastMarginMs;
}

bool TFrmCom::linkRuns() const { return fast_ && PortOpen() && !linkState_.CommPaused; }

// The next request of the active protocol into the transmit buffer, with its attempts afresh; FrameLen 0
// when there is nothing to ask.
void TFrmCom::buildNextRequest()
{
    TLinkState& s = linkState_;
    refusedSeen_ = false;
    s.MaxAttempts = 1;
    s.AttemptCount = 0;
    s.RetryCountdown = 0;
    s.FrameLen = 0;
    if (s.ActiveProtocol == 0) {
        Modbus->BuildNextRequest(reqSlot_, s, devAddr_, curModule_);
        s.FrameLen = Modbus->FrameLen;
        if (Modbus->CycleEndedAt != 0) Q_EMIT PollCycleEnded(Modbus->CycleEndedAt);
        if (s.FrameLen > 0) Q_EMIT RequestBuilt(Modbus->CurrentRequest());
    } else if (s.ActiveProtocol == 1) {
        Ydt->BuildNextRequest(s.PollStep, s.PollSteps, devAddr_);
        s.FrameLen = Ydt->FrameLen;
    }
}

void TFrmCom::fastNext()
{
    TLinkState& s = linkState_;
    s.ReplyAccepted = false;
    buildNextRequest();
    if (s.FrameLen <= 0) return; // nothing to ask: the next tick looks again
    s.ReqOutstanding = true;
    fastSend();
}

void TFrmCom::fastSend()
{
    TLinkState& s = linkState_;
    s.AttemptWaiting = false; // the wait of the attempt before, if any, has run out
    if (s.AttemptCount + 1 > s.MaxAttempts) {
        endOutstanding(); // dropped silently; the error rate tells
        GapTimer.start(Comm1->interFrameGapMs());
        return;
    }
    s.AttemptCount += 1;
    SendFrame(txBuf_, s.FrameLen);
    s.AttemptWaiting = true;
    ReplyTimer.start(FastReplyTimeoutMs(txBuf_, s.FrameLen));
}

void TFrmCom::fastTick()
{
    // The tick only starts the link when it stands still: after a pause, a closed port, or a
    // round with nothing to ask.
    if (linkState_.ReqOutstanding) {
        if (!ReplyTimer.isActive()) fastSend();
    } else if (!GapTimer.isActive()) {
        fastNext();
    }
}

QString TFrmCom::DeviceName(const QString& comName)
{
#ifdef Q_OS_WIN
    bool ok = false;
    int n = comName.mid(3).toInt(&ok);
    if (!ok) n = 1;
    return n < 10 ? QStringLiteral("COM%1").arg(n) : QStringLiteral("\\\\.\\COM%1").arg(n);
#else
    // COM1 is the first on-board port, /dev/ttyS0.
    if (comName.startsWith(QLatin1String("COM"))) {
        bool ok = false;
        const int n = comName.mid(3).toInt(&ok);
        if (ok && n >= 1 && comName.mid(3) == QString::number(n))
            return QStringLiteral("/dev/ttyS%1").arg(n - 1);
    }
    return comName;
#endif
}

void TFrmCom::OpenPort(const QString& port, int baudRate)
{
    ClosePort();
    SetFastLine(LocalPara.FastLine || FastLineForRun);
    ECommsError failure;
    if (!Comm1->open(DeviceName(port), baudRate, failure)) throw failure;
    linkWanted_ = true;
    lostName_ = port;
    openedBaud_ = baudRate;
}

void TFrmCom::ClosePort()
{
    // The operator's close also ends the wait for a lost device.
    linkWanted_ = false;
    lost_ = false;
    if (Comm1->isOpen()) {
        Comm1->close();
        Q_EMIT LinkBroken();
    }
    DropPendingWrites();
}

void TFrmCom::DropPendingWrites()
{
    auto note = [this](uint8_t func, int32_t reg) {
        Q_EMIT TraceNote(LangText("Write to %1 (function %2) dropped: the port is closed",
                                       "写 %1 (功能码 %2) 已取消: 端口已关闭")
                                  .arg(reg)
                                  .arg(func));
    };
    // A write already built or sent would be sent again once the port is back. It is told
    // first: it is the request the listeners know as the one in progress.
    TLinkState& st = linkState_;
    if (st.ReqOutstanding && !st.ReplyAccepted && Modbus && IsWriteFunc(Modbus->ReqFunc)) {
        note(Modbus->ReqFunc, Modbus->ReqStartReg);
        endOutstanding();
    }
    // Every waiting write is noted before any group goes, since a group takes its other
    // writes with it.
    for (int i = 1; i <= ReqSlotCount; ++i) {
        const TReqSlot& s = reqSlot_[i];
        if (s.Pending != 0 && IsWriteFunc(s.Func)) note(s.Func, s.StartReg);
    }
    for (int i = 1; i <= ReqSlotCount; ++i) {
        const TReqSlot& s = reqSlot_[i];
        if (s.Pending != 0 && IsWriteFunc(s.Func)) dropGroup(s.Group != 0 ? s.Group : -i);
    }
}

// Ends the request in progress without an accepted reply, tells the listeners, and drops what
// is left of its write group: a read-back whose write never went through would only report
// the old value as the write's outcome.
void TFrmCom::endOutstanding()
{
    TLinkState& s = linkState_;
    s.ReqOutstanding = false;
    s.AttemptWaiting = false;
    if (s.ActiveProtocol != 0 || !Modbus) return;
    TLinkRequest request = Modbus->CurrentRequest();
    request.sent = s.AttemptCount > 0;
    request.refused = refusedSeen_;
    refusedSeen_ = false;
    Q_EMIT RequestDropped(request);
    if (request.group != 0) dropGroup(request.group);
}

// Empties the pending slots of group (a negative group: the one slot -group), telling the
// listeners of each; none of them went out.
void TFrmCom::dropGroup(int group)
{
    for (int i = 1; i <= ReqSlotCount; ++i) {
        TReqSlot& s = reqSlot_[i];
        if (s.Pending == 0 || (group > 0 ? s.Group != group : i != -group)) continue;
        s.Pending = 0;
        TLinkRequest r;
        r.slot = s.FilledAs != 0 ? s.FilledAs : i;
        r.addr = s.Addr;
        r.func = s.Func;
        r.startReg = s.StartReg;
        r.count = s.Count;
        r.value = s.Value;
        r.words = s.Func == 16 ? s.Words : nullptr;
        r.source = s.Source;
        r.group = s.Group;
        s.Group = 0;
        s.FilledAs = 0;
        Q_EMIT RequestDropped(r);
    }
}

void TFrmCom::traceStray()
{
    Q_EMIT TraceNote(LangText("Stray frame dropped: not the reply to the request sent",
                                   "无关帧已丢弃: 不是所发请求的应答"));
}

void TFrmCom::deviceLost(const QString& reason)
{
    if (!linkWanted_) return;
    lost_ = true;
    ++lossCount_;
    reopenCountdown_ = ReopenTicks;
    const QString text = LangText("Port %1 lost", "端口 %1 已断开").arg(lostName_) +
                         (reason.isEmpty() ? QString() : QStringLiteral(" (") + reason + QLatin1Char(')'));
    Q_EMIT TraceNote(text);
    DropPendingWrites();
    Q_EMIT DeviceLost(lostName_);
    Q_EMIT LinkBroken();
}

void TFrmCom::tryReopen()
{
    ++reopenAttempts_;
    ECommsError failure;
    // The same device at the same speed; not back yet: the next attempt comes ReopenTicks later.
    if (!Comm1->open(DeviceName(lostName_), openedBaud_, failure)) return;
    lost_ = false;
    ++reopenCount_;
    Q_EMIT TraceNote(LangText("Port %1 reopened", "端口 %1 已重新打开").arg(lostName_));
    Q_EMIT DeviceBack(lostName_);
}

bool TFrmCom::PortOpen() const { return Comm1->isOpen(); }

void TFrmCom::SetActiveProtocol(int protocol) { linkState_.ActiveProtocol = protocol; }

void TFrmCom::SendFrame(const uint8_t* bytes, int len)
{
    Comm1->write(bytes, len);
    // Counted even when the port refused it: the error rate then shows the loss.
    commDebug_.TxCount += 1;
    Q_EMIT FrameSent(QByteArray(reinterpret_cast<const char*>(bytes), len));
}

void TFrmCom::LinkTick()
{
    TLinkState& s = linkState_;
    if (s.ReplyAccepted) {
        s.ReqOutstanding = false;
        s.ReplyAccepted = false;
    }
    if (s.ReqOutstanding) {
        if (s.RetryCountdown > 0) {
            s.RetryCountdown -= 1;
            return;
        }
        s.AttemptWaiting = false; // the wait of the attempt before, if any, has run out
        if (s.AttemptCount + 1 > s.MaxAttempts) {
            endOutstanding(); // dropped silently; the error rate tells
            return;
        }
        s.AttemptCount += 1;
        SendFrame(txBuf_, s.FrameLen);
        s.AttemptWaiting = true;
        s.RetryCountdown = ReplyWaitTicks;
        return;
    }

    buildNextRequest();
    // Built now, sent on the next tick.
    if (s.FrameLen > 0) s.ReqOutstanding = true;
}

void TFrmCom::Timer1Timer()
{
    // A lost device is looked for once every two seconds, never in a loop.
    if (lost_ && !Comm1->isOpen() && --reopenCountdown_ <= 0) {
        reopenCountdown_ = ReopenTicks;
        tryReopen();
    }
    if (PortOpen() && !linkState_.CommPaused) {
        if (fast_)
            fastTick();
        else
            LinkTick();
    }
    if (commDebug_.TraceCountdown > 0) {
        commDebug_.TraceCountdown -= 1;
        return;
    }
    commDebug_.TraceCountdown = CounterRefreshTicks;
    Q_EMIT CountersChanged();
    TCommDebug& d = commDebug_;
    // A frame still waiting for its reply is neither answered nor lost yet: the rate is worked
    // out over the frames whose wait has ended, so a clean line reads 0.
    // With the port gone no reply can come: that frame counts as unanswered.
    const int32_t finished = d.TxCount - (linkState_.AttemptWaiting && PortOpen() ? 1 : 0);
    if (d.TxCount <= 0) {
        d.ErrRate = 0;
    } else if (d.TxCount < d.AckCount) {
        // A reply after the counters were cleared.
        d.AckCount = d.TxCount;
        d.ErrRate = 0;
    } else if (finished <= 0 || finished <= d.AckCount) {
        d.ErrRate = 0;
    } else {
        d.ErrRate = double(finished - d.AckCount) / double(finished) * 100.0;
    }
}

void TFrmCom::Comm1ReceiveData(const uint8_t* chunk, int len)
{
    const int n = chunk ? std::clamp(len, 0, MaxRxChunk) : 0;
    if (n > 0) std::memcpy(rxBuf_, chunk, static_cast<size_t>(n));
    commDebug_.RxCount += 1;
    Q_EMIT ChunkReceived(QByteArray(reinterpret_cast<const char*>(rxBuf_), n));
    TLinkState& s = linkState_;
    if (s.ActiveProtocol != 0) return;
    // Only a request that went out and is still waiting can be answered: a frame before the
    // send, after the wait ended or after an accepted reply answers nothing asked now.
    const bool waiting = s.ReqOutstanding && s.AttemptCount > 0 && !s.ReplyAccepted;
    // A line-speed link moves on after a short wait, so a late reply to an earlier request
    // may come in: only a whole frame of the length the outstanding request expects is
    // judged, anything else is not decoded at all.
    const bool judged = waiting && (!fast_ || ReplyFrame::CompleteLength(txBuf_, s.FrameLen, rxBuf_, n) == n);
    const TMModbus::TJudgement judgement = judged ? Modbus->JudgeReply(rxBuf_, n) : TMModbus::TJudgement::Stray;
    if (judgement == TMModbus::TJudgement::Stray) {
        // A whole frame that answers something else is worth a line; a garbled chunk shows as
        // its bytes and in the error rate.
        if (n >= 4 && Crc16(rxBuf_, n) == 0) traceStray();
        return;
    }
    if (judgement == TMModbus::TJudgement::Refused) {
        // The cabinet refused the request: nothing is stored and nothing is counted as
        // answered. The request keeps its defined retries; should they all end so, it is told
        // to the listeners as refused rather than unanswered.
        refusedSeen_ = true;
        return;
    }
    s.ReplyAccepted = true;
    s.AttemptWaiting = false;
    commDebug_.AckCount += 1;
    // The values the reply carried, for the listeners (an accepted read carries exactly
    // the count asked for).
    const TLinkRequest request = Modbus->CurrentRequest();
    uint16_t regs[MaxRxChunk / 2];
    int count = 0;
    if ((request.func == 3 || request.func == 4) && 3 + 2 * request.count <= n) {
        count = request.count;
        for (int i = 0; i < count; ++i)
            regs[i] = static_cast<uint16_t>(rxBuf_[3 + 2 * i] << 8 | rxBuf_[4 + 2 * i]);
    }
    Q_EMIT ReplyAccepted(request, regs, count);
    if (fast_) {
        // The wait ends now; the next request follows after the inter-frame gap.
        ReplyTimer.stop();
        s.ReqOutstanding = false;
        s.ReplyAccepted = false;
        Q_EMIT ReplyArrived();
        // The serial port holds the request back for the inter-frame gap after the reply's
        // last byte; on a line that does not, the link waits for the gap itself.
        if (!Comm1->keepsFrameGap())
            GapTimer.start(Comm1->interFrameGapMs());
        else if (linkRuns() && !s.ReqOutstanding)
            fastNext();
    }
}

bool TFrmCom::Submit(int slot, const TReqSlot& request)
{
    if (slot < 1 || slot > ReqSlotCount || reqSlot_[slot].Pending != 0) return false;
    TReqSlot& s = reqSlot_[slot];
    const int32_t counter = s.Counter;
    s = request;
    s.Counter = counter;
    s.Pending = FlagOn;
    return true;
}

bool TFrmCom::MoveRead(int from, int to)
{
    if (from < 1 || from > ReqSlotCount || to < 1 || to > ReqSlotCount || from == to) return false;
    TReqSlot& a = reqSlot_[from];
    TReqSlot& b = reqSlot_[to];
    if (a.Pending == 0 || IsWriteFunc(a.Func) || b.Pending != 0) return false;
    const int32_t counter = b.Counter;
    b = a;
    b.Counter = counter;
    if (b.FilledAs == 0) b.FilledAs = from;
    a.Pending = 0;
    a.FilledAs = 0;
    return true;
}

void TFrmCom::Withdraw(int slot)
{
    if (slot < 1 || slot > ReqSlotCount) return;
    reqSlot_[slot].Pending = 0;
    reqSlot_[slot].Group = 0;
    reqSlot_[slot].FilledAs = 0;
}

void TFrmCom::ReaddressReads(const QString& source, int before, int after)
{
    for (int i = 1; i <= ReqSlotCount; ++i) {
        TReqSlot& s = reqSlot_[i];
        if (s.Pending && !IsWriteFunc(s.Func) && s.Addr == before && s.Source == source)
            s.Addr = static_cast<uint8_t>(after);
    }
}

void TFrmCom::RestartPollCycle() { linkState_.PollStep = 100; }

void TFrmCom::SetPaused(bool paused) { linkState_.CommPaused = paused; }

void TFrmCom::ResetCounters()
{
    commDebug_.TxCount = 0;
    commDebug_.RxCount = 0;
    commDebug_.AckCount = 0;
    commDebug_.ErrRate = 0;
    Q_EMIT CountersChanged();
}
