#include "model/uTrendReduce.h"

#include <algorithm>
#include <cmath>

namespace {
// One series while the window is walked.
struct Walk {
    std::vector<std::vector<QPointF>>* runs = nullptr;
    bool open = false; // a run is being filled
    int64_t bucket = -1;
    float lo = 0, hi = 0;
    int64_t loAt = 0, hiAt = 0;

    std::vector<QPointF>& run()
    {
        if (!open) {
            runs->emplace_back();
            open = true;
        }
        return runs->back();
    }
    void flush()
    {
        if (bucket < 0) return;
        std::vector<QPointF>& r = run();
        if (loAt == hiAt) {
            r.emplace_back(double(loAt), double(lo));
        } else if (loAt < hiAt) {
            r.emplace_back(double(loAt), double(lo));
            r.emplace_back(double(hiAt), double(hi));
        } else {
            r.emplace_back(double(hiAt), double(hi));
            r.emplace_back(double(loAt), double(lo));
        }
        bucket = -1;
    }
    void close()
    {
        flush();
        open = false;
    }
};
} // namespace

void ReduceTrend(const TTrendRing& ring, const std::vector<int>& channels, int64_t from, int64_t to,
                 int columns, TTrendPlot& out, int reduceAbove, int64_t maxJoinMs)
{
    out.runs.assign(channels.size(), {});
    const int first = ring.LowerBound(from);
    const int end = ring.LowerBound(to + 1);
    out.samples = std::max(0, end - first);
    out.reduced = out.samples > reduceAbove && columns > 0;
    const double span = double(std::max<int64_t>(1, to - from));

    std::vector<Walk> walks(channels.size());
    for (size_t k = 0; k < channels.size(); ++k) walks[k].runs = &out.runs[k];

    int64_t lastTime = 0;
    bool haveLast = false;
    for (int i = first; i < end; ++i) {
        const TTrendSample& s = ring.At(i);
        const bool joined = s.valid && haveLast && s.time - lastTime <= maxJoinMs;
        if (!joined)
            for (Walk& w : walks) w.close();
        haveLast = s.valid != 0;
        lastTime = s.time;
        if (!s.valid) continue;
        const int64_t bucket = out.reduced ? int64_t(double(s.time - from) * columns / span) : 0;
        for (size_t k = 0; k < channels.size(); ++k) {
            Walk& w = walks[k];
            const float v = s.value[channels[k]];
            if (std::isnan(v)) {
                w.close();
                continue;
            }
            if (!out.reduced) {
                w.run().emplace_back(double(s.time), double(v));
                continue;
            }
            if (bucket != w.bucket) {
                w.flush();
                w.bucket = bucket;
                w.lo = w.hi = v;
                w.loAt = w.hiAt = s.time;
            } else if (v < w.lo) {
                w.lo = v;
                w.loAt = s.time;
            } else if (v > w.hi) {
                w.hi = v;
                w.hiAt = s.time;
            }
        }
    }
    for (Walk& w : walks) w.close();
}
