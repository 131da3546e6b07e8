// The line settings of TComm as the device takes them, and how they are applied.
#pragma once

#include <QSerialPort>
#include <QString>

#include <cstdint>

enum class TDtrControl { DtrEnable, DtrDisable, DtrHandshake };
enum class TRtsControl { RtsEnable, RtsDisable, RtsHandshake, RtsTransmissionAvailable };
enum class TByteSize { _5, _6, _7, _8 };
enum class TParity { None, Odd, Even, Mark, Space };
enum class TStopBits { _1, _1_5, _2 };

struct TLineSettings {
    QString location;
    uint32_t baudRate = 9600;
    TByteSize byteSize = TByteSize::_8;
    TParity parity = TParity::None;
    TStopBits stopBits = TStopBits::_1;
    bool xonXoff = false;
    bool hardwareFlow = false;
    TDtrControl dtr = TDtrControl::DtrEnable;
    TRtsControl rts = TRtsControl::RtsEnable;

    // Bits one character takes on the line.
    int CharBits() const;
};

// Sets speed, character, flow control and the modem lines on a port (open or not yet).
void ApplyLineSettings(QSerialPort& port, const TLineSettings& line);
