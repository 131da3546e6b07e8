#include "app/uHeadless.h"

#include "app/uBackupCommand.h"
#include "app/uDownloadCommand.h"
#include "app/uRestoreCommand.h"
#include "app/uSignalWatch.h"
#include "app/uScanCommand.h"
#include "app/uSnapshotCommand.h"
#include "app/uValueLogCommand.h"
#include "comm/uLinkState.h"
#include "model/uLocalPara.h"

bool IsHeadlessCommand(const TCmdLine& options)
{
    return !options.Snapshot.isEmpty() || !options.DownloadLog.isEmpty()
           || !options.Backup.isEmpty() || !options.LogValues.isEmpty() || options.Scan
           || !options.Restore.isEmpty();
}

int RunHeadless(const TCmdLine& options)
{
    if (!options.SettingsDir.isEmpty()) SetSettingsFolderOverride(options.SettingsDir);
    // Ctrl-C or SIGTERM ends a command in order instead of killing it mid-way.
    TSignalWatch watch;
    FastLineForRun = options.Fast;
    if (!options.Snapshot.isEmpty()) return RunSnapshotCommand(options);
    if (!options.DownloadLog.isEmpty()) return RunDownloadCommand(options);
    if (!options.Backup.isEmpty()) return RunBackupCommand(options);
    if (!options.LogValues.isEmpty()) return RunValueLogCommand(options);
    if (options.Scan) return RunScanCommand(options);
    if (!options.Restore.isEmpty()) return RunRestoreCommand(options);
    return 1;
}
