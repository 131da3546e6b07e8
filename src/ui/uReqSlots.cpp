#include "ui/uReqSlots.h"

#include "comm/uFrmCom.h"
#include "comm/uLinkState.h"
#include "model/UShareData.h"

bool LinkPortOpen() { return FrmCom && FrmCom->PortOpen(); }

bool ReqSlotFree(int slot) { return slot >= 1 && slot <= ReqSlotCount && ReqSlot[slot].Pending == 0; }

bool QueueRequest(int slot, uint8_t func, int32_t startReg, int32_t count, uint16_t value)
{
    if (!ReqSlotFree(slot)) return false;
    TReqSlot& s = ReqSlot[slot];
    s.Addr = static_cast<uint8_t>(LinkMain().GetDevAddr());
    s.Func = func;
    s.StartReg = startReg;
    s.Count = count;
    s.Value = value;
    s.Pending = FlagOn;
    return true;
}
