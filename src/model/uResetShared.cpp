// Puts every shared record back to its start value, the editors' copies among them: one call
// for start-up and for each test, so that no test depends on another's leftovers. A cabinet's
// values start at zero with the object that holds them (TCabinetValues::Reset). The link's
// slots and counters are the link's own and start clean with it.
#include "model/UShareData.h"
#include "model/uUpsInfo.h"

void ResetSharedData()
{
    LocalPara = TLocalPara{};
    ResetEditCopies();
}
