// Placeholder until the serial-port issue lands: stores properties, never opens.
#include "comm/SPComm.h"

TComm::TComm(QObject* parent) : QObject(parent) {}
TComm::~TComm() { CloseComm(); }
void TComm::OpenComm() { throw ECommsError("Error opening serial port"); }
void TComm::CloseComm() {}
bool TComm::WriteComm(const uint8_t*, int) { return false; }
bool TComm::IsOpen() const { return false; }
void TComm::applyLineState() {}
void TComm::applyTimeouts() {}
void TComm::SetBaudRate(uint32_t v) { baudRate_ = v; applyLineState(); }
void TComm::SetParityCheck(bool v) { parityCheck_ = v; applyLineState(); }
void TComm::SetOutx_CtsFlow(bool v) { outxCtsFlow_ = v; applyLineState(); }
void TComm::SetOutx_DsrFlow(bool v) { outxDsrFlow_ = v; applyLineState(); }
void TComm::SetDtrControl(TDtrControl v) { dtrControl_ = v; applyLineState(); }
void TComm::SetDsrSensitivity(bool v) { dsrSensitivity_ = v; applyLineState(); }
void TComm::SetTxContinueOnXoff(bool v) { txContinueOnXoff_ = v; applyLineState(); }
void TComm::SetOutx_XonXoffFlow(bool v) { outxXonXoffFlow_ = v; applyLineState(); }
void TComm::SetInx_XonXoffFlow(bool v) { inxXonXoffFlow_ = v; applyLineState(); }
void TComm::SetReplaceWhenParityError(bool v) { replaceWhenParityError_ = v; applyLineState(); }
void TComm::SetIgnoreNullChar(bool v) { ignoreNullChar_ = v; applyLineState(); }
void TComm::SetRtsControl(TRtsControl v) { rtsControl_ = v; applyLineState(); }
void TComm::SetXonLimit(uint16_t v) { xonLimit_ = v; applyLineState(); }
void TComm::SetXoffLimit(uint16_t v) { xoffLimit_ = v; applyLineState(); }
void TComm::SetByteSize(TByteSize v) { byteSize_ = v; applyLineState(); }
void TComm::SetStopBits(TStopBits v) { stopBits_ = v; applyLineState(); }
void TComm::SetXonChar(char v) { xonChar_ = v; applyLineState(); }
void TComm::SetXoffChar(char v) { xoffChar_ = v; applyLineState(); }
void TComm::SetReplacedChar(char v) { replacedChar_ = v; applyLineState(); }
void TComm::SetReadIntervalTimeout(uint32_t v) { readIntervalTimeout_ = v; applyTimeouts(); }
void TComm::SetReadTotalTimeoutMultiplier(uint32_t v) { readTotalTimeoutMultiplier_ = v; applyTimeouts(); }
void TComm::SetReadTotalTimeoutConstant(uint32_t v) { readTotalTimeoutConstant_ = v; applyTimeouts(); }
void TComm::SetWriteTotalTimeoutMultiplier(uint32_t v) { writeTotalTimeoutMultiplier_ = v; applyTimeouts(); }
void TComm::SetWriteTotalTimeoutConstant(uint32_t v) { writeTotalTimeoutConstant_ = v; applyTimeouts(); }
