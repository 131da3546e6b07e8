// Feeds arbitrary received bytes to the cabinet scan's judgement of a function 43 answer and to
// its reading of the objects. The bytes are held in a buffer of exactly their size (QByteArray
// made from raw data), so that any read past them is caught.
//
// Input layout: byte 0 flags: with bit 7 set the last two bytes are replaced by the CRC of the
// others, so that the fuzzer reaches the object walk behind the CRC check. The rest is what the
// line brought; its first byte is the address the request went to.
#include "comm/uCabinetScan.h"
#include "comm/uCrc16.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2 || size > 600) return 0;
    QByteArray bytes(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    if ((data[0] & 0x80) && bytes.size() >= 4) {
        const uint16_t crc =
            Crc16(reinterpret_cast<const uint8_t*>(bytes.constData()), int(bytes.size()) - 2);
        bytes[bytes.size() - 2] = char(crc & 0xFF);
        bytes[bytes.size() - 1] = char(crc >> 8);
    }
    const int address = uint8_t(bytes[0]);
    const TCabinetScan::TAnswer answer = TCabinetScan::JudgeAnswer(bytes, address);
    // An answer always passed its CRC; a refusal is the five bytes of an exception reply.
    const bool crcGood = Crc16(reinterpret_cast<const uint8_t*>(bytes.constData()), int(bytes.size())) == 0;
    if (answer != TCabinetScan::TAnswer::None && !crcGood) __builtin_trap();
    if (answer == TCabinetScan::TAnswer::Refused && bytes.size() != 5) __builtin_trap();
    if (TCabinetScan::JudgeAnswer(bytes, (address + 1) & 0xFF) != TCabinetScan::TAnswer::None) __builtin_trap();
    for (int id = 0; id < 4; ++id) {
        QByteArray value;
        // An object's value lies within the frame, before its CRC.
        if (TCabinetScan::ObjectValue(bytes, id, value) && value.size() > bytes.size() - 12) __builtin_trap();
    }
    return 0;
}
