#include "model/uTrendReduce.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {
// The pixel columns being filled while the window is walked, one slot for each shown series.
// The state is kept in plain arrays so that the walk over a day of samples stays a tight loop.
class Columns {
public:
    Columns(size_t series, TTrendPlot& out)
        : out_(out), lo_(series), hi_(series), loAt_(series), hiAt_(series), live_(series), open_(series)
    {
    }

    // The series' current column, if it has a value, goes into its run.
    void flush(size_t k)
    {
        if (!live_[k]) return;
        live_[k] = 0;
        std::vector<QPointF>& r = run(k);
        if (loAt_[k] == hiAt_[k]) {
            r.emplace_back(double(loAt_[k]), double(lo_[k]));
        } else if (loAt_[k] < hiAt_[k]) {
            r.emplace_back(double(loAt_[k]), double(lo_[k]));
            r.emplace_back(double(hiAt_[k]), double(hi_[k]));
        } else {
            r.emplace_back(double(hiAt_[k]), double(hi_[k]));
            r.emplace_back(double(loAt_[k]), double(lo_[k]));
        }
    }
    // A gap: the series' line ends here.
    void close(size_t k)
    {
        flush(k);
        open_[k] = 0;
    }
    void closeAll()
    {
        for (size_t k = 0; k < open_.size(); ++k) close(k);
    }
    void flushAll()
    {
        for (size_t k = 0; k < live_.size(); ++k) flush(k);
    }
    // One sample's values of the shown series into their columns.
    void add(const float* values, const int* channels, int64_t t)
    {
        const size_t n = live_.size();
        float* __restrict lo = lo_.data();
        float* __restrict hi = hi_.data();
        int64_t* __restrict loAt = loAt_.data();
        int64_t* __restrict hiAt = hiAt_.data();
        uint8_t* __restrict live = live_.data();
        bool gap = false;
        for (size_t k = 0; k < n; ++k) {
            const float v = values[channels[k]];
            if (std::isnan(v)) {
                gap = true;
                continue;
            }
            if (!live[k]) {
                live[k] = 1;
                lo[k] = hi[k] = v;
                loAt[k] = hiAt[k] = t;
                continue;
            }
            // Without branches: which way a value goes is a coin toss for the processor.
            const bool lower = v < lo[k];
            const bool higher = v > hi[k];
            lo[k] = lower ? v : lo[k];
            loAt[k] = lower ? t : loAt[k];
            hi[k] = higher ? v : hi[k];
            hiAt[k] = higher ? t : hiAt[k];
        }
        // A series without a value here ends its line; closed outside the loop above, which
        // reaches the columns only through its own pointers.
        if (gap)
            for (size_t k = 0; k < n; ++k)
                if (std::isnan(values[channels[k]])) close(k);
    }
    std::vector<QPointF>& run(size_t k)
    {
        if (!open_[k]) {
            out_.runs[k].emplace_back();
            open_[k] = 1;
        }
        return out_.runs[k].back();
    }

private:
    TTrendPlot& out_;
    std::vector<float> lo_, hi_;
    std::vector<int64_t> loAt_, hiAt_;
    std::vector<uint8_t> live_; // the column has a value
    std::vector<uint8_t> open_; // a run is being filled
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
    const auto bucketOf = [&](int64_t t) { return int64_t(double(t - from) * columns / span); };

    const size_t n = channels.size();
    Columns cols(n, out);
    int64_t lastTime = 0;
    bool haveLast = false;
    int64_t bucket = -1;
    // Below this time a sample is in the current column for sure; the column's exact end is
    // worked out only near it, so most samples cost no division.
    int64_t sureBefore = std::numeric_limits<int64_t>::min();
    TTrendRing::TPiece pieces[2];
    ring.Pieces(first, end, pieces[0], pieces[1]);
    for (const TTrendRing::TPiece& piece : pieces) {
        for (const TTrendSample* s = piece.data; s != piece.data + piece.size; ++s) {
            const bool joined = s->valid && haveLast && s->time - lastTime <= maxJoinMs;
            if (!joined) cols.closeAll();
            haveLast = s->valid != 0;
            lastTime = s->time;
            if (!s->valid) continue;
            if (!out.reduced) {
                for (size_t k = 0; k < n; ++k) {
                    const float v = s->value[channels[k]];
                    if (std::isnan(v))
                        cols.close(k);
                    else
                        cols.run(k).emplace_back(double(s->time), double(v));
                }
                continue;
            }
            if (s->time >= sureBefore) {
                const int64_t b = bucketOf(s->time);
                if (b != bucket) cols.flushAll();
                bucket = b;
                sureBefore = from + int64_t(std::floor(double(bucket + 1) * span / columns)) - 1;
            }
            cols.add(s->value, channels.data(), s->time);
        }
    }
    cols.closeAll();
}
