#include "comm/uPollSteps.h"

const TPollStep PollCycle[PollCycleLength] = {
    {4, 30001, 44, 0},  // the cabinet's system values
    {4, 30061, 31, 0},  // the rest of them
    {3, 40001, 35, 0},  // the parameters
    {4, 30101, 35, 50}, // the shown module's block
    {4, 40081, 11, 0},  // the alarm mask words
};

int32_t PollStepFirstReg(const TPollStep& step, int module)
{
    return step.firstReg + step.moduleStride * (module - 1);
}
