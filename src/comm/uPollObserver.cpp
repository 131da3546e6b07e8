#include "comm/uPollObserver.h"

#include <algorithm>
#include <vector>

namespace {
std::vector<TPollObserver*>& observers()
{
    // Never freed: an observer that lives to the end of the program may leave after it.
    static auto* list = new std::vector<TPollObserver*>;
    return *list;
}
} // namespace

void AddPollObserver(TPollObserver* observer)
{
    auto& list = observers();
    if (observer && std::find(list.begin(), list.end(), observer) == list.end()) list.push_back(observer);
}

void RemovePollObserver(TPollObserver* observer)
{
    auto& list = observers();
    list.erase(std::remove(list.begin(), list.end(), observer), list.end());
}

// A copy is walked, so that an observer may remove itself while told.
void NotifyPollCycleEnded(int address)
{
    for (TPollObserver* o : std::vector<TPollObserver*>(observers())) o->PollCycleEnded(address);
}

void NotifyReplyAccepted(int func, int32_t startReg)
{
    for (TPollObserver* o : std::vector<TPollObserver*>(observers())) o->ReplyAccepted(func, startReg);
}

void NotifyLinkBroken()
{
    for (TPollObserver* o : std::vector<TPollObserver*>(observers())) o->LinkBroken();
}
