// Who follows the background poll without sending anything: the trend recorder and the value
// logger learn here when a poll cycle ends, which replies the link accepted and when the line
// broke, and take their values from the device record the poll has just refreshed.
#pragma once

#include <cstdint>

class TPollObserver {
public:
    virtual ~TPollObserver() = default;
    // The background poll of address has finished its last step and starts again.
    virtual void PollCycleEnded(int /*address*/) {}
    // The link accepted the reply to the request func / startReg.
    virtual void ReplyAccepted(int /*func*/, int32_t /*startReg*/) {}
    // The port's device went away, or the operator closed the port.
    virtual void LinkBroken() {}
};

void AddPollObserver(TPollObserver* observer);
void RemovePollObserver(TPollObserver* observer);

// Called by the link.
void NotifyPollCycleEnded(int address);
void NotifyReplyAccepted(int func, int32_t startReg);
void NotifyLinkBroken();
