#include "comm/SPComm.h"

#include <QFile>
#include <QSerialPort>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

#ifndef Q_OS_WIN
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {
// One read of the device hands over at most this many bytes, pause or not.
constexpr int MaxChunk = 2048;
// Once a chunk has begun, the device is read again only after this many milliseconds, so that
// a reply paced byte by byte costs one wake-up per few bytes instead of one per byte. The
// silence that ends the chunk is counted from the read that brought its last byte, so the
// chunk is delivered at most this much later than a read of every single byte would.
constexpr int GatherMs = 6;
// Gathering is used only where the silence is long beside the cadence, and where the cadence
// holds several characters at the line speed (on a slow line it would only add work, and
// delay the chunk by a larger share of a character).
constexpr uint32_t MinIntervalForGathering = 50;
constexpr int MinCharsPerGathering = 8;

QString speedRefused(uint32_t baud)
{
    return QStringLiteral("the port does not take the speed %1 bit/s")
        .arg(static_cast<int64_t>(int32_t(baud)));
}

int clampInterval(uint64_t ms) { return static_cast<int>(std::min<uint64_t>(ms, INT_MAX)); }

QSerialPort::FlowControl flowControlOf(bool xonXoff, bool hardware)
{
    if (xonXoff) return QSerialPort::SoftwareControl;
    if (hardware) return QSerialPort::HardwareControl;
    return QSerialPort::NoFlowControl;
}

QSerialPort::Parity parityOf(TParity p)
{
    switch (p) {
    case TParity::Odd: return QSerialPort::OddParity;
    case TParity::Even: return QSerialPort::EvenParity;
    case TParity::Mark: return QSerialPort::MarkParity;
    case TParity::Space: return QSerialPort::SpaceParity;
    case TParity::None: break;
    }
    return QSerialPort::NoParity;
}

QSerialPort::StopBits stopBitsOf(TStopBits s)
{
    switch (s) {
    case TStopBits::_1_5: return QSerialPort::OneAndHalfStop;
    case TStopBits::_2: return QSerialPort::TwoStop;
    case TStopBits::_1: break;
    }
    return QSerialPort::OneStop;
}

QSerialPort::DataBits dataBitsOf(TByteSize b)
{
    return static_cast<QSerialPort::DataBits>(5 + static_cast<int>(b));
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

TComm::TComm(QObject* parent) : QObject(parent)
{
    port_ = new QSerialPort(this);
    silence_ = new QTimer(this);
    silence_->setSingleShot(true);
    silence_->setTimerType(Qt::PreciseTimer);
    total_ = new QTimer(this);
    total_->setSingleShot(true);
    total_->setTimerType(Qt::PreciseTimer);
    connect(port_, &QSerialPort::readyRead, this, &TComm::onReadyRead);
    connect(port_, &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError e) { onError(e); });
    connect(port_, &QSerialPort::bytesWritten, this, &TComm::onBytesWritten);
    connect(silence_, &QTimer::timeout, this, &TComm::onQuiet);
    connect(total_, &QTimer::timeout, this, &TComm::onSilence);
    gather_ = new QTimer(this);
    gather_->setSingleShot(true);
    gather_->setTimerType(Qt::PreciseTimer);
    connect(gather_, &QTimer::timeout, this, &TComm::resumeReading);
}

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

    port_->setPortName(location);
    port_->setBaudRate(static_cast<qint32>(std::min<uint32_t>(baudRate_, INT_MAX)));
    port_->setDataBits(dataBitsOf(byteSize_));
    port_->setParity(parityOf(parity_));
    port_->setStopBits(stopBitsOf(stopBits_));
    port_->setFlowControl(flowControlOf(outxXonXoffFlow_ || inxXonXoffFlow_,
                                        outxCtsFlow_ || rtsControl_ == TRtsControl::RtsHandshake));
    if (!port_->open(QIODevice::ReadWrite)) {
        bool permission = port_->error() == QSerialPort::PermissionError;
        const QString reason = port_->errorString();
        port_->clearError();
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
    // A port that does not take its speed would stay open and send nothing.
    if (!port_->setBaudRate(static_cast<qint32>(baudRate_)) || port_->baudRate() != qint32(baudRate_)) {
        const QString reason = speedRefused(baudRate_) + QStringLiteral(" (") + port_->errorString() + ')';
        port_->close();
        port_->clearError();
        throw ECommsError(MsgOpenFailed, location, reason);
    }

    ++generation_;
    lossPending_ = false;
    pending_.clear();
    port_->clear(QSerialPort::AllDirections);
    sendQueueEmpty_ = true;
    writerAlive_ = true;
    applyTimeouts();
    applyLineState();
    port_->clearError();
    readNotifier_.clear();
    for (QSocketNotifier* n : port_->findChildren<QSocketNotifier*>())
        if (n->type() == QSocketNotifier::Read && n->socket() == port_->handle()) readNotifier_ = n;

    // The writer reports an empty queue once when it starts.
    const unsigned generation = generation_;
    QTimer::singleShot(0, this, [this, generation] {
        if (IsOpen() && generation == generation_ && sendQueueEmpty_ && OnSendDataEmpty)
            OnSendDataEmpty(this);
    });
}

void TComm::CloseComm()
{
    if (!port_->isOpen()) return;
    ++generation_;
    silence_->stop();
    total_->stop();
    gather_->stop();
    readNotifier_.clear();
    pending_.clear();
    // Purge both directions first, so the driver does not hold the close until queued
    // output has drained (a blocked line could hold it for half a minute).
    port_->clear(QSerialPort::AllDirections);
    port_->close();
    port_->clearError();
    sendQueueEmpty_ = true;
    writerAlive_ = false;
    lossPending_ = false;
}

bool TComm::WriteComm(const uint8_t* bytes, int count)
{
    if (!IsOpen() || !writerAlive_ || bytes == nullptr || count <= 0) return false;
    const qint64 queued = port_->write(reinterpret_cast<const char*>(bytes), count);
    if (queued != count) return false;
    sendQueueEmpty_ = false;
    return true;
}

bool TComm::IsOpen() const { return port_->isOpen(); }

qintptr TComm::Handle() const { return port_->isOpen() ? port_->handle() : -1; }

void TComm::onReadyRead()
{
    ++wakeups_;
    if (!port_->isOpen()) return;
    const QByteArray bytes = port_->readAll();
    if (bytes.isEmpty()) return;
    const bool chunkStarts = pending_.isEmpty();
    pending_.append(bytes);
    const unsigned generation = generation_;
    while (pending_.size() >= MaxChunk) {
        deliver(MaxChunk);
        if (generation != generation_) return; // the receiver closed the port
    }
    if (pending_.isEmpty()) {
        silence_->stop();
        total_->stop();
        return;
    }
    holdReading();
    // The silence is measured from the last byte; the timer is not restarted for every byte
    // (a paced line brings them one by one) but looks again when it runs out.
    lastByte_.start();
    if (readIntervalTimeout_ > 0 && !silence_->isActive())
        silence_->start(clampInterval(readIntervalTimeout_));
    const uint64_t totalMs =
        uint64_t(readTotalTimeoutMultiplier_) * MaxChunk + uint64_t(readTotalTimeoutConstant_);
    if (totalMs > 0 && (chunkStarts || !total_->isActive())) total_->start(clampInterval(totalMs));
}

bool TComm::gatheringPays() const
{
    // Bits of one character on the line: start, data, parity, stop.
    const int bits = 1 + 5 + static_cast<int>(byteSize_) + (parity_ == TParity::None ? 0 : 1) +
                     (stopBits_ == TStopBits::_1 ? 1 : 2);
    return uint64_t(baudRate_) * GatherMs >= uint64_t(MinCharsPerGathering) * bits * 1000;
}

void TComm::holdReading()
{
    // Only the plain case is gathered: a long silence and no total time-out, which could
    // otherwise end a chunk while bytes wait unread.
    const bool plain = readIntervalTimeout_ >= MinIntervalForGathering && readTotalTimeoutMultiplier_ == 0 &&
                       readTotalTimeoutConstant_ == 0;
    if (!plain || !readNotifier_ || !gatheringPays()) return;
    readNotifier_->setEnabled(false);
    if (!gather_->isActive()) gather_->start(GatherMs);
}

void TComm::resumeReading()
{
    ++wakeups_;
    // Bytes that came meanwhile are read as soon as the event loop looks at the port.
    if (readNotifier_ && port_->isOpen() && !lossPending_) readNotifier_->setEnabled(true);
}

void TComm::onQuiet()
{
    const qint64 quietMs = lastByte_.isValid() ? lastByte_.elapsed() : qint64(readIntervalTimeout_);
    if (!pending_.isEmpty() && readIntervalTimeout_ > 0 && quietMs < qint64(readIntervalTimeout_)) {
        ++wakeups_;
        silence_->start(clampInterval(readIntervalTimeout_ - uint64_t(quietMs)));
        return;
    }
    onSilence();
}

void TComm::onSilence()
{
    ++wakeups_;
    silence_->stop();
    total_->stop();
    if (!pending_.isEmpty()) deliver(static_cast<int>(pending_.size()));
}

void TComm::deliver(int count)
{
    // The receiver gets a copy of its own: it may close or reopen the port from inside.
    const QByteArray chunk = pending_.left(count);
    pending_.remove(0, count);
    if (OnReceiveData)
        OnReceiveData(this, reinterpret_cast<const uint8_t*>(chunk.constData()),
                      static_cast<uint16_t>(chunk.size()));
}

void TComm::onBytesWritten()
{
    if (port_->isOpen() && port_->bytesToWrite() == 0 && !sendQueueEmpty_) {
        sendQueueEmpty_ = true;
        if (OnSendDataEmpty) OnSendDataEmpty(this);
    }
}

bool TComm::lineIsDead() const
{
#ifdef Q_OS_WIN
    return true;
#else
    const qintptr fd = port_->handle();
    if (fd < 0) return true;
    pollfd p{static_cast<int>(fd), POLLIN, 0};
    if (::poll(&p, 1, 0) < 0) return true;
    return (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
#endif
}

void TComm::onError(int error)
{
    ++wakeups_;
    if (!port_->isOpen() || lossPending_) return;
    switch (error) {
    case QSerialPort::ResourceError: break;
    case QSerialPort::ReadError:
        // A read that gives nothing on a line that has hung up would repeat for ever.
        if (!lineIsDead()) return;
        break;
    case QSerialPort::WriteError:
        // Writing ends until the port is opened again; the line itself may still be there.
        writerAlive_ = false;
        sendQueueEmpty_ = true;
        if (!lineIsDead()) {
            if (OnRequestHangup) OnRequestHangup(this);
            return;
        }
        break;
    default:
        // Settings that a driver refuses (a pseudo-terminal has no modem lines) are not reported.
        return;
    }
    // The device is gone. Reading stops at once; the port is closed from the event loop,
    // not from inside the notifier that reported the loss.
    lossPending_ = true;
    lossReason_ = port_->errorString();
    writerAlive_ = false;
    silence_->stop();
    total_->stop();
    gather_->stop();
    pending_.clear();
    const unsigned generation = generation_;
    QTimer::singleShot(0, this, [this, generation] { closeAfterLoss(generation); });
    if (OnRequestHangup) OnRequestHangup(this);
}

void TComm::closeAfterLoss(unsigned generation)
{
    if (generation != generation_) return;
    const QString reason = lossReason_;
    CloseComm();
    if (OnDeviceLost) OnDeviceLost(this, reason);
}

void TComm::applyTimeouts()
{
    if (!IsOpen()) return;
    // A chunk being gathered keeps its timer; the new values take effect with the next byte.
    if (readIntervalTimeout_ == 0) silence_->stop();
}

void TComm::applyLineState()
{
    if (!IsOpen()) return;
    const bool hardware = outxCtsFlow_ || rtsControl_ == TRtsControl::RtsHandshake;
    port_->setBaudRate(static_cast<qint32>(std::min<uint32_t>(baudRate_, INT_MAX)));
    port_->setDataBits(dataBitsOf(byteSize_));
    port_->setParity(parityOf(parity_));
    port_->setStopBits(stopBitsOf(stopBits_));
    port_->setFlowControl(flowControlOf(outxXonXoffFlow_ || inxXonXoffFlow_, hardware));
    if (dtrControl_ != TDtrControl::DtrHandshake)
        port_->setDataTerminalReady(dtrControl_ == TDtrControl::DtrEnable);
    if (port_->flowControl() != QSerialPort::HardwareControl && rtsControl_ != TRtsControl::RtsHandshake)
        port_->setRequestToSend(rtsControl_ == TRtsControl::RtsEnable);
    port_->clearError();
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
