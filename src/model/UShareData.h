// The shared records of the tool: plain structs that the link fills and the windows read. The
// request slots and the link counters belong to the link (comm/uFrmCom.h); the rest are single
// global instances. All run on the user-interface thread; nothing is locked.
// Flags shared between the link and the windows are bytes holding 0 or 255.
#pragma once

#include <QString>
#include <cstdint>

constexpr uint8_t FlagOn = 255;
constexpr uint8_t FlagOff = 0;

// Words a function-16 slot can carry (the most one Modbus write frame takes).
constexpr int MaxSlotWords = 123;

// One request slot of the link. A request goes in through the link's Submit while Pending is 0;
// the link clears Pending when it takes the slot.
struct TReqSlot {
    uint8_t Pending = 0;
    uint8_t Addr = 0;
    uint8_t Func = 0;
    int32_t StartReg = 0; // first register, or the object id for function 43
    int32_t Count = 0;
    uint16_t Value = 0;  // value to write (function 6) or record number (function 20)
    int32_t Counter = 0; // times the link took this slot; never reset
    // Function 16: the register values captured when the operator confirmed the write.
    uint16_t Words[MaxSlotWords] = {};
    // The window or command that filled the slot; the service journal names it with every
    // write. Empty for a filler that gives no name.
    QString Source;
    // The slots one write queued together (write-enable, write, read-back) share a group
    // number, so that they go out whole or not at all; 0 for a request of its own.
    int32_t Group = 0;
    // A read moved out of the way of a write keeps the number of the slot it was filled in,
    // so whoever filled it still knows its reply; 0 when it is where it was filled.
    int32_t FilledAs = 0;
};

// True for the functions that change the cabinet (5, 6, 15, 16).
constexpr bool IsWriteFunc(uint8_t func) { return func == 5 || func == 6 || func == 15 || func == 16; }

// The link's slots are numbered 1 to 10.
constexpr int ReqSlotCount = 10;

// Link counters.
struct TCommDebug {
    int32_t TxCount = 0;
    int32_t RxCount = 0;
    int32_t AckCount = 0;
    double ErrRate = 0.0;
    uint8_t TraceCountdown = 0;
};

// One event record of the cabinet's log.
struct TRecordData {
    uint8_t DevID = 0;
    int32_t RecNo = 0;
    uint16_t Year = 0;
    uint8_t Month = 0, Day = 0, Hour = 0, Minute = 0, Second = 0;
    uint8_t UpsState = 0;
    uint8_t ModuleID = 0;
    uint8_t EventNo = 0;
    uint8_t AlarmNo = 0;
    uint16_t CMMState = 0, CMMAlarmH = 0, CMMAlarmL = 0, INVStateH = 0, INVStateL = 0, INVAlarmH = 0,
             INVAlarmL = 0, MontState = 0, MontAlarm = 0;
    uint16_t InputV_A = 0, InputV_B = 0, InputV_C = 0, InputFreq = 0;
    uint16_t OutputV_A = 0, OutputV_B = 0, OutputV_C = 0;
    uint16_t OutputI_A = 0, OutputI_B = 0, OutputI_C = 0, OutputFreq = 0;
    uint16_t PBattV = 0, NBattV = 0, PBattI = 0, NBattI = 0;
    uint16_t Temperature = 0;
    QString DateText; // replaces Year..Second when not empty (records read from a CSV file)
};

// The download exchange between the codec, the link and the event-record window; a cabinet's
// values (model/uCabinetValues.h) hold it.
struct TRecInfo {
    uint8_t RecCntRecvd = 0;
    uint8_t RecReplyRecvd = 0;
    uint8_t PollHold = 0;
    int32_t MaxRec = 0;
    int32_t AllRec = 0;
    int32_t NextRecNo = 0;
    TRecordData Rec;
};

// Operator settings, kept in "UserParaIni.ini" (beside the executable, or in the user's
// configuration folder of an installed tool; model/uFilePlaces.h).
struct TLocalPara {
    QString ComName = QStringLiteral("COM1");
    int32_t BaudRate = 2400;
    int32_t curProtocol = 0; // 0 ModBus, 1 YDT V3.1, 2 DSP Comm, 3 TCP+ModBus, -1 typed text
    QString AppPath;         // folder of the settings file, with its trailing separator
    int32_t ModuleNum = 1;
    int32_t SelectedAddr = 1;
    uint8_t Language = 0; // 1 Chinese, anything else English
    QString Menu01 = QStringLiteral("1110000");
    QString Menu02 = QStringLiteral("1111100");
    QString Menu03 = QStringLiteral("1110000");
    QString Menu04 = QStringLiteral("1111000");
    QString PageSheet = QStringLiteral("11");
    bool FastLine = false; // line-speed mode of the link (key "FastLine")
};
extern TLocalPara LocalPara;

// True when the windows speak Chinese.
inline bool IsChinese() { return LocalPara.Language == 1; }

// Puts every shared record (these and the editors' copies) back to its start value, so that no
// test depends on another's leftovers.
void ResetSharedData();
