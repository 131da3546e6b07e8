// The YD/T protocol choice: it steps through the same poll cycle as the Modbus master but
// builds no frame, so the line stays silent, and it accepts nothing.
#pragma once

#include "model/uCabinetValues.h"

#include <cstdint>

class TYDT_V31 {
public:
    // Its current record is one of values' device records.
    explicit TYDT_V31(TCabinetValues& values);
    // Steps the link's poll step (1 to pollSteps); a new cycle asks pollAddr.
    void BuildNextRequest(uint8_t& pollStep, uint8_t pollSteps, int pollAddr);
    bool CheckReply(const uint8_t*, int) { return false; }

    TCabinetValues& Values;
    TUpsData* CurRecord;
    uint16_t CurAddr = 1;
    uint8_t CommandCode = 0;
    int32_t FrameLen = 0;
    uint8_t Pending[10] = {}; // its own request table, which nothing fills
};
