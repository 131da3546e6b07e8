// Device and module records, the derived running state, and the values a function-16 write
// sends. A cabinet's values as received are kept in model/uCabinetValues.h.
#pragma once

#include "model/UShareData.h"

#include <QString>
#include <cstdint>

// The cabinet's status and alarm words, in this order, then the derived state and the modes.
// Registers map out of order: 30084/30085 are words 4/5, 30086/30087 are words 2/3.
struct TStatusBlock {
    uint16_t CmmStaH = 0; // 30082, module place 12
    uint16_t CmmStaL = 0; // 30083, 13
    uint16_t CmmAlmH = 0; // 30086, 16
    uint16_t CmmAlmL = 0; // 30087, 17
    uint16_t InvStaH = 0; // 30084, 14
    uint16_t InvStaL = 0; // 30085, 15
    uint16_t InvAlmH = 0; // 30088, 18
    uint16_t InvAlmL = 0; // 30089, 19
    uint16_t SysSta = 0;  // 30090
    uint16_t SysAlm = 0;  // 30091
    uint8_t State = 0;
    uint8_t SupplyMode = 0;
    uint8_t InvMode = 0;

    // Word i (0..9) in block order.
    uint16_t& Word(int i);
    uint16_t Word(int i) const { return const_cast<TStatusBlock*>(this)->Word(i); }
};

// What was last read from one cabinet address. Values are scaled once, here.
struct TUpsData {
    double InVolt[3] = {};                // 30001-30003 x0.1
    double InFreq = 0;                    // 30004 x0.1
    double InCurr[3] = {};                // 30005-30007 x0.1
    double InPF[3] = {};                  // 30008-30010 x0.01
    double OutVolt[3] = {};               // 30011-30013 x0.1
    double OutFreq = 0;                   // 30014 x0.1
    double OutCurr[3] = {};               // 30015-30017 x0.1
    double OutPower[3] = {};              // 30018-30020 x0.1
    double LoadPct[3] = {};               // 30021-30023 x0.1
    double LoadPeak[3] = {};              // 30024-30026 x0.01
    double BpsVolt[3] = {};               // 30027-30029 x0.1
    double BpsFreq = 0;                   // 30030 x0.1
    double BattVolt[2] = {};              // 30031, 30032 x0.1
    double BattChgCurr[2] = {};           // 30035, 30036 x0.1
    double BattDisCurr[2] = {};           // 30033, 30034 x0.1
    uint32_t BattChgRate = 0;             // 30037 raw
    uint32_t BattSupport = 0;             // 30038 raw, minutes
    double BattTemp = 0;                  // 30039 x0.1
    double InsideTemp = 0;                // 30040 x0.1
    uint32_t UpsRunTime = 0;              // 30043 and 51052, hours
    uint32_t BattRunTime = 0;             // 51062
    uint32_t FanRunTime = 0;              // 51065
    TStatusBlock Status;                  // 30082-30091
    int32_t SysState = 0;                 // DecodeState(Status) after every register of 30001-30099
    uint8_t Para40002 = 0, Para40003 = 0; // low byte
    uint32_t Para40004 = 0;
    uint8_t Para40005 = 0, Para40006 = 0, Para40007 = 0, Para40008 = 0, Para40009 = 0, Para40010 = 0,
            Para40011 = 0, Para40012 = 0; // low byte
    uint16_t Para40013 = 0, Para40014 = 0, Para40015 = 0, Para40016 = 0, Para40017 = 0, Para40018 = 0,
             Para40019 = 0, Para40020 = 0, Para40021 = 0, Para40022 = 0, Para40023 = 0, Para40024 = 0;
    uint16_t Para40025 = 0;
    uint16_t Para40027 = 0, Para40028 = 0, Para40029 = 0, Para40030 = 0;
    uint16_t Para40034 = 0;
    uint16_t RectTimeLimit = 0; // 51051
    uint16_t Para40035 = 0;
    uint16_t BattTimeLimit = 0; // 51061
    uint16_t FanTimeLimit = 0;  // 51064
};

// One power module. Register r in 30101..31700 is module (r-30101)/50+1, place (r-30101)%50+1.
struct TModuleData {
    double BusVolt[2] = {};                         // places 1, 2 x0.1
    double InvVolt[3] = {};                         // 3-5 x0.1
    double InvCurr[3] = {};                         // 6-8 x0.1
    double InvFreq = 0;                             // 9 x0.1
    double DcBusVolt[2] = {};                       // 20, 21 x0.1
    double Temp[2] = {};                            // 10, 11 x0.1
    double BattVolt[2] = {};                        // 25, 26 x0.1
    double BattDisCurr[2] = {};                     // 27, 28 x0.1
    double BattChgCurr[2] = {};                     // 29, 30 x0.1
    double ChgRate = 0;                             // 31 raw
    double RemainTime = 0;                          // 32 raw, minutes
    TStatusBlock Status;                            // words 0-7 from places 12-19
    uint8_t ModState = 0;                           // DecodeState(Status) after every module register
    uint32_t MdSend = 0, MdAccept = 0, MdAckOk = 0; // 22, 23, 24
};

// The parameter working copy that the data set window edits; value source of function-16 writes.
struct TParaSet {
    uint8_t Para40002 = 0, Para40003 = 0;
    int32_t Para40004 = 0;
    uint8_t Para40005 = 0, Para40006 = 0, Para40007 = 0, Para40008 = 0, Para40009 = 0, Para40011 = 0,
            Para40012 = 0;
    uint16_t Para40013 = 0, Para40014 = 0, Para40015 = 0, Para40016 = 0, Para40017 = 0, Para40018 = 0,
             Para40019 = 0, Para40020 = 0, Para40021 = 0, Para40022 = 0, Para40023 = 0, Para40024 = 0,
             Para40025 = 0;
    uint16_t Para40027 = 0, Para40028 = 0, Para40029 = 0, Para40030 = 0, Para40034 = 0, Para40035 = 0;
};

constexpr int MaxDevAddr = 15;
constexpr int ModuleCount = 32;
constexpr int CfgSize = 48;

extern uint8_t CfgEdit[CfgSize]; // the configuration editor's copy, source of function-16 writes
// CfgRx bytes 35..40 hold the single configuration registers 51201..51204, 51207, 51208.
constexpr int CfgRegsFirst = 35;
constexpr int CfgRegsCount = 6;
extern TParaSet ParaSet;


// The value a function-16 frame sends for a register.
uint16_t WriteValue(int reg);

// Operating-state code derived from the status words (15 when the data-valid bit is clear).
uint8_t DecodeState(const TStatusBlock& block);

// Fills the block's state byte and the two mode codes.
void DecodeStatusBlock(TStatusBlock& block);

// Caption of a runtime register for the register editor, in the current language.
QString RegisterCaption(int reg);

// Decodes a whole function-20 reply of at least RecordReplyLength bytes into rec.
constexpr int RecordReplyLength = 71;
void DecodeRecordReply(const uint8_t* frame, TRecordData& rec);

// Zeroes the editors' copies (CfgEdit, ParaSet).
void ResetEditCopies();
