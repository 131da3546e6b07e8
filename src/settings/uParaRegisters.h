// The parameter registers 40002..40035 as the device record keeps them, and the working copy
// that the data set window edits before it writes one of them.
#pragma once

#include "model/uUpsInfo.h"

#include <cstdint>

// The value the record holds for a parameter register: byte fields zero-extended, 40004 cut
// to 16 bits, 0 for a register the record keeps nothing for.
uint16_t ParaValue(const TUpsData& rec, int reg);

// Stores a value in the working copy's entry of a register (the low byte for byte entries);
// a register without an entry is ignored.
void SetParaSetValue(TParaSet& set, int reg, uint16_t value);

// The working copy's entry of a register, zero-extended (0 for a register without one).
uint16_t ParaSetValue(const TParaSet& set, int reg);

// Copies the parameters the data set window offers from the record into the working copy:
// 40002-40008, 40011-40015, 40017-40021, 40023-40025, 40027, 40028, 40030, 40034, 40035.
void CopyParaSet(const TUpsData& rec, TParaSet& set);
