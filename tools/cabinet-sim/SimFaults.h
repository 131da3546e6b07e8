// Decides, reply by reply, which faults the cabinet injects.
#pragma once

#include "SimOptions.h"

#include <random>

namespace sim {

struct FaultPlan {
    bool drop = false;
    bool exception = false;
    bool wrongAddress = false;
    bool badCrc = false;
    bool noise = false;
    bool split = false;
    int lateMs = 0;
};

class FaultInjector {
public:
    FaultInjector(const Options& options, std::mt19937& random) : options_(options), random_(random) {}
    FaultPlan next();

private:
    bool roll(const FaultRate& rate, int& used);

    const Options& options_;
    std::mt19937& random_;
    int usedDrop_ = 0, usedException_ = 0, usedWrongAddress_ = 0, usedBadCrc_ = 0, usedNoise_ = 0,
        usedSplit_ = 0, usedLate_ = 0;
};

} // namespace sim
