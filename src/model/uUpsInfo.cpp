#include "model/uUpsInfo.h"

#include <cstring>

uint8_t CfgEdit[CfgSize];
TParaSet ParaSet;

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

void ResetEditCopies()
{
    std::memset(CfgEdit, 0, sizeof CfgEdit);
    ParaSet = TParaSet{};
}
