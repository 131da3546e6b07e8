#include "settings/uMaskBitNames.h"

#include "model/uDataFunc.h"

namespace {

struct TMaskChannelTexts {
    TMaskText title;
    TMaskText bits[16]; // bit 15 first, bit 0 last
};

// clang-format off
const TMaskChannelTexts Channels[MaskChannelCount] = {
    // 40082
    {{"State Info 1", "整机状态位信息1"},
     {{"Input Switch Status", "输入空开状态"},
      {"Rectifier Status", "整流器状态"},
      {"EPO Status", "紧急关机"},
      {"limited rectifier current", "整流器限流"},
      {"Input Supply Power Status", "输入供电状态"},
      {"Input Supply Power Mode", "输入供电模式"},
      {"Battery Self-Test", "电池自检"},
      {"Battery Chargering", "电池充电"},
      {"P-Battery Boost/Float Chargering", "正组电池均浮充"},
      {"N-battery Boost/Float Chargering", "负组电池均浮充"}}},
    // 40083
    {{"State Info 2", "状态位信息2"},
     {{"Communication online", "联机位"}}},
    // 40084
    {{"State Info 3", "状态位信息3"},
     {{"ByPass Switch Status", "旁路空开状态"},
      {"Output Switch Status", "输出空开状态"},
      {"Maintain Bypass Status", "维修旁路空开状态"},
      {"ByPass Tank Bypass Switch Status", "旁路柜旁路空开状态"},
      {"Exterior Output Switch Status", "外部输出空开状态"},
      {"Inverter on/off Status0", "逆变开关机状态0"},
      {"Inverter on/off Status1", "逆变开关机状态1"},
      {"UPS Supply Power Status0", "UPS供电状态0"},
      {"UPS Supply Power Status1", "UPS供电状态1"},
      {"Interrupt lock out cue", "间断切换提示"},
      {"Inverter Off Result In Power Off ALarm", "关机将导致断电告警"},
      {"Inverter Off Result In Overload ALarm", "关机将导致过载告警"},
      {"Emergency power off", "紧急关机提示"},
      {"Run capability not enough", "启动容量不足"},
      {"Inverter Main", "逆变主机"},
      {"Over Lock out times", "切换次数到"}}},
    // 40085
    {{"State Info 4", "状态位信息4"},
     {{"Overload to off", "过载延时到关机"},
      {"Load concussion change to ByPass", "负载冲击切旁路"},
      {"Parallel System change to ByPass", "并机系统转旁路"},
      {"LBS System activation", "LBS系统激活"},
      {"Inverter Stand By", "逆变待机(ECO状态位)"}}},
    // 40086
    {{"Alarm Info 1", "告警位信息1"},
     {{"Rectifier fault", "整流器故障"},
      {"Rectifier over temperature", "整流模块过温"},
      {"Inverter over temperature", "逆变模块过温"},
      {"Rectifier over current", "整流过流故障"},
      {"Auxiliary power 1 fault", "辅助电源1故障"},
      {"Auxiliary power 2 fault", "辅助电源2故障"},
      {"Input Thyristor fault", "输入晶闸管故障"},
      {"Discharge Thyristor fault", "电池放电晶闸管故障"},
      {"Charge Thyristor fault", "电池充电晶闸管故障"},
      {"Fan fault", "风扇故障"},
      {"Fan Power fault", "风扇电源故障"},
      {"DC Bus over voltage", "母线电压过压"},
      {"DC Bus below voltage", "母线电压欠压"},
      {"DC bus unbalance", "正负母线压差大"},
      {"Mains Site Wiring Fault", "输入电压相序反"},
      {"Soft start failed", "软启动失败"}}},
    // 40087
    {{"Alarm Info 2", "告警位信息2"},
     {{"Input Neutral line missing", "输入缺零"},
      {"Battery reverse", "电池反"},
      {"No battery", "电池无"},
      {"P-Battery Charger fault", "正组电池充电器故障"},
      {"N-battery charger fault", "负组电池充电器故障"},
      {"Battery under voltage", "电池电压低"},
      {"Battery over voltage", "电池电压高"},
      {"Battery low pre-warning", "电池电压预告警"},
      {"Mains freq. abnormal", "市电频率异常"},
      {"Mains volt. abnormal", "市电电压异常"}}},
    // 40088
    {{"Alarm Info 3", "告警位信息3"},
     {{"Inverter fault", "逆变器故障"},
      {"Inv. IGBT bridge shorted", "逆变桥臂直通"},
      {"Inverter Thyristor short", "逆变晶闸管短路故障"},
      {"Inverter Thyristor broken", "逆变晶闸管断路故障"},
      {"Bypass Thyristor short", "旁路晶闸管短路故障"},
      {"Bypass Thyristor broken", "旁路晶闸管断路故障"},
      {"CAN comm. Fault", "CAN通信故障"},
      {"Parallel load sharing fault", "并机均流故障"},
      {"Bypass Site Wiring Fault", "旁路反序"},
      {"Not synchronization", "不同步"},
      {"Bypass unable to trace", "旁路超跟踪"},
      {"Bypass Not Available", "旁路超保护"},
      {"IGBT over curren", "IGBT过流"},
      {"Fuse broken", "熔丝断"},
      {"Cable connection error", "并机连线故障"},
      {"Parallel relay fault", "并机继电器故障"}}},
    // 40089
    {{"Alarm Info 4", "告警位信息4"},
     {{"LBS Not SYNC", "LBS超跟踪"},
      {"Initializtion fault", "上电初始化故障"},
      {"Inverter on invalid", "开机无效"},
      {"Overload", "过载"},
      {"Parallel Overload", "并机过载"},
      {"DC component over limit", "逆变直流分量过大"},
      {"Bypass over current", "旁路过流"},
      {"Feedback protection", "回馈保护"},
      {"DC BUS volt. abnormal", "BUS电压异常"},
      {"Output Short", "输出短路"}}},
    // 40090
    {{"System State Info", "监控状态位信息"},
     {{"Electrical machine connected", "发电机接入"},
      {"State Bit of Battery Volt low to off", "电池电压低关机状态位"},
      {"Time to On", "定时开机"},
      {"Time to off", "定时关机"},
      {"Time to SelfTest", "定期自检开始"},
      {"lightning Singal", "避雷动作信号"},
      {"Battery Monitor System connected", "电池监控系统接入位"},
      {"Register sequence number", "序列号注册位"},
      {"Calculate Charger Rate", "充电率计算位"},
      {"Calculate Battery Backup Time", "后备时间计算位"}}},
    // 40091
    {{"System Alarm Info", "监控告警位信息"},
     {{"Battery Fault", "电池损坏"},
      {"Battery temperature over", "电池过温"},
      {"Battery over voltage", "电池电压高"},
      {"Battery under voltage", "电池电压低"},
      {"Fire Alarm", "火灾报警"},
      {"Fog Alarm", "烟雾报警"},
      {"Nachine Type Fault", "机型错误"},
      {"Over Maintain Time", "预防性维护时间到"}}},
};
// clang-format on

bool validChannel(int channel) { return channel >= 1 && channel <= MaskChannelCount; }

TMaskText orEmpty(const TMaskText& t) { return t.en ? t : TMaskText{"", ""}; }

} // namespace

TMaskText MaskTitleText(int channel)
{
    if (!validChannel(channel)) return {"", ""};
    return Channels[channel - 1].title;
}

TMaskText MaskBitText(int channel, int bit)
{
    if (!validChannel(channel) || bit < 0 || bit > 15) return {"", ""};
    return orEmpty(Channels[channel - 1].bits[15 - bit]);
}

QString MaskTitle(int channel)
{
    const TMaskText t = MaskTitleText(channel);
    return LangText(t.en, t.zh);
}

QString MaskBitName(int channel, int bit)
{
    const TMaskText t = MaskBitText(channel, bit);
    return LangText(t.en, t.zh);
}
