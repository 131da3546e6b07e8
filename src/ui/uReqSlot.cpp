#include "ui/uReqSlot.h"

#include "comm/uLinkState.h"
#include "model/UShareData.h"

bool FillFreeSlot(int slot, uint8_t func, int32_t startReg, int32_t count, uint16_t value)
{
    if (slot < 1 || slot > ReqSlotCount) return false;
    TReqSlot& s = ReqSlot[slot];
    if (s.Pending != FlagOff) return false;
    s.Addr = static_cast<uint8_t>(LinkMain().GetDevAddr());
    s.Func = func;
    s.StartReg = startReg;
    s.Count = count;
    s.Value = value;
    s.Pending = FlagOn;
    return true;
}
