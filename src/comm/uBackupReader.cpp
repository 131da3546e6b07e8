#include "comm/uBackupReader.h"

#include "comm/uCabinet.h"
#include "comm/uFrmCom.h"
#include "model/UShareData.h"

namespace {
constexpr int ReadSlot = 1;
constexpr int StepMs = 100;
} // namespace

TBackupReader::TBackupReader(int address, const QString& source, QObject* parent)
    : QObject(parent), address_(address), source_(source)
{
    timer_.setInterval(StepMs);
    connect(&timer_, &QTimer::timeout, this, &TBackupReader::step);
}

TBackupReader::~TBackupReader() = default;

int TBackupReader::BlockCount() { return static_cast<int>(BackupBlocks().size()); }

void TBackupReader::Start()
{
    result_ = TSettingsBackup{};
    result_.address = address_;
    next_ = 0;
    queued_ = taken_ = false;
    succeeded_ = false;
    failure_.clear();
    idleTicks_ = 0;
    running_ = true;
    listen();
    timer_.start();
    step();
}

void TBackupReader::Cancel()
{
    if (!running_) return;
    finish(false, QStringLiteral("cancelled"));
}

void TBackupReader::finish(bool ok, const QString& failure)
{
    running_ = false;
    succeeded_ = ok;
    failure_ = failure;
    timer_.stop();
    links_.Disconnect();
    if (ok) result_.takenAt = QDateTime::currentDateTime();
    // Told after the link's handler has returned: whoever listens may show a box or write a
    // file without running inside the receive handler.
    QMetaObject::invokeMethod(this, [this, ok] { Q_EMIT Finished(ok); }, Qt::QueuedConnection);
}

void TBackupReader::step()
{
    if (!running_) return;
    if (!FrmCom || !FrmCom->PortOpen()) {
        finish(false, QStringLiteral("the port is closed"));
        return;
    }
    if (++idleTicks_ > StallSeconds * 1000 / StepMs) {
        finish(false, QStringLiteral("%1 did not answer").arg(QString::fromUtf8(BackupBlocks()[size_t(next_)].what)));
        return;
    }
    if (queued_ || !FrmCom || FrmCom->ReqSlot[ReadSlot].Pending) return;
    const TBackupBlock& b = BackupBlocks()[size_t(next_)];
    TReqSlot s;
    s.Addr = static_cast<uint8_t>(address_);
    s.Func = b.func;
    s.StartReg = b.startReg;
    s.Count = b.count;
    s.Value = 0;
    s.Source = source_;
    FrmCom->Submit(ReadSlot, s);
    queued_ = true;
    taken_ = false;
}

bool TBackupReader::isMine(const TLinkRequest& r) const
{
    if (!running_ || !queued_ || r.slot != ReadSlot || r.addr != address_) return false;
    const TBackupBlock& b = BackupBlocks()[size_t(next_)];
    return r.func == b.func && r.startReg == b.startReg && (b.func == 43 || r.count == b.count);
}

void TBackupReader::RequestBuilt(const TLinkRequest& request)
{
    if (isMine(request)) taken_ = true;
}

void TBackupReader::ReplyAccepted(const TLinkRequest& request, const uint16_t* regs, int count)
{
    if (!taken_ || !isMine(request)) return;
    for (int i = 0; i < count; ++i) result_.registers[request.startReg + i] = regs[i];
    if (request.func == 43) {
        // The codec has just stored the object's bytes in the identification area.
        TSettingsBackup id;
        ReadIdentification(Cabinet(), id);
        if (request.startReg == 1) {
            result_.type = id.type;
            result_.rating = id.rating;
        } else {
            result_.version = id.version;
        }
    }
    queued_ = taken_ = false;
    idleTicks_ = 0;
    ++next_;
    Q_EMIT Progress(next_, BlockCount());
    if (next_ >= BlockCount()) finish(true);
}

void TBackupReader::RequestDropped(const TLinkRequest& request)
{
    if (!taken_ || !isMine(request)) return;
    finish(false, QStringLiteral("%1 did not answer").arg(QString::fromUtf8(BackupBlocks()[size_t(next_)].what)));
}

// Follows the run's link from now on (no link, nothing to follow).
void TBackupReader::listen()
{
    FollowRequests(links_, this);
}
