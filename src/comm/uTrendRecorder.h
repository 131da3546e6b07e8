// Feeds the trend ring from the background poll: after each poll cycle, one sample of the
// cabinet's values as the cycle left them in its device record, or a gap when the cycle got
// no values (the cabinet stayed silent) or the line broke. It sends nothing.
#pragma once

#include "comm/uLinkConnections.h"
#include "comm/uLinkRequest.h"
#include "model/uTrendRing.h"

#include <cstdint>
#include <functional>

class TTrendRecorder {
public:
    using Clock = std::function<int64_t()>; // milliseconds since the epoch
    explicit TTrendRecorder(TTrendRing& ring, Clock clock = {});
    ~TTrendRecorder();

    // Follows the link from now on (the start-up does this for the run's ring).
    void Start();
    void Stop();

    void PollCycleEnded(int address);
    void ReplyAccepted(const TLinkRequest& request, const uint16_t* regs, int count);
    void LinkBroken();

private:
    void listen();
    TLinkConnections links_;
    void gap();

    TTrendRing& ring_;
    Clock clock_;
    bool started_ = false;
    bool valuesCame_ = false; // the cycle's value block (30001) was answered
    bool gapLast_ = false;    // the last thing pushed was a gap
};

// The recorder of the run's ring, following the link from program start.
void StartTrendRecording();
