#include "cli/uDownloadCommand.h"

#include "cli/uCommandOutput.h"
#include "cli/uHeadlessLink.h"
#include "cli/uSignalWatch.h"
#include "comm/uCabinet.h"
#include "comm/uFrmCom.h"
#include "model/UShareData.h"
#include "model/uFileWriter.h"
#include "model/uRegisters.h"
#include "store/uDownloadProgress.h"
#include "store/uRecordDb.h"
#include "store/uRecordDownload.h"
#include "store/uRecordFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <vector>
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

const char* const WorkFolderPrefix = "zyrtool-download-";

bool writeResult(TRecordDb& db, const QString& file, bool analysis, const QString& workFolder, QString& error)
{
    if (file == QLatin1String("-")) {
        // Standard output: the CSV is made beside the work database and copied out whole.
        const QString csv = QDir(workFolder).filePath(QStringLiteral("records.csv"));
        int rows = 0;
        if (!ExportRecordsCsv(db, csv, analysis, &error, &rows)) return false;
        if (rows == 0) return WriteOutput(file, QByteArray(), &error);
        QFile in(csv);
        const QByteArray bytes = in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
        return WriteOutput(file, bytes, &error);
    }
    if (file.endsWith(QLatin1String(".mdb"), Qt::CaseInsensitive))
        return CopyRecordDatabase(db, file, &error);
    int rows = 0;
    if (!ExportRecordsCsv(db, file, analysis, &error, &rows)) return false;
    // No record: the file is written empty, so a script finds what it asked for.
    if (rows == 0) return WriteOutput(file, QByteArray(), &error);
    return true;
}

} // namespace

void RemoveStaleDownloadFolders()
{
    RemoveStaleScratch(QDir::tempPath(),
                       QStringLiteral("^%1(\\d+)-[A-Za-z0-9]{6}$").arg(QLatin1String(WorkFolderPrefix)));
}

int RunDownloadCommand(const TCmdLine& options)
{
    LocalPara.Language = options.Language;
    // A name that cannot be written is refused at once, not after the whole download.
    if (!OutputWritable(options.DownloadLog)) return 1;
    QString error;
    // A database of the command's own: the operator's local records are not touched. The
    // folder goes with the command however it ends (an interrupt included).
    QTemporaryDir work(QDir::tempPath() + QLatin1Char('/') + QLatin1String(WorkFolderPrefix) +
                       QString::number(QCoreApplication::applicationPid()) + QStringLiteral("-XXXXXX"));
    if (!work.isValid())
        return Fail(1, QStringLiteral("cannot make a temporary folder: %1").arg(work.errorString()));
    TRecordDb db;
    db.SetFilePath(QDir(work.path()).filePath(QStringLiteral("record.mdb")));
    if (!db.OpenRecordDb(&error))
        return Fail(1, QStringLiteral("cannot create the record database: %1").arg(error));

    THeadlessLink link(options);
    if (!link.Open(QStringLiteral("reading the record counters of"))) return 1;

    // The record counters, as the event-record window reads them.
    Cabinet().RecInfo.RecCntRecvd = 0;
    link.FillSlot(2, 3, RegRecCountFirst, RecCountReadCount);
    const bool counted = link.RunUntil([] { return Cabinet().RecInfo.RecCntRecvd != 0; }, 3);
    if (const int signal = TSignalWatch::Caught()) {
        link.Close();
        return Fail(TSignalWatch::ExitStatus(signal),
                    QStringLiteral("%1 before the first record; nothing written").arg(TSignalWatch::Name(signal)));
    }
    if (!counted) return Fail(2, link.NoAnswer(QStringLiteral("the record counters")));
    const int32_t from = options.From;
    const int32_t last = Cabinet().RecInfo.AllRec;
    std::fprintf(stderr, "zyrtool: the cabinet holds %d records (at most %d); downloading from %d\n", last,
                 Cabinet().RecInfo.MaxRec, from);

    TDownloadProgress progress;
    QElapsedTimer clock;
    clock.start();
    progress.Start(from, last, clock.elapsed());
    TProgressLine line;
    TRecordDownload download;
    TRecordDownload::TState state = TRecordDownload::TState::Running;
    QString storeError;
    int32_t failedRecNo = 0;
    if (last >= from) {
        download.Start(from);
        QEventLoop loop;
        QTimer tick;
        tick.setInterval(100);
        const auto requestRecord = [&] {
            if (link.Com()->ReqSlot[1].Pending == 0)
                link.FillSlot(1, 20, 0, 0, static_cast<uint16_t>(Cabinet().RecInfo.NextRecNo));
        };
        const auto store = [&](TRecordData& rec) {
            const TStoreOutcome out = db.StoreRecord(rec);
            if (!out.stored) {
                storeError = out.error;
                return false;
            }
            progress.Stored(clock.elapsed());
            return true;
        };
        // On a line-speed link a record is stored once the next request is on its way, so the
        // database's write overlaps the line's round trip instead of adding to it.
        std::vector<TRecordData> toStore;
        const auto storeWaiting = [&] {
            for (TRecordData& rec : toStore) {
                if (!storeError.isEmpty()) break;
                if (!store(rec)) failedRecNo = rec.RecNo;
            }
            toStore.clear();
        };
        const auto storeLater = [&](TRecordData& rec) {
            toStore.push_back(rec);
            if (toStore.size() == 1)
                QTimer::singleShot(0, &loop, [&] {
                    storeWaiting();
                    if (!storeError.isEmpty()) loop.quit();
                });
            return true;
        };
        const auto after = [&] {
            progress.SetLast(Cabinet().RecInfo.AllRec);
            line.Show(progress);
            if (!storeError.isEmpty() || state != TRecordDownload::TState::Running || !link.PortOpen() ||
                TSignalWatch::Caught() != 0)
                loop.quit();
        };
        QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
            if (state != TRecordDownload::TState::Running) return; // ended by a reply just now
            state = download.Tick(requestRecord, store);
            after();
        });
        // On a line-speed link the next record is asked for the moment a reply is accepted.
        QObject::connect(link.Com(), &TFrmCom::ReplyArrived, &loop, [&] {
            if (state != TRecordDownload::TState::Running) return;
            state = download.ReplyNow(requestRecord, storeLater);
            after();
        });
        tick.start();
        loop.exec();
        storeWaiting();
        download.Stop();
        line.Show(progress, true);
        line.End();
        const double seconds = double(clock.elapsed()) / 1000.0;
        std::fprintf(stderr, "zyrtool: %d records downloaded in %.2f s (%.2f records/s)\n", progress.Done(),
                     seconds, seconds > 0 ? progress.Done() / seconds : 0.0);
    }
    link.Close();

    int status = 0;
    const int signal = TSignalWatch::Caught();
    if (signal != 0) {
        // Stopped as the operator asked: what was stored is written all the same.
        status = TSignalWatch::ExitStatus(signal);
        if (last >= from && state != TRecordDownload::TState::Finished)
            std::fprintf(stderr, "zyrtool: %s; records %d to %d are missing\n",
                         qPrintable(TSignalWatch::Name(signal)), Cabinet().RecInfo.NextRecNo, last);
    } else if (!storeError.isEmpty()) {
        std::fprintf(stderr, "zyrtool: record %d could not be stored: %s\n",
                     failedRecNo ? failedRecNo : Cabinet().RecInfo.NextRecNo, qPrintable(storeError));
        status = 1;
    } else if (last >= from && state != TRecordDownload::TState::Finished) {
        std::fprintf(stderr, "zyrtool: the cabinet stopped answering; records %d to %d are missing\n",
                     Cabinet().RecInfo.NextRecNo, last);
        status = 2;
    }
    if (!writeResult(db, options.DownloadLog, options.Analysis, work.path(), error)) return OutputFailed(error);
    std::fprintf(stderr, "zyrtool: %d records written to %s\n", progress.Done(),
                 qPrintable(options.DownloadLog));
    return status;
}
