// How long the Modbus master takes to judge a reply, beside how long that reply takes on the
// wire at the cabinet's default 2400 bit/s. Each byte costs 11 bits there: start bit, eight
// data bits, two stop bits.
#include "comm/uCrc16.h"
#include "comm/uKModbus.h"
#include "comm/uLinkState.h"
#include "model/UShareData.h"

#include <benchmark/benchmark.h>

#include <ctime>
#include <vector>

namespace {
TCabinetValues values;
constexpr double LineBitsPerSecond = 2400.0;
constexpr double BitsPerByte = 11.0;

void appendCrc(std::vector<uint8_t>& frame)
{
    const uint16_t crc = Crc16(frame.data(), static_cast<int>(frame.size()));
    frame.push_back(crc & 0xFF);
    frame.push_back(crc >> 8);
}

double processCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec * 1e-9;
}

// Runs the check once per iteration, then reports the wire time of the frame in milliseconds
// and how many times longer the wire takes than the CPU: wire time / CPU time per frame.
void runChecks(benchmark::State& state, TMModbus& mb, const std::vector<uint8_t>& reply)
{
    const int len = static_cast<int>(reply.size());
    const double cpuStart = processCpuSeconds();
    for (auto _ : state) {
        const bool ok = mb.CheckReply(reply.data(), len);
        benchmark::DoNotOptimize(ok);
        benchmark::ClobberMemory();
    }
    const double cpuPerFrame = (processCpuSeconds() - cpuStart) / static_cast<double>(state.iterations());
    const double wireSeconds = reply.size() * BitsPerByte / LineBitsPerSecond;
    state.SetItemsProcessed(state.iterations());
    state.counters["frame_bytes"] = static_cast<double>(reply.size());
    state.counters["wire_ms"] = wireSeconds * 1e3;
    state.counters["wire_per_cpu"] = cpuPerFrame > 0 ? wireSeconds / cpuPerFrame : 0.0;
}

// The first poll step: 44 input registers from 30001, a 93-byte reply.
void BM_CheckReply44Registers(benchmark::State& state)
{
    ResetSharedData();
    uint8_t txBuf[CommBufSize] = {};
    TMModbus mb(txBuf, values);
    mb.SetCurrentAddress(1);
    mb.ReqAddr = 1;
    mb.ReqFunc = 4;
    mb.ReqStartReg = 30001;
    mb.ReqCount = 44;
    std::vector<uint8_t> reply = {1, 4, 88};
    for (int i = 0; i < 44; ++i) {
        const uint16_t v = static_cast<uint16_t>(2200 + 7 * i);
        reply.push_back(v >> 8);
        reply.push_back(v & 0xFF);
    }
    appendCrc(reply);
    if (!mb.CheckReply(reply.data(), static_cast<int>(reply.size()))) state.SkipWithError("reply refused");
    runChecks(state, mb, reply);
}
BENCHMARK(BM_CheckReply44Registers);

// One event record: a 71-byte function-20 reply.
void BM_CheckReplyRecord(benchmark::State& state)
{
    ResetSharedData();
    uint8_t txBuf[CommBufSize] = {};
    TMModbus mb(txBuf, values);
    mb.SetCurrentAddress(1);
    mb.ReqAddr = 1;
    mb.ReqFunc = 20;
    mb.ReqValue = 5;
    std::vector<uint8_t> reply = {1,    0x14, 0x44, 0x43, 0x06, 0x00, 0x05, 0x10, 0x05,
                                  0x23, 0x15, 0x00, 0x00, 0x04, 0x02, 0x21, 0x22};
    while (reply.size() < 69) reply.push_back(static_cast<uint8_t>(reply.size()));
    appendCrc(reply);
    if (!mb.CheckReply(reply.data(), static_cast<int>(reply.size())) || values.RecInfo.Rec.RecNo != 5)
        state.SkipWithError("record reply refused");
    runChecks(state, mb, reply);
}
BENCHMARK(BM_CheckReplyRecord);
} // namespace

BENCHMARK_MAIN();
