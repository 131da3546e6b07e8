// A line without a device, for tests that drive the link tick by tick: it is open while the
// test says so, hands every frame the link writes to the test, and delivers what the test makes
// it receive, or the loss of its device, as a real line would.
#pragma once

#include "comm/uTransport.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

class TFrmCom;

class TFakeTransport : public TTransport {
public:
    using TTransport::TTransport;

    bool open(const QString& endpoint, int baudRate, ECommsError& failure) override;
    void close() override;
    bool isOpen() const override { return OpenProbe ? OpenProbe() : open_; }
    bool write(const uint8_t* bytes, int count) override;
    void setFastLine(bool on) override { FastLine = on; }
    int64_t wireMicros(int count) const override;
    int interFrameGapMs() const override;
    bool keepsFrameGap() const override { return false; }

    // The cabinet's side: a chunk arrives; the device goes away (the line closes first).
    void Receive(const std::vector<uint8_t>& bytes);
    void Lose(const QString& reason);

    // When set, the line is open exactly while it says so, whatever open and close did.
    std::function<bool()> OpenProbe;
    // Each frame the link hands over; its answer is write's. Unset: every frame is taken.
    std::function<bool(const uint8_t*, int)> OnWrite;
    // While set, open fails as a port that is not there.
    bool RefuseOpen = false;
    struct TOpenCall {
        QString endpoint;
        int baudRate;
    };
    std::vector<TOpenCall> Opens; // every open asked for, refused ones too
    int Closes = 0;
    // The line's speed and character, as the link's serial port is set: 2400 bit/s, 8 data
    // bits, no parity, two stop bits. An open takes its speed.
    int BaudRate = 2400;
    int CharBits = 11;
    bool FastLine = false;

private:
    bool open_ = false;
};

// Puts the link on a fake line that the link owns from then on; isOpen and write as in
// OpenProbe and OnWrite.
TFakeTransport& UseFakeLine(TFrmCom& link, std::function<bool()> isOpen,
                            std::function<bool(const uint8_t*, int)> write);
