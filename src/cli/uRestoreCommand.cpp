#include "cli/uRestoreCommand.h"

#include "cli/uCommandOutput.h"
#include "cli/uHeadlessLink.h"
#include "cli/uSignalWatch.h"
#include "comm/uBackupReader.h"
#include "comm/uRestoreWriter.h"
#include "model/uBackupCompare.h"
#include "model/uSettingsBackup.h"
#include "store/uRecordDb.h"
#include "store/uServiceJournal.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>

#include <cstdio>

namespace {
// A backup file is a few kilobytes; anything far larger is not one.
constexpr qint64 MaxBackupBytes = 4 * 1024 * 1024;

bool readFile(const QString& path, TSettingsBackup& file)
{
    QFile f(path);
    if (!QFileInfo(path).isFile() || !f.open(QIODevice::ReadOnly)) {
        Say(QStringLiteral("cannot open \"%1\": %2").arg(path, f.errorString()));
        return false;
    }
    const QByteArray bytes = f.read(MaxBackupBytes + 1);
    QString why;
    if (bytes.size() > MaxBackupBytes) why = QStringLiteral("too large");
    if (!why.isEmpty() || !ParseBackupJson(bytes, file, &why)) {
        Say(QStringLiteral("\"%1\" is not a settings backup: %2").arg(path, why));
        return false;
    }
    return true;
}

QString registerLine(int reg) { return QStringLiteral("%1 %2").arg(reg).arg(BackupRegisterCaption(reg)); }
} // namespace

int RunRestoreCommand(const TCmdLine& options)
{
    TSettingsBackup file;
    if (!readFile(options.Restore, file)) return 1;

    THeadlessLink link(options);
    if (!link.Open(QStringLiteral("reading the settings of"))) return 1;
    // Every write is journalled as the windows' are, the command named as their source.
    TServiceJournal journal;
    journal.SetFailureHandler([](const QString& why) {
        Say(QStringLiteral("the service journal cannot be written (%1); writes go on without it").arg(why));
    });
    if (!options.DryRun) {
        QDir().mkpath(RecordDataFolder());
        journal.Open(RecordDataFolder() + QStringLiteral("journal.db"));
    }
    const QString source = QStringLiteral("--restore");

    TBackupReader reader(link.Address(), source);
    bool read = false;
    QObject::connect(&reader, &TBackupReader::Finished, [&](bool) { read = true; });
    reader.Start();
    link.RunUntil([&] { return read; }, 1000);
    if (const int signal = TSignalWatch::Caught()) {
        reader.Cancel();
        return Fail(TSignalWatch::ExitStatus(signal),
                    QStringLiteral("%1; nothing written").arg(TSignalWatch::Name(signal)));
    }
    if (!read) reader.Cancel();
    if (!reader.Succeeded()) {
        return Fail(2, QStringLiteral("the cabinet was not read: %1; nothing written").arg(reader.Failure()));
    }
    const TSettingsBackup& cabinet = reader.Result();

    // What differs, one line each, on standard output.
    const std::vector<TBackupDifference> differences = BackupDifferences(file, cabinet);
    std::vector<TBackupDifference> toWrite;
    for (const TBackupDifference& d : differences) {
        QString line = QStringLiteral("%1: cabinet %2, file %3").arg(registerLine(d.reg)).arg(d.cabinet).arg(d.file);
        if (!d.byDefault)
            line += IsElapsedCounter(d.reg) ? QStringLiteral(" (kept: an elapsed counter)")
                                            : QStringLiteral(" (kept: no window writes it)");
        else
            toWrite.push_back(d);
        std::printf("%s\n", qPrintable(line));
    }
    std::fflush(stdout);
    Say(QStringLiteral("%1 registers differ from %2").arg(differences.size()).arg(options.Restore));

    const QStringList other = OtherCabinetReasons(file, cabinet);
    if (!other.isEmpty()) {
        Say(QStringLiteral("the file comes from another cabinet: %1").arg(other.join(QStringLiteral("; "))));
        if (!options.Force) {
            return Fail(1, QStringLiteral("nothing written; --force writes it all the same"));
        }
    }
    if (options.DryRun) {
        Say(QStringLiteral("--dry-run: nothing written"));
        return 0;
    }
    if (toWrite.empty()) {
        Say(QStringLiteral("nothing to write"));
        return 0;
    }

    std::vector<TRestoreWriter::TItem> items;
    for (const TBackupDifference& d : toWrite) items.push_back({d.reg, d.file});
    TRestoreWriter writer(link.Address(), source);
    bool allEqual = true;
    QObject::connect(&writer, &TRestoreWriter::Verdict, [&](int index, int verdict, int readBack) {
        const TBackupDifference& d = toWrite[size_t(index)];
        QString line = QStringLiteral("%1: %2").arg(registerLine(d.reg), WriteVerdictText(verdict));
        if (readBack >= 0) line += QStringLiteral(" (%1)").arg(readBack);
        std::printf("%s\n", qPrintable(line));
        std::fflush(stdout);
        allEqual = allEqual && verdict == int(TWriteVerdict::ReadBackEqual);
    });
    QEventLoop loop;
    QObject::connect(&writer, &TRestoreWriter::Finished, &loop, &QEventLoop::quit);
    // A signal ends the run between two registers; the one in flight ends as it will.
    if (TSignalWatch* watch = TSignalWatch::Active())
        QObject::connect(watch, &TSignalWatch::Interrupted, &writer, [&writer](int) { writer.Cancel(); });
    if (TSignalWatch::Caught() != 0) return TSignalWatch::ExitStatus(TSignalWatch::Caught());
    if (!writer.Start(std::move(items))) {
        return Fail(2, QStringLiteral("the port is closed; nothing written"));
    }
    loop.exec();

    switch (writer.End()) {
    case TRestoreWriter::TEnd::Done: break;
    case TRestoreWriter::TEnd::Cancelled: break;
    case TRestoreWriter::TEnd::PortLost: Say(QStringLiteral("the port was lost; the rest is not sent")); break;
    case TRestoreWriter::TEnd::NoAnswer: Say(QStringLiteral("the cabinet stopped answering; the rest is not sent")); break;
    }
    if (const int signal = TSignalWatch::Caught()) {
        return Fail(TSignalWatch::ExitStatus(signal),
                    QStringLiteral("%1; the rest is not sent").arg(TSignalWatch::Name(signal)));
    }
    return allEqual && writer.End() == TRestoreWriter::TEnd::Done ? 0 : 2;
}
