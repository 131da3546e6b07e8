#include "comm/uRestoreWriter.h"

#include "comm/uFrmCom.h"
#include "model/UShareData.h"

namespace {
constexpr int StepMs = 100;
constexpr int EnableSlot = 1, WriteSlot = 2, ReadSlot = 3;
} // namespace

TRestoreWriter::TRestoreWriter(int address, const QString& source, QObject* parent)
    : QObject(parent), address_(address), source_(source)
{
    timer_.setInterval(StepMs);
    connect(&timer_, &QTimer::timeout, this, &TRestoreWriter::Step);
}

TRestoreWriter::~TRestoreWriter()
{
    if (running_) takeBackSlots();
    links_.Disconnect();
}

bool TRestoreWriter::Start(std::vector<TItem> items)
{
    if (running_ || items.empty() || !FrmCom || !FrmCom->PortOpen()) return false;
    items_ = std::move(items);
    next_ = 0;
    running_ = true;
    cancelled_ = false;
    inFlight_ = false;
    end_ = TEnd::Done;
    listen();
    timer_.start();
    Step();
    return true;
}

void TRestoreWriter::Cancel()
{
    if (!running_) return;
    cancelled_ = true;
    if (!inFlight_) stop(TEnd::Cancelled);
}

void TRestoreWriter::Step()
{
    if (!running_) return;
    if (!FrmCom || !FrmCom->PortOpen()) {
        stop(TEnd::PortLost);
        return;
    }
    if (!inFlight_) {
        if (cancelled_) {
            stop(TEnd::Cancelled);
            return;
        }
        if (next_ >= int(items_.size())) {
            stop(TEnd::Done);
            return;
        }
    }
    if (++idleTicks_ > StallSeconds * 1000 / StepMs) {
        stop(TEnd::NoAnswer);
        return;
    }
    if (inFlight_) return;
    // A paused link takes no write: the register waits, and a pause longer than the stall
    // ends the restore with the rest not sent, as a silent cabinet does.
    if (FrmCom->LinkState.CommPaused) return;
    // A window's own read may hold a slot for a moment: the register waits until all three are
    // free, so that its requests go in whole. Nothing has been sent yet, so this is no retry.
    for (int slot : {EnableSlot, WriteSlot, ReadSlot})
        if (FrmCom->ReqSlot[slot].Pending != 0) return;
    queueCurrent();
}

void TRestoreWriter::queueCurrent()
{
    const TItem& item = items_[size_t(next_)];
    auto fill = [this](int slot, uint8_t func, int32_t reg, uint16_t value) {
        TReqSlot s;
        s.Addr = static_cast<uint8_t>(address_);
        s.Func = func;
        s.StartReg = reg;
        s.Count = 1;
        s.Value = value;
        s.Source = source_;
        FrmCom->Submit(slot, s);
    };
    fill(EnableSlot, 6, RegWriteEnable, WriteEnableValue);
    fill(WriteSlot, 6, item.reg, item.value);
    fill(ReadSlot, 3, item.reg, 0);
    inFlight_ = true;
    writeBuilt_ = writeAcked_ = readBuilt_ = false;
    idleTicks_ = 0;
    Q_EMIT Writing(next_);
}

int TRestoreWriter::slotOf(const TLinkRequest& r) const
{
    if (!running_ || !inFlight_ || r.addr != address_ || r.source != source_) return 0;
    const int reg = items_[size_t(next_)].reg;
    if (r.slot == EnableSlot && r.func == 6 && r.startReg == RegWriteEnable) return EnableSlot;
    if (r.slot == WriteSlot && r.func == 6 && r.startReg == reg) return WriteSlot;
    if (r.slot == ReadSlot && r.func == 3 && r.startReg == reg && r.count == 1) return ReadSlot;
    return 0;
}

void TRestoreWriter::RequestBuilt(const TLinkRequest& request)
{
    const int slot = slotOf(request);
    if (slot == WriteSlot) writeBuilt_ = true;
    if (slot == ReadSlot) readBuilt_ = true;
    if (slot != 0) idleTicks_ = 0;
}

void TRestoreWriter::ReplyAccepted(const TLinkRequest& request, const uint16_t* regs, int count)
{
    const int slot = slotOf(request);
    if (slot == 0) return;
    idleTicks_ = 0;
    if (slot == WriteSlot) writeAcked_ = true;
    if (slot != ReadSlot || !readBuilt_ || count != 1) return;
    const uint16_t sent = items_[size_t(next_)].value;
    verdictDone(regs[0] == sent ? TWriteVerdict::ReadBackEqual : TWriteVerdict::ReadBackDifferent, regs[0]);
}

void TRestoreWriter::verdictDone(TWriteVerdict verdict, int readBack)
{
    const int index = next_;
    inFlight_ = false;
    ++next_;
    Q_EMIT Verdict(index, int(verdict), readBack);
    // The next register is queued from the event loop, not inside the link's handler.
    QMetaObject::invokeMethod(this, &TRestoreWriter::Step, Qt::QueuedConnection);
}

void TRestoreWriter::RequestDropped(const TLinkRequest& request)
{
    // One of its own requests went unanswered after its attempts (or was dropped with the
    // port): the cabinet is not to be trusted with the rest.
    if (slotOf(request) != 0) stop(TEnd::NoAnswer);
}

void TRestoreWriter::LinkBroken()
{
    if (running_) stop(TEnd::PortLost);
}

void TRestoreWriter::takeBackSlots()
{
    // Only the requests this run queued and the link has not taken yet.
    if (!inFlight_) return;
    const TItem& item = items_[size_t(next_)];
    const struct {
        int slot;
        uint8_t func;
        int32_t reg;
    } mine[] = {{EnableSlot, 6, RegWriteEnable}, {WriteSlot, 6, item.reg}, {ReadSlot, 3, item.reg}};
    for (const auto& m : mine) {
        if (!FrmCom) return;
        const TReqSlot& s = FrmCom->ReqSlot[m.slot];
        if (s.Pending != 0 && s.Addr == address_ && s.Func == m.func && s.StartReg == m.reg && s.Source == source_)
            FrmCom->Withdraw(m.slot);
    }
}

void TRestoreWriter::stop(TEnd end)
{
    if (!running_) return;
    takeBackSlots();
    const bool wentOut = inFlight_ && writeBuilt_;
    const int first = next_;
    running_ = false;
    inFlight_ = false;
    end_ = end;
    timer_.stop();
    links_.Disconnect();
    next_ = int(items_.size());
    for (int i = first; i < int(items_.size()); ++i)
        Q_EMIT Verdict(i, int(i == first && wentOut ? TWriteVerdict::NoAnswer : TWriteVerdict::NotSent), -1);
    QMetaObject::invokeMethod(this, [this, end] { Q_EMIT Finished(end); }, Qt::QueuedConnection);
}

// Follows the run's link from now on (no link, nothing to follow).
void TRestoreWriter::listen()
{
    FollowRequests(links_, this);
    if (FrmCom) links_ << QObject::connect(FrmCom, &TFrmCom::LinkBroken, [this] { this->LinkBroken(); });
}
