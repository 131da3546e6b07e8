// Helpers shared by the tests.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <vector>

// Puts every shared record and the link state back to their start values.
void ResetAll();

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
