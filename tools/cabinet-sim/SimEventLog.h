// The cabinet's event log as function 20 serves it: fixed 64-byte records numbered from 1.
#pragma once

#include <array>
#include <cstdint>

namespace sim {

// One record as the cabinet means it, before it is put into bytes: the time as calendar
// numbers (month 13 when the log holds a spoiled date), the status words in the record's field
// order, measurements in tenths and the temperature word as sent.
struct EventEntry {
    int recNo = 0;
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    int state = 0, module = 0, event = 0, alarm = 0;
    // CMMState, CMMAlarmH, CMMAlarmL, INVStateH, INVStateL, INVAlarmH, INVAlarmL, MontState,
    // MontAlarm.
    std::array<uint16_t, 9> words{};
    // InputV_A, InputV_B, InputV_C, InputFreq, OutputV_A, OutputV_B, OutputV_C, OutputI_A,
    // OutputI_B, OutputI_C, OutputFreq, PBattV, NBattV, PBattI, NBattI.
    std::array<uint16_t, 15> tenths{};
    uint16_t temperature = 0;
};

class EventLog {
public:
    explicit EventLog(int count) : count_(count), capacity_(count > 1000 ? count : 1000) {}

    int count() const { return count_; }
    int capacity() const { return capacity_; }
    void clear() { count_ = 0; }
    // A few records (7, 57, 107, ...) carry a month that does not exist.
    void setInvalidDates(bool on) { invalidDates_ = on; }

    EventEntry entry(int n) const;
    // The 64 record bytes of record n (1..count) as the reply carries them after the
    // reference type: record number, BCD time, state, module, event, alarm, the status words
    // in wire order, measurements and temperature, every word high byte first.
    std::array<uint8_t, 64> record(int n) const;

private:
    int count_;
    int capacity_;
    bool invalidDates_ = false;
};

} // namespace sim
