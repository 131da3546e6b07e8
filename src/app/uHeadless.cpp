#include "app/uHeadless.h"

#include "app/uDownloadCommand.h"
#include "app/uSignalWatch.h"
#include "app/uSnapshotCommand.h"
#include "model/uLocalPara.h"

bool IsHeadlessCommand(const TCmdLine& options)
{
    return !options.Snapshot.isEmpty() || !options.DownloadLog.isEmpty();
}

int RunHeadless(const TCmdLine& options)
{
    if (!options.SettingsDir.isEmpty()) SetSettingsFolderOverride(options.SettingsDir);
    // Ctrl-C or SIGTERM ends a command in order instead of killing it mid-way.
    TSignalWatch watch;
    if (!options.Snapshot.isEmpty()) return RunSnapshotCommand(options);
    if (!options.DownloadLog.isEmpty()) return RunDownloadCommand(options);
    return 1;
}
