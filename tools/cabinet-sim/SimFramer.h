// Cuts the received byte stream into request frames. A pseudo-terminal hands over whole
// writes, so requests may arrive back to back or with stray bytes around them; the length a
// request must have is known from its function code, and the 3.5-character silence of the
// line ends anything that could not be recognised that way.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace sim {

class RequestFramer {
public:
    using Bytes = std::vector<uint8_t>;

    std::function<void(const Bytes&)> onFrame;
    std::function<void(const Bytes&)> onGarbage;

    // Bytes as they were read; complete frames are handed to onFrame at once.
    void feed(const uint8_t* bytes, size_t count);
    // The line fell silent: whatever could not be recognised is discarded.
    void silence();
    bool empty() const { return buffer_.empty(); }

    // Length of the request with this function code, 0 when more bytes are needed to tell,
    // -1 when the function has no length known in advance.
    static int expectedLength(const uint8_t* bytes, size_t available);

private:
    enum class Probe { Frame, NeedMore, Invalid };
    Probe probe(size_t offset, size_t& length) const;
    void extract();
    void discard(size_t count);

    Bytes buffer_;
};

} // namespace sim
