// Puts every shared record back to its start value, the editors' copies among them: one call
// for start-up and for each test, so that no test depends on another's leftovers. A cabinet's
// values start at zero with the object that holds them (TCabinetValues::Reset).
#include "model/UShareData.h"
#include "model/uUpsInfo.h"

void ResetSharedData()
{
    for (auto& s : ReqSlot) s = TReqSlot{};
    CommDebug = TCommDebug{};
    LocalPara = TLocalPara{};
    ResetEditCopies();
}
