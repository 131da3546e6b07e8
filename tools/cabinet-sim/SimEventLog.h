// The cabinet's event log as function 20 serves it: fixed 64-byte records numbered from 1.
#pragma once

#include <array>
#include <cstdint>

namespace sim {

class EventLog {
public:
    explicit EventLog(int count) : count_(count) {}

    int count() const { return count_; }
    int capacity() const { return 1000; }
    void clear() { count_ = 0; }

    // The 64 record bytes of record n (1..count) as the reply carries them after the
    // reference type: record number, BCD time, state, module, event, alarm, the status words
    // in wire order, measurements and temperature, every word high byte first.
    std::array<uint8_t, 64> record(int n) const;

private:
    int count_;
};

} // namespace sim
