// Helpers shared by the tests.
#pragma once

#include "comm/uFrmCom.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <vector>

// Puts every shared record and the link state back to their start values.
void ResetAll();

// The link's own state, for tests that stand in for the link's work (taking a slot, a pause)
// or look at it: the slots, counters, link state and buffers of the run's link FrmCom. Without
// a link of the test's own, ResetAll makes a fresh one whose timer stands still.
TReqSlot* TestSlots();
TCommDebug& TestCommDebug();
TLinkState& TestLinkState();
uint8_t* TestTxBuf();
uint8_t* TestRxBuf();

// "01 04 75 30" -> bytes. Blanks are ignored.
std::vector<uint8_t> HexBytes(const char* text);

// bytes -> "01 04 75 30".
QString HexLine(const uint8_t* bytes, int count);

// Appends the Modbus CRC (low byte first) to a frame.
std::vector<uint8_t> WithCrc(std::vector<uint8_t> frame);

// The whole content of a file; empty when it cannot be read.
QByteArray FileBytes(const QString& path);
// Writes a file whole, replacing what it held; a failure fails the running test.
void WriteFile(const QString& path, const QByteArray& bytes);
