#include "SimFaults.h"

namespace sim {

bool FaultInjector::roll(const FaultRate& rate, int& used)
{
    if (rate.count > 0) {
        if (used >= rate.count) return false;
        ++used;
        return true;
    }
    if (rate.probability <= 0.0) return false;
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    return uniform(random_) < rate.probability;
}

FaultPlan FaultInjector::next()
{
    FaultPlan plan;
    plan.drop = roll(options_.drop, usedDrop_);
    if (plan.drop) return plan;
    plan.exception = roll(options_.exception, usedException_);
    plan.wrongAddress = roll(options_.wrongAddress, usedWrongAddress_);
    plan.badCrc = roll(options_.badCrc, usedBadCrc_);
    plan.noise = roll(options_.noise, usedNoise_);
    plan.split = roll(options_.split, usedSplit_);
    if (options_.lateMs > 0 && roll(options_.late, usedLate_)) plan.lateMs = options_.lateMs;
    return plan;
}

} // namespace sim
