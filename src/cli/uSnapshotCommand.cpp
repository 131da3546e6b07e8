#include "cli/uSnapshotCommand.h"

#include "cli/uHeadlessLink.h"
#include "cli/uSignalWatch.h"
#include "comm/uPollSteps.h"
#include "model/UShareData.h"
#include "model/uFileWriter.h"
#include "model/uSnapshotJson.h"
#include "model/uUpsInfo.h"

#include <QDateTime>

#include <cstdio>
#include <utility>
#include <vector>

namespace {

constexpr int ModuleBlockStart = 30101;
constexpr int ModuleBlockSize = 50;
constexpr int ModuleReadCount = 30;

// The identification objects asked for besides one poll cycle (module 1 is the poll's module).
const std::vector<std::pair<int, int32_t>> identification = {{43, 2}, {43, 1}};

bool writeOut(const QString& file, const QByteArray& json, QString& error)
{
    if (file == QLatin1String("-")) return WriteStandardOutput(json, &error);
    return TFileWriter::WriteWhole(file, json, &error);
}

} // namespace

int RunSnapshotCommand(const TCmdLine& options)
{
    QString error;
    // A name that cannot be written is refused before the cabinet is asked anything.
    if (options.Snapshot != QLatin1String("-") && !CheckOutputPath(options.Snapshot, &error)) {
        std::fprintf(stderr, "zyrtool: %s\n", qPrintable(error));
        return 1;
    }
    THeadlessLink link(options);
    if (!link.Open(error)) {
        std::fprintf(stderr, "zyrtool: %s\n", qPrintable(error));
        return 1;
    }
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
    std::fprintf(stderr, "zyrtool: reading cabinet %d on %s\n", link.Address(), qPrintable(link.PortName()));
    const bool complete = link.RunUntil([&] { return missing().isEmpty(); }, 3);
    bool anyAnswer = CommDebug.AckCount > 0;

    // Every module's block, one request at a time through slot 2, as the module scan does.
    bool modulesRead = false;
    if (anyAnswer) {
        int next = 1;
        auto moduleReg = [](int m) { return ModuleBlockStart + ModuleBlockSize * (m - 1); };
        link.FillSlot(2, 4, moduleReg(next), ModuleReadCount);
        modulesRead = link.RunUntil(
            [&] {
                if (ReqSlot[2].Pending) return false;
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
        std::fprintf(stderr, "zyrtool: %s; no snapshot written\n", qPrintable(TSignalWatch::Name(signal)));
        return TSignalWatch::ExitStatus(signal);
    }

    TSnapshotContext c;
    c.port = link.PortName();
    c.address = link.Address();
    c.takenAt = QDateTime::currentDateTime().toString(Qt::ISODate);
    c.complete = complete;
    c.missing = missing();
    c.modulesRead = modulesRead;
    if (!anyAnswer) {
        std::fprintf(stderr,
                     "zyrtool: the cabinet at address %d on %s did not answer within three poll cycles\n",
                     link.Address(), qPrintable(link.PortName()));
        return 2;
    }
    if (!writeOut(options.Snapshot, SnapshotJson(c), error)) {
        std::fprintf(stderr, "zyrtool: %s\n", qPrintable(error));
        // A signal while waiting for a FIFO's reader ends the run with its status.
        if (const int signal = TSignalWatch::Caught()) return TSignalWatch::ExitStatus(signal);
        return 1;
    }
    if (!complete) {
        std::fprintf(stderr, "zyrtool: the snapshot is incomplete; missing: %s\n",
                     qPrintable(c.missing.join(QStringLiteral(", "))));
        return 2;
    }
    return 0;
}
