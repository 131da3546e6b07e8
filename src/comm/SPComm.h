// The serial-port component: a reader thread owns the device and blocks on it; received bytes
// reach the user-interface thread as one chunk after 200 ms of silence (ReadIntervalTimeout)
// or every 2048 bytes, and writes are handed to the thread without blocking. On a line-speed
// link a reply also ends as soon as its expected length has arrived with a good CRC, or after
// a short silence.
#pragma once

#include "comm/SPCommLine.h"
#include "comm/uTransport.h"
#include "model/uBaudRate.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

class TCommReader;

class TComm : public TTransport {
    Q_OBJECT
public:
    explicit TComm(QObject* parent = nullptr);
    ~TComm() override;

    // Raises ECommsError on failure and leaves the port closed.
    void OpenComm();

    // The line as the link sees it: open takes the device's name and the speed, and gives the
    // failure rather than raising it; chunks and the loss of the device come as signals too.
    bool open(const QString& endpoint, int baudRate, ECommsError& failure) override;
    void close() override { CloseComm(); }
    bool isOpen() const override { return IsOpen(); }
    bool write(const uint8_t* bytes, int count) override { return WriteComm(bytes, count); }
    void setFastLine(bool on) override { SetFastLine(on); }
    int64_t wireMicros(int count) const override;
    int interFrameGapMs() const override;
    // The reader thread holds a request back for the gap after the reply's last byte.
    bool keepsFrameGap() const override { return true; }
    // Bits one character takes on the line as set now: start, data, parity, stop.
    int CharBits() const;
    // Does nothing when the port is closed.
    void CloseComm();
    // Queues a copy of the bytes and returns at once; false when closed or count is 0.
    bool WriteComm(const uint8_t* bytes, int count);
    bool IsOpen() const;
    // The operating system's handle of the open device, -1 while closed.
    qintptr Handle() const;
    // True while nothing queued by WriteComm is still waiting to go out.
    bool SendQueueEmpty() const;

    // The open failures, exactly as the operator sees them.
    static constexpr const char* MsgAlreadyOpen = "This serial port already opened";
    static constexpr const char* MsgOpenFailed = "Error opening serial port";
    static constexpr const char* MsgNotCommHandle = "File handle is not a comm handle ";
    static constexpr const char* MsgSetupBuffer = "Cannot setup comm buffer";
    static constexpr const char* MsgCreateEvent = "Unable to create event";
    static constexpr const char* MsgReadThread = "Unable to create read thread";
    static constexpr const char* MsgWriteThread = "Unable to create write thread";

    // Speeds a port takes (see model/uBaudRate.h). Anything else fails to open.
    static constexpr int64_t MinBaudRate = ::MinBaudRate;
    static constexpr int64_t MaxBaudRate = ::MaxBaudRate;
    static bool AcceptsBaudRate(int64_t rate) { return ::AcceptsBaudRate(rate); }

    // Wake-ups the port has had since it was made (bytes ready, writes, silences, chunks handed
    // over): a lost device must not keep them coming.
    quint64 Wakeups() const;

    // Line-speed mode: a reply ends as soon as the expected length for the request last written
    // has arrived with a good CRC, or after 3.5 characters or 20 ms of silence (whichever is
    // longer); the defined silence stays the outer limit. Bytes after a complete frame start a
    // new chunk. Off by default; may change while open.
    bool FastLine() const { return fastLine_; }
    void SetFastLine(bool on);

    // Where a port name lives on this machine: a bare name such as ttyUSB0 is under /dev,
    // a path is taken as it is.
    static QString SystemLocation(const QString& name);

    // Published properties. Setters re-apply the line state or the time-outs while open;
    // CommName and Parity take effect at the next open.
    QString CommName() const { return commName_; }
    void SetCommName(const QString& v) { commName_ = v; }
    uint32_t BaudRate() const { return baudRate_; }
    void SetBaudRate(uint32_t v);
    bool ParityCheck() const { return parityCheck_; }
    void SetParityCheck(bool v);
    bool Outx_CtsFlow() const { return outxCtsFlow_; }
    void SetOutx_CtsFlow(bool v);
    bool Outx_DsrFlow() const { return outxDsrFlow_; }
    void SetOutx_DsrFlow(bool v);
    TDtrControl DtrControl() const { return dtrControl_; }
    void SetDtrControl(TDtrControl v);
    bool DsrSensitivity() const { return dsrSensitivity_; }
    void SetDsrSensitivity(bool v);
    bool TxContinueOnXoff() const { return txContinueOnXoff_; }
    void SetTxContinueOnXoff(bool v);
    bool Outx_XonXoffFlow() const { return outxXonXoffFlow_; }
    void SetOutx_XonXoffFlow(bool v);
    bool Inx_XonXoffFlow() const { return inxXonXoffFlow_; }
    void SetInx_XonXoffFlow(bool v);
    bool ReplaceWhenParityError() const { return replaceWhenParityError_; }
    void SetReplaceWhenParityError(bool v);
    bool IgnoreNullChar() const { return ignoreNullChar_; }
    void SetIgnoreNullChar(bool v);
    TRtsControl RtsControl() const { return rtsControl_; }
    void SetRtsControl(TRtsControl v);
    uint16_t XonLimit() const { return xonLimit_; }
    void SetXonLimit(uint16_t v);
    uint16_t XoffLimit() const { return xoffLimit_; }
    void SetXoffLimit(uint16_t v);
    TByteSize ByteSize() const { return byteSize_; }
    void SetByteSize(TByteSize v);
    TParity Parity() const { return parity_; }
    void SetParity(TParity v) { parity_ = v; }
    TStopBits StopBits() const { return stopBits_; }
    void SetStopBits(TStopBits v);
    char XonChar() const { return xonChar_; }
    void SetXonChar(char v);
    char XoffChar() const { return xoffChar_; }
    void SetXoffChar(char v);
    char ReplacedChar() const { return replacedChar_; }
    void SetReplacedChar(char v);
    uint32_t ReadIntervalTimeout() const { return readIntervalTimeout_; }
    void SetReadIntervalTimeout(uint32_t v);
    uint32_t ReadTotalTimeoutMultiplier() const { return readTotalTimeoutMultiplier_; }
    void SetReadTotalTimeoutMultiplier(uint32_t v);
    uint32_t ReadTotalTimeoutConstant() const { return readTotalTimeoutConstant_; }
    void SetReadTotalTimeoutConstant(uint32_t v);
    uint32_t WriteTotalTimeoutMultiplier() const { return writeTotalTimeoutMultiplier_; }
    void SetWriteTotalTimeoutMultiplier(uint32_t v);
    uint32_t WriteTotalTimeoutConstant() const { return writeTotalTimeoutConstant_; }
    void SetWriteTotalTimeoutConstant(uint32_t v);

    // Events, delivered on the user-interface thread; the link listens to the signals
    // received and lost instead, which come after OnReceiveData and OnDeviceLost.
    // OnSendDataEmpty is taken as it stands when the port opens: without it, a write that went
    // out does not wake this thread.
    std::function<void(TComm* sender, const uint8_t* buffer, uint16_t length)> OnReceiveData;
    std::function<void(TComm* sender, uint32_t eventMask)> OnReceiveError;
    std::function<void(TComm* sender, uint32_t modemEvent)> OnModemStateChange;
    std::function<void(TComm* sender)> OnRequestHangup;
    std::function<void(TComm* sender)> OnSendDataEmpty;
    // The device went away under the open port (an adapter pulled); the port is closed by
    // then. The reason is the system's.
    std::function<void(TComm* sender, const QString& reason)> OnDeviceLost;

private:
    TLineSettings lineSettings() const;
    void applyLineState();
    void applyTimeouts();
    void chunkArrived(unsigned generation, const QByteArray& chunk);
    void written(unsigned generation, uint64_t seq);
    void writeFailed(unsigned generation);
    void lineLost(unsigned generation, const QString& reason);
    void closeAfterLoss(unsigned generation);

    QString commName_ = QStringLiteral("COM2");
    uint32_t baudRate_ = 9600;
    bool parityCheck_ = false;
    bool outxCtsFlow_ = false;
    bool outxDsrFlow_ = false;
    TDtrControl dtrControl_ = TDtrControl::DtrEnable;
    bool dsrSensitivity_ = false;
    bool txContinueOnXoff_ = true;
    bool outxXonXoffFlow_ = true;
    bool inxXonXoffFlow_ = true;
    bool replaceWhenParityError_ = false;
    bool ignoreNullChar_ = false;
    TRtsControl rtsControl_ = TRtsControl::RtsEnable;
    uint16_t xonLimit_ = 500;
    uint16_t xoffLimit_ = 500;
    TByteSize byteSize_ = TByteSize::_8;
    TParity parity_ = TParity::None;
    TStopBits stopBits_ = TStopBits::_1;
    char xonChar_ = 17;
    char xoffChar_ = 19;
    char replacedChar_ = 0;
    uint32_t readIntervalTimeout_ = 100;
    uint32_t readTotalTimeoutMultiplier_ = 0;
    uint32_t readTotalTimeoutConstant_ = 0;
    uint32_t writeTotalTimeoutMultiplier_ = 0;
    uint32_t writeTotalTimeoutConstant_ = 0;

    bool fastLine_ = false;

    std::unique_ptr<TCommReader> reader_; // while open
    bool open_ = false;
    qintptr handle_ = -1;
    uint64_t writeSeq_ = 0;
    bool sendQueueEmpty_ = true;
    bool writerAlive_ = false; // a write error ends writing until the next open
    bool lossPending_ = false; // a lost device is being closed
    unsigned generation_ = 0;  // tells one open from the next for what the thread posted
    quint64 wakeups_ = 0;
    QString lossReason_;
};
