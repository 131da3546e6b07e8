// The tool's Modbus RTU master: builds one request into the transmit buffer and judges a
// received chunk against the request that is outstanding. It keeps no time; the link decides
// what to build and when, and passes every received chunk in.
#pragma once

#include "comm/uLinkRequest.h"
#include "comm/uLinkState.h"
#include "model/UShareData.h"
#include "model/uCabinetValues.h"

#include <cstdint>

class TMModbus {
public:
    // Frames are built in place in txBuf (CommBufSize bytes). The receive buffer is not kept:
    // every chunk is handed to CheckReply. Accepted values land in values.
    TMModbus(uint8_t* txBuf, TCabinetValues& values);

    // Encodes the request fields into the transmit buffer; FrameLen 0 when nothing can be built.
    void BuildFrame();

    // What a received chunk is to the outstanding request:
    //   Accepted  its reply: same address and function, and for a write the echo of the
    //             register and value (6) or register and count (16), for a read exactly the
    //             byte count asked; only then are its values stored;
    //   Refused   the cabinet's exception reply to that function: nothing is stored, and the
    //             request keeps its retries;
    //   Stray     anything else (another address, a bad CRC, a late reply to an earlier
    //             request, an echo of another write): dropped, nothing is stored.
    // Never reads a byte beyond len.
    enum class TJudgement { Accepted, Refused, Stray };
    TJudgement JudgeReply(const uint8_t* chunk, int len);
    // True when the chunk is accepted as the reply to the outstanding request.
    bool CheckReply(const uint8_t* chunk, int len) { return JudgeReply(chunk, len) == TJudgement::Accepted; }

    // Fills the request from the first pending one of the link's slots (1 to ReqSlotCount), or
    // from the background poll cycle, and builds its frame. A new poll cycle asks pollAddr;
    // its module step reads pollModule. CycleEndedAt tells the address whose cycle ended on
    // this build, 0 for none.
    void BuildNextRequest(TReqSlot* slots, TLinkState& state, int pollAddr, int pollModule);
    int CycleEndedAt = 0;

    // Sets the address replies are checked against, and the record they land in.
    void SetCurrentAddress(uint16_t addr);

    TCabinetValues& Values;
    TUpsData* CurRecord; // one of Values' device records
    uint8_t* TxBuf;
    uint16_t CurAddr = 1;
    int32_t FrameLen = 0;
    uint8_t ReqAddr = 0;
    uint8_t ReqFunc = 0;
    int32_t ReqStartReg = 0;
    int32_t ReqCount = 0;
    uint16_t ReqValue = 0;
    // Function 16: the words the frame carries, taken from the slot (captured when the
    // operator confirmed the write).
    static constexpr int MaxWriteWords = 127; // the byte count of function 16 is one byte
    uint16_t ReqWords[MaxWriteWords] = {};
    uint8_t SlotTaken = 0;
    int TakenSlot = 0;  // the slot of the request in progress, 0 for a poll request
    int TakenGroup = 0; // its write group (the slots one write queued together), 0 for none
    QString ReqSource; // who filled that slot

    // The request in progress, as the link's listeners are told of it.
    TLinkRequest CurrentRequest() const;

    // Takes the function-16 words from the edit copy as it is now (a frame built without a
    // slot).
    void LoadWriteWords();

    // While a download holds the poll and no slot is pending, the last frame is built again
    // (the defined pace); a line-speed link builds nothing and waits for the next slot.
    bool RepeatHeldFrame = true;

private:
    void storeIdentification(const uint8_t* chunk, int len);
    int appendCrc(int len);
};
