#include "model/uUpsInfo.h"

#include <cstring>

const TStatusBlock* CodeSource = nullptr;
uint8_t CodeIsSystem = 0;

TUpsData UpsData[MaxDevAddr + 1];
TModuleData ModuleData[ModuleCount + 1];
uint16_t RegMirror[65536];
uint8_t CfgRx[CfgSize];
uint8_t CfgEdit[CfgSize];
uint16_t MaskWords[10];
uint8_t CfgTextRecvd;
uint8_t CfgRegsFrom[CfgRegsCount];
uint8_t MaskRecvd;
int32_t OptBaud;
int32_t OptProtocol;
uint16_t MdRxWords[100];
uint8_t MdRxModule;
uint8_t MdRxLen;
uint8_t MdRxNew;
TParaSet ParaSet;

namespace {
double tenth(uint16_t v) { return v * 0.1; }
double hundredth(uint16_t v) { return v * 0.01; }
uint8_t lowByte(uint16_t v) { return static_cast<uint8_t>(v & 0xFF); }

// clang-format off: the register map reads best as a table
// 30001..30099 into the device record.
void storeSystemRegister(TUpsData& d, int reg, uint16_t v)
{
    switch (reg) {
    case 30001:
    case 30002:
    case 30003: d.InVolt[reg - 30001] = tenth(v); break;
    case 30004: d.InFreq = tenth(v); break;
    case 30005:
    case 30006:
    case 30007: d.InCurr[reg - 30005] = tenth(v); break;
    case 30008:
    case 30009:
    case 30010: d.InPF[reg - 30008] = hundredth(v); break;
    case 30011:
    case 30012:
    case 30013: d.OutVolt[reg - 30011] = tenth(v); break;
    case 30014: d.OutFreq = tenth(v); break;
    case 30015:
    case 30016:
    case 30017: d.OutCurr[reg - 30015] = tenth(v); break;
    case 30018:
    case 30019:
    case 30020: d.OutPower[reg - 30018] = tenth(v); break;
    case 30021:
    case 30022:
    case 30023: d.LoadPct[reg - 30021] = tenth(v); break;
    case 30024:
    case 30025:
    case 30026: d.LoadPeak[reg - 30024] = hundredth(v); break;
    case 30027:
    case 30028:
    case 30029: d.BpsVolt[reg - 30027] = tenth(v); break;
    case 30030: d.BpsFreq = tenth(v); break;
    case 30031:
    case 30032: d.BattVolt[reg - 30031] = tenth(v); break;
    case 30033:
    case 30034: d.BattDisCurr[reg - 30033] = tenth(v); break;
    case 30035:
    case 30036: d.BattChgCurr[reg - 30035] = tenth(v); break;
    case 30037: d.BattChgRate = v; break;
    case 30038: d.BattSupport = v; break;
    case 30039: d.BattTemp = tenth(v); break;
    case 30040: d.InsideTemp = tenth(v); break;
    case 30043: d.UpsRunTime = v; break;
    case 30082: d.Status.CmmStaH = v; break;
    case 30083: d.Status.CmmStaL = v; break;
    case 30084: d.Status.InvStaH = v; break;
    case 30085: d.Status.InvStaL = v; break;
    case 30086: d.Status.CmmAlmH = v; break;
    case 30087: d.Status.CmmAlmL = v; break;
    case 30088: d.Status.InvAlmH = v; break;
    case 30089: d.Status.InvAlmL = v; break;
    case 30090: d.Status.SysSta = v; break;
    case 30091: d.Status.SysAlm = v; break;
    default: break;
    }
    d.SysState = DecodeState(d.Status);
}

// Place c (1..50) of one module's block.
void storeModuleRegister(TModuleData& m, int c, uint16_t v)
{
    switch (c) {
    case 1:
    case 2: m.BusVolt[c - 1] = tenth(v); break;
    case 3:
    case 4:
    case 5: m.InvVolt[c - 3] = tenth(v); break;
    case 6:
    case 7:
    case 8: m.InvCurr[c - 6] = tenth(v); break;
    case 9: m.InvFreq = tenth(v); break;
    case 10:
    case 11: m.Temp[c - 10] = tenth(v); break;
    case 12: m.Status.CmmStaH = v; break;
    case 13: m.Status.CmmStaL = v; break;
    case 14: m.Status.InvStaH = v; break;
    case 15: m.Status.InvStaL = v; break;
    case 16: m.Status.CmmAlmH = v; break;
    case 17: m.Status.CmmAlmL = v; break;
    case 18: m.Status.InvAlmH = v; break;
    case 19: m.Status.InvAlmL = v; break;
    case 20:
    case 21: m.DcBusVolt[c - 20] = tenth(v); break;
    case 22: m.MdSend = v; break;
    case 23: m.MdAccept = v; break;
    case 24: m.MdAckOk = v; break;
    case 25:
    case 26: m.BattVolt[c - 25] = tenth(v); break;
    case 27:
    case 28: m.BattDisCurr[c - 27] = tenth(v); break;
    case 29:
    case 30: m.BattChgCurr[c - 29] = tenth(v); break;
    case 31: m.ChgRate = v; break;
    case 32: m.RemainTime = v; break;
    default: break; // places 33..50 store nothing
    }
}

// Replaces one 16-bit half of a 32-bit counter, keeping the other.
void setHalf(int32_t& target, bool high, uint16_t v)
{
    uint32_t u = static_cast<uint32_t>(target);
    u = high ? ((u & 0x0000FFFFu) | (uint32_t(v) << 16)) : ((u & 0xFFFF0000u) | v);
    target = static_cast<int32_t>(u);
}

// 40001..40099 into the device record and the counter and mask destinations.
void storeHoldingRegister(TUpsData& d, int reg, uint16_t v)
{
    switch (reg) {
    case 40002: d.Para40002 = lowByte(v); break;
    case 40003: d.Para40003 = lowByte(v); break;
    case 40004: d.Para40004 = v; break;
    case 40005: d.Para40005 = lowByte(v); break;
    case 40006: d.Para40006 = lowByte(v); break;
    case 40007: d.Para40007 = lowByte(v); break;
    case 40008: d.Para40008 = lowByte(v); break;
    case 40009: d.Para40009 = lowByte(v); break;
    case 40010: d.Para40010 = lowByte(v); break;
    case 40011: d.Para40011 = lowByte(v); break;
    case 40012: d.Para40012 = lowByte(v); break;
    case 40013: d.Para40013 = v; break;
    case 40014: d.Para40014 = v; break;
    case 40015: d.Para40015 = v; break;
    case 40016: d.Para40016 = v; break;
    case 40017: d.Para40017 = v; break;
    case 40018: d.Para40018 = v; break;
    case 40019: d.Para40019 = v; break;
    case 40020: d.Para40020 = v; break;
    case 40021: d.Para40021 = v; break;
    case 40022: d.Para40022 = v; break;
    case 40023: d.Para40023 = v; break;
    case 40024: d.Para40024 = v; break;
    case 40025: d.Para40025 = v; break;
    case 40027: d.Para40027 = v; break;
    case 40028: d.Para40028 = v; break;
    case 40029: d.Para40029 = v; break;
    case 40030: d.Para40030 = v; break;
    case 40034: d.Para40034 = v; break;
    case 40035: d.Para40035 = v; break;
    case 40051: setHalf(RecInfo.MaxRec, true, v); break;
    case 40052: setHalf(RecInfo.MaxRec, false, v); break;
    case 40053: setHalf(RecInfo.AllRec, true, v); break;
    case 40054: setHalf(RecInfo.AllRec, false, v); break;
    default: break;
    }
    if (reg >= 40051 && reg <= 40055) RecInfo.RecCntRecvd = FlagOn;
    if (reg >= 40082 && reg <= 40091) {
        MaskWords[reg - 40082] = v;
        MaskRecvd = FlagOn;
    }
}

void storeConfigRegister(TUpsData& d, int reg, uint16_t v)
{
    switch (reg) {
    case 51024: OptBaud = v; break;
    case 51029: OptProtocol = v; break;
    case 51051: d.RectTimeLimit = v; break;
    case 51052: d.UpsRunTime = v; break;
    case 51061: d.BattTimeLimit = v; break;
    case 51062: d.BattRunTime = v; break;
    case 51064: d.FanTimeLimit = v; break;
    case 51065: d.FanRunTime = v; break;
    case 51201: CfgRx[35] = lowByte(v); break;
    case 51202: CfgRx[36] = v == 0 ? 0 : 255; break;
    case 51203: CfgRx[37] = lowByte(v); break;
    case 51204: CfgRx[38] = lowByte(v); break;
    case 51207: CfgRx[39] = lowByte(v); break;
    case 51208: CfgRx[40] = lowByte(v); break;
    default: break;
    }
}
// clang-format on
} // namespace

uint16_t& TStatusBlock::Word(int i)
{
    switch (i) {
    case 0: return CmmStaH;
    case 1: return CmmStaL;
    case 2: return CmmAlmH;
    case 3: return CmmAlmL;
    case 4: return InvStaH;
    case 5: return InvStaL;
    case 6: return InvAlmH;
    case 7: return InvAlmL;
    case 8: return SysSta;
    default: return SysAlm;
    }
}

void StoreRegister(TUpsData& current, int reg, uint16_t value)
{
    if (reg >= 30001 && reg <= 30099) {
        storeSystemRegister(current, reg, value);
    } else if (reg >= 30101 && reg <= 31700) {
        const int m = (reg - 30101) / 50 + 1;
        const int c = (reg - 30101) % 50 + 1;
        TModuleData& md = ModuleData[m];
        storeModuleRegister(md, c, value);
        md.ModState = DecodeState(md.Status);
        md.Status.State = md.ModState; // a module keeps its state in the block's state byte too
    } else if (reg >= 40001 && reg <= 40099) {
        storeHoldingRegister(current, reg, value);
    } else if (reg >= 51000 && reg <= 51999) {
        storeConfigRegister(current, reg, value);
        const int at = reg >= 51201 && reg <= 51204 ? reg - 51201 : reg == 51207 || reg == 51208 ? reg - 51203 : -1;
        if (at >= 0)
            CfgRegsFrom[at] = static_cast<uint8_t>(&current >= UpsData && &current <= UpsData + MaxDevAddr
                                                       ? &current - UpsData
                                                       : 0);
    } else if (reg >= 53000 && reg <= 53099) {
        if (reg <= 53014) {
            CfgRx[reg - 53000] = lowByte(value);
            CfgTextRecvd = FlagOn;
        } else if (reg >= 53020 && reg <= 53029) {
            CfgRx[reg - 53005] = lowByte(value);
            CfgTextRecvd = FlagOn;
        }
    } else if (reg >= 54000 && reg <= 54119) {
        if (reg <= 54099) {
            MdRxWords[reg - 54000] = value;
        } else if (reg == 54101) {
            MdRxModule = lowByte(value);
        } else if (reg == 54102) {
            MdRxLen = lowByte(value);
            MdRxNew = FlagOn;
        }
    }
    if (reg >= 0 && reg <= 65535) RegMirror[reg] = value;
}

uint16_t WriteValue(int reg)
{
    const TParaSet& p = ParaSet;
    switch (reg) {
    case 40002: return p.Para40002;
    case 40003: return p.Para40003;
    case 40004: return static_cast<uint16_t>(p.Para40004 & 0xFFFF);
    case 40005: return p.Para40005;
    case 40006: return p.Para40006;
    case 40007: return p.Para40007;
    case 40008: return p.Para40008;
    case 40009: return p.Para40009;
    case 40011: return p.Para40011;
    case 40012: return p.Para40012;
    case 40013: return p.Para40013;
    case 40014: return p.Para40014;
    case 40015: return p.Para40015;
    case 40016: return p.Para40016;
    case 40017: return p.Para40017;
    case 40018: return p.Para40018;
    case 40019: return p.Para40019;
    case 40020: return p.Para40020;
    case 40021: return p.Para40021;
    case 40022: return p.Para40022;
    case 40023: return p.Para40023;
    case 40025: return p.Para40025;
    case 40027: return p.Para40027;
    case 40030: return p.Para40030;
    case 40034: return p.Para40034;
    default: break;
    }
    if (reg >= 53000 && reg <= 53014) return CfgEdit[reg - 53000];
    if (reg >= 53020 && reg <= 53029) return CfgEdit[reg - 53005];
    return 0;
}

uint8_t DecodeState(const TStatusBlock& b)
{
    auto bit = [](uint16_t w, int n) { return ((w >> n) & 1u) != 0; };
    if (!bit(b.CmmStaL, 15)) return 15;
    if (bit(b.CmmStaH, 13) || bit(b.InvStaH, 3)) return 9;
    if (b.CmmAlmH != 0 || bit(b.CmmAlmL, 15) || (b.InvAlmH & 0xFC8C) != 0) return 11;
    if (bit(b.InvStaH, 13)) return 10;
    const int s = (b.InvStaH >> 7) & 3;
    const int k = (b.InvStaH >> 9) & 3;
    if (s == 1) return 3;
    if (k == 0) return 1;
    if (k == 1) return 7;
    if (k == 2 || s == 0) return 2;
    // s = 2 or 3, k = 3
    if (!bit(b.CmmStaH, 14)) return 2;
    if (bit(b.CmmStaH, 10)) return 4;
    if (bit(b.CmmStaH, 9)) return 6;
    return 5;
}

void DecodeStatusBlock(TStatusBlock& block)
{
    block.State = DecodeState(block);
    block.SupplyMode = (block.InvStaH >> 7) & 3;
    block.InvMode = (block.InvStaH >> 9) & 3;
}

QString RegisterCaption(int reg)
{
    struct Caption {
        int reg;
        const char* en;
        const char* zh;
    };
    static const Caption captions[] = {
        {30043, "Rectifier Elapsed time(hour)", "UPS已运行时间(小时)"},
        {51051, "Rectifier Time limit(hour)", "运行时间报警上限(小时)"},
        {51061, "Battery Time limit(hour)", "电池时间上限(小时)"},
        {51062, "Battery Elapsed time(hour)", "电池已运行时间(小时)"},
        {51064, "Fan Time limit(hour)", "风扇时间上限(小时)"},
        {51065, "Fan Elapsed time(hour)", "风扇已运行时间(小时)"},
    };
    for (const Caption& c : captions)
        if (c.reg == reg) return QString::fromUtf8(IsChinese() ? c.zh : c.en);
    return QString::number(reg);
}

void DecodeRecordReply(const uint8_t* f, TRecordData& rec)
{
    auto bcd = [](uint8_t b) { return static_cast<uint8_t>((b >> 4) * 10 + (b & 0x0F)); };
    auto word = [f](int i) { return static_cast<uint16_t>((f[i] << 8) | f[i + 1]); };
    rec.DevID = f[0];
    rec.RecNo = word(5);
    rec.Year = static_cast<uint16_t>(2000 + bcd(f[7]));
    rec.Month = bcd(f[8]);
    rec.Day = bcd(f[9]);
    rec.Hour = bcd(f[10]);
    rec.Minute = bcd(f[11]);
    rec.Second = bcd(f[12]);
    rec.UpsState = f[13];
    rec.ModuleID = f[14];
    rec.EventNo = f[15];
    rec.AlarmNo = f[16];
    // The wire order of the status words differs from the record's field order.
    rec.CMMState = word(17);
    rec.INVStateH = word(21);
    rec.INVStateL = word(23);
    rec.CMMAlarmH = word(25);
    rec.CMMAlarmL = word(27);
    rec.INVAlarmH = word(29);
    rec.INVAlarmL = word(31);
    rec.MontState = word(33);
    rec.MontAlarm = word(35);
    rec.InputV_A = word(37);
    rec.InputV_B = word(39);
    rec.InputV_C = word(41);
    rec.InputFreq = word(43);
    rec.OutputV_A = word(45);
    rec.OutputV_B = word(47);
    rec.OutputV_C = word(49);
    rec.OutputI_A = word(51);
    rec.OutputI_B = word(53);
    rec.OutputI_C = word(55);
    rec.OutputFreq = word(57);
    rec.PBattV = word(59);
    rec.NBattV = word(61);
    rec.PBattI = word(63);
    rec.NBattI = word(65);
    const uint16_t temp = word(67);
    // Module records carry tenths of a degree; the cabinet's own records whole degrees.
    rec.Temperature = f[14] != 0 ? temp / 10 : temp;
}

void ResetRegisterMap()
{
    for (auto& d : UpsData) d = TUpsData{};
    for (auto& m : ModuleData) m = TModuleData{};
    std::memset(RegMirror, 0, sizeof RegMirror);
    std::memset(CfgRx, 0, sizeof CfgRx);
    std::memset(CfgEdit, 0, sizeof CfgEdit);
    std::memset(MaskWords, 0, sizeof MaskWords);
    MaskRecvd = 0;
    CfgTextRecvd = 0;
    std::memset(CfgRegsFrom, 0, sizeof CfgRegsFrom);
    OptBaud = 0;
    OptProtocol = 0;
    std::memset(MdRxWords, 0, sizeof MdRxWords);
    MdRxModule = 0;
    MdRxLen = 0;
    MdRxNew = 0;
    ParaSet = TParaSet{};
}
