// What the trace window costs the link for every frame: one request line and one reply line
// (with the request's slot line), with the window hidden, as it is for most of a run, and
// shown. In line-speed mode at 19200 bit/s the link sends about 22 frames a second.
#include "diag/uFrmTrack.h"
#include "WidgetBenchMain.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

void traceFrames(benchmark::State& state, bool shown)
{
    TfrmTrack track;
    if (shown) track.show();
    const std::vector<uint8_t> request{0x01, 0x04, 0x75, 0x30, 0x00, 0x2C, 0xEB, 0xD4};
    std::vector<uint8_t> reply(93);
    for (size_t i = 0; i < reply.size(); ++i) reply[i] = uint8_t(i * 7);
    for (auto _ : state) {
        track.TraceTx(request.data(), int(request.size()));
        track.TraceRx(reply.data(), int(reply.size()));
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_TraceFrameHidden(benchmark::State& state) { traceFrames(state, false); }
BENCHMARK(BM_TraceFrameHidden)->Unit(benchmark::kMicrosecond);

void BM_TraceFrameShown(benchmark::State& state) { traceFrames(state, true); }
BENCHMARK(BM_TraceFrameShown)->Unit(benchmark::kMicrosecond);
} // namespace

int main(int argc, char** argv) { return RunWidgetBenchmarks(argc, argv); }
