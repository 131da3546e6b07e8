#include "cli/uSnapshotCommand.h"

#include "cli/uCommandOutput.h"
#include "cli/uHeadlessLink.h"
#include "cli/uSignalWatch.h"
#include "comm/uCabinet.h"
#include "comm/uFrmCom.h"
#include "comm/uPollSteps.h"
#include "model/UShareData.h"
#include "model/uRegisters.h"
#include "model/uSnapshotJson.h"
#include "model/uUpsInfo.h"

#include <QDateTime>

#include <utility>
#include <vector>

namespace {

constexpr int ModuleReadCount = 30;

// The identification objects asked for besides one poll cycle (module 1 is the poll's module).
const std::vector<std::pair<int, int32_t>> identification = {{FuncIdentification, 2}, {FuncIdentification, 1}};

} // namespace

int RunSnapshotCommand(const TCmdLine& options)
{
    if (!OutputWritable(options.Snapshot)) return 1;
    THeadlessLink link(options);
    if (!link.Open(QStringLiteral("reading"))) return 1;
    link.FillSlot(3, 43, 2, 0);
    link.FillSlot(4, 43, 1, 0);

    auto missing = [&] {
        QStringList m;
        for (const TPollStep& step : PollCycle) {
            const int32_t first = PollStepFirstReg(step, 1);
            if (!link.Answered(step.func, first))
                m << QStringLiteral("function %1 from %2").arg(int(step.func)).arg(first);
        }
        for (const auto& b : identification)
            if (!link.Answered(b.first, b.second))
                m << QStringLiteral("identification object %1").arg(b.second);
        return m;
    };
    const bool complete = link.RunUntil([&] { return missing().isEmpty(); }, 3);
    bool anyAnswer = link.Com()->CommDebug.AckCount > 0;

    // Every module's block, one request at a time through slot 2, as the module scan does.
    bool modulesRead = false;
    if (anyAnswer) {
        int next = 1;
        auto moduleReg = [](int m) { return ModuleRegister(m, 1); };
        link.FillSlot(2, 4, moduleReg(next), ModuleReadCount);
        modulesRead = link.RunUntil(
            [&] {
                if (link.Com()->ReqSlot[2].Pending) return false;
                if (next < ModuleCount) {
                    ++next;
                    link.FillSlot(2, 4, moduleReg(next), ModuleReadCount);
                    return false;
                }
                // The last module's request has been taken; it ends answered or dropped.
                return link.Answered(4, moduleReg(next)) || !link.SlotRequestActive();
            },
            ModuleCount + 3);
        for (int m = 1; m <= ModuleCount; ++m)
            if (!link.Answered(4, moduleReg(m))) modulesRead = false;
    }

    if (const int signal = TSignalWatch::Caught()) {
        link.Close();
        return Fail(TSignalWatch::ExitStatus(signal),
                    QStringLiteral("%1; no snapshot written").arg(TSignalWatch::Name(signal)));
    }

    TSnapshotContext c;
    c.port = link.PortName();
    c.address = link.Address();
    c.takenAt = QDateTime::currentDateTime().toString(Qt::ISODate);
    c.complete = complete;
    c.missing = missing();
    c.modulesRead = modulesRead;
    c.counters = link.Com()->CommDebug;
    if (!anyAnswer) return Fail(2, link.NoAnswer(QStringLiteral("within three poll cycles")));
    QString error;
    if (!WriteOutput(options.Snapshot, SnapshotJson(Cabinet(), c), &error)) return OutputFailed(error);
    if (!complete)
        return Fail(2, QStringLiteral("the snapshot is incomplete; missing: %1")
                           .arg(c.missing.join(QStringLiteral(", "))));
    return 0;
}
