// The state of the one-at-a-time Modbus master, as the link keeps it.
#pragma once

#include <cstdint>

struct TLinkState {
    int32_t ActiveProtocol = 0; // 0 Modbus master, 1 YD/T stub, other: the link builds nothing
    bool CommPaused = false;
    bool ReqOutstanding = false;
    bool ReplyAccepted = false;
    uint8_t RetryCountdown = 0;
    uint8_t MaxAttempts = 0;
    uint8_t AttemptCount = 0;
    int32_t FrameLen = 0;
    uint8_t PollStep = 0;
    uint8_t PollSteps = 5;
    // The last frame sent is still waiting for its reply: it is not yet counted in the error
    // rate, neither as answered nor as lost.
    bool AttemptWaiting = false;
};

constexpr int CommBufSize = 404;
constexpr int MaxRxChunk = 399;
