#include "cli/uHeadless.h"

#include "cli/uBackupCommand.h"
#include "cli/uCommandOutput.h"
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

namespace {

// What every command that talks to a cabinet does first: its settings folder, the signal watch,
// the leftovers of killed runs, the wait for a FIFO's reader, the line-speed mode.
int runOnLink(const TCmdLine& options, int (*run)(const TCmdLine&))
{
    if (!options.SettingsDir.isEmpty()) SetSettingsFolderOverride(options.SettingsDir);
    // Ctrl-C, SIGTERM or SIGHUP ends a command in order instead of killing it mid-way.
    TSignalWatch watch;
    // Temporary files and folders a killed run left behind go first.
    RemoveStaleDownloadFolders();
    // A FIFO nobody reads yet is waited for until a signal ends the run.
    SetReaderWait([](const QString& path, qint64 waitedMs) {
        if (waitedMs == 0) Say(QStringLiteral("waiting for a program to read %1").arg(path));
        return TSignalWatch::Caught() == 0;
    });
    struct Unwait {
        ~Unwait() { SetReaderWait({}); }
    } unwait;
    return run(options);
}

} // namespace

int RunCommand(const TCmdLine& options)
{
    switch (options.Command) {
    case TCommand::Help: std::printf("%s", qPrintable(CmdLineHelpText())); return 0;
    case TCommand::Version: std::printf("zyrtool %s\n", ZYR_VERSION); return 0;
    // The scan ends by itself within seconds for each port and keeps no file open: it takes no
    // signal watch and reads no settings file.
    case TCommand::Scan: return RunScanCommand(options);
    case TCommand::Snapshot: return runOnLink(options, RunSnapshotCommand);
    case TCommand::DownloadLog: return runOnLink(options, RunDownloadCommand);
    case TCommand::Backup: return runOnLink(options, RunBackupCommand);
    case TCommand::LogValues: return runOnLink(options, RunValueLogCommand);
    case TCommand::Restore: return runOnLink(options, RunRestoreCommand);
    case TCommand::Window: break;
    }
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

bool NeedsNoWindow(const TCmdLine& options) { return options.Command != TCommand::Window; }

int RunWithoutWindow(int& argc, char** argv, const TCmdLine& options)
{
    QCoreApplication app(argc, argv);
    NameApplication();
    return RunCommand(options);
}
