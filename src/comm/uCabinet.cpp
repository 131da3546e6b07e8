#include "comm/uCabinet.h"

#include "comm/uFrmCom.h"

TCabinetValues& Cabinet()
{
    static TCabinetValues standIn;
    return FrmCom ? FrmCom->Values : standIn;
}
