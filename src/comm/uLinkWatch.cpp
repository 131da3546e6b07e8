#include "comm/uLinkWatch.h"

#include <algorithm>
#include <vector>

namespace {
std::vector<TLinkWatcher*>& watchers()
{
    // Never freed: a watcher that lives to the end of the program may leave after it.
    static auto* list = new std::vector<TLinkWatcher*>;
    return *list;
}

// A watcher may remove itself (or another) while it is told: each call works on a copy and
// skips the ones removed meanwhile.
template <typename Call> void tell(Call call)
{
    const std::vector<TLinkWatcher*> now = watchers();
    for (TLinkWatcher* w : now)
        if (std::find(watchers().begin(), watchers().end(), w) != watchers().end()) call(*w);
}
} // namespace

void AddLinkWatcher(TLinkWatcher* watcher)
{
    if (watcher && std::find(watchers().begin(), watchers().end(), watcher) == watchers().end())
        watchers().push_back(watcher);
}

void RemoveLinkWatcher(TLinkWatcher* watcher)
{
    auto& list = watchers();
    list.erase(std::remove(list.begin(), list.end(), watcher), list.end());
}

void NotifyRequestBuilt(const TLinkRequest& request)
{
    tell([&](TLinkWatcher& w) { w.RequestBuilt(request); });
}

void NotifyReplyAccepted(const TLinkRequest& request, const uint16_t* regs, int count)
{
    tell([&](TLinkWatcher& w) { w.ReplyAccepted(request, regs, count); });
}

void NotifyRequestDropped(const TLinkRequest& request)
{
    tell([&](TLinkWatcher& w) { w.RequestDropped(request); });
}

void NotifyPollCycleEnded(int address)
{
    tell([&](TLinkWatcher& w) { w.PollCycleEnded(address); });
}

void NotifyLinkBroken()
{
    tell([&](TLinkWatcher& w) { w.LinkBroken(); });
}
