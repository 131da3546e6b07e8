// Puts every shared record back to zero, the register map's among them: one call for start-up
// and for each test, so that no test depends on another's leftovers. The link's slots and
// counters are the link's own and start clean with it.
#include "model/UShareData.h"
#include "model/uUpsInfo.h"

void ResetSharedData()
{
    RecInfo = TRecInfo{};
    LocalPara = TLocalPara{};
    ResetRegisterMap();
}
