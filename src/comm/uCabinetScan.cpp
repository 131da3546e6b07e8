#include "comm/uCabinetScan.h"

#include "comm/SPComm.h"
#include "comm/uFrmCom.h"
#include "comm/uKModbus.h"

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

// The value of object `id` in a complete function 43 reply, or false when the reply does not
// hold it. The objects are walked by their length bytes, never past the frame.
bool objectValue(const QByteArray& frame, int id, QByteArray& value)
{
    const int end = int(frame.size()) - 2; // the CRC
    int pos = 8;
    const int count = uint8_t(frame[7]);
    for (int i = 0; i < count && pos + 2 <= end; ++i) {
        const int len = uint8_t(frame[pos + 1]);
        if (pos + 2 + len > end) return false;
        if (uint8_t(frame[pos]) == id) {
            value = frame.mid(pos + 2, len);
            return true;
        }
        pos += 2 + len;
    }
    return false;
}

// True when the bytes are exactly one function 43 reply: its objects fill it to the CRC.
bool wholeIdentReply(const QByteArray& frame)
{
    if (frame.size() < 10 + 2 || uint8_t(frame[1]) != FuncIdent || uint8_t(frame[2]) != MeiDeviceId) return false;
    const int end = int(frame.size()) - 2;
    int pos = 8;
    const int count = uint8_t(frame[7]);
    for (int i = 0; i < count; ++i) {
        if (pos + 2 > end) return false;
        pos += 2 + uint8_t(frame[pos + 1]);
    }
    return pos == end;
}

bool crcGood(const QByteArray& frame)
{
    return frame.size() >= 4 &&
           TMModbus::Crc16(reinterpret_cast<const uint8_t*>(frame.constData()), int(frame.size())) == 0;
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

const QList<int>& TCabinetScan::DefaultSpeeds()
{
    static const QList<int> speeds{19200, 9600, 4800, 2400, 1200};
    return speeds;
}

double TCabinetScan::TryWindowMs(int baud, int replyBytes)
{
    // The request and the reply on the wire, the silence of 3.5 characters that ends a frame,
    // and the margin.
    return CharMs(baud) * (RequestBytes + replyBytes + 3.5) + MarginMs;
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
    const uint16_t crc = TMModbus::Crc16(frame, RequestBytes - 2);
    frame[5] = uint8_t(crc & 0xFF);
    frame[6] = uint8_t(crc >> 8);

    const int replyBytes = phase_ == TPhase::Version ? VersionReplyBytes : TypeReplyBytes;
    ++tries_;
    waitedWireMs_ += CharMs(baud) * (RequestBytes + replyBytes);
    if (phase_ == TPhase::Version && attempt_ == 1) Q_EMIT Progress(done_, Total(), baud, address_);
    sinceSend_.start();
    port_->write(reinterpret_cast<const char*>(frame), RequestBytes);
    window_->start(int(std::ceil(TryWindowMs(baud, replyBytes))));
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
    const bool ours = uint8_t(rx_[0]) == address_;
    if (ours && rx_.size() == 5 && uint8_t(rx_[1]) == (FuncIdent | 0x80) && crcGood(rx_)) return TOutcome::Refused;
    if (ours && wholeIdentReply(rx_) && crcGood(rx_)) return TOutcome::Answer;
    // Anything else heard is something at this speed: noise, a bad CRC, another address, a
    // piece of a frame. Until the time is up it may still become an answer.
    return complete ? TOutcome::Garbled : TOutcome::Silent;
}

void TCabinetScan::tryEnded(TOutcome outcome)
{
    const int baud = speeds_.at(speedIndex_);
    if (outcome == TOutcome::Garbled && attempt_ == 1) {
        // Something answered at this speed: a second read tells a cabinet from noise.
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
            if (outcome == TOutcome::Answer && objectValue(rx_, VersionObject, value))
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
    if (outcome == TOutcome::Answer && objectValue(rx_, TypeObject, value)) {
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
