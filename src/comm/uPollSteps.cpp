#include "comm/uPollSteps.h"

#include "model/uRegisters.h"

const TPollStep PollCycle[PollCycleLength] = {
    {4, RegSystemFirst, 44, 0},               // the cabinet's system values
    {4, RegSystemTail, 31, 0},                // the rest of them
    {3, RegParaFirst, 35, 0},                 // the parameters
    {4, RegModuleFirst, 35, ModuleBlockStride}, // the shown module's block
    {4, RegMaskPoll, 11, 0},                  // the alarm mask words
};

int32_t PollStepFirstReg(const TPollStep& step, int module)
{
    return step.firstReg + step.moduleStride * (module - 1);
}
