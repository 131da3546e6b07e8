#include "model/UShareData.h"

TReqSlot ReqSlot[ReqSlotCount + 1];
TCommDebug CommDebug;
TLocalPara LocalPara;

void ResetCommCounters()
{
    CommDebug.TxCount = 0;
    CommDebug.RxCount = 0;
    CommDebug.AckCount = 0;
    CommDebug.ErrRate = 0;
}
