#include "comm/uKModbus.h"

#include "comm/uCrc16.h"
#include "comm/uLinkState.h"
#include "comm/uLinkRequest.h"
#include "comm/uPollSteps.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace {
// Modbus words travel high byte first.
void putWord(uint8_t* at, uint16_t v)
{
    at[0] = static_cast<uint8_t>(v >> 8);
    at[1] = static_cast<uint8_t>(v & 0xFF);
}

constexpr int MaxWriteRegisters = TMModbus::MaxWriteWords;
} // namespace

TMModbus::TMModbus(uint8_t* txBuf, TCabinetValues& values)
    : Values(values), CurRecord(&values.UpsData[1]), TxBuf(txBuf)
{
}

void TMModbus::SetCurrentAddress(uint16_t addr)
{
    CurAddr = addr;
    CurRecord = &Values.Record(addr);
}

int TMModbus::appendCrc(int len)
{
    const uint16_t crc = Crc16(TxBuf, len);
    TxBuf[len] = crc & 0xFF;
    TxBuf[len + 1] = crc >> 8;
    return len + 2;
}

void TMModbus::BuildFrame()
{
    FrameLen = 0;
    const uint16_t reg = static_cast<uint16_t>(ReqStartReg - 1); // the wire carries number - 1
    const uint16_t n = static_cast<uint16_t>(ReqCount);
    uint8_t* f = TxBuf;
    f[0] = ReqAddr;
    f[1] = ReqFunc;
    switch (ReqFunc) {
    case 1:
    case 2:
    case 3:
    case 4:
        putWord(f + 2, reg);
        putWord(f + 4, n);
        FrameLen = appendCrc(6);
        break;
    case 6:
        putWord(f + 2, reg);
        putWord(f + 4, ReqValue);
        FrameLen = appendCrc(6);
        break;
    case 16: {
        // A count the one-byte byte count cannot carry, or a frame too long for the buffer,
        // builds nothing rather than writing past it.
        if (ReqCount < 0 || ReqCount > MaxWriteRegisters || 9 + 2 * ReqCount > CommBufSize) break;
        putWord(f + 2, reg);
        putWord(f + 4, n);
        f[6] = static_cast<uint8_t>(2 * ReqCount);
        int pos = 7;
        for (int i = 0; i < ReqCount; ++i) {
            putWord(f + pos, ReqWords[i]);
            pos += 2;
        }
        FrameLen = appendCrc(pos);
        break;
    }
    case 20:
        f[2] = 0x07;              // byte count
        f[3] = 0x06;              // reference type
        putWord(f + 4, 0x0001);   // file number
        putWord(f + 6, ReqValue); // record number
        putWord(f + 8, 0x0040);   // record length: 64 registers
        FrameLen = appendCrc(10);
        break;
    case 43:
        f[2] = 0x0E;
        f[3] = 0x01;
        f[4] = static_cast<uint8_t>(ReqStartReg & 0xFF);
        FrameLen = appendCrc(5);
        break;
    default: break;
    }
}

void TMModbus::storeIdentification(const uint8_t* chunk, int len)
{
    // Only the first object is used. Its bytes are copied only when the chunk holds all of
    // them before its CRC: showing an earlier reply's bytes would be a wrong identification.
    const int dataLen = len - 2;
    if (dataLen < 9) return;
    const uint8_t objectId = chunk[8];
    if ((objectId == 1 && dataLen >= 10 + CfgIdentLength) ||
        (objectId == 2 && dataLen >= 10 + CfgVersionLength))
        Values.StoreIdentification(objectId, chunk + 10);
}

TMModbus::TJudgement TMModbus::JudgeReply(const uint8_t* chunk, int len)
{
    // The shortest frame is address, function and CRC.
    if (len < 4 || chunk[0] != CurAddr) return TJudgement::Stray;
    CurRecord = &Values.Record(CurAddr);
    if (Crc16(chunk, len) != 0) return TJudgement::Stray;

    const uint8_t func = chunk[1];
    // An exception frame is address, function | 0x80, code, CRC; its code is not read.
    if (func == (ReqFunc | 0x80)) return len == 5 ? TJudgement::Refused : TJudgement::Stray;
    if (func != ReqFunc) return TJudgement::Stray;
    const auto wordAt = [chunk](int at) { return static_cast<uint16_t>((chunk[at] << 8) | chunk[at + 1]); };
    switch (func) {
    case 3:
    case 4: {
        // A late reply to another read, or a malformed one, must not land in the registers
        // asked for now: only exactly the byte count asked is taken, and only when the chunk
        // holds it.
        const int byteCount = chunk[2];
        if (ReqCount < 0 || byteCount != 2 * ReqCount || byteCount > len - 5) return TJudgement::Stray;
        for (int i = 0; i < ReqCount; ++i)
            Values.StoreRegister(*CurRecord, ReqStartReg + i, wordAt(3 + 2 * i));
        return TJudgement::Accepted;
    }
    case 6:
    case 16: {
        // The cabinet echoes the register and the value (6) or the count (16): an echo of
        // another write is not this write's acknowledgement.
        if (len != 8) return TJudgement::Stray;
        const uint16_t reg = static_cast<uint16_t>(ReqStartReg - 1);
        const uint16_t second = func == 6 ? ReqValue : static_cast<uint16_t>(ReqCount);
        return wordAt(2) == reg && wordAt(4) == second ? TJudgement::Accepted : TJudgement::Stray;
    }
    case 20:
        // A short reply would decode stale bytes of an earlier one into a corrupt record.
        if (len < RecordReplyLength) return TJudgement::Stray;
        DecodeRecordReply(chunk, Values.RecInfo.Rec);
        Values.RecInfo.RecReplyRecvd = FlagOn;
        return TJudgement::Accepted;
    case 43:
        storeIdentification(chunk, len);
        Values.RecInfo.RecReplyRecvd = FlagOn;
        return TJudgement::Accepted;
    default: return TJudgement::Accepted;
    }
}

void TMModbus::LoadWriteWords()
{
    const int n = std::clamp(ReqCount, 0, MaxWriteWords);
    for (int i = 0; i < n; ++i) ReqWords[i] = WriteValue(ReqStartReg + i);
}

TLinkRequest TMModbus::CurrentRequest() const
{
    TLinkRequest r;
    r.slot = TakenSlot;
    r.group = TakenGroup;
    r.addr = ReqAddr;
    r.func = ReqFunc;
    r.startReg = ReqStartReg;
    r.count = ReqCount;
    r.value = ReqValue;
    r.words = ReqFunc == 16 ? ReqWords : nullptr;
    r.source = ReqSource;
    return r;
}

void TMModbus::BuildNextRequest(TReqSlot* slots, TLinkState& state, int pollAddr, int pollModule)
{
    CycleEndedAt = 0;
    SlotTaken = 0;
    TakenSlot = 0;
    TakenGroup = 0;
    ReqSource.clear();
    for (int i = 1; i <= ReqSlotCount; ++i) {
        TReqSlot& s = slots[i];
        if (s.Pending == 0) continue;
        s.Pending = 0;
        ReqAddr = s.Addr;
        ReqFunc = s.Func;
        ReqStartReg = s.StartReg;
        ReqCount = s.Count;
        ReqValue = s.Value;
        std::fill(std::begin(ReqWords), std::end(ReqWords), uint16_t(0));
        std::copy(s.Words, s.Words + MaxSlotWords, ReqWords);
        state.MaxAttempts = 3;
        SlotTaken = FlagOn;
        TakenSlot = s.FilledAs != 0 ? s.FilledAs : i;
        TakenGroup = s.Group;
        ReqSource = s.Source;
        // A free slot carries no group: whoever fills it next starts afresh.
        s.Group = 0;
        s.FilledAs = 0;
        CurAddr = s.Addr;
        s.Counter += 1;
        break;
    }
    CurRecord = &Values.Record(CurAddr);
    // A line-speed link builds nothing while a download holds the poll and no slot is pending;
    // at the defined pace the last frame is built again, but a write is never sent twice so.
    if (!SlotTaken && Values.RecInfo.PollHold != 0 && (!RepeatHeldFrame || IsWriteFunc(ReqFunc))) {
        FrameLen = 0;
        return;
    }
    if (!SlotTaken && Values.RecInfo.PollHold == 0) {
        // The background poll cycle; a new address takes effect at the start of a cycle.
        state.PollStep += 1;
        if (state.PollStep > PollCycleLength) {
            state.PollStep = 1;
            CycleEndedAt = CurAddr;
            SetCurrentAddress(static_cast<uint16_t>(pollAddr));
        }
        ReqAddr = static_cast<uint8_t>(CurAddr);
        if (state.PollStep >= 1 && state.PollStep <= PollCycleLength) {
            const TPollStep& step = PollCycle[state.PollStep - 1];
            ReqFunc = step.func;
            ReqStartReg = PollStepFirstReg(step, step.moduleStride != 0 ? pollModule : 1);
            ReqCount = step.count;
        }
    }
    // While PollHold is set and no slot is pending, the last request is built and sent again.
    BuildFrame();
}
