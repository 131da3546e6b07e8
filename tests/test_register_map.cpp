// Where every received register lands, the derived running state, the values function-16
// writes send, the register captions and the decoding of an event record.
#include "model/UShareData.h"
#include "model/uCabinetValues.h"
#include "model/uUpsInfo.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

// The values this test stores into: a cabinet's values of its own, no link.
TCabinetValues values;

class RegisterMap : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetAll();
        values.Reset();
    }
    TUpsData& rec = values.UpsData[1];
    void store(int reg, uint16_t value) { values.StoreRegister(rec, reg, value); }
};

// Single values: one register, one value, the field it must end in.
struct ValueCase {
    const char* name;
    int reg;
    uint16_t value;
    std::function<double()> field;
    double expected;
};

std::vector<ValueCase> valueCases()
{
    return {
        {"InVoltA", 30001, 2304, [] { return values.UpsData[1].InVolt[0]; }, 230.4},
        {"InVoltC", 30003, 2311, [] { return values.UpsData[1].InVolt[2]; }, 231.1},
        {"InFreq", 30004, 500, [] { return values.UpsData[1].InFreq; }, 50.0},
        {"InCurrB", 30006, 123, [] { return values.UpsData[1].InCurr[1]; }, 12.3},
        {"InPFA", 30008, 98, [] { return values.UpsData[1].InPF[0]; }, 0.98},
        {"InPFC", 30010, 99, [] { return values.UpsData[1].InPF[2]; }, 0.99},
        {"OutVoltB", 30012, 2200, [] { return values.UpsData[1].OutVolt[1]; }, 220.0},
        {"OutFreq", 30014, 601, [] { return values.UpsData[1].OutFreq; }, 60.1},
        {"OutCurrC", 30017, 75, [] { return values.UpsData[1].OutCurr[2]; }, 7.5},
        {"OutPowerA", 30018, 1005, [] { return values.UpsData[1].OutPower[0]; }, 100.5},
        {"LoadPctC", 30023, 456, [] { return values.UpsData[1].LoadPct[2]; }, 45.6},
        {"LoadPeakA", 30024, 87, [] { return values.UpsData[1].LoadPeak[0]; }, 0.87},
        {"BpsVoltB", 30028, 2299, [] { return values.UpsData[1].BpsVolt[1]; }, 229.9},
        {"BpsFreq", 30030, 499, [] { return values.UpsData[1].BpsFreq; }, 49.9},
        {"BattVoltNeg", 30032, 2701, [] { return values.UpsData[1].BattVolt[1]; }, 270.1},
        {"BattDisCurrPos", 30033, 11, [] { return values.UpsData[1].BattDisCurr[0]; }, 1.1},
        {"BattDisCurrNeg", 30034, 12, [] { return values.UpsData[1].BattDisCurr[1]; }, 1.2},
        {"BattChgCurrPos", 30035, 21, [] { return values.UpsData[1].BattChgCurr[0]; }, 2.1},
        {"BattChgCurrNeg", 30036, 22, [] { return values.UpsData[1].BattChgCurr[1]; }, 2.2},
        {"BattChgRateNoSignNoScale", 30037, 65535, [] { return double(values.UpsData[1].BattChgRate); },
         65535},
        {"BattSupportMinutes", 30038, 40000, [] { return double(values.UpsData[1].BattSupport); }, 40000},
        {"BattTemp", 30039, 253, [] { return values.UpsData[1].BattTemp; }, 25.3},
        {"InsideTemp", 30040, 301, [] { return values.UpsData[1].InsideTemp; }, 30.1},
        {"UpsRunTimeFrom30043", 30043, 50000, [] { return double(values.UpsData[1].UpsRunTime); }, 50000},
        {"UpsRunTimeFrom51052", 51052, 777, [] { return double(values.UpsData[1].UpsRunTime); }, 777},
        {"Para40002LowByte", 40002, 0x1234, [] { return double(values.UpsData[1].Para40002); }, 0x34},
        {"Para40004Raw", 40004, 0xFFFF, [] { return double(values.UpsData[1].Para40004); }, 65535},
        {"Para40010LowByte", 40010, 0x01FF, [] { return double(values.UpsData[1].Para40010); }, 0xFF},
        {"Para40012LowByte", 40012, 0x0A0B, [] { return double(values.UpsData[1].Para40012); }, 0x0B},
        {"Para40013Raw", 40013, 0xFFF6, [] { return double(values.UpsData[1].Para40013); }, 0xFFF6},
        {"Para40024Raw", 40024, 0x8001, [] { return double(values.UpsData[1].Para40024); }, 0x8001},
        {"Para40025Raw", 40025, 321, [] { return double(values.UpsData[1].Para40025); }, 321},
        {"Para40030Raw", 40030, 0xABCD, [] { return double(values.UpsData[1].Para40030); }, 0xABCD},
        {"Para40034Raw", 40034, 34, [] { return double(values.UpsData[1].Para40034); }, 34},
        {"Para40035Raw", 40035, 35, [] { return double(values.UpsData[1].Para40035); }, 35},
        {"RectTimeLimit", 51051, 8760, [] { return double(values.UpsData[1].RectTimeLimit); }, 8760},
        {"BattTimeLimit", 51061, 1000, [] { return double(values.UpsData[1].BattTimeLimit); }, 1000},
        {"BattRunTime", 51062, 999, [] { return double(values.UpsData[1].BattRunTime); }, 999},
        {"FanTimeLimit", 51064, 2000, [] { return double(values.UpsData[1].FanTimeLimit); }, 2000},
        {"FanRunTime", 51065, 1999, [] { return double(values.UpsData[1].FanRunTime); }, 1999},
        {"OptBaud", 51024, 9600, [] { return double(values.OptBaud); }, 9600},
        {"OptBaudUnsigned", 51024, 0xFFFF, [] { return double(values.OptBaud); }, 65535},
        {"OptProtocol", 51029, 1, [] { return double(values.OptProtocol); }, 1},
        {"Module1BusVolt", 30101, 3801, [] { return values.ModuleData[1].BusVolt[0]; }, 380.1},
        {"Module2Place1", 30151, 500, [] { return values.ModuleData[2].BusVolt[0]; }, 50.0},
        {"Module2InvVoltC", 30155, 2302, [] { return values.ModuleData[2].InvVolt[2]; }, 230.2},
        {"Module2InvCurrA", 30156, 44, [] { return values.ModuleData[2].InvCurr[0]; }, 4.4},
        {"Module2InvFreq", 30159, 500, [] { return values.ModuleData[2].InvFreq; }, 50.0},
        {"Module2TempB", 30161, 456, [] { return values.ModuleData[2].Temp[1]; }, 45.6},
        {"Module2DcBusVoltA", 30170, 4000, [] { return values.ModuleData[2].DcBusVolt[0]; }, 400.0},
        {"Module2DcBusVoltB", 30171, 4001, [] { return values.ModuleData[2].DcBusVolt[1]; }, 400.1},
        {"Module2MdSend", 30172, 60000, [] { return double(values.ModuleData[2].MdSend); }, 60000},
        {"Module2MdAccept", 30173, 59000, [] { return double(values.ModuleData[2].MdAccept); }, 59000},
        {"Module2MdAckOk", 30174, 58000, [] { return double(values.ModuleData[2].MdAckOk); }, 58000},
        {"Module2BattVoltB", 30176, 2702, [] { return values.ModuleData[2].BattVolt[1]; }, 270.2},
        {"Module2BattDisCurrA", 30177, 13, [] { return values.ModuleData[2].BattDisCurr[0]; }, 1.3},
        {"Module2BattChgCurrB", 30180, 14, [] { return values.ModuleData[2].BattChgCurr[1]; }, 1.4},
        {"Module2ChgRateRaw", 30181, 95, [] { return values.ModuleData[2].ChgRate; }, 95},
        {"Module2RemainTimeRaw", 30182, 120, [] { return values.ModuleData[2].RemainTime; }, 120},
        {"Module32LastPlace", 31682, 77, [] { return values.ModuleData[32].RemainTime; }, 77},
        {"MaskWord0", 40082, 0x1111, [] { return double(values.MaskWords[0]); }, 0x1111},
        {"MaskWord9", 40091, 0x9999, [] { return double(values.MaskWords[9]); }, 0x9999},
        {"MdRxWordFirst", 54000, 0xBEEF, [] { return double(values.MdRxWords[0]); }, 0xBEEF},
        {"MdRxWordLast", 54099, 0x0102, [] { return double(values.MdRxWords[99]); }, 0x0102},
        {"MdRxModuleLowByte", 54101, 0x0307, [] { return double(values.MdRxModule); }, 7},
        {"MdRxLenLowByte", 54102, 0x0140, [] { return double(values.MdRxLen); }, 0x40},
        {"MdRxNewSetBy54102", 54102, 0, [] { return double(values.MdRxNew); }, 255},
        {"CfgRxCompanyFirst", 53000, 0x1241, [] { return double(values.CfgRx[0]); }, 0x41},
        {"CfgRxCompanyLast", 53014, 0x004F, [] { return double(values.CfgRx[14]); }, 0x4F},
        {"CfgRxModelFirst", 53020, 0x0050, [] { return double(values.CfgRx[15]); }, 0x50},
        {"CfgRxModelLast", 53029, 0x0159, [] { return double(values.CfgRx[24]); }, 0x59},
        {"CfgRx51201", 51201, 0x0203, [] { return double(values.CfgRx[35]); }, 3},
        {"CfgRx51202Seven", 51202, 7, [] { return double(values.CfgRx[36]); }, 255},
        {"CfgRx51202HighByteOnly", 51202, 0x0100, [] { return double(values.CfgRx[36]); }, 255},
        {"CfgRx51203", 51203, 4, [] { return double(values.CfgRx[37]); }, 4},
        {"CfgRx51204", 51204, 5, [] { return double(values.CfgRx[38]); }, 5},
        {"CfgRx51207", 51207, 6, [] { return double(values.CfgRx[39]); }, 6},
        {"CfgRx51208", 51208, 0x0108, [] { return double(values.CfgRx[40]); }, 8},
    };
}

class RegisterValue : public ::testing::TestWithParam<ValueCase> {
protected:
    void SetUp() override
    {
        ResetAll();
        values.Reset();
    }
};

TEST_P(RegisterValue, LandsScaledInItsField)
{
    const ValueCase& c = GetParam();
    values.StoreRegister(values.UpsData[1], c.reg, c.value);
    EXPECT_NEAR(c.field(), c.expected, 1e-9);
    EXPECT_EQ(values.RegMirror[c.reg], c.value);
}

INSTANTIATE_TEST_SUITE_P(Table, RegisterValue, ::testing::ValuesIn(valueCases()),
                         [](const auto& info) { return std::string(info.param.name); });

// Every field of a module record, in one list, to see whether anything changed.
std::vector<double> moduleFields(const TModuleData& m)
{
    std::vector<double> v(std::begin(m.BusVolt), std::end(m.BusVolt));
    for (double x : m.InvVolt) v.push_back(x);
    for (double x : m.InvCurr) v.push_back(x);
    v.push_back(m.InvFreq);
    for (double x : m.DcBusVolt) v.push_back(x);
    for (double x : m.Temp) v.push_back(x);
    for (double x : m.BattVolt) v.push_back(x);
    for (double x : m.BattDisCurr) v.push_back(x);
    for (double x : m.BattChgCurr) v.push_back(x);
    v.push_back(m.ChgRate);
    v.push_back(m.RemainTime);
    for (int i = 0; i < 10; ++i) v.push_back(m.Status.Word(i));
    v.push_back(m.MdSend);
    v.push_back(m.MdAccept);
    v.push_back(m.MdAckOk);
    return v;
}

TEST_F(RegisterMap, UpsRunTimeTakesWhicheverCameLast)
{
    store(30043, 100);
    store(51052, 200);
    EXPECT_EQ(rec.UpsRunTime, 200u);
    store(30043, 300);
    EXPECT_EQ(rec.UpsRunTime, 300u);
}

TEST_F(RegisterMap, ValuesLandInTheRecordPassedIn)
{
    values.StoreRegister(values.UpsData[5], 30001, 2304);
    values.StoreRegister(values.UpsData[5], 40002, 7);
    EXPECT_DOUBLE_EQ(values.UpsData[5].InVolt[0], 230.4);
    EXPECT_EQ(values.UpsData[5].Para40002, 7);
    EXPECT_DOUBLE_EQ(values.UpsData[1].InVolt[0], 0.0);
    EXPECT_EQ(values.UpsData[1].Para40002, 0);
}

TEST_F(RegisterMap, ModulePlacesWithoutFieldStoreNothing)
{
    for (int m : {1, 2, 32}) {
        for (int place = 33; place <= 50; ++place) {
            const int reg = 30101 + 50 * (m - 1) + place - 1;
            SCOPED_TRACE(reg);
            std::vector<TModuleData> before(values.ModuleData, values.ModuleData + ModuleCount + 1);
            store(reg, 0xFFFF);
            for (int k = 1; k <= ModuleCount; ++k)
                EXPECT_EQ(moduleFields(values.ModuleData[k]), moduleFields(before[k]));
            EXPECT_EQ(values.RegMirror[reg], 0xFFFF);
        }
    }
}

TEST_F(RegisterMap, SystemStatusWordsLandOutOfOrder)
{
    for (int r = 30082; r <= 30091; ++r) store(r, static_cast<uint16_t>(0x1000 + r - 30082));
    const int expectedReg[10] = {30082, 30083, 30086, 30087, 30084, 30085, 30088, 30089, 30090, 30091};
    for (int w = 0; w < 10; ++w) {
        SCOPED_TRACE(w);
        EXPECT_EQ(rec.Status.Word(w), 0x1000 + expectedReg[w] - 30082);
    }
    EXPECT_EQ(rec.Status.InvStaH, 0x1002);
    EXPECT_EQ(rec.Status.CmmAlmH, 0x1004);
}

TEST_F(RegisterMap, ModuleStatusWordsLandOutOfOrder)
{
    // Module 3, places 12..19.
    const int base = 30101 + 50 * 2;
    for (int place = 12; place <= 19; ++place) store(base + place - 1, static_cast<uint16_t>(0x2000 + place));
    const int expectedPlace[8] = {12, 13, 16, 17, 14, 15, 18, 19};
    for (int w = 0; w < 8; ++w) {
        SCOPED_TRACE(w);
        EXPECT_EQ(values.ModuleData[3].Status.Word(w), 0x2000 + expectedPlace[w]);
    }
    EXPECT_EQ(values.ModuleData[3].Status.SysSta, 0);
    EXPECT_EQ(values.ModuleData[3].Status.SysAlm, 0);
}

TEST_F(RegisterMap, SysStateFollowsEveryRegisterOfTheSystemRange)
{
    rec.Status.CmmStaL = 0x8000; // set behind the map's back: only a recompute can see it
    store(40001, 1);
    EXPECT_EQ(rec.SysState, 0);
    store(30099, 1); // no field, still recomputes
    EXPECT_EQ(rec.SysState, 1);
    rec.Status.InvStaH = 0x0080;
    store(30001, 2304);
    EXPECT_EQ(rec.SysState, 3);
    store(30083, 0); // data-valid bit cleared
    EXPECT_EQ(rec.SysState, 15);
}

TEST_F(RegisterMap, EveryModuleRegisterRecomputesModState)
{
    values.ModuleData[4].Status.CmmStaL = 0x8000;
    store(30001, 1);
    store(40001, 1);
    store(31701, 1);

    store(30101 + 150 + 49, 1); // place 50 of module 4: no field, still recomputes
    store(30101 + 150 + 13, 0x0080); // InvStaH of module 4
}

TEST_F(RegisterMap, RecordCounterHalvesAreReplacedIndependently)
{
    store(40051, 0x1111);
    store(40052, 0x2222);
    EXPECT_EQ(values.RecInfo.MaxRec, 0x11112222);
    store(40052, 0x3333);
    EXPECT_EQ(values.RecInfo.MaxRec, 0x11113333);
    store(40051, 0xAAAA);
    EXPECT_EQ(static_cast<uint32_t>(values.RecInfo.MaxRec), 0xAAAA3333u);
    EXPECT_LT(values.RecInfo.MaxRec, 0);

    store(40054, 0x0005);
    EXPECT_EQ(values.RecInfo.AllRec, 5);
    store(40053, 0x0001);
    EXPECT_EQ(values.RecInfo.AllRec, 0x00010005);
    store(40054, 0);
    EXPECT_EQ(values.RecInfo.AllRec, 0x00010000);
    EXPECT_EQ(static_cast<uint32_t>(values.RecInfo.MaxRec), 0xAAAA3333u);
    store(40055, 0x7777);
    EXPECT_EQ(values.RecInfo.AllRec, 0x00010000);
}

TEST_F(RegisterMap, RecordCountersFlagSetOnlyBy40051To40055)
{
    struct {
        int reg;
        bool sets;
    } cases[] = {{40050, false}, {40051, true}, {40052, true},  {40053, true},
                 {40054, true},  {40055, true}, {40056, false}, {30051, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reg);
        values.RecInfo.RecCntRecvd = FlagOff;
        store(c.reg, 1);
        EXPECT_EQ(values.RecInfo.RecCntRecvd, c.sets ? FlagOn : FlagOff);
    }
}

TEST_F(RegisterMap, MaskWordsFillAndTheFlagIsNeverCleared)
{
    store(40081, 0xAAAA);
    store(40092, 0xBBBB);
    EXPECT_EQ(values.MaskRecvd, FlagOff);
    for (int r = 40082; r <= 40091; ++r) store(r, static_cast<uint16_t>(0x0100 + r - 40082));
    for (int i = 0; i < 10; ++i) EXPECT_EQ(values.MaskWords[i], 0x0100 + i);
    EXPECT_EQ(values.MaskRecvd, FlagOn);
    store(40081, 0);
    store(40085, 0);
    EXPECT_EQ(values.MaskRecvd, FlagOn);
    EXPECT_EQ(values.MaskWords[3], 0);
}

TEST_F(RegisterMap, ModuleBufferRegisters)
{
    store(54100, 0x1234);
    store(54103, 0x1234);
    store(54119, 0x1234);
    EXPECT_EQ(values.MdRxModule, 0);
    EXPECT_EQ(values.MdRxLen, 0);
    EXPECT_EQ(values.MdRxNew, FlagOff);
    store(54101, 0x0105);
    EXPECT_EQ(values.MdRxNew, FlagOff);
    store(54102, 0x0010);
    EXPECT_EQ(values.MdRxModule, 5);
    EXPECT_EQ(values.MdRxLen, 0x10);
    EXPECT_EQ(values.MdRxNew, FlagOn);
    for (int r = 54000; r <= 54099; ++r) store(r, static_cast<uint16_t>(r));
    for (int i = 0; i < 100; ++i) EXPECT_EQ(values.MdRxWords[i], 54000 + i);
}

TEST_F(RegisterMap, ConfigurationGapsStoreNothing)
{
    for (int r : {53015, 53019, 53030, 53099, 51200, 51205, 51206, 51209, 51023, 51025}) store(r, 0x00FF);
    for (int i = 0; i < CfgSize; ++i) EXPECT_EQ(values.CfgRx[i], 0) << "byte " << i;
    EXPECT_EQ(values.OptBaud, 0);
    EXPECT_EQ(values.OptProtocol, 0);
    store(51202, 0);
    EXPECT_EQ(values.CfgRx[36], 0);
}

TEST_F(RegisterMap, MirrorKeepsEveryRegisterNumber)
{
    auto valueOf = [](int r) { return static_cast<uint16_t>((r * 7) ^ 0x5A5A); };
    for (int r = 0; r <= 65535; ++r) store(r, valueOf(r));
    int wrong = 0;
    for (int r = 0; r <= 65535; ++r) wrong += values.RegMirror[r] != valueOf(r);
    EXPECT_EQ(wrong, 0);
    // Numbers outside the mirror are ignored rather than written anywhere.
    store(-1, 1);
    store(65536, 1);
    store(70000, 1);
    EXPECT_EQ(values.RegMirror[0], valueOf(0));
    EXPECT_EQ(values.RegMirror[65535], valueOf(65535));
}

// The running state, one row per rule and branch.
struct StateCase {
    const char* name;
    uint16_t cmmStaH, cmmStaL, cmmAlmH, cmmAlmL, invStaH, invStaL, invAlmH, invAlmL, sysSta, sysAlm;
    uint8_t expected;
};

class DecodeStateTable : public ::testing::TestWithParam<StateCase> {};

TEST_P(DecodeStateTable, GivesTheCode)
{
    const StateCase& c = GetParam();
    TStatusBlock b;
    b.CmmStaH = c.cmmStaH;
    b.CmmStaL = c.cmmStaL;
    b.CmmAlmH = c.cmmAlmH;
    b.CmmAlmL = c.cmmAlmL;
    b.InvStaH = c.invStaH;
    b.InvStaL = c.invStaL;
    b.InvAlmH = c.invAlmH;
    b.InvAlmL = c.invAlmL;
    b.SysSta = c.sysSta;
    b.SysAlm = c.sysAlm;
    EXPECT_EQ(DecodeState(b), c.expected);

    DecodeStatusBlock(b);
    EXPECT_EQ(b.State, c.expected);
    EXPECT_EQ(b.SupplyMode, (c.invStaH >> 7) & 3);
    EXPECT_EQ(b.InvMode, (c.invStaH >> 9) & 3);
}

constexpr uint16_t V = 0x8000; // CmmStaL data-valid bit
constexpr uint16_t inv(int s, int k) { return static_cast<uint16_t>((s << 7) | (k << 9)); }

INSTANTIATE_TEST_SUITE_P(
    Table, DecodeStateTable,
    ::testing::Values(
        // name, CmmStaH, CmmStaL, CmmAlmH, CmmAlmL, InvStaH, InvStaL, InvAlmH, InvAlmL, SysSta, SysAlm
        StateCase{"AllZeroNoLink", 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 15},
        StateCase{"ValidBitClearBeatsAll", 0xFFFF, 0x7FFF, 0xFFFF, 0xFFFF, 0xFFFF, 0, 0xFFFF, 0, 0, 0, 15},
        StateCase{"Standby", 0, V, 0, 0, 0, 0, 0, 0, 0, 0, 1},
        StateCase{"OtherWordsIgnored", 0, V, 0, 0x7FFF, 0, 0xFFFF, 0x0373, 0xFFFF, 0xFFFF, 0xFFFF, 1},
        StateCase{"EpoByCmmStaH13", 0x2000, V, 0, 0, 0, 0, 0, 0, 0, 0, 9},
        StateCase{"EpoByInvStaH3", 0, V, 0, 0, 0x0008, 0, 0, 0, 0, 0, 9},
        StateCase{"EpoBeatsFault", 0x2000, V, 0xFFFF, 0x8000, 0x2000, 0, 0xFC8C, 0, 0, 0, 9},
        StateCase{"FaultByCmmAlmH", 0, V, 0x0001, 0, 0, 0, 0, 0, 0, 0, 11},
        StateCase{"FaultByCmmAlmL15", 0, V, 0, 0x8000, 0, 0, 0, 0, 0, 0, 11},
        StateCase{"FaultByInvAlmHBit2", 0, V, 0, 0, 0, 0, 0x0004, 0, 0, 0, 11},
        StateCase{"FaultByInvAlmHBit15", 0, V, 0, 0, 0, 0, 0x8000, 0, 0, 0, 11},
        StateCase{"InvAlmHBit0NotAFault", 0, V, 0, 0, 0, 0, 0x0001, 0, 0, 0, 1},
        StateCase{"InvAlmHOutsideMaskNotAFault", 0, V, 0, 0, 0, 0, 0x0373, 0, 0, 0, 1},
        StateCase{"FaultBeatsMaintainBypass", 0, V, 0, 0x8000, 0x2000, 0, 0, 0, 0, 0, 11},
        StateCase{"MaintainBypass", 0, V, 0, 0, 0x2000, 0, 0, 0, 0, 0, 10},
        StateCase{"MaintainBypassBeatsModes", 0x4400, V, 0, 0, static_cast<uint16_t>(0x2000 | inv(3, 3)), 0,
                  0, 0, 0, 0, 10},
        StateCase{"S0K0", 0, V, 0, 0, inv(0, 0), 0, 0, 0, 0, 0, 1},
        StateCase{"S0K1", 0, V, 0, 0, inv(0, 1), 0, 0, 0, 0, 0, 7},
        StateCase{"S0K2", 0, V, 0, 0, inv(0, 2), 0, 0, 0, 0, 0, 2},
        StateCase{"S0K3IgnoresCmmStaH", 0x4400, V, 0, 0, inv(0, 3), 0, 0, 0, 0, 0, 2},
        StateCase{"S1Bypass", 0, V, 0, 0, inv(1, 0), 0, 0, 0, 0, 0, 3},
        StateCase{"S1K1Bypass", 0, V, 0, 0, inv(1, 1), 0, 0, 0, 0, 0, 3},
        StateCase{"S1K3Bypass", 0x4400, V, 0, 0, inv(1, 3), 0, 0, 0, 0, 0, 3},
        StateCase{"S2K0", 0, V, 0, 0, inv(2, 0), 0, 0, 0, 0, 0, 1},
        StateCase{"S2K1", 0, V, 0, 0, inv(2, 1), 0, 0, 0, 0, 0, 7},
        StateCase{"S2K2", 0x4400, V, 0, 0, inv(2, 2), 0, 0, 0, 0, 0, 2},
        StateCase{"S2K3Online", 0x4400, V, 0, 0, inv(2, 3), 0, 0, 0, 0, 0, 4},
        StateCase{"S2K3Battery", 0x4000, V, 0, 0, inv(2, 3), 0, 0, 0, 0, 0, 5},
        StateCase{"S2K3NoBit14", 0, V, 0, 0, inv(2, 3), 0, 0, 0, 0, 0, 2},
        StateCase{"S2K3Bit10WithoutBit14", 0x0400, V, 0, 0, inv(2, 3), 0, 0, 0, 0, 0, 2},
        StateCase{"S2K3SelfTest", 0x4200, V, 0, 0, inv(2, 3), 0, 0, 0, 0, 0, 6},
        StateCase{"S2K3Bit10BeatsBit9", 0x4600, V, 0, 0, inv(2, 3), 0, 0, 0, 0, 0, 4},
        StateCase{"S3K0", 0, V, 0, 0, inv(3, 0), 0, 0, 0, 0, 0, 1},
        StateCase{"S3K1", 0, V, 0, 0, inv(3, 1), 0, 0, 0, 0, 0, 7},
        StateCase{"S3K2", 0, V, 0, 0, inv(3, 2), 0, 0, 0, 0, 0, 2},
        StateCase{"S3K3SelfTest", 0x4200, V, 0, 0, inv(3, 3), 0, 0, 0, 0, 0, 6},
        StateCase{"S3K3Battery", 0x4000, V, 0, 0, inv(3, 3), 0, 0, 0, 0, 0, 5},
        StateCase{"OtherInvStaHBitsIgnored", 0, V, 0, 0, 0xD877, 0, 0, 0, 0, 0, 1}),
    [](const auto& info) { return std::string(info.param.name); });

// The function-16 value of every register around the configuration block and the parameters.
TEST_F(RegisterMap, WriteValueOfTheConfigurationBlock)
{
    for (int i = 0; i < CfgSize; ++i) CfgEdit[i] = static_cast<uint8_t>(0x80 + i);
    for (int r = 52990; r <= 53110; ++r) {
        SCOPED_TRACE(r);
        uint16_t expected = 0;
        if (r >= 53000 && r <= 53014) expected = static_cast<uint16_t>(0x80 + r - 53000);
        if (r >= 53020 && r <= 53029) expected = static_cast<uint16_t>(0x80 + 15 + r - 53020);
        EXPECT_EQ(WriteValue(r), expected);
    }
}

TEST_F(RegisterMap, WriteValueOfTheParameters)
{
    ParaSet.Para40002 = 0xF2;
    ParaSet.Para40004 = 0x00012345;
    ParaSet.Para40009 = 9;
    ParaSet.Para40011 = 11;
    ParaSet.Para40013 = 0xFFF3;
    ParaSet.Para40023 = 23;
    ParaSet.Para40025 = 25;
    ParaSet.Para40027 = 27;
    ParaSet.Para40030 = 30;
    ParaSet.Para40034 = 34;
    EXPECT_EQ(WriteValue(40002), 0x00F2);
    EXPECT_EQ(WriteValue(40004), 0x2345);
    EXPECT_EQ(WriteValue(40009), 9);
    EXPECT_EQ(WriteValue(40011), 11);
    EXPECT_EQ(WriteValue(40013), 0xFFF3);
    EXPECT_EQ(WriteValue(40023), 23);
    EXPECT_EQ(WriteValue(40025), 25);
    EXPECT_EQ(WriteValue(40027), 27);
    EXPECT_EQ(WriteValue(40030), 30);
    EXPECT_EQ(WriteValue(40034), 34);
    ParaSet.Para40004 = -1;
    EXPECT_EQ(WriteValue(40004), 0xFFFF);
    for (int r : {40001, 40010, 40026, 40031, 40032, 40033, 40036, 30001, 0, 65535})
        EXPECT_EQ(WriteValue(r), 0) << r;
}

TEST_F(RegisterMap, RegisterCaptionsInBothLanguages)
{
    struct {
        int reg;
        const char* en;
        const char* zh;
    } cases[] = {
        {30043, "Rectifier Elapsed time(hour)", "UPS已运行时间(小时)"},
        {51051, "Rectifier Time limit(hour)", "运行时间报警上限(小时)"},
        {51061, "Battery Time limit(hour)", "电池时间上限(小时)"},
        {51062, "Battery Elapsed time(hour)", "电池已运行时间(小时)"},
        {51064, "Fan Time limit(hour)", "风扇时间上限(小时)"},
        {51065, "Fan Elapsed time(hour)", "风扇已运行时间(小时)"},
        {51052, "51052", "51052"},
        {30001, "30001", "30001"},
        {7, "7", "7"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reg);
        LocalPara.Language = 0;
        EXPECT_EQ(RegisterCaption(c.reg), QString::fromUtf8(c.en));
        LocalPara.Language = 2; // anything but 1 is English
        EXPECT_EQ(RegisterCaption(c.reg), QString::fromUtf8(c.en));
        LocalPara.Language = 1;
        EXPECT_EQ(RegisterCaption(c.reg), QString::fromUtf8(c.zh));
    }
}

// A 71-byte function-20 reply: every word i of the record data (bytes 17..68) holds 0x0A00 + i
// unless a test sets it, so that a word read from the wrong place shows.
class RecordDecode : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetAll();
        values.Reset();
        const std::vector<uint8_t> head = HexBytes("07 14 44 43 06 01 2C 10 05 23 15 00 00 04 00 21 22");
        std::copy(head.begin(), head.end(), frame);
        for (int pos = 17; pos < 69; pos += 2) setWord(pos, static_cast<uint16_t>(0x0A00 + (pos - 17) / 2));
    }
    void setWord(int pos, uint16_t v)
    {
        frame[pos] = v >> 8;
        frame[pos + 1] = v & 0xFF;
    }
    TRecordData decode()
    {
        TRecordData rec;
        DecodeRecordReply(frame, rec);
        return rec;
    }
    uint8_t frame[RecordReplyLength] = {};
};

TEST_F(RecordDecode, HeaderAndBcdTime)
{
    const TRecordData r = decode();
    EXPECT_EQ(r.DevID, 7);
    EXPECT_EQ(r.RecNo, 300);
    EXPECT_EQ(r.Year, 2010);
    EXPECT_EQ(r.Month, 5);
    EXPECT_EQ(r.Day, 23);
    EXPECT_EQ(r.Hour, 15);
    EXPECT_EQ(r.Minute, 0);
    EXPECT_EQ(r.Second, 0);
    EXPECT_EQ(r.UpsState, 4);
    EXPECT_EQ(r.ModuleID, 0);
    EXPECT_EQ(r.EventNo, 0x21);
    EXPECT_EQ(r.AlarmNo, 0x22);
    EXPECT_TRUE(r.DateText.isEmpty());
}

TEST_F(RecordDecode, BcdWithoutDigitCheck)
{
    frame[7] = 0x99;
    frame[8] = 0x1A;
    frame[11] = 0x59;
    frame[12] = 0xFF;
    frame[5] = 0xFF;
    frame[6] = 0xFF;
    const TRecordData r = decode();
    EXPECT_EQ(r.Year, 2099);
    EXPECT_EQ(r.Month, 20);
    EXPECT_EQ(r.Minute, 59);
    EXPECT_EQ(r.Second, 165);
    EXPECT_EQ(r.RecNo, 65535);
}

TEST_F(RecordDecode, StatusWordsInWireOrder)
{
    const TRecordData r = decode();
    // Word 1 of the record data (bytes 19-20) is not decoded.
    EXPECT_EQ(r.CMMState, 0x0A00);
    EXPECT_EQ(r.INVStateH, 0x0A02);
    EXPECT_EQ(r.INVStateL, 0x0A03);
    EXPECT_EQ(r.CMMAlarmH, 0x0A04);
    EXPECT_EQ(r.CMMAlarmL, 0x0A05);
    EXPECT_EQ(r.INVAlarmH, 0x0A06);
    EXPECT_EQ(r.INVAlarmL, 0x0A07);
    EXPECT_EQ(r.MontState, 0x0A08);
    EXPECT_EQ(r.MontAlarm, 0x0A09);
    EXPECT_EQ(r.InputV_A, 0x0A0A);
    EXPECT_EQ(r.InputV_B, 0x0A0B);
    EXPECT_EQ(r.InputV_C, 0x0A0C);
    EXPECT_EQ(r.InputFreq, 0x0A0D);
    EXPECT_EQ(r.OutputV_A, 0x0A0E);
    EXPECT_EQ(r.OutputV_B, 0x0A0F);
    EXPECT_EQ(r.OutputV_C, 0x0A10);
    EXPECT_EQ(r.OutputI_A, 0x0A11);
    EXPECT_EQ(r.OutputI_B, 0x0A12);
    EXPECT_EQ(r.OutputI_C, 0x0A13);
    EXPECT_EQ(r.OutputFreq, 0x0A14);
    EXPECT_EQ(r.PBattV, 0x0A15);
    EXPECT_EQ(r.NBattV, 0x0A16);
    EXPECT_EQ(r.PBattI, 0x0A17);
    EXPECT_EQ(r.NBattI, 0x0A18);
    EXPECT_EQ(r.Temperature, 0x0A19);
}

TEST_F(RecordDecode, TemperatureOfModuleRecordsIsTenths)
{
    setWord(67, 0x0159);
    frame[14] = 2;
    TRecordData r = decode();
    EXPECT_EQ(r.ModuleID, 2);
    EXPECT_EQ(r.Temperature, 34);
    frame[14] = 0;
    r = decode();
    EXPECT_EQ(r.Temperature, 345);
}

TEST_F(RecordDecode, KeepsDateTextAsItIs)
{
    TRecordData r;
    r.DateText = QStringLiteral("2020-01-01 00:00:00");
    DecodeRecordReply(frame, r);
    EXPECT_EQ(r.DateText, QStringLiteral("2020-01-01 00:00:00"));
    EXPECT_EQ(r.Year, 2010);
}
} // namespace
