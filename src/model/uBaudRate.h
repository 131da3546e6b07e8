// Speeds a serial port takes: from 50 to 4 000 000 bit/s. Anything else fails to open, and
// a settings file naming one is read as the default speed.
#pragma once

#include <cstdint>

constexpr int64_t MinBaudRate = 50;
constexpr int64_t MaxBaudRate = 4000000;
inline bool AcceptsBaudRate(int64_t rate) { return rate >= MinBaudRate && rate <= MaxBaudRate; }
