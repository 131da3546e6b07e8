// What the trend draws of its ring for one time window: for each shown series, the runs of
// points between gaps. Above a few thousand samples in the window, each pixel column keeps only
// the minimum and the maximum of its samples (in the order they came), so a day redraws fast
// and a one-sample sag still shows.
#pragma once

#include "model/uTrendRing.h"

#include <QPointF>

#include <cstdint>
#include <vector>

struct TTrendPlot {
    // [series as asked][run][point]; x is the time in milliseconds since the epoch.
    std::vector<std::vector<std::vector<QPointF>>> runs;
    int samples = 0;      // samples in the window
    bool reduced = false; // drawn from each pixel column's minimum and maximum
};

// Samples in a window beyond which each pixel column is reduced to its minimum and maximum.
constexpr int TrendReduceAbove = 4000;
// Two answered cycles further apart than this are not joined by a line.
constexpr int64_t TrendMaxJoinMs = 30000;

// channels: indexes into TrendColumns(); columns: the plot's width in pixels.
void ReduceTrend(const TTrendRing& ring, const std::vector<int>& channels, int64_t from, int64_t to,
                 int columns, TTrendPlot& out, int reduceAbove = TrendReduceAbove,
                 int64_t maxJoinMs = TrendMaxJoinMs);
