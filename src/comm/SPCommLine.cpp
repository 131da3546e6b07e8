#include "comm/SPCommLine.h"

#include "comm/uReplyFrame.h"

#include <algorithm>
#include <climits>

namespace {
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
} // namespace

int TLineSettings::CharBits() const
{
    return ReplyFrame::CharBits(5 + static_cast<int>(byteSize), parity != TParity::None,
                                stopBits == TStopBits::_1 ? 1 : 2);
}

void ApplyLineSettings(QSerialPort& port, const TLineSettings& line)
{
    port.setBaudRate(static_cast<qint32>(std::min<uint32_t>(line.baudRate, INT_MAX)));
    port.setDataBits(static_cast<QSerialPort::DataBits>(5 + static_cast<int>(line.byteSize)));
    port.setParity(parityOf(line.parity));
    port.setStopBits(stopBitsOf(line.stopBits));
    port.setFlowControl(flowControlOf(line.xonXoff, line.hardwareFlow));
    if (!port.isOpen()) return;
    if (line.dtr != TDtrControl::DtrHandshake) port.setDataTerminalReady(line.dtr == TDtrControl::DtrEnable);
    if (port.flowControl() != QSerialPort::HardwareControl && line.rts != TRtsControl::RtsHandshake)
        port.setRequestToSend(line.rts == TRtsControl::RtsEnable);
    // Settings that a driver refuses (a pseudo-terminal has no modem lines) are not reported.
    port.clearError();
}
