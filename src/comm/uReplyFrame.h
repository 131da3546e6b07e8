// Where a reply ends on a line-speed link. The reply to a request has a length that the
// request and the reply's first bytes tell: a master that knows it need not wait for the
// line to fall silent. The rules are pure, so the reader of the port and the link use the
// same ones, and a table of frames checks them.
#pragma once

#include <cstdint>

namespace ReplyFrame {

// The whole length of the reply to request (a frame as sent, CRC included) that the first
// have bytes of reply announce:
//   > 0  the frame's length (it may be longer than have);
//     0  not known yet: more bytes are needed to tell;
//    -1  cannot be told (no request, an unknown function, a function byte that answers
//        something else, an impossible length): only silence ends such a chunk.
int ExpectedLength(const uint8_t* request, int requestLen, const uint8_t* reply, int have);

// The length of the reply that answers request without an exception, where the request alone
// tells it (functions 3, 4, 6, 16 and 20); -1 otherwise.
int NormalReplyLength(const uint8_t* request, int requestLen);

// The length of the complete frame at the start of bytes when the expected length has arrived
// and its CRC is good; 0 otherwise.
int CompleteLength(const uint8_t* request, int requestLen, const uint8_t* bytes, int have);

// The longest reply any request may get: a Modbus RTU frame is at most 256 bytes.
constexpr int MaxFrame = 256;

// Bits one character takes on the line: start, data, parity, stop.
int CharBits(int dataBits, bool parity, int stopBits);
// Microseconds the line needs for count characters at baud.
int64_t WireMicros(int count, int baud, int charBits);
// The silence that ends a reply of unknown length on a line-speed link: 3.5 characters or
// 20 ms, whichever is longer (USB adapters hand bytes over in batches up to 16 ms apart).
int ShortSilenceMs(int baud, int charBits);
// The pause a master leaves between a reply and its next request: 3.5 characters, at least
// 2 ms.
int InterFrameGapMs(int baud, int charBits);
// The same gap in microseconds: 3.5 characters, at least 1750 (the rule above 19200 bit/s).
int InterFrameGapMicros(int baud, int charBits);
// The length of the reply a request expects when all goes well (for timing the wait), 0
// when unknown.
int NominalReplyLength(const uint8_t* request, int requestLen);

} // namespace ReplyFrame
