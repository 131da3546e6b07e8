#include "comm/SPComm.h"

#include "comm/SPCommReader.h"
#include "comm/uReplyFrame.h"

#include <QFile>
#include <QMetaObject>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

#ifndef Q_OS_WIN
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {
QString speedRefused(uint32_t baud)
{
    return QStringLiteral("the port does not take the speed %1 bit/s")
        .arg(static_cast<int64_t>(int32_t(baud)));
}

#ifndef Q_OS_WIN
// Why a device that the driver would not open was refused, told the way the operator is
// told on every platform: a character device that is no terminal (/dev/null and the like)
// cannot take the line settings.
bool isCharDeviceButNoTerminal(const QByteArray& path)
{
    const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    const bool noTerminal = !::isatty(fd);
    ::close(fd);
    return noTerminal;
}
#endif
} // namespace

TComm::TComm(QObject* parent) : TTransport(parent) {}

TComm::~TComm() { CloseComm(); }

QString TComm::SystemLocation(const QString& name)
{
#ifdef Q_OS_WIN
    return name;
#else
    if (name.startsWith(QLatin1Char('/'))) return name;
    return QStringLiteral("/dev/") + name;
#endif
}

TLineSettings TComm::lineSettings() const
{
    TLineSettings line;
    line.location = SystemLocation(commName_);
    line.baudRate = baudRate_;
    line.byteSize = byteSize_;
    line.parity = parity_;
    line.stopBits = stopBits_;
    line.xonXoff = outxXonXoffFlow_ || inxXonXoffFlow_;
    line.hardwareFlow = outxCtsFlow_ || rtsControl_ == TRtsControl::RtsHandshake;
    line.dtr = dtrControl_;
    line.rts = rtsControl_;
    return line;
}

void TComm::OpenComm()
{
    if (IsOpen()) throw ECommsError(MsgAlreadyOpen, SystemLocation(commName_), QString());

    const QString location = SystemLocation(commName_);
#ifndef Q_OS_WIN
    const QByteArray path = QFile::encodeName(location);
    struct stat st {};
    if (::stat(path.constData(), &st) != 0) {
        const int err = errno;
        throw ECommsError(MsgOpenFailed, location, QString::fromLocal8Bit(std::strerror(err)), err == EACCES);
    }
    if (!S_ISCHR(st.st_mode))
        throw ECommsError(MsgNotCommHandle, location, QStringLiteral("not a character device"));
#endif
    if (!AcceptsBaudRate(baudRate_)) throw ECommsError(MsgOpenFailed, location, speedRefused(baudRate_));

    const unsigned generation = ++generation_;
    TCommReader::TSinks sinks;
    // Each sink runs on the reader thread and only posts its copy to this thread.
    sinks.chunk = [this, generation](const QByteArray& chunk) {
        QMetaObject::invokeMethod(this, [this, generation, chunk] { chunkArrived(generation, chunk); },
                                  Qt::QueuedConnection);
    };
    if (OnSendDataEmpty) {
        sinks.written = [this, generation](uint64_t seq) {
            QMetaObject::invokeMethod(this, [this, generation, seq] { written(generation, seq); },
                                      Qt::QueuedConnection);
        };
    }
    sinks.writeFailed = [this, generation](const QString&) {
        QMetaObject::invokeMethod(this, [this, generation] { writeFailed(generation); }, Qt::QueuedConnection);
    };
    sinks.lost = [this, generation](const QString& reason) {
        QMetaObject::invokeMethod(this, [this, generation, reason] { lineLost(generation, reason); },
                                  Qt::QueuedConnection);
    };
    auto reader = std::make_unique<TCommReader>();
    TChunkRules rules;
    rules.intervalMs = readIntervalTimeout_;
    rules.totalMultiplierMs = readTotalTimeoutMultiplier_;
    rules.totalConstantMs = readTotalTimeoutConstant_;
    rules.fastLine = fastLine_;
    const TCommReader::TOpenResult r = reader->Open(lineSettings(), rules, std::move(sinks));
    if (!r.ok) {
        if (r.speedRefused)
            throw ECommsError(MsgOpenFailed, location,
                              speedRefused(baudRate_) + QStringLiteral(" (") + r.reason + ')');
        bool permission = r.permissionDenied;
        const QString reason = r.reason;
        bool inUse = false;
#ifndef Q_OS_WIN
        if (isCharDeviceButNoTerminal(path))
            throw ECommsError(MsgSetupBuffer, location, QStringLiteral("not a terminal device"));
        // The port reports a device locked by another program (its lock file, or a terminal
        // held for exclusive use: EBUSY) as a permission error too; a device this user may open
        // is not a matter of permission.
        if (permission && ::access(path.constData(), R_OK | W_OK) == 0) {
            inUse = true;
            permission = false;
        }
#else
        // A Windows port is opened exclusively: access denied means another program has it.
        inUse = permission;
        permission = false;
#endif
        throw ECommsError(MsgOpenFailed, location, reason, permission, inUse);
    }
    reader_ = std::move(reader);
    open_ = true;
    handle_ = r.handle;
    lossPending_ = false;
    sendQueueEmpty_ = true;
    writerAlive_ = true;

    // The writer reports an empty queue once when it starts.
    QTimer::singleShot(0, this, [this, generation] {
        if (IsOpen() && generation == generation_ && sendQueueEmpty_ && OnSendDataEmpty) OnSendDataEmpty(this);
    });
}

void TComm::CloseComm()
{
    if (!open_) return;
    ++generation_;
    // The thread purges both directions before it closes, so the driver does not hold the
    // close until queued output has drained.
    if (reader_) {
        wakeups_ += reader_->Wakeups();
        reader_->Stop();
        reader_.reset();
    }
    open_ = false;
    handle_ = -1;
    sendQueueEmpty_ = true;
    writerAlive_ = false;
    lossPending_ = false;
}

bool TComm::WriteComm(const uint8_t* bytes, int count)
{
    if (!IsOpen() || !writerAlive_ || lossPending_ || bytes == nullptr || count <= 0) return false;
    reader_->Write(QByteArray(reinterpret_cast<const char*>(bytes), count), ++writeSeq_);
    sendQueueEmpty_ = false;
    return true;
}

bool TComm::IsOpen() const { return open_; }

bool TComm::open(const QString& endpoint, int baudRate, ECommsError& failure)
{
    SetCommName(endpoint);
    SetBaudRate(static_cast<uint32_t>(baudRate));
    try {
        OpenComm();
    } catch (const ECommsError& e) {
        failure = e;
        return false;
    }
    return true;
}

int TComm::CharBits() const
{
    return ReplyFrame::CharBits(5 + static_cast<int>(byteSize_), parity_ != TParity::None,
                                stopBits_ == TStopBits::_1 ? 1 : 2);
}

int64_t TComm::wireMicros(int count) const
{
    return ReplyFrame::WireMicros(count, static_cast<int>(baudRate_), CharBits());
}

int TComm::interFrameGapMs() const
{
    return ReplyFrame::InterFrameGapMs(static_cast<int>(baudRate_), CharBits());
}

bool TComm::SendQueueEmpty() const { return sendQueueEmpty_ || (reader_ && reader_->WrittenSeq() == writeSeq_); }

qintptr TComm::Handle() const { return open_ ? handle_ : -1; }

quint64 TComm::Wakeups() const { return wakeups_ + (reader_ ? reader_->Wakeups() : 0); }

void TComm::SetFastLine(bool on)
{
    fastLine_ = on;
    applyTimeouts();
}

void TComm::chunkArrived(unsigned generation, const QByteArray& chunk)
{
    ++wakeups_;
    // A chunk of an earlier open, or one that came after the loss, is nobody's.
    if (generation != generation_ || !open_ || lossPending_) return;
    if (OnReceiveData)
        OnReceiveData(this, reinterpret_cast<const uint8_t*>(chunk.constData()), static_cast<uint16_t>(chunk.size()));
    if (generation == generation_) Q_EMIT received(chunk);
}

void TComm::written(unsigned generation, uint64_t seq)
{
    if (generation != generation_ || !open_ || seq != writeSeq_ || sendQueueEmpty_) return;
    sendQueueEmpty_ = true;
    if (OnSendDataEmpty) OnSendDataEmpty(this);
}

void TComm::writeFailed(unsigned generation)
{
    if (generation != generation_ || !open_ || lossPending_) return;
    // Writing ends until the port is opened again; the line itself may still be there.
    writerAlive_ = false;
    sendQueueEmpty_ = true;
    if (OnRequestHangup) OnRequestHangup(this);
}

void TComm::lineLost(unsigned generation, const QString& reason)
{
    if (generation != generation_ || !open_ || lossPending_) return;
    // The device is gone and the thread has stopped reading. The port is closed from the
    // event loop, not from inside the notice that reported the loss.
    lossPending_ = true;
    lossReason_ = reason;
    writerAlive_ = false;
    QTimer::singleShot(0, this, [this, generation] { closeAfterLoss(generation); });
    if (OnRequestHangup) OnRequestHangup(this);
}

void TComm::closeAfterLoss(unsigned generation)
{
    if (generation != generation_) return;
    const QString reason = lossReason_;
    CloseComm();
    if (OnDeviceLost) OnDeviceLost(this, reason);
    Q_EMIT lost(reason);
}

void TComm::applyTimeouts()
{
    if (!reader_) return;
    TChunkRules rules;
    rules.intervalMs = readIntervalTimeout_;
    rules.totalMultiplierMs = readTotalTimeoutMultiplier_;
    rules.totalConstantMs = readTotalTimeoutConstant_;
    rules.fastLine = fastLine_;
    reader_->SetRules(rules);
}

void TComm::applyLineState()
{
    if (reader_) reader_->Apply(lineSettings());
}

void TComm::SetBaudRate(uint32_t v)
{
    baudRate_ = v;
    applyLineState();
}
void TComm::SetParityCheck(bool v)
{
    parityCheck_ = v;
    applyLineState();
}
void TComm::SetOutx_CtsFlow(bool v)
{
    outxCtsFlow_ = v;
    applyLineState();
}
void TComm::SetOutx_DsrFlow(bool v)
{
    outxDsrFlow_ = v;
    applyLineState();
}
void TComm::SetDtrControl(TDtrControl v)
{
    dtrControl_ = v;
    applyLineState();
}
void TComm::SetDsrSensitivity(bool v)
{
    dsrSensitivity_ = v;
    applyLineState();
}
void TComm::SetTxContinueOnXoff(bool v)
{
    txContinueOnXoff_ = v;
    applyLineState();
}
void TComm::SetOutx_XonXoffFlow(bool v)
{
    outxXonXoffFlow_ = v;
    applyLineState();
}
void TComm::SetInx_XonXoffFlow(bool v)
{
    inxXonXoffFlow_ = v;
    applyLineState();
}
void TComm::SetReplaceWhenParityError(bool v)
{
    replaceWhenParityError_ = v;
    applyLineState();
}
void TComm::SetIgnoreNullChar(bool v)
{
    ignoreNullChar_ = v;
    applyLineState();
}
void TComm::SetRtsControl(TRtsControl v)
{
    rtsControl_ = v;
    applyLineState();
}
void TComm::SetXonLimit(uint16_t v)
{
    xonLimit_ = v;
    applyLineState();
}
void TComm::SetXoffLimit(uint16_t v)
{
    xoffLimit_ = v;
    applyLineState();
}
void TComm::SetByteSize(TByteSize v)
{
    byteSize_ = v;
    applyLineState();
}
void TComm::SetStopBits(TStopBits v)
{
    stopBits_ = v;
    applyLineState();
}
void TComm::SetXonChar(char v)
{
    xonChar_ = v;
    applyLineState();
}
void TComm::SetXoffChar(char v)
{
    xoffChar_ = v;
    applyLineState();
}
void TComm::SetReplacedChar(char v)
{
    replacedChar_ = v;
    applyLineState();
}
void TComm::SetReadIntervalTimeout(uint32_t v)
{
    readIntervalTimeout_ = v;
    applyTimeouts();
}
void TComm::SetReadTotalTimeoutMultiplier(uint32_t v)
{
    readTotalTimeoutMultiplier_ = v;
    applyTimeouts();
}
void TComm::SetReadTotalTimeoutConstant(uint32_t v)
{
    readTotalTimeoutConstant_ = v;
    applyTimeouts();
}
void TComm::SetWriteTotalTimeoutMultiplier(uint32_t v)
{
    writeTotalTimeoutMultiplier_ = v;
    applyTimeouts();
}
void TComm::SetWriteTotalTimeoutConstant(uint32_t v)
{
    writeTotalTimeoutConstant_ = v;
    applyTimeouts();
}
