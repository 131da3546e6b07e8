#include "model/UShareData.h"

#include "model/uUpsInfo.h"

TReqSlot ReqSlot[ReqSlotCount + 1];
TCommDebug CommDebug;
TRecInfo RecInfo;
TLocalPara LocalPara;

void ResetSharedData()
{
    for (auto& s : ReqSlot) s = TReqSlot{};
    CommDebug = TCommDebug{};
    RecInfo = TRecInfo{};
    LocalPara = TLocalPara{};
    ResetRegisterMap();
}
