#include "cli/uBackupCommand.h"

#include "cli/uHeadlessLink.h"
#include "cli/uSignalWatch.h"
#include "comm/uBackupReader.h"
#include "model/uFileWriter.h"
#include "model/uSettingsBackup.h"

#include <cstdio>

int RunBackupCommand(const TCmdLine& options)
{
    // A line-speed run (--fast) is chosen by the link the headless link sets up; the backup
    // itself reads the same blocks either way.
    QString error;
    // A file that cannot be written is refused before the first request.
    const bool toStdout = options.Backup == QLatin1String("-");
    if (!toStdout && !CheckOutputPath(options.Backup, &error)) {
        std::fprintf(stderr, "zyrtool: %s\n", qPrintable(error));
        return 1;
    }
    THeadlessLink link(options);
    if (!link.Open(error)) {
        std::fprintf(stderr, "zyrtool: %s\n", qPrintable(error));
        return 1;
    }
    std::fprintf(stderr, "zyrtool: reading the settings of cabinet %d on %s\n", link.Address(),
                 qPrintable(link.PortName()));
    TBackupReader reader(link.Address(), QStringLiteral("--backup"));
    QObject::connect(&reader, &TBackupReader::Progress, [](int done, int total) {
        const TBackupBlock& b = BackupBlocks()[size_t(done - 1)];
        std::fprintf(stderr, "zyrtool: %d/%d %s\n", done, total, b.what);
        std::fflush(stderr);
    });
    bool finished = false;
    QObject::connect(&reader, &TBackupReader::Finished, [&](bool) { finished = true; });
    reader.Start();
    // Each block ends answered or dropped after its attempts; the reader gives up on a link that
    // stalls. The cycle limit is only a last guard.
    link.RunUntil([&] { return finished; }, 1000);
    if (!finished) reader.Cancel();
    if (!reader.Succeeded()) {
        std::fprintf(stderr, "zyrtool: no backup written: %s\n", qPrintable(reader.Failure()));
        return 2;
    }
    const QByteArray json = BackupJson(reader.Result());
    if (toStdout ? !WriteStandardOutput(json, &error) : !WriteFileWhole(options.Backup, json, &error)) {
        std::fprintf(stderr, "zyrtool: %s\n", qPrintable(error));
        // A signal while waiting for a FIFO's reader ends the run with its status.
        if (const int signal = TSignalWatch::Caught()) return TSignalWatch::ExitStatus(signal);
        return 1;
    }
    std::fprintf(stderr, "zyrtool: %d registers written to %s\n", int(reader.Result().registers.size()),
                 qPrintable(options.Backup));
    return 0;
}
