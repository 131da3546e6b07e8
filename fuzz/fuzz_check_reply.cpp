// Feeds arbitrary received chunks to the Modbus master's reply check, for every kind of
// outstanding request. The chunk is copied into a buffer of exactly its size, so that any read
// past it is caught by AddressSanitizer.
//
// Input layout: byte 0 chooses the outstanding function and the register range, bytes 1-2 the
// first register within it, byte 3 the register count, byte 4 flags: with bit 7 clear the
// current address is the chunk's own (so that most chunks get past the address check),
// otherwise bits 0-5 give any address, those beyond 15 among them; with bit 6 set the last two
// bytes of the chunk are replaced by its CRC, so that the fuzzer reaches the decoding behind
// the CRC check. The rest of the input, at most 399 bytes, is the chunk.
#include "comm/uCrc16.h"
#include "comm/uKModbus.h"
#include "comm/uLinkState.h"
#include "model/UShareData.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

namespace {
constexpr uint8_t Functions[] = {3, 4, 6, 16, 20, 43, 1, 2, 5, 0, 0x83, 0xFF};
constexpr int StartBases[] = {30001, 30101, 40001, 51000, 53000, 54000, 0, 65000};
constexpr int HeaderLen = 5;

TMModbus& codec()
{
    static TCabinetValues values;
    static uint8_t txBuf[CommBufSize];
    static TMModbus mb(txBuf, values);
    return mb;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < HeaderLen) return 0;
    TMModbus& mb = codec();
    const uint8_t func = Functions[data[0] % sizeof Functions];
    const int base = StartBases[(data[0] / sizeof Functions) % (sizeof StartBases / sizeof StartBases[0])];
    const int offset = (data[1] << 8) | data[2];
    mb.ReqFunc = func;
    mb.ReqStartReg = base == 65000 ? offset : base + offset % 2000;
    mb.ReqCount = data[3];
    const uint8_t flags = data[4];
    const size_t chunkLen = size - HeaderLen > MaxRxChunk ? MaxRxChunk : size - HeaderLen;
    std::unique_ptr<uint8_t[]> chunk(chunkLen > 0 ? new uint8_t[chunkLen] : nullptr);
    if (chunkLen > 0) std::memcpy(chunk.get(), data + HeaderLen, chunkLen);
    if ((flags & 0x40) && chunkLen >= 2) {
        const uint16_t crc = Crc16(chunk.get(), static_cast<int>(chunkLen) - 2);
        chunk[chunkLen - 2] = crc & 0xFF;
        chunk[chunkLen - 1] = crc >> 8;
    }
    const uint16_t addr = (flags & 0x80) ? (flags & 0x3F) : (chunkLen > 0 ? chunk[0] : 1);
    mb.ReqAddr = static_cast<uint8_t>(addr);
    mb.SetCurrentAddress(addr);
    const bool accepted = mb.CheckReply(chunk.get(), static_cast<int>(chunkLen));

    // An accepted chunk always came from the current address and passed its CRC.
    if (accepted &&
        (chunkLen < 4 || chunk[0] != mb.CurAddr || Crc16(chunk.get(), static_cast<int>(chunkLen)) != 0))
        __builtin_trap();
    // Only a frame of the function asked answers the request; a read's count is the count asked.
    if (accepted && chunk[1] != mb.ReqFunc) __builtin_trap();
    if (accepted && (chunk[1] == 3 || chunk[1] == 4) && chunk[2] != 2 * mb.ReqCount) __builtin_trap();
    // A read reply is accepted only when its byte count fits in the chunk.
    if (accepted && (chunk[1] == 3 || chunk[1] == 4) && static_cast<size_t>(chunk[2]) + 5 > chunkLen)
        __builtin_trap();
    // The record pointer never leaves the table.
    if (mb.CurRecord < mb.Values.UpsData || mb.CurRecord > mb.Values.UpsData + MaxDevAddr) __builtin_trap();
    return 0;
}
