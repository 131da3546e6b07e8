#include "model/uCabinetValues.h"

#include "model/uDataFunc.h"

#include <cstring>

namespace {
double tenth(uint16_t v) { return v * 0.1; }
double hundredth(uint16_t v) { return v * 0.01; }
uint8_t lowByte(uint16_t v) { return static_cast<uint8_t>(v & 0xFF); }

// True when reg is one of the count registers from first.
constexpr bool in(int reg, int first, int count) { return reg >= first && reg < first + count; }

// clang-format off: the register map reads best as a table
// RegSystemFirst..RegSystemLast into the device record.
void storeSystemRegister(TUpsData& d, int reg, uint16_t v)
{
    if (in(reg, RegInVolt, 3))
        d.InVolt[reg - RegInVolt] = tenth(v);
    else if (reg == RegInFreq)
        d.InFreq = tenth(v);
    else if (in(reg, RegInCurr, 3))
        d.InCurr[reg - RegInCurr] = tenth(v);
    else if (in(reg, RegInPF, 3))
        d.InPF[reg - RegInPF] = hundredth(v);
    else if (in(reg, RegOutVolt, 3))
        d.OutVolt[reg - RegOutVolt] = tenth(v);
    else if (reg == RegOutFreq)
        d.OutFreq = tenth(v);
    else if (in(reg, RegOutCurr, 3))
        d.OutCurr[reg - RegOutCurr] = tenth(v);
    else if (in(reg, RegOutPower, 3))
        d.OutPower[reg - RegOutPower] = tenth(v);
    else if (in(reg, RegLoadPct, 3))
        d.LoadPct[reg - RegLoadPct] = tenth(v);
    else if (in(reg, RegLoadPeak, 3))
        d.LoadPeak[reg - RegLoadPeak] = hundredth(v);
    else if (in(reg, RegBpsVolt, 3))
        d.BpsVolt[reg - RegBpsVolt] = tenth(v);
    else if (reg == RegBpsFreq)
        d.BpsFreq = tenth(v);
    else if (in(reg, RegBattVolt, 2))
        d.BattVolt[reg - RegBattVolt] = tenth(v);
    else if (in(reg, RegBattDisCurr, 2))
        d.BattDisCurr[reg - RegBattDisCurr] = tenth(v);
    else if (in(reg, RegBattChgCurr, 2))
        d.BattChgCurr[reg - RegBattChgCurr] = tenth(v);
    else if (reg == RegBattChgRate)
        d.BattChgRate = v;
    else if (reg == RegBattSupport)
        d.BattSupport = v;
    else if (reg == RegBattTemp)
        d.BattTemp = tenth(v);
    else if (reg == RegInsideTemp)
        d.InsideTemp = tenth(v);
    else if (reg == RegUpsRunTime)
        d.UpsRunTime = v;
    else if (reg == RegCmmStaH)
        d.Status.CmmStaH = v;
    else if (reg == RegCmmStaL)
        d.Status.CmmStaL = v;
    else if (reg == RegInvStaH)
        d.Status.InvStaH = v;
    else if (reg == RegInvStaL)
        d.Status.InvStaL = v;
    else if (reg == RegCmmAlmH)
        d.Status.CmmAlmH = v;
    else if (reg == RegCmmAlmL)
        d.Status.CmmAlmL = v;
    else if (reg == RegInvAlmH)
        d.Status.InvAlmH = v;
    else if (reg == RegInvAlmL)
        d.Status.InvAlmL = v;
    else if (reg == RegSysSta)
        d.Status.SysSta = v;
    else if (reg == RegSysAlm)
        d.Status.SysAlm = v;
    d.SysState = DecodeState(d.Status);
}

// Place c (1..50) of one module's block.
void storeModuleRegister(TModuleData& m, int c, uint16_t v)
{
    if (in(c, PlaceBusVolt, 2))
        m.BusVolt[c - PlaceBusVolt] = tenth(v);
    else if (in(c, PlaceInvVolt, 3))
        m.InvVolt[c - PlaceInvVolt] = tenth(v);
    else if (in(c, PlaceInvCurr, 3))
        m.InvCurr[c - PlaceInvCurr] = tenth(v);
    else if (c == PlaceInvFreq)
        m.InvFreq = tenth(v);
    else if (in(c, PlaceTemp, 2))
        m.Temp[c - PlaceTemp] = tenth(v);
    else if (c == PlaceCmmStaH)
        m.Status.CmmStaH = v;
    else if (c == PlaceCmmStaL)
        m.Status.CmmStaL = v;
    else if (c == PlaceInvStaH)
        m.Status.InvStaH = v;
    else if (c == PlaceInvStaL)
        m.Status.InvStaL = v;
    else if (c == PlaceCmmAlmH)
        m.Status.CmmAlmH = v;
    else if (c == PlaceCmmAlmL)
        m.Status.CmmAlmL = v;
    else if (c == PlaceInvAlmH)
        m.Status.InvAlmH = v;
    else if (c == PlaceInvAlmL)
        m.Status.InvAlmL = v;
    else if (in(c, PlaceDcBusVolt, 2))
        m.DcBusVolt[c - PlaceDcBusVolt] = tenth(v);
    else if (c == PlaceMdSend)
        m.MdSend = v;
    else if (c == PlaceMdAccept)
        m.MdAccept = v;
    else if (c == PlaceMdAckOk)
        m.MdAckOk = v;
    else if (in(c, PlaceBattVolt, 2))
        m.BattVolt[c - PlaceBattVolt] = tenth(v);
    else if (in(c, PlaceBattDisCurr, 2))
        m.BattDisCurr[c - PlaceBattDisCurr] = tenth(v);
    else if (in(c, PlaceBattChgCurr, 2))
        m.BattChgCurr[c - PlaceBattChgCurr] = tenth(v);
    else if (c == PlaceChgRate)
        m.ChgRate = v;
    else if (c == PlaceRemainTime)
        m.RemainTime = v;
    // places 33..50 store nothing
}
// clang-format on

// Replaces one 16-bit half of a 32-bit counter, keeping the other.
void setHalf(int32_t& target, bool high, uint16_t v)
{
    uint32_t u = static_cast<uint32_t>(target);
    u = high ? ((u & 0x0000FFFFu) | (uint32_t(v) << 16)) : ((u & 0xFFFF0000u) | v);
    target = static_cast<int32_t>(u);
}

// A parameter register into its field of the device record (the record names each field by
// the register it holds); registers without a field store nothing.
void storeParameter(TUpsData& d, int reg, uint16_t v)
{
    switch (reg - RegParaFirst) {
    case 1: d.Para40002 = lowByte(v); break;
    case 2: d.Para40003 = lowByte(v); break;
    case 3: d.Para40004 = v; break;
    case 4: d.Para40005 = lowByte(v); break;
    case 5: d.Para40006 = lowByte(v); break;
    case 6: d.Para40007 = lowByte(v); break;
    case 7: d.Para40008 = lowByte(v); break;
    case 8: d.Para40009 = lowByte(v); break;
    case 9: d.Para40010 = lowByte(v); break;
    case 10: d.Para40011 = lowByte(v); break;
    case 11: d.Para40012 = lowByte(v); break;
    case 12: d.Para40013 = v; break;
    case 13: d.Para40014 = v; break;
    case 14: d.Para40015 = v; break;
    case 15: d.Para40016 = v; break;
    case 16: d.Para40017 = v; break;
    case 17: d.Para40018 = v; break;
    case 18: d.Para40019 = v; break;
    case 19: d.Para40020 = v; break;
    case 20: d.Para40021 = v; break;
    case 21: d.Para40022 = v; break;
    case 22: d.Para40023 = v; break;
    case 23: d.Para40024 = v; break;
    case 24: d.Para40025 = v; break;
    case 26: d.Para40027 = v; break;
    case 27: d.Para40028 = v; break;
    case 28: d.Para40029 = v; break;
    case 29: d.Para40030 = v; break;
    case 33: d.Para40034 = v; break;
    case 34: d.Para40035 = v; break;
    default: break;
    }
}
} // namespace

void TCabinetValues::StoreRegister(TUpsData& current, int reg, uint16_t value)
{
    if (reg >= RegSystemFirst && reg <= RegSystemLast) {
        storeSystemRegister(current, reg, value);
    } else if (reg >= RegModuleFirst && reg <= RegModuleLast) {
        const int m = (reg - RegModuleFirst) / ModuleBlockStride + 1;
        const int c = (reg - RegModuleFirst) % ModuleBlockStride + 1;
        TModuleData& md = ModuleData[m];
        storeModuleRegister(md, c, value);
        md.ModState = DecodeState(md.Status);
        md.Status.State = md.ModState; // a module keeps its state in the block's state byte too
    } else if (reg >= RegHoldingFirst && reg <= RegHoldingLast) {
        storeParameter(current, reg, value);
        if (reg == RegMaxRecHigh) setHalf(RecInfo.MaxRec, true, value);
        if (reg == RegMaxRecLow) setHalf(RecInfo.MaxRec, false, value);
        if (reg == RegAllRecHigh) setHalf(RecInfo.AllRec, true, value);
        if (reg == RegAllRecLow) setHalf(RecInfo.AllRec, false, value);
        if (reg >= RegRecCountFirst && reg <= RegRecCountLast) RecInfo.RecCntRecvd = FlagOn;
        if (in(reg, RegMaskFirst, MaskWordCount)) {
            MaskWords[reg - RegMaskFirst] = value;
            MaskRecvd = FlagOn;
        }
    } else if (reg >= RegConfigFirst && reg <= RegConfigLast) {
        TUpsData& d = current;
        int at = -1; // the CfgRx byte of a single configuration register
        switch (reg) {
        case RegOptBaud: OptBaud = value; break;
        case RegOptProtocol: OptProtocol = value; break;
        case RegRectTimeLimit: d.RectTimeLimit = value; break;
        case RegUpsRunTimeCfg: d.UpsRunTime = value; break;
        case RegBattTimeLimit: d.BattTimeLimit = value; break;
        case RegBattRunTime: d.BattRunTime = value; break;
        case RegFanTimeLimit: d.FanTimeLimit = value; break;
        case RegFanRunTime: d.FanRunTime = value; break;
        case RegBroadCast: at = 35; break;
        case RegRemote: at = 36; break;
        case RegPwrRat: at = 37; break;
        case RegMdType: at = 38; break;
        case RegConfirm: at = 39; break;
        case RegBtCalcBy: at = 40; break;
        default: break;
        }
        if (at >= 0) {
            // The remote-control switch is kept as a flag; the others as their low byte.
            CfgRx[at] = reg == RegRemote ? (value == 0 ? 0 : 255) : lowByte(value);
            CfgRegsFrom[at - CfgRegsFirst] = static_cast<uint8_t>(
                &current >= UpsData && &current <= UpsData + MaxDevAddr ? &current - UpsData : 0);
        }
    } else if (reg >= RegTextFirst && reg <= RegTextLast) {
        if (in(reg, RegCompanyFirst, CompanyLength)) {
            CfgRx[CfgCompanyAt + reg - RegCompanyFirst] = lowByte(value);
            CfgTextRecvd = FlagOn;
        } else if (in(reg, RegModelFirst, ModelLength)) {
            CfgRx[CfgModelAt + reg - RegModelFirst] = lowByte(value);
            CfgTextRecvd = FlagOn;
        }
    } else if (reg >= RegRxBufFirst && reg <= RegRxBufLast) {
        if (in(reg, RegRxBufFirst, RxBufWords)) {
            MdRxWords[reg - RegRxBufFirst] = value;
        } else if (reg == RegRxModule) {
            MdRxModule = lowByte(value);
        } else if (reg == RegRxLen) {
            MdRxLen = lowByte(value);
            MdRxNew = FlagOn;
        }
    }
    if (reg >= 0 && reg < static_cast<int>(RegMirror.size())) RegMirror[reg] = value;
}

void TCabinetValues::StoreIdentification(uint8_t object, const uint8_t* bytes)
{
    if (object == 1)
        std::memcpy(CfgRx + CfgTypeAt, bytes, CfgIdentLength);
    else if (object == 2)
        std::memcpy(CfgRx + CfgVersionAt, bytes, CfgVersionLength);
}

QString TCabinetValues::VersionText() const { return FieldText(CfgRx + CfgVersionAt, CfgVersionLength); }

QString TCabinetValues::TypeText() const { return FieldText(CfgRx + CfgTypeAt, CfgTypeLength); }
