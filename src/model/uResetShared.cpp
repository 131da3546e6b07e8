// Puts every shared record back to zero, the register map's among them: one call for start-up
// and for each test, so that no test depends on another's leftovers.
#include "model/UShareData.h"
#include "model/uUpsInfo.h"

void ResetSharedData()
{
    for (auto& s : ReqSlot) s = TReqSlot{};
    CommDebug = TCommDebug{};
    RecInfo = TRecInfo{};
    LocalPara = TLocalPara{};
    ResetRegisterMap();
}
