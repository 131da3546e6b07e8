#include "comm/uReplyFrame.h"

#include "comm/uCrc16.h"

#include <algorithm>

namespace ReplyFrame {

namespace {
constexpr int ExceptionLength = 5;  // address, function | 0x80, code, CRC
constexpr int WriteEchoLength = 8;  // address, function, register, value or count, CRC
constexpr int RecordReplyLen = 71;  // the cabinet's function 20 reply: 64 bytes of record
constexpr int IdHeaderLength = 8;   // function 43: up to the number of objects
constexpr int ShortSilenceFloorMs = 20;
constexpr int GapFloorMs = 2;

// Function 43: the objects follow the header as id, length, value; the CRC closes the frame.
int identificationLength(const uint8_t* reply, int have)
{
    if (have < IdHeaderLength) return 0;
    const int objects = reply[7];
    int pos = IdHeaderLength;
    for (int i = 0; i < objects; ++i) {
        if (have < pos + 2) return 0;
        pos += 2 + reply[pos + 1];
        if (pos + 2 > MaxFrame) return -1;
    }
    return pos + 2;
}
} // namespace

int ExpectedLength(const uint8_t* request, int requestLen, const uint8_t* reply, int have)
{
    if (request == nullptr || requestLen < 4) return -1;
    if (have < 2) return 0;
    const uint8_t func = request[1];
    if (reply[1] == (func | 0x80)) return ExceptionLength;
    if (reply[1] != func) return -1;
    if (func == 43) return identificationLength(reply, have);
    return NormalReplyLength(request, requestLen);
}

int NormalReplyLength(const uint8_t* request, int requestLen)
{
    if (request == nullptr || requestLen < 4) return -1;
    switch (request[1]) {
    case 3:
    case 4: {
        if (requestLen < 8) return -1;
        const int count = (request[4] << 8) | request[5];
        const int len = 5 + 2 * count;
        return len <= MaxFrame ? len : -1;
    }
    case 6:
    case 16: return WriteEchoLength;
    case 20: return RecordReplyLen;
    default: return -1;
    }
}

int CompleteLength(const uint8_t* request, int requestLen, const uint8_t* bytes, int have)
{
    const int len = ExpectedLength(request, requestLen, bytes, have);
    if (len <= 0 || have < len) return 0;
    return Crc16(bytes, len) == 0 ? len : 0;
}

int CharBits(int dataBits, bool parity, int stopBits) { return 1 + dataBits + (parity ? 1 : 0) + stopBits; }

int64_t WireMicros(int count, int baud, int charBits)
{
    if (baud <= 0) return 0;
    return (int64_t(count) * charBits * 1000000 + baud - 1) / baud;
}

int ShortSilenceMs(int baud, int charBits)
{
    const int64_t chars35 = (WireMicros(7, baud, charBits) / 2 + 999) / 1000;
    return static_cast<int>(std::max<int64_t>(chars35, ShortSilenceFloorMs));
}

int InterFrameGapMs(int baud, int charBits)
{
    const int64_t chars35 = (WireMicros(7, baud, charBits) / 2 + 999) / 1000;
    return static_cast<int>(std::max<int64_t>(chars35, GapFloorMs));
}

int InterFrameGapMicros(int baud, int charBits)
{
    return static_cast<int>(std::max<int64_t>(WireMicros(7, baud, charBits) / 2, 1750));
}

int NominalReplyLength(const uint8_t* request, int requestLen)
{
    if (request == nullptr || requestLen < 4) return 0;
    switch (request[1]) {
    case 3:
    case 4: return requestLen >= 8 ? std::min(5 + 2 * ((request[4] << 8) | request[5]), MaxFrame) : 0;
    case 6:
    case 16: return WriteEchoLength;
    case 20: return RecordReplyLen;
    case 43: return 64; // the cabinet's identification objects are short
    default: return 0;
    }
}

} // namespace ReplyFrame
