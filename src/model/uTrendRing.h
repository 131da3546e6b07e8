// The trend's memory: one sample of the selected cabinet per poll cycle, in a ring of fixed
// size, so that a day at one sample a second never grows past its first allocation.
#pragma once

#include "model/uValueColumns.h"

#include <cstddef>
#include <cstdint>
#include <vector>

struct TTrendSample {
    int64_t time = 0;                   // milliseconds since the epoch
    float value[TrendChannelCount] = {}; // as scaled by the decoder, in TrendColumns() order
    uint8_t state = 0;                  // the derived running state (StateText)
    uint8_t valid = 0;                  // 0: a gap (the cabinet did not answer, the port was lost)
};

class TTrendRing {
public:
    // A day at one sample a second.
    static constexpr int DefaultCapacity = 24 * 3600;

    explicit TTrendRing(int capacity = DefaultCapacity);

    // Appends a sample; at the capacity the oldest one goes. The storage is taken in full on the
    // first push and never again.
    void Push(const TTrendSample& sample);
    // A gap at that time: lines end before it and start again after it.
    void PushGap(int64_t time);
    // Oldest first, 0 .. Size()-1.
    const TTrendSample& At(int i) const { return store_[size_t((first_ + i) % capacity_)]; }
    int Size() const { return size_; }
    int Capacity() const { return capacity_; }
    // Samples first .. end-1 as at most two pieces of the storage, oldest first, for readers that
    // walk many samples.
    struct TPiece {
        const TTrendSample* data = nullptr;
        int size = 0;
    };
    void Pieces(int first, int end, TPiece& a, TPiece& b) const;
    // The first sample at or after time (Size() when none).
    int LowerBound(int64_t time) const;
    // Bytes the ring holds (its storage and itself).
    size_t MemoryBytes() const;
    // Counts every push, so a reader can tell that something new came.
    uint64_t Pushed() const { return pushed_; }
    void Clear();

private:
    int capacity_;
    int first_ = 0;
    int size_ = 0;
    uint64_t pushed_ = 0;
    std::vector<TTrendSample> store_;
};

// The ring of the run: it records from start-up, whether or not the trend window is open.
extern TTrendRing TrendRing;
