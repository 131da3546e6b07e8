#include "model/uTrendRing.h"

#include <algorithm>
#include <cmath>

TTrendRing TrendRing;

TTrendRing::TTrendRing(int capacity) : capacity_(std::max(1, capacity)) {}

void TTrendRing::Push(const TTrendSample& sample)
{
    if (store_.empty()) store_.resize(size_t(capacity_));
    if (size_ < capacity_) {
        store_[size_t((first_ + size_) % capacity_)] = sample;
        ++size_;
    } else {
        store_[size_t(first_)] = sample;
        first_ = (first_ + 1) % capacity_;
    }
    ++pushed_;
}

void TTrendRing::PushGap(int64_t time)
{
    TTrendSample gap;
    gap.time = time;
    std::fill(std::begin(gap.value), std::end(gap.value), std::nanf(""));
    Push(gap);
}

int TTrendRing::LowerBound(int64_t time) const
{
    int lo = 0, hi = size_;
    while (lo < hi) {
        const int mid = (lo + hi) / 2;
        if (At(mid).time < time)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

size_t TTrendRing::MemoryBytes() const { return sizeof(*this) + store_.capacity() * sizeof(TTrendSample); }

void TTrendRing::Clear()
{
    first_ = 0;
    size_ = 0;
}
