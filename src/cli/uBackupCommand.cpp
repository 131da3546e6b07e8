#include "cli/uBackupCommand.h"

#include "cli/uCommandOutput.h"
#include "cli/uHeadlessLink.h"
#include "comm/uBackupReader.h"
#include "model/uSettingsBackup.h"

int RunBackupCommand(const TCmdLine& options)
{
    // A line-speed run (--fast) is chosen by the link the headless link sets up; the backup
    // itself reads the same blocks either way.
    if (!OutputWritable(options.Backup)) return 1;
    THeadlessLink link(options);
    if (!link.Open(QStringLiteral("reading the settings of"))) return 1;
    TBackupReader reader(link.Address(), QStringLiteral("--backup"));
    QObject::connect(&reader, &TBackupReader::Progress, [](int done, int total) {
        const TBackupBlock& b = BackupBlocks()[size_t(done - 1)];
        Say(QStringLiteral("%1/%2 %3").arg(done).arg(total).arg(QString::fromUtf8(b.what)));
    });
    bool finished = false;
    QObject::connect(&reader, &TBackupReader::Finished, [&](bool) { finished = true; });
    reader.Start();
    // Each block ends answered or dropped after its attempts; the reader gives up on a link that
    // stalls. The cycle limit is only a last guard.
    link.RunUntil([&] { return finished; }, 1000);
    if (!finished) reader.Cancel();
    if (!reader.Succeeded()) return Fail(2, QStringLiteral("no backup written: %1").arg(reader.Failure()));
    QString error;
    if (!WriteOutput(options.Backup, BackupJson(reader.Result()), &error)) return OutputFailed(error);
    Say(QStringLiteral("%1 registers written to %2").arg(reader.Result().registers.size()).arg(options.Backup));
    return 0;
}
