// Watchers of the link: whatever must follow the requests the link sends and what became of
// them (the service journal, a backup reading its blocks), or follow the background poll
// without sending anything (the trend recorder, the value logger), registers here. The link knows no
// window; it only reports the request it built, the reply it accepted and the request it
// dropped, all on the user-interface thread, one at a time.
#pragma once

#include <QString>

#include <cstdint>

// One request as the link built it.
struct TLinkRequest {
    int slot = 0; // the request slot it came from, 0 for the background poll
    uint8_t addr = 0;
    uint8_t func = 0;
    int32_t startReg = 0; // function 43: the object id
    int32_t count = 0;
    uint16_t value = 0;             // function 6: the value sent
    const uint16_t* words = nullptr; // function 16: the count words sent
    QString source;                 // the window or command that filled the slot
    int group = 0;                  // the write group of its slot, 0 for none
    // For a dropped request: whether it ever went out on the wire, and whether the cabinet
    // answered it with an exception.
    bool sent = false;
    bool refused = false;
};

class TLinkWatcher {
public:
    virtual ~TLinkWatcher() = default;
    // A frame was built for the request; it goes out on the next tick.
    virtual void RequestBuilt(const TLinkRequest&) {}
    // The reply to the request was accepted. For functions 3 and 4 regs holds the count
    // values it carried; otherwise it is empty.
    virtual void ReplyAccepted(const TLinkRequest&, const uint16_t* /*regs*/, int /*count*/) {}
    // The request ended without an accepted reply: dropped after its attempts, refused by
    // the cabinet, dropped with the port, or dropped with the rest of its write group. The
    // request tells whether it ever went out (sent) and whether it was refused.
    virtual void RequestDropped(const TLinkRequest&) {}
    // The background poll of address has finished its last step and starts again.
    virtual void PollCycleEnded(int /*address*/) {}
    // The port's device went away, or the operator closed the port.
    virtual void LinkBroken() {}
};

// A watcher stays registered until it is removed (its destructor should remove it).
void AddLinkWatcher(TLinkWatcher* watcher);
void RemoveLinkWatcher(TLinkWatcher* watcher);

// Called by the link.
void NotifyRequestBuilt(const TLinkRequest& request);
void NotifyReplyAccepted(const TLinkRequest& request, const uint16_t* regs, int count);
void NotifyRequestDropped(const TLinkRequest& request);
void NotifyPollCycleEnded(int address);
void NotifyLinkBroken();
