#include "support/FakeTransport.h"

#include "comm/SPComm.h"
#include "comm/uFrmCom.h"
#include "comm/uReplyFrame.h"

bool TFakeTransport::open(const QString& endpoint, int baudRate, ECommsError& failure)
{
    Opens.push_back({endpoint, baudRate});
    if (open_) {
        failure = ECommsError(TComm::MsgAlreadyOpen, endpoint, QString());
        return false;
    }
    if (RefuseOpen) {
        failure = ECommsError(TComm::MsgOpenFailed, endpoint, QStringLiteral("No such file or directory"));
        return false;
    }
    BaudRate = baudRate;
    open_ = true;
    return true;
}

void TFakeTransport::close()
{
    if (!open_) return;
    open_ = false;
    ++Closes;
}

bool TFakeTransport::write(const uint8_t* bytes, int count)
{
    if (!isOpen() || bytes == nullptr || count <= 0) return false;
    return OnWrite ? OnWrite(bytes, count) : true;
}

int64_t TFakeTransport::wireMicros(int count) const
{
    return ReplyFrame::WireMicros(count, BaudRate, CharBits);
}

int TFakeTransport::interFrameGapMs() const { return ReplyFrame::InterFrameGapMs(BaudRate, CharBits); }

void TFakeTransport::Receive(const std::vector<uint8_t>& bytes)
{
    Q_EMIT received(QByteArray(reinterpret_cast<const char*>(bytes.data()), int(bytes.size())));
}

void TFakeTransport::Lose(const QString& reason)
{
    open_ = false;
    Q_EMIT lost(reason);
}

TFakeTransport& UseFakeLine(TFrmCom& link, std::function<bool()> isOpen,
                            std::function<bool(const uint8_t*, int)> write)
{
    auto* line = new TFakeTransport(&link);
    line->OpenProbe = std::move(isOpen);
    line->OnWrite = std::move(write);
    link.SetTransport(line);
    return *line;
}
