#include "comm/uTrendRecorder.h"

#include "comm/uCabinet.h"
#include "comm/uFrmCom.h"
#include "model/UShareData.h"
#include "model/uRegisters.h"
#include "model/uUpsInfo.h"

#include <QDateTime>

namespace {
constexpr int ValueBlockFunc = 4;
constexpr int32_t ValueBlockStart = RegSystemFirst; // poll step 1: the cabinet's measured values
} // namespace

TTrendRecorder::TTrendRecorder(TTrendRing& ring, Clock clock) : ring_(ring), clock_(std::move(clock))
{
    if (!clock_) clock_ = [] { return QDateTime::currentMSecsSinceEpoch(); };
}

TTrendRecorder::~TTrendRecorder() { Stop(); }

void TTrendRecorder::Start()
{
    if (started_) return;
    listen();
    started_ = true;
}

void TTrendRecorder::Stop()
{
    if (!started_) return;
    links_.Disconnect();
    started_ = false;
}

void TTrendRecorder::ReplyAccepted(const TLinkRequest& request, const uint16_t*, int)
{
    if (request.func == ValueBlockFunc && request.startReg == ValueBlockStart) valuesCame_ = true;
}

void TTrendRecorder::PollCycleEnded(int address)
{
    if (!valuesCame_ || address < 0 || address > MaxDevAddr) {
        gap();
        return;
    }
    valuesCame_ = false;
    const TUpsData& u = Cabinet().UpsData[address];
    TTrendSample s;
    s.time = clock_();
    const auto& columns = TrendColumns();
    for (int i = 0; i < TrendChannelCount; ++i) s.value[i] = float(columns[size_t(i)]->get(u));
    s.state = static_cast<uint8_t>(u.SysState);
    s.valid = 1;
    ring_.Push(s);
    gapLast_ = false;
}

void TTrendRecorder::LinkBroken()
{
    valuesCame_ = false;
    gap();
}

void TTrendRecorder::gap()
{
    valuesCame_ = false;
    if (gapLast_) return; // one gap marks a silence of any length
    ring_.PushGap(clock_());
    gapLast_ = true;
}

void StartTrendRecording()
{
    static TTrendRecorder recorder(TrendRing);
    recorder.Start();
}

// Follows the run's link from now on (no link, nothing to follow).
void TTrendRecorder::listen()
{
    links_.Disconnect();
    if (!FrmCom) return;
    links_ << QObject::connect(FrmCom, &TFrmCom::PollCycleEnded, [this](int address) { this->PollCycleEnded(address); });
    links_ << QObject::connect(FrmCom, &TFrmCom::ReplyAccepted, [this](const TLinkRequest& r, const uint16_t* regs, int count) { this->ReplyAccepted(r, regs, count); });
    links_ << QObject::connect(FrmCom, &TFrmCom::LinkBroken, [this] { this->LinkBroken(); });
}
