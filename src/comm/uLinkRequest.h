// One request as the link built it: what the link's signals carry about a request, so that a
// listener (the service journal, a backup reading its blocks, the trend recorder) can follow
// what it asked and what became of it.
#pragma once

#include <QString>

#include <cstdint>

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
