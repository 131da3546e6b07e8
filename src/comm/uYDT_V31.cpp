#include "comm/uYDT_V31.h"

TYDT_V31::TYDT_V31(TCabinetValues& values) : Values(values), CurRecord(&values.UpsData[1]) {}

void TYDT_V31::BuildNextRequest(uint8_t& pollStep, uint8_t pollSteps, int pollAddr)
{
    for (uint8_t& p : Pending)
        if (p) {
            p = 0;
            break;
        }
    CurRecord = &Values.UpsData[CurAddr <= MaxDevAddr ? CurAddr : 1];
    pollStep += 1;
    if (pollStep > pollSteps) {
        pollStep = 1;
        CurAddr = static_cast<uint16_t>(pollAddr);
    }
    static const uint8_t codes[] = {0x43, 0x44, 0x80, 0x82, 0x84};
    if (pollStep >= 1 && pollStep <= 5) CommandCode = codes[pollStep - 1];
    FrameLen = 0;
}
