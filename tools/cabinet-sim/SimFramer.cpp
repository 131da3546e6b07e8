#include "SimFramer.h"

#include "SimCrc.h"

namespace sim {

namespace {
constexpr size_t MaxAdu = 256;
}

int RequestFramer::expectedLength(const uint8_t* bytes, size_t available)
{
    if (available < 2) return 0;
    switch (bytes[1]) {
    case 1:
    case 2:
    case 3:
    case 4:
    case 5:
    case 6:
    case 8: return 8;
    case 7:
    case 11:
    case 12:
    case 17: return 4;
    case 15:
    case 16: return available < 7 ? 0 : 9 + bytes[6];
    case 20:
    case 21: return available < 3 ? 0 : 5 + bytes[2];
    case 22: return 10;
    case 23: return available < 11 ? 0 : 13 + bytes[10];
    case 43:
        if (available < 3) return 0;
        return bytes[2] == 0x0E ? 7 : -1;
    default: return -1;
    }
}

RequestFramer::Probe RequestFramer::probe(size_t offset, size_t& length) const
{
    const size_t available = buffer_.size() - offset;
    const uint8_t* start = buffer_.data() + offset;
    const int expected = expectedLength(start, available);
    if (expected == 0) return Probe::NeedMore;
    if (expected < 0) {
        // Unknown function: a write that holds exactly one frame is still recognised by its CRC.
        if (available >= 4 && available <= MaxAdu && crcValid(start, available)) {
            length = available;
            return Probe::Frame;
        }
        return Probe::NeedMore;
    }
    if (static_cast<size_t>(expected) > MaxAdu) return Probe::Invalid;
    if (available < static_cast<size_t>(expected)) return Probe::NeedMore;
    if (!crcValid(start, static_cast<size_t>(expected))) return Probe::Invalid;
    length = static_cast<size_t>(expected);
    return Probe::Frame;
}

void RequestFramer::discard(size_t count)
{
    if (count == 0) return;
    if (onGarbage) onGarbage(Bytes(buffer_.begin(), buffer_.begin() + static_cast<long>(count)));
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<long>(count));
}

void RequestFramer::feed(const uint8_t* bytes, size_t count)
{
    buffer_.insert(buffer_.end(), bytes, bytes + count);
    extract();
}

void RequestFramer::extract()
{
    for (;;) {
        if (buffer_.size() < 2) return;
        size_t length = 0;
        const Probe first = probe(0, length);
        if (first == Probe::Frame) {
            Bytes frame(buffer_.begin(), buffer_.begin() + static_cast<long>(length));
            buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<long>(length));
            if (onFrame) onFrame(frame);
            continue;
        }
        // Not a frame here: a complete frame further on means the bytes before it are stray.
        size_t skip = 0;
        for (size_t offset = 1; offset + 4 <= buffer_.size(); ++offset) {
            size_t ignored = 0;
            if (probe(offset, ignored) == Probe::Frame) {
                skip = offset;
                break;
            }
        }
        if (skip > 0) {
            discard(skip);
            continue;
        }
        if (first == Probe::Invalid) {
            discard(1);
            continue;
        }
        // Cap what waits for more bytes: nothing longer than one frame can still be a request.
        if (buffer_.size() > 2 * MaxAdu) discard(buffer_.size() - MaxAdu);
        return;
    }
}

void RequestFramer::silence()
{
    extract();
    discard(buffer_.size());
}

} // namespace sim
