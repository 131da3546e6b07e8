// Filling one request slot, as every window does: the fields first, Pending last.
#pragma once

#include "model/UShareData.h"

#include <cstdint>

// Fills slot n (1 to 10) and marks it pending; the caller has checked that it is free.
inline void FillReqSlot(int n, uint8_t addr, uint8_t func, int32_t startReg, int32_t count,
                        uint16_t value = 0)
{
    TReqSlot& s = ReqSlot[n];
    s.Addr = addr;
    s.Func = func;
    s.StartReg = startReg;
    s.Count = count;
    s.Value = value;
    s.Pending = FlagOn;
}
