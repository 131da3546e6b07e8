// What the tool knows of the cabinets on its line: everything the codec stores from accepted
// replies, in one object. The link owns one and fills it; windows and commands read it. Code
// that has no link (a test, a model-level check) keeps an instance of its own.
#pragma once

#include "model/UShareData.h"
#include "model/uRegisters.h"
#include "model/uUpsInfo.h"

#include <QString>
#include <cstdint>
#include <vector>

// Places in CfgRx beyond the two texts and the single registers.
constexpr int CfgCompanyAt = 0;  // CompanyLength bytes from 53000
constexpr int CfgModelAt = 15;   // ModelLength bytes from 53020
constexpr int CfgVersionAt = 25; // 10 bytes of identification object 2
constexpr int CfgVersionLength = 10;
constexpr int CfgTypeAt = 41; // 3 bytes of identification object 1, then the rating's two bytes
constexpr int CfgTypeLength = 3;
constexpr int CfgRatingAt = 45;
constexpr int CfgIdentLength = 6; // what object 1 carries: the type and the rating

class TCabinetValues {
public:
    TUpsData UpsData[MaxDevAddr + 1]; // by Modbus address 0..15
    TModuleData
        ModuleData[ModuleCount + 1]; // by module number 1..32; entry 0 unused; one table for all addresses
    std::vector<uint16_t> RegMirror = std::vector<uint16_t>(65536); // last value of every register number
    uint8_t CfgRx[CfgSize] = {};                                    // cabinet configuration as received
    uint8_t CfgTextRecvd = 0; // set by any of 53000..53029; cleared where the texts are blanked
    // For CfgRx bytes 35..40 (51201..51204, 51207, 51208): the address of the cabinet whose reply
    // last set each, 0 while none has; an editor writes back only what it read from that cabinet.
    uint8_t CfgRegsFrom[CfgRegsCount] = {};
    uint16_t MaskWords[MaskWordCount] = {}; // 40082..40091
    uint8_t MaskRecvd = 0;                  // set by any of 40082..40091; never cleared
    int32_t OptBaud = 0;                    // 51024
    int32_t OptProtocol = 0;                // 51029
    uint16_t MdRxWords[RxBufWords] = {};    // 54000..54099
    uint8_t MdRxModule = 0;                 // 54101
    uint8_t MdRxLen = 0;                    // 54102
    uint8_t MdRxNew = 0;                    // set by 54102
    TRecInfo RecInfo;                       // the event-log counters and the last record received
    // What the status code viewer decodes: a cabinet's or a module's status block of these
    // values, as the main window chose it (CodeIsSystem 1 for the cabinet's, 0 for a module's).
    const TStatusBlock* CodeSource = nullptr;
    uint8_t CodeIsSystem = 0;

    // The record of an address; a stray address beyond 15 gets record 0, which no window shows.
    TUpsData& Record(int addr) { return UpsData[addr >= 0 && addr <= MaxDevAddr ? addr : 0]; }
    const TUpsData& Record(int addr) const { return UpsData[addr >= 0 && addr <= MaxDevAddr ? addr : 0]; }

    // Routes one received register value: into the current record (one of UpsData), the
    // module table and the other destinations, and always into the mirror.
    void StoreRegister(TUpsData& current, int reg, uint16_t value);

    // An identification reply's object (1 type and rating, 2 version): its bytes into CfgRx.
    void StoreIdentification(uint8_t object, const uint8_t* bytes);
    // The identification as shown: the version text, the type text and the rating.
    QString VersionText() const;
    QString TypeText() const;
    int Rating() const { return 256 * CfgRx[CfgRatingAt] + CfgRx[CfgRatingAt + 1]; }

    // Back to zero, as at start.
    void Reset() { *this = TCabinetValues(); }
};
