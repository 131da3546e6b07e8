// The download of the cabinet's event log, one 100 ms tick at a time, with no window: while
// the link's poll is held, each accepted function-20 reply for the awaited record is stored and
// the next record asked for; a record not answered within 51 ticks, or answered with another
// record number, is asked for again, and after three such tries the download ends. Only a
// stored record resets the tries. The event-record window and the headless
// download command both run it.
#pragma once

#include "model/UShareData.h"

#include <cstdint>
#include <functional>

class TRecordDownload {
public:
    static constexpr int32_t ReplyWaitTicks = 50; // a reply is waited for 51 ticks
    static constexpr int32_t MaxAttempts = 3;

    enum class TState { Idle, Running, Finished, GaveUp };

    int32_t WaitTicks = 0;
    int32_t Attempts = 0;

    // Holds the link's poll and starts at record from; the first request goes out on the
    // first tick.
    void Start(int32_t from);
    // Ends the download (the operator's stop): the poll goes on, and a record request still
    // waiting in slot 1 is taken back so that no function-20 frame goes out after the stop.
    void Stop();

    // One tick. requestRecord fills the request slot for RecInfo.NextRecNo; store stores a
    // record and returns false when it could not (the record is then asked for again after
    // the reply wait). Returns the state after the tick; Finished or GaveUp only on the tick
    // the download ends.
    TState Tick(const std::function<void()>& requestRecord, const std::function<bool(TRecordData&)>& store);
    // On a line-speed link, the moment a reply was accepted: the reply part of the tick alone
    // (store, ask for the next record), so that a record costs one round trip and no tick.
    // Does nothing when no record reply is waiting.
    TState ReplyNow(const std::function<void()>& requestRecord, const std::function<bool(TRecordData&)>& store);

private:
    TState takeReply(const std::function<void()>& requestRecord, const std::function<bool(TRecordData&)>& store);
};
