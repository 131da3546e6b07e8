// The values the libmodbus peer starts with, by register number as the tool names it.
#pragma once

#include <cstdint>

inline uint16_t PeerStartValue(int reg) { return static_cast<uint16_t>((reg * 7 + 13) & 0x7FFF); }

// The peer's tables, in register numbers (the wire address is one less).
constexpr int PeerInputFirst = 30001;
constexpr int PeerInputCount = 1700;
constexpr int PeerHoldingFirst = 40001;
constexpr int PeerHoldingCount = 100;
