#include "ui/uGraceWindows.h"

#include <map>

namespace {
std::map<TGraceWindow, std::function<bool()>>& probes()
{
    static std::map<TGraceWindow, std::function<bool()>> p;
    return p;
}
} // namespace

void SetGraceWindowProbe(TGraceWindow window, std::function<bool()> isOpen)
{
    if (isOpen)
        probes()[window] = std::move(isOpen);
    else
        probes().erase(window);
}

bool GraceWindowOpen(TGraceWindow window)
{
    auto it = probes().find(window);
    return it != probes().end() && it->second();
}

void ClearGraceWindowProbes() { probes().clear(); }

int NextPswGraceCount(int count)
{
    if (count <= 0) return count;
    using W = TGraceWindow;
    if (!GraceWindowOpen(W::UpsPara) && !GraceWindowOpen(W::ZyrCfg) && !GraceWindowOpen(W::Mask)) return 0;
    if (!GraceWindowOpen(W::DataSet) && !GraceWindowOpen(W::EdtZyrCfg) && !GraceWindowOpen(W::Mask))
        return count - 1;
    return count;
}
