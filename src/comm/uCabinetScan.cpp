#include "comm/uCabinetScan.h"

#include "comm/SPComm.h"
#include "comm/uCrc16.h"
#include "comm/uFrmCom.h"

#include <QFile>
#include <QSerialPort>
#include <QSerialPortInfo>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

#ifndef Q_OS_WIN
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

constexpr uint8_t FuncIdent = 0x2B;
constexpr uint8_t MeiDeviceId = 0x0E;
constexpr uint8_t ReadBasic = 0x01;
constexpr int VersionObject = 2;
constexpr int TypeObject = 1;

// The length of the function 43 reply that the bytes begin with, by its header and the length
// bytes of its objects, CRC included; 0 when the bytes do not hold that much.
int identReplyLength(const QByteArray& bytes)
{
    if (bytes.size() < 10 || uint8_t(bytes[1]) != FuncIdent || uint8_t(bytes[2]) != MeiDeviceId) return 0;
    int pos = 8;
    const int count = uint8_t(bytes[7]);
    for (int i = 0; i < count; ++i) {
        if (pos + 2 > bytes.size()) return 0;
        pos += 2 + uint8_t(bytes[pos + 1]);
    }
    return pos + 2 <= bytes.size() ? pos + 2 : 0;
}

// True when the bytes are exactly one function 43 reply: its objects fill it to the CRC.
bool wholeIdentReply(const QByteArray& bytes)
{
    return bytes.size() >= 12 && identReplyLength(bytes) == bytes.size();
}

bool crcGood(const QByteArray& frame)
{
    return frame.size() >= 4 &&
           Crc16(reinterpret_cast<const uint8_t*>(frame.constData()), int(frame.size())) == 0;
}

// Text of a fixed field: up to the first NUL, blanks at the end dropped.
QString fieldText(const QByteArray& bytes)
{
    const int nul = int(bytes.indexOf('\0'));
    return QString::fromLatin1(nul < 0 ? bytes : bytes.left(nul)).trimmed();
}

} // namespace

QStringList SystemSerialPorts()
{
    QStringList names;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
#ifdef Q_OS_WIN
        const QString name = info.portName();
#else
        const QString name = info.systemLocation();
#endif
        if (!name.isEmpty() && !names.contains(name)) names << name;
    }
    return names;
}

bool TCabinetScan::ObjectValue(const QByteArray& reply, int id, QByteArray& value)
{
    // The objects are walked by their length bytes, never past the CRC.
    if (reply.size() < 10) return false;
    const int end = int(reply.size()) - 2;
    int pos = 8;
    const int count = uint8_t(reply[7]);
    for (int i = 0; i < count && pos + 2 <= end; ++i) {
        const int len = uint8_t(reply[pos + 1]);
        if (pos + 2 + len > end) return false;
        if (uint8_t(reply[pos]) == id) {
            value = reply.mid(pos + 2, len);
            return true;
        }
        pos += 2 + len;
    }
    return false;
}

TCabinetScan::TAnswer TCabinetScan::JudgeAnswer(const QByteArray& bytes, int address)
{
    if (bytes.isEmpty() || uint8_t(bytes[0]) != address) return TAnswer::None;
    if (bytes.size() == 5 && uint8_t(bytes[1]) == (FuncIdent | 0x80) && crcGood(bytes)) return TAnswer::Refused;
    if (wholeIdentReply(bytes) && crcGood(bytes)) return TAnswer::Answer;
    return TAnswer::None;
}

const QList<int>& TCabinetScan::DefaultSpeeds()
{
    static const QList<int> speeds{19200, 9600, 4800, 2400, 1200};
    return speeds;
}

double TCabinetScan::TryWindowMs(int baud, int replyBytes, int marginMs)
{
    // The request and the reply on the wire, the silence of 3.5 characters that ends a frame,
    // and the margin.
    return CharMs(baud) * (RequestBytes + replyBytes + 3.5) + marginMs;
}

TCabinetScan::TCabinetScan(QObject* parent) : QObject(parent), speeds_(DefaultSpeeds())
{
    window_ = new QTimer(this);
    window_->setSingleShot(true);
    window_->setTimerType(Qt::PreciseTimer);
    connect(window_, &QTimer::timeout, this, &TCabinetScan::onWindowEnd);
}

TCabinetScan::~TCabinetScan() { closePort(); }

void TCabinetScan::SetSpeeds(const QList<int>& speeds)
{
    if (!running_ && !speeds.isEmpty()) speeds_ = speeds;
}

void TCabinetScan::SetAddresses(int first, int last)
{
    if (running_ || first < FirstAddress || last > LastAddress || first > last) return;
    first_ = first;
    last_ = last;
}

void TCabinetScan::SetMarginMs(int ms)
{
    if (!running_ && ms >= 0) marginMs_ = ms;
}

void TCabinetScan::Start(const QString& portName)
{
    if (running_) throw ECommsError(TComm::MsgAlreadyOpen, location_, QString());
    portName_ = portName;
    location_ = TComm::SystemLocation(TFrmCom::DeviceName(portName));
    found_.clear();
    garbled_.clear();
    done_ = tries_ = 0;
    waitedWireMs_ = 0;

#ifndef Q_OS_WIN
    const QByteArray path = QFile::encodeName(location_);
    struct stat st {};
    if (::stat(path.constData(), &st) != 0) {
        const int err = errno;
        throw ECommsError(TComm::MsgOpenFailed, location_, QString::fromLocal8Bit(std::strerror(err)),
                          err == EACCES);
    }
    if (!S_ISCHR(st.st_mode))
        throw ECommsError(TComm::MsgNotCommHandle, location_, QStringLiteral("not a character device"));
#endif

    port_ = new QSerialPort(this);
    port_->setPortName(location_);
    port_->setBaudRate(speeds_.constFirst());
    port_->setDataBits(QSerialPort::Data8);
    port_->setParity(QSerialPort::NoParity);
    port_->setStopBits(QSerialPort::TwoStop);
    port_->setFlowControl(QSerialPort::NoFlowControl);
    if (!port_->open(QIODevice::ReadWrite)) {
        QString reason = port_->errorString();
        bool permission = port_->error() == QSerialPort::PermissionError;
#ifndef Q_OS_WIN
        // The system refuses a port that another program holds in the same words as one the
        // user may not open; a device the user may read and write is held by someone else.
        if (permission && ::access(path.constData(), R_OK | W_OK) == 0) {
            permission = false;
            reason = QStringLiteral("in use by another program (%1)").arg(reason);
        }
#endif
        delete port_;
        port_ = nullptr;
        throw ECommsError(TComm::MsgOpenFailed, location_, reason, permission);
    }
    connect(port_, &QSerialPort::readyRead, this, &TCabinetScan::onReadyRead);

    running_ = true;
    lateAddress_ = 0;
    speedIndex_ = 0;
    address_ = first_;
    phase_ = TPhase::Version;
    attempt_ = 1;
    // The first try goes out from the event loop, so that the caller has connected by then.
    QTimer::singleShot(0, this, [this] {
        if (running_) sendTry();
    });
}

void TCabinetScan::Cancel()
{
    if (running_) finish(true);
}

void TCabinetScan::closePort()
{
    window_->stop();
    if (!port_) return;
    port_->disconnect(this);
    port_->clear(QSerialPort::AllDirections);
    port_->close();
    port_->deleteLater();
    port_ = nullptr;
}

void TCabinetScan::sendTry()
{
    if (!running_ || !port_) return;
    const int baud = speeds_.at(speedIndex_);
    if (port_->baudRate() != baud && !port_->setBaudRate(baud)) {
        // A speed the port does not take: nothing can be heard at it.
        done_ += last_ - address_;
        address_ = last_;
        nextAddress();
        return;
    }
    // Whatever is left from the try before (a late or stray answer) is not this try's.
    port_->readAll();
    port_->clear(QSerialPort::Input);
    rx_.clear();

    const int object = phase_ == TPhase::Version ? VersionObject : TypeObject;
    uint8_t frame[RequestBytes] = {uint8_t(address_), FuncIdent, MeiDeviceId, ReadBasic, uint8_t(object), 0, 0};
    const uint16_t crc = Crc16(frame, RequestBytes - 2);
    frame[5] = uint8_t(crc & 0xFF);
    frame[6] = uint8_t(crc >> 8);

    const int replyBytes = phase_ == TPhase::Version ? VersionReplyBytes : TypeReplyBytes;
    ++tries_;
    waitedWireMs_ += CharMs(baud) * (RequestBytes + replyBytes);
    if (phase_ == TPhase::Version && attempt_ == 1) Q_EMIT Progress(done_, Total(), baud, address_);
    sinceSend_.start();
    port_->write(reinterpret_cast<const char*>(frame), RequestBytes);
    window_->start(int(std::ceil(TryWindowMs(baud, replyBytes, marginMs_))));
}

void TCabinetScan::onReadyRead()
{
    if (!port_) return;
    const QByteArray bytes = port_->readAll();
    if (bytes.isEmpty() || !window_->isActive()) return;
    rx_.append(bytes);
    sinceByte_.start();
    // A whole good answer ends the try at once.
    const TOutcome o = judge(false);
    if (o == TOutcome::Answer || o == TOutcome::Refused) {
        window_->stop();
        tryEnded(o);
    }
}

void TCabinetScan::onWindowEnd()
{
    if (!running_) return;
    // An answer still coming in is received to its end: it is over once the line has been
    // quiet for 3.5 characters, or for the gaps a USB adapter or a busy machine puts between
    // the pieces of one frame.
    const double quietMs = std::max(3.5 * CharMs(speeds_.at(speedIndex_)), double(PieceGapMs));
    if (!rx_.isEmpty() && rx_.size() < MaxReplyBytes) {
        const double left = quietMs - sinceByte_.nsecsElapsed() / 1e6;
        if (left > 0) {
            window_->start(int(std::ceil(left)) + 1);
            return;
        }
    }
    tryEnded(judge(true));
}

TCabinetScan::TOutcome TCabinetScan::judge(bool complete) const
{
    if (rx_.isEmpty()) return TOutcome::Silent;
    switch (JudgeAnswer(rx_, address_)) {
    case TAnswer::Refused: return TOutcome::Refused;
    case TAnswer::Answer: return TOutcome::Answer;
    case TAnswer::None: break;
    }
    // Anything else heard is something at this speed: noise, a bad CRC, another address, a
    // piece of a frame. Until the time is up it may still become an answer.
    return complete ? TOutcome::Garbled : TOutcome::Silent;
}

void TCabinetScan::tryEnded(TOutcome outcome)
{
    const int baud = speeds_.at(speedIndex_);
    if (phase_ == TPhase::Version && outcome == TOutcome::Garbled && lateAddress_ != 0) {
        const int n = identReplyLength(rx_);
        if (n > 0 && JudgeAnswer(rx_.left(n), lateAddress_) == TAnswer::Answer) {
            // The cabinet asked just before answered late, into this try: it is there. It is
            // asked its type, and this address is asked again after it.
            rx_.truncate(n);
            address_ = lateAddress_;
            lateAddress_ = 0;
            --done_;
            attempt_ = 1;
            tryEnded(TOutcome::Answer);
            return;
        }
    }
    if (phase_ == TPhase::Version && (outcome != TOutcome::Garbled || attempt_ == 2))
        lateAddress_ = outcome == TOutcome::Silent ? address_ : 0;
    const bool typeLost = phase_ == TPhase::Type && outcome == TOutcome::Silent;
    if ((outcome == TOutcome::Garbled || typeLost) && attempt_ == 1) {
        // Something answered at this speed: a second read tells a cabinet from noise. A
        // cabinet that has just told its version and then keeps silent has most likely lost
        // a frame on the line: it is asked its type once more.
        attempt_ = 2;
        sendTry();
        return;
    }
    if (phase_ == TPhase::Version) {
        if (outcome == TOutcome::Garbled) {
            garbled_.append({baud, address_});
            Q_EMIT GarbledAnswer(baud, address_);
        }
        if (outcome == TOutcome::Answer || outcome == TOutcome::Refused) {
            current_ = TScanFound{};
            current_.Port = portName_;
            current_.Baud = baud;
            current_.Address = address_;
            QByteArray value;
            if (outcome == TOutcome::Answer && ObjectValue(rx_, VersionObject, value))
                current_.Version = fieldText(value);
            if (outcome == TOutcome::Answer) {
                // The cabinet's type and rating, at the same speed.
                phase_ = TPhase::Type;
                attempt_ = 1;
                sendTry();
                return;
            }
            found_.append(current_);
            Q_EMIT CabinetFound(current_);
        }
        nextAddress();
        return;
    }
    // Object 1: the cabinet is found whether or not it tells its type.
    QByteArray value;
    if (outcome == TOutcome::Answer && ObjectValue(rx_, TypeObject, value)) {
        current_.Identified = true;
        current_.Type = fieldText(value.left(3));
        current_.Rating = value.size() >= 6 ? 256 * uint8_t(value[4]) + uint8_t(value[5]) : 0;
    }
    found_.append(current_);
    Q_EMIT CabinetFound(current_);
    nextAddress();
}

void TCabinetScan::nextAddress()
{
    ++done_;
    phase_ = TPhase::Version;
    attempt_ = 1;
    if (++address_ > last_) {
        address_ = first_;
        lateAddress_ = 0;
        if (++speedIndex_ >= speeds_.size()) {
            finish(false);
            return;
        }
    }
    sendTry();
}

void TCabinetScan::finish(bool cancelled)
{
    running_ = false;
    closePort();
    Q_EMIT Progress(done_, Total(), 0, 0);
    Q_EMIT Finished(cancelled);
}
