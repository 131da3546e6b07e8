#include "app/uDownloadCommand.h"

#include "app/uHeadlessLink.h"
#include "app/uSignalWatch.h"
#include "model/UShareData.h"
#include "model/uFileWriter.h"
#include "records/uDownloadProgress.h"
#include "records/uRecordDb.h"
#include "records/uRecordDownload.h"
#include "records/uRecordFiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <unistd.h>

namespace {

// Progress on standard error: one line rewritten in place on a terminal, a plain line every
// few seconds otherwise (a log file or a pipe).
class TProgressLine {
public:
    TProgressLine() : terminal_(::isatty(fileno(stderr)) != 0) { sincePrint_.start(); }
    void Show(const TDownloadProgress& p, bool force = false)
    {
        if (!force && sincePrint_.elapsed() < (terminal_ ? 200 : 5000)) return;
        sincePrint_.restart();
        const QByteArray text = p.Text().toLocal8Bit();
        if (terminal_)
            std::fprintf(stderr, "\r%s\033[K", text.constData());
        else
            std::fprintf(stderr, "zyrtool: %s\n", text.constData());
        std::fflush(stderr);
        shown_ = true;
    }
    // Ends the line that was being rewritten, so the next message starts on its own line.
    void End()
    {
        if (terminal_ && shown_) std::fputc('\n', stderr);
        shown_ = false;
    }

private:
    bool terminal_;
    bool shown_ = false;
    QElapsedTimer sincePrint_;
};

int fail(int status, const QString& message)
{
    std::fprintf(stderr, "zyrtool: %s\n", qPrintable(message));
    return status;
}

bool writeResult(TRecordDb& db, const QString& file, bool analysis, QString& error)
{
    if (file.endsWith(QLatin1String(".mdb"), Qt::CaseInsensitive))
        return CopyRecordDatabase(db, file, &error);
    int rows = 0;
    if (!ExportRecordsCsv(db, file, analysis, &error, &rows)) return false;
    // No record: the file is written empty, so a script finds what it asked for.
    if (rows == 0) return TFileWriter::WriteWhole(file, QByteArray(), &error);
    return true;
}

} // namespace

int RunDownloadCommand(const TCmdLine& options)
{
    LocalPara.Language = options.Language;
    QString error;
    // A name that cannot be written is refused at once, not after the whole download.
    if (!CheckOutputPath(options.DownloadLog, &error)) return fail(1, error);
    // A database of the command's own: the operator's local records are not touched. The
    // folder goes with the command however it ends (an interrupt included).
    QTemporaryDir work;
    if (!work.isValid())
        return fail(1, QStringLiteral("cannot make a temporary folder: %1").arg(work.errorString()));
    TRecordDb db;
    db.SetFilePath(QDir(work.path()).filePath(QStringLiteral("record.mdb")));
    if (!db.OpenRecordDb(&error))
        return fail(1, QStringLiteral("cannot create the record database: %1").arg(error));

    THeadlessLink link(options);
    if (!link.Open(error)) return fail(1, error);
    std::fprintf(stderr, "zyrtool: reading the record counters of cabinet %d on %s\n", link.Address(),
                 qPrintable(link.PortName()));

    // The record counters, as the event-record window reads them.
    RecInfo.RecCntRecvd = 0;
    link.FillSlot(2, 3, 40051, 6);
    const bool counted = link.RunUntil([] { return RecInfo.RecCntRecvd != 0; }, 3);
    if (const int signal = TSignalWatch::Caught()) {
        link.Close();
        return fail(TSignalWatch::ExitStatus(signal),
                    QStringLiteral("%1 before the first record; nothing written").arg(TSignalWatch::Name(signal)));
    }
    if (!counted)
        return fail(2, QStringLiteral("the cabinet at address %1 on %2 did not answer the record counters")
                           .arg(link.Address())
                           .arg(link.PortName()));
    const int32_t from = options.From;
    const int32_t last = RecInfo.AllRec;
    std::fprintf(stderr, "zyrtool: the cabinet holds %d records (at most %d); downloading from %d\n", last,
                 RecInfo.MaxRec, from);

    TDownloadProgress progress;
    QElapsedTimer clock;
    clock.start();
    progress.Start(from, last, clock.elapsed());
    TProgressLine line;
    TRecordDownload download;
    TRecordDownload::TState state = TRecordDownload::TState::Running;
    QString storeError;
    if (last >= from) {
        download.Start(from);
        QEventLoop loop;
        QTimer tick;
        tick.setInterval(100);
        QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
            state = download.Tick(
                [&] {
                    if (ReqSlot[1].Pending == 0)
                        link.FillSlot(1, 20, 0, 0, static_cast<uint16_t>(RecInfo.NextRecNo));
                },
                [&](TRecordData& rec) {
                    const TStoreOutcome out = db.StoreRecord(rec);
                    if (!out.stored) {
                        storeError = out.error;
                        return false;
                    }
                    progress.Stored(clock.elapsed());
                    return true;
                });
            progress.SetLast(RecInfo.AllRec);
            line.Show(progress);
            if (!storeError.isEmpty() || state != TRecordDownload::TState::Running || !link.PortOpen() ||
                TSignalWatch::Caught() != 0)
                loop.quit();
        });
        tick.start();
        loop.exec();
        download.Stop();
        line.Show(progress, true);
        line.End();
    }
    link.Close();

    int status = 0;
    const int signal = TSignalWatch::Caught();
    if (signal != 0) {
        // Stopped as the operator asked: what was stored is written all the same.
        status = TSignalWatch::ExitStatus(signal);
        if (last >= from && state != TRecordDownload::TState::Finished)
            std::fprintf(stderr, "zyrtool: %s; records %d to %d are missing\n",
                         qPrintable(TSignalWatch::Name(signal)), RecInfo.NextRecNo, last);
    } else if (!storeError.isEmpty()) {
        std::fprintf(stderr, "zyrtool: record %d could not be stored: %s\n", RecInfo.NextRecNo,
                     qPrintable(storeError));
        status = 1;
    } else if (last >= from && state != TRecordDownload::TState::Finished) {
        std::fprintf(stderr, "zyrtool: the cabinet stopped answering; records %d to %d are missing\n",
                     RecInfo.NextRecNo, last);
        status = 2;
    }
    if (!writeResult(db, options.DownloadLog, options.Analysis, error))
        return fail(signal != 0 ? status : 1, error);
    std::fprintf(stderr, "zyrtool: %d records written to %s\n", progress.Done(),
                 qPrintable(options.DownloadLog));
    return status;
}
