#include "comm/uYDT_V31.h"

#include "comm/uLinkState.h"

TYDT_V31::TYDT_V31(TCabinetValues& values) : Values(values), CurRecord(&values.UpsData[1]) {}

void TYDT_V31::BuildNextRequest()
{
    for (uint8_t& p : Pending)
        if (p) {
            p = 0;
            break;
        }
    CurRecord = &Values.UpsData[CurAddr <= MaxDevAddr ? CurAddr : 1];
    LinkState.PollStep += 1;
    if (LinkState.PollStep > LinkState.PollSteps) {
        LinkState.PollStep = 1;
        LinkMain().SyncDevAddr();
        CurAddr = static_cast<uint16_t>(LinkMain().GetDevAddr());
    }
    static const uint8_t codes[] = {0x43, 0x44, 0x80, 0x82, 0x84};
    if (LinkState.PollStep >= 1 && LinkState.PollStep <= 5) CommandCode = codes[LinkState.PollStep - 1];
    FrameLen = 0;
}
