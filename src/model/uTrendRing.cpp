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

void TTrendRing::Pieces(int first, int end, TPiece& a, TPiece& b) const
{
    a = b = TPiece{};
    first = std::max(0, first);
    end = std::min(end, size_);
    if (first >= end) return;
    const int start = (first_ + first) % capacity_;
    const int count = end - first;
    const int tail = std::min(count, capacity_ - start);
    a = TPiece{store_.data() + start, tail};
    if (count > tail) b = TPiece{store_.data(), count - tail};
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
