// The cabinet's register map: every register and block the tool reads, writes or routes, named
// once. Registers keep their documented numbers (30001, 40001, ...); only the codec subtracts
// one for the wire. The simulated cabinet and the tests spell the numbers on their own, so that
// a wrong number here shows against them rather than agreeing with itself.
#pragma once

#include <cstdint>

// --- Functions of the cabinet's own beyond reads and writes.
constexpr uint8_t FuncRecord = 20;         // one event record by number
constexpr uint8_t FuncIdentification = 43; // identification objects 1 and 2

// --- The write-enable command: function 6 writes this value to this register before a mask
// write, the erase of the event log and a forced parameter write.
constexpr int RegWriteEnable = 50000;
constexpr uint16_t WriteEnableValue = 10;

// --- The cabinet's measured values and status words (input registers), into the device record
// of the answering address. Arrays name their first register; phases follow A, B, C.
constexpr int RegSystemFirst = 30001;
constexpr int RegSystemLast = 30099;
constexpr int RegInVolt = 30001; // 3
constexpr int RegInFreq = 30004;
constexpr int RegInCurr = 30005;  // 3
constexpr int RegInPF = 30008;    // 3
constexpr int RegOutVolt = 30011; // 3
constexpr int RegOutFreq = 30014;
constexpr int RegOutCurr = 30015;  // 3
constexpr int RegOutPower = 30018; // 3
constexpr int RegLoadPct = 30021;  // 3
constexpr int RegLoadPeak = 30024; // 3
constexpr int RegBpsVolt = 30027;  // 3
constexpr int RegBpsFreq = 30030;
constexpr int RegBattVolt = 30031;    // 2, positive then negative string
constexpr int RegBattDisCurr = 30033; // 2
constexpr int RegBattChgCurr = 30035; // 2
constexpr int RegBattChgRate = 30037;
constexpr int RegBattSupport = 30038;
constexpr int RegBattTemp = 30039;
constexpr int RegInsideTemp = 30040;
constexpr int RegUpsRunTime = 30043; // also kept from RegUpsRunTimeCfg
// The second value block of the poll: the status words lie in it.
constexpr int RegSystemTail = 30061;
// The status words, in register order (which is not the block's word order).
constexpr int RegCmmStaH = 30082;
constexpr int RegCmmStaL = 30083;
constexpr int RegInvStaH = 30084;
constexpr int RegInvStaL = 30085;
constexpr int RegCmmAlmH = 30086;
constexpr int RegCmmAlmL = 30087;
constexpr int RegInvAlmH = 30088;
constexpr int RegInvAlmL = 30089;
constexpr int RegSysSta = 30090;
constexpr int RegSysAlm = 30091;

// --- The power modules: one block of ModuleBlockStride registers per module, from
// RegModuleFirst; place p (1..50) of module m is RegModuleFirst + ModuleBlockStride*(m-1) + p-1.
constexpr int RegModuleFirst = 30101;
constexpr int ModuleBlockStride = 50;
constexpr int ModuleBlockCount = 32;
constexpr int RegModuleLast = RegModuleFirst + ModuleBlockStride * ModuleBlockCount - 1; // 31700
constexpr int ModuleRegister(int module, int place)
{
    return RegModuleFirst + ModuleBlockStride * (module - 1) + place - 1;
}
// Places within a module's block.
constexpr int PlaceBusVolt = 1; // 2
constexpr int PlaceInvVolt = 3; // 3
constexpr int PlaceInvCurr = 6; // 3
constexpr int PlaceInvFreq = 9;
constexpr int PlaceTemp = 10;    // 2
constexpr int PlaceCmmStaH = 12; // the status words 12..19 in the cabinet's register order
constexpr int PlaceCmmStaL = 13;
constexpr int PlaceInvStaH = 14;
constexpr int PlaceInvStaL = 15;
constexpr int PlaceCmmAlmH = 16;
constexpr int PlaceCmmAlmL = 17;
constexpr int PlaceInvAlmH = 18;
constexpr int PlaceInvAlmL = 19;
constexpr int PlaceDcBusVolt = 20; // 2
constexpr int PlaceMdSend = 22;    // the module's own communication counters 22..24
constexpr int PlaceMdAccept = 23;
constexpr int PlaceMdAckOk = 24;
constexpr int PlaceBattVolt = 25;    // 2
constexpr int PlaceBattDisCurr = 27; // 2
constexpr int PlaceBattChgCurr = 29; // 2
constexpr int PlaceChgRate = 31;
constexpr int PlaceRemainTime = 32;

// --- Holding registers: the UPS parameters, the event-log counters and the alarm masks.
constexpr int RegHoldingFirst = 40001;
constexpr int RegHoldingLast = 40099;
// The parameter block; each parameter keeps its own number (40002 .. 40035) in the parameter
// tables of the record and the editors.
constexpr int RegParaFirst = 40001;
constexpr int ParaBlockCount = 35; // 40001..40035
// The event-log counters: the highest record number and the count, each high half first.
constexpr int RegRecCountFirst = 40051;
constexpr int RegRecCountLast = 40055;
constexpr int RecCountReadCount = 6; // what a read of the counters asks for
constexpr int RegMaxRecHigh = 40051;
constexpr int RegMaxRecLow = 40052;
constexpr int RegAllRecHigh = 40053;
constexpr int RegAllRecLow = 40054;
// Writing 0 here (after the write-enable command) erases the cabinet's event log.
constexpr int RegRecErase = RegAllRecLow;
// The alarm masks: channel n (1..10) is register RegMaskFirst + n - 1. The poll reads the
// block from the register before it.
constexpr int RegMaskFirst = 40082;
constexpr int MaskWordCount = 10;
constexpr int RegMaskPoll = RegMaskFirst - 1;

// --- The configuration block 51000..51999.
constexpr int RegConfigFirst = 51000;
constexpr int RegConfigLast = 51999;
// The OPTION port's block; the speed and protocol codes lie in it.
constexpr int RegOptFirst = 51021;
constexpr int OptBlockCount = 10; // 51021..51030
constexpr int RegOptBaud = 51024;
constexpr int RegOptProtocol = 51029;
// The runtime counters and their limits.
constexpr int RegRunTimeFirst = 51051;
constexpr int RunTimeBlockCount = 16; // 51051..51066
constexpr int RegRectTimeLimit = 51051;
constexpr int RegUpsRunTimeCfg = 51052;
constexpr int RegBattTimeLimit = 51061;
constexpr int RegBattRunTime = 51062;
constexpr int RegFanTimeLimit = 51064;
constexpr int RegFanRunTime = 51065;
// The cabinet configuration's single registers 51201..51208 (51205 and 51206 unused).
constexpr int RegCfgRegsFirst = 51201;
constexpr int CfgRegsBlockCount = 8;
constexpr int RegBroadCast = 51201;
constexpr int RegRemote = 51202;
constexpr int RegPwrRat = 51203;
constexpr int RegMdType = 51204;
constexpr int RegConfirm = 51207;
constexpr int RegBtCalcBy = 51208;

// --- The text block: the company name and the model, one character a register (low byte).
constexpr int RegTextFirst = 53000;
constexpr int RegTextLast = 53099;
constexpr int RegCompanyFirst = 53000;
constexpr int CompanyLength = 15; // 53000..53014
constexpr int RegModelFirst = 53020;
constexpr int ModelLength = 10;                                            // 53020..53029
constexpr int TextBlockCount = RegModelFirst + ModelLength - RegTextFirst; // 53000..53029
constexpr int CfgTextReadCount = 40; // the main window's period read of the text block

// --- A module's receive buffer as the monitor relays it.
constexpr int RegRxBufFirst = 54000;
constexpr int RxBufWords = 100;    // 54000..54099
constexpr int RegRxModule = 54101; // written to select the module, read back with the buffer
constexpr int RegRxLen = 54102;
constexpr int RegRxBufLast = 54119;
constexpr int RxBufReadCount = RegRxLen - RegRxBufFirst + 1; // the entries, the module and the length
