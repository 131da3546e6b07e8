// The register table and the store agree: each named register has the number the cabinet
// documents (spelt here on its own), and a value stored once at that name lands in the field
// the name says, in a cabinet's values of their own.
#include "model/uCabinetValues.h"
#include "model/uRegisters.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

struct NamedCase {
    const char* name;
    int named;      // the table's register
    int documented; // the cabinet's number for it
    uint16_t value;
    std::function<double(const TCabinetValues&)> field;
    double expected;
};

using V = const TCabinetValues&;

std::vector<NamedCase> namedCases()
{
    return {
        {"InVolt", RegInVolt, 30001, 2304, [](V v) { return v.UpsData[1].InVolt[0]; }, 230.4},
        {"InVoltC", RegInVolt + 2, 30003, 2311, [](V v) { return v.UpsData[1].InVolt[2]; }, 231.1},
        {"InFreq", RegInFreq, 30004, 500, [](V v) { return v.UpsData[1].InFreq; }, 50.0},
        {"InCurr", RegInCurr, 30005, 123, [](V v) { return v.UpsData[1].InCurr[0]; }, 12.3},
        {"InPF", RegInPF, 30008, 98, [](V v) { return v.UpsData[1].InPF[0]; }, 0.98},
        {"OutVolt", RegOutVolt, 30011, 2200, [](V v) { return v.UpsData[1].OutVolt[0]; }, 220.0},
        {"OutFreq", RegOutFreq, 30014, 601, [](V v) { return v.UpsData[1].OutFreq; }, 60.1},
        {"OutCurr", RegOutCurr, 30015, 75, [](V v) { return v.UpsData[1].OutCurr[0]; }, 7.5},
        {"OutPower", RegOutPower, 30018, 1005, [](V v) { return v.UpsData[1].OutPower[0]; }, 100.5},
        {"LoadPct", RegLoadPct, 30021, 456, [](V v) { return v.UpsData[1].LoadPct[0]; }, 45.6},
        {"LoadPeak", RegLoadPeak, 30024, 87, [](V v) { return v.UpsData[1].LoadPeak[0]; }, 0.87},
        {"BpsVolt", RegBpsVolt, 30027, 2299, [](V v) { return v.UpsData[1].BpsVolt[0]; }, 229.9},
        {"BpsFreq", RegBpsFreq, 30030, 499, [](V v) { return v.UpsData[1].BpsFreq; }, 49.9},
        {"BattVolt", RegBattVolt, 30031, 2701, [](V v) { return v.UpsData[1].BattVolt[0]; }, 270.1},
        {"BattDisCurr", RegBattDisCurr, 30033, 11, [](V v) { return v.UpsData[1].BattDisCurr[0]; }, 1.1},
        {"BattChgCurr", RegBattChgCurr, 30035, 21, [](V v) { return v.UpsData[1].BattChgCurr[0]; }, 2.1},
        {"BattChgRate", RegBattChgRate, 30037, 77, [](V v) { return double(v.UpsData[1].BattChgRate); }, 77},
        {"BattSupport", RegBattSupport, 30038, 400, [](V v) { return double(v.UpsData[1].BattSupport); },
         400},
        {"BattTemp", RegBattTemp, 30039, 253, [](V v) { return v.UpsData[1].BattTemp; }, 25.3},
        {"InsideTemp", RegInsideTemp, 30040, 301, [](V v) { return v.UpsData[1].InsideTemp; }, 30.1},
        {"UpsRunTime", RegUpsRunTime, 30043, 5000, [](V v) { return double(v.UpsData[1].UpsRunTime); }, 5000},
        {"CmmStaH", RegCmmStaH, 30082, 0x1111, [](V v) { return double(v.UpsData[1].Status.CmmStaH); },
         0x1111},
        {"CmmStaL", RegCmmStaL, 30083, 0x2222, [](V v) { return double(v.UpsData[1].Status.CmmStaL); },
         0x2222},
        {"InvStaH", RegInvStaH, 30084, 0x3333, [](V v) { return double(v.UpsData[1].Status.InvStaH); },
         0x3333},
        {"InvStaL", RegInvStaL, 30085, 0x4444, [](V v) { return double(v.UpsData[1].Status.InvStaL); },
         0x4444},
        {"CmmAlmH", RegCmmAlmH, 30086, 0x5555, [](V v) { return double(v.UpsData[1].Status.CmmAlmH); },
         0x5555},
        {"CmmAlmL", RegCmmAlmL, 30087, 0x6666, [](V v) { return double(v.UpsData[1].Status.CmmAlmL); },
         0x6666},
        {"InvAlmH", RegInvAlmH, 30088, 0x7777, [](V v) { return double(v.UpsData[1].Status.InvAlmH); },
         0x7777},
        {"InvAlmL", RegInvAlmL, 30089, 0x0888, [](V v) { return double(v.UpsData[1].Status.InvAlmL); },
         0x0888},
        {"SysSta", RegSysSta, 30090, 0x0999, [](V v) { return double(v.UpsData[1].Status.SysSta); }, 0x0999},
        {"SysAlm", RegSysAlm, 30091, 0x0AAA, [](V v) { return double(v.UpsData[1].Status.SysAlm); }, 0x0AAA},
        // Module 3's block: 30101 + 2 * 50 = 30201 is its place 1.
        {"ModBusVolt", ModuleRegister(3, PlaceBusVolt), 30201, 500,
         [](V v) { return v.ModuleData[3].BusVolt[0]; }, 50.0},
        {"ModInvVolt", ModuleRegister(3, PlaceInvVolt), 30203, 2201,
         [](V v) { return v.ModuleData[3].InvVolt[0]; }, 220.1},
        {"ModInvCurr", ModuleRegister(3, PlaceInvCurr), 30206, 31,
         [](V v) { return v.ModuleData[3].InvCurr[0]; }, 3.1},
        {"ModInvFreq", ModuleRegister(3, PlaceInvFreq), 30209, 500,
         [](V v) { return v.ModuleData[3].InvFreq; }, 50.0},
        {"ModTemp", ModuleRegister(3, PlaceTemp), 30210, 412, [](V v) { return v.ModuleData[3].Temp[0]; },
         41.2},
        {"ModCmmStaH", ModuleRegister(3, PlaceCmmStaH), 30212, 0x0123,
         [](V v) { return double(v.ModuleData[3].Status.CmmStaH); }, 0x0123},
        {"ModCmmAlmH", ModuleRegister(3, PlaceCmmAlmH), 30216, 0x0456,
         [](V v) { return double(v.ModuleData[3].Status.CmmAlmH); }, 0x0456},
        {"ModInvAlmL", ModuleRegister(3, PlaceInvAlmL), 30219, 0x0789,
         [](V v) { return double(v.ModuleData[3].Status.InvAlmL); }, 0x0789},
        {"ModDcBusVolt", ModuleRegister(3, PlaceDcBusVolt), 30220, 3801,
         [](V v) { return v.ModuleData[3].DcBusVolt[0]; }, 380.1},
        {"ModMdSend", ModuleRegister(3, PlaceMdSend), 30222, 900,
         [](V v) { return double(v.ModuleData[3].MdSend); }, 900},
        {"ModMdAckOk", ModuleRegister(3, PlaceMdAckOk), 30224, 880,
         [](V v) { return double(v.ModuleData[3].MdAckOk); }, 880},
        {"ModBattVolt", ModuleRegister(3, PlaceBattVolt), 30225, 2702,
         [](V v) { return v.ModuleData[3].BattVolt[0]; }, 270.2},
        {"ModBattDisCurr", ModuleRegister(3, PlaceBattDisCurr), 30227, 12,
         [](V v) { return v.ModuleData[3].BattDisCurr[0]; }, 1.2},
        {"ModBattChgCurr", ModuleRegister(3, PlaceBattChgCurr), 30229, 22,
         [](V v) { return v.ModuleData[3].BattChgCurr[0]; }, 2.2},
        {"ModChgRate", ModuleRegister(3, PlaceChgRate), 30231, 95,
         [](V v) { return v.ModuleData[3].ChgRate; }, 95},
        {"ModRemainTime", ModuleRegister(3, PlaceRemainTime), 30232, 61,
         [](V v) { return v.ModuleData[3].RemainTime; }, 61},
        {"LastModuleLastPlace", ModuleRegister(ModuleBlockCount, 32), 31682, 7,
         [](V v) { return v.ModuleData[32].RemainTime; }, 7},
        {"MaxRecHigh", RegMaxRecHigh, 40051, 1, [](V v) { return double(v.RecInfo.MaxRec); }, 65536},
        {"MaxRecLow", RegMaxRecLow, 40052, 9, [](V v) { return double(v.RecInfo.MaxRec); }, 9},
        {"AllRecHigh", RegAllRecHigh, 40053, 2, [](V v) { return double(v.RecInfo.AllRec); }, 131072},
        {"AllRecLow", RegAllRecLow, 40054, 8, [](V v) { return double(v.RecInfo.AllRec); }, 8},
        {"MaskFirst", RegMaskFirst, 40082, 0xF00F, [](V v) { return double(v.MaskWords[0]); }, 0xF00F},
        {"MaskLast", RegMaskFirst + MaskWordCount - 1, 40091, 0x0FF0,
         [](V v) { return double(v.MaskWords[9]); }, 0x0FF0},
        {"OptBaud", RegOptBaud, 51024, 3, [](V v) { return double(v.OptBaud); }, 3},
        {"OptProtocol", RegOptProtocol, 51029, 2, [](V v) { return double(v.OptProtocol); }, 2},
        {"RectTimeLimit", RegRectTimeLimit, 51051, 8760,
         [](V v) { return double(v.UpsData[1].RectTimeLimit); }, 8760},
        {"UpsRunTimeCfg", RegUpsRunTimeCfg, 51052, 777, [](V v) { return double(v.UpsData[1].UpsRunTime); },
         777},
        {"BattTimeLimit", RegBattTimeLimit, 51061, 4000,
         [](V v) { return double(v.UpsData[1].BattTimeLimit); }, 4000},
        {"BattRunTime", RegBattRunTime, 51062, 1200, [](V v) { return double(v.UpsData[1].BattRunTime); },
         1200},
        {"FanTimeLimit", RegFanTimeLimit, 51064, 5000, [](V v) { return double(v.UpsData[1].FanTimeLimit); },
         5000},
        {"FanRunTime", RegFanRunTime, 51065, 300, [](V v) { return double(v.UpsData[1].FanRunTime); }, 300},
        {"BroadCast", RegBroadCast, 51201, 0x0102, [](V v) { return double(v.CfgRx[35]); }, 0x02},
        {"Remote", RegRemote, 51202, 7, [](V v) { return double(v.CfgRx[36]); }, 255},
        {"PwrRat", RegPwrRat, 51203, 3, [](V v) { return double(v.CfgRx[37]); }, 3},
        {"MdType", RegMdType, 51204, 1, [](V v) { return double(v.CfgRx[38]); }, 1},
        {"Confirm", RegConfirm, 51207, 5, [](V v) { return double(v.CfgRx[39]); }, 5},
        {"BtCalcBy", RegBtCalcBy, 51208, 1, [](V v) { return double(v.CfgRx[40]); }, 1},
        {"CompanyFirst", RegCompanyFirst, 53000, 'Z', [](V v) { return double(v.CfgRx[0]); }, 'Z'},
        {"CompanyLast", RegCompanyFirst + CompanyLength - 1, 53014, 'y',
         [](V v) { return double(v.CfgRx[14]); }, 'y'},
        {"ModelFirst", RegModelFirst, 53020, 'M', [](V v) { return double(v.CfgRx[15]); }, 'M'},
        {"ModelLast", RegModelFirst + ModelLength - 1, 53029, 'k', [](V v) { return double(v.CfgRx[24]); },
         'k'},
        {"RxBufFirst", RegRxBufFirst, 54000, 0xABCD, [](V v) { return double(v.MdRxWords[0]); }, 0xABCD},
        {"RxBufLast", RegRxBufFirst + RxBufWords - 1, 54099, 0x1234,
         [](V v) { return double(v.MdRxWords[99]); }, 0x1234},
        {"RxModule", RegRxModule, 54101, 0x0107, [](V v) { return double(v.MdRxModule); }, 7},
        {"RxLen", RegRxLen, 54102, 40, [](V v) { return double(v.MdRxLen); }, 40},
    };
}

class RegisterTable : public ::testing::TestWithParam<NamedCase> {};

TEST_P(RegisterTable, NameHasTheDocumentedNumberAndItsValueLandsInItsField)
{
    const NamedCase& c = GetParam();
    EXPECT_EQ(c.named, c.documented) << c.name;
    auto values = std::make_unique<TCabinetValues>();
    values->StoreRegister(values->UpsData[1], c.named, c.value);
    EXPECT_NEAR(c.field(*values), c.expected, 1e-9) << c.name;
    EXPECT_EQ(values->RegMirror[c.documented], c.value) << c.name << ": the mirror keeps the number received";
}

INSTANTIATE_TEST_SUITE_P(Named, RegisterTable, ::testing::ValuesIn(namedCases()),
                         [](const ::testing::TestParamInfo<NamedCase>& i) {
                             return std::string(i.param.name);
                         });

// The blocks the windows and the poll read, against the cabinet's documented numbers.
TEST(RegisterTableBlocks, BlocksHaveTheDocumentedStartsAndSizes)
{
    struct {
        const char* name;
        int named;
        int documented;
    } const blocks[] = {
        {"write enable", RegWriteEnable, 50000},
        {"write enable value", WriteEnableValue, 10},
        {"system block", RegSystemFirst, 30001},
        {"system block end", RegSystemLast, 30099},
        {"second value block", RegSystemTail, 30061},
        {"module block", RegModuleFirst, 30101},
        {"module stride", ModuleBlockStride, 50},
        {"module count", ModuleBlockCount, 32},
        {"module block end", RegModuleLast, 31700},
        {"module 32 place 50", ModuleRegister(32, 50), 31700},
        {"parameters", RegParaFirst, 40001},
        {"parameter count", ParaBlockCount, 35},
        {"holding end", RegHoldingLast, 40099},
        {"record counters", RegRecCountFirst, 40051},
        {"record counters end", RegRecCountLast, 40055},
        {"erase", RegRecErase, 40054},
        {"mask poll", RegMaskPoll, 40081},
        {"masks", RegMaskFirst, 40082},
        {"mask count", MaskWordCount, 10},
        {"configuration", RegConfigFirst, 51000},
        {"OPTION", RegOptFirst, 51021},
        {"OPTION count", OptBlockCount, 10},
        {"runtime", RegRunTimeFirst, 51051},
        {"runtime count", RunTimeBlockCount, 16},
        {"configuration registers", RegCfgRegsFirst, 51201},
        {"configuration register count", CfgRegsBlockCount, 8},
        {"texts", RegTextFirst, 53000},
        {"text count", TextBlockCount, 30},
        {"receive buffer", RegRxBufFirst, 54000},
        {"receive buffer read", RxBufReadCount, 103},
        {"receive buffer end", RegRxBufLast, 54119},
        {"record function", FuncRecord, 20},
        {"identification function", FuncIdentification, 43},
    };
    for (const auto& b : blocks) EXPECT_EQ(b.named, b.documented) << b.name;
}

// A module register lands in its module only: the stride and the place agree with the store.
TEST(RegisterTableBlocks, EachModulesFirstPlaceLandsInThatModuleOnly)
{
    auto values = std::make_unique<TCabinetValues>();
    for (int m = 1; m <= ModuleBlockCount; ++m)
        values->StoreRegister(values->UpsData[1], ModuleRegister(m, PlaceBusVolt),
                              static_cast<uint16_t>(10 * m));
    for (int m = 1; m <= ModuleBlockCount; ++m) EXPECT_DOUBLE_EQ(values->ModuleData[m].BusVolt[0], m) << m;
    EXPECT_DOUBLE_EQ(values->ModuleData[0].BusVolt[0], 0.0) << "entry 0 is never a module";
}

} // namespace
