#include "cli/uHeadless.h"

#include "cli/uBackupCommand.h"
#include "cli/uDownloadCommand.h"
#include "cli/uRestoreCommand.h"
#include "cli/uScanCommand.h"
#include "cli/uSignalWatch.h"
#include "cli/uSnapshotCommand.h"
#include "cli/uValueLogCommand.h"
#include "comm/uLinkState.h"
#include "model/uFileWriter.h"
#include "model/uLocalPara.h"

#include <QCoreApplication>

#include <cstdio>

bool IsHeadlessCommand(const TCmdLine& options)
{
    return !options.Snapshot.isEmpty() || !options.DownloadLog.isEmpty()
           || !options.Backup.isEmpty() || !options.LogValues.isEmpty() || options.Scan
           || !options.Restore.isEmpty();
}

int RunHeadless(const TCmdLine& options)
{
    // The scan ends by itself within seconds for each port and keeps no file open: it takes no
    // signal watch and reads no settings file.
    if (options.Scan) return RunScanCommand(options);
    if (!options.SettingsDir.isEmpty()) SetSettingsFolderOverride(options.SettingsDir);
    // Ctrl-C, SIGTERM or SIGHUP ends a command in order instead of killing it mid-way.
    TSignalWatch watch;
    // Temporary files and folders a killed run left behind go first.
    RemoveStaleDownloadFolders();
    // A FIFO nobody reads yet is waited for until a signal ends the run.
    SetReaderWait([](const QString& path, qint64 waitedMs) {
        if (waitedMs == 0) {
            std::fprintf(stderr, "zyrtool: waiting for a program to read %s\n", qPrintable(path));
            std::fflush(stderr);
        }
        return TSignalWatch::Caught() == 0;
    });
    struct Unwait {
        ~Unwait() { SetReaderWait({}); }
    } unwait;
    if (!options.Snapshot.isEmpty()) return RunSnapshotCommand(options);
    if (!options.DownloadLog.isEmpty()) return RunDownloadCommand(options);
    if (!options.Backup.isEmpty()) return RunBackupCommand(options);
    if (!options.LogValues.isEmpty()) return RunValueLogCommand(options);
    if (!options.Restore.isEmpty()) return RunRestoreCommand(options);
    return 1;
}

void NameApplication()
{
    QCoreApplication::setApplicationName(QStringLiteral("zyrtool"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ZYR_VERSION));
}

bool ParseProgramArguments(int argc, char** argv, TCmdLine& options)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    QString error;
    // The toolkit's own options (-platform NAME ...) are the window program's, not ours.
    if (ParseCmdLine(WithoutToolkitOptions(arguments), options, error)) return true;
    std::fprintf(stderr, "%s\n", qPrintable(UsageErrorLine(error)));
    return false;
}

bool NeedsNoWindow(const TCmdLine& options)
{
    return options.Help || options.Version || IsHeadlessCommand(options);
}

int RunWithoutWindow(int& argc, char** argv, const TCmdLine& options)
{
    QCoreApplication app(argc, argv);
    NameApplication();
    if (options.Help) {
        std::printf("%s", qPrintable(CmdLineHelpText()));
        return 0;
    }
    if (options.Version) {
        std::printf("zyrtool %s\n", ZYR_VERSION);
        return 0;
    }
    return RunHeadless(options);
}
