#include "cli/uValueLogCommand.h"

#include "cli/uCommandOutput.h"
#include "cli/uHeadlessLink.h"
#include "cli/uSignalWatch.h"
#include "comm/uCabinet.h"
#include "comm/uFrmCom.h"
#include "comm/uLinkConnections.h"
#include "comm/uLinkRequest.h"
#include "model/UShareData.h"
#include "model/uDataFunc.h"
#include "model/uFileWriter.h"
#include "model/uRegisters.h"
#include "model/uUpsInfo.h"
#include "model/uValueColumns.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace {

constexpr int ValueBlockFunc = 4;
constexpr int32_t ValueBlockStart = RegSystemFirst;
constexpr int StartCycles = 3; // cycles the cabinet has to answer anything in

// What the logger learns from the link: when the value block last came, how long a cycle takes.
class TLogWatch {
public:
    TLogWatch() { clock_.start(); }
    void PollCycleEnded(int)
    {
        const qint64 now = clock_.elapsed();
        // The first cycle in which the values came tells what the line can keep up with.
        if (cycleMs_ < 0 && valuesInCycle_) cycleMs_ = now - cycleStart_;
        cycleStart_ = now;
        valuesInCycle_ = false;
    }
    void ReplyAccepted(const TLinkRequest& request, const uint16_t*, int)
    {
        anyReply_ = true;
        if (request.func == ValueBlockFunc && request.startReg == ValueBlockStart) {
            valuesAt_ = clock_.elapsed();
            valuesInCycle_ = true;
        }
    }
    bool AnyReply() const { return anyReply_; }
    qint64 CycleMs() const { return cycleMs_; }
    qint64 Now() const { return clock_.elapsed(); }
    // The values of the record are no older than limitMs.
    bool Fresh(qint64 limitMs) const { return valuesAt_ >= 0 && clock_.elapsed() - valuesAt_ <= limitMs; }

private:
    QElapsedTimer clock_;
    qint64 cycleStart_ = 0;
    qint64 cycleMs_ = -1;
    qint64 valuesAt_ = -1;
    bool valuesInCycle_ = false;
    bool anyReply_ = false;
};

// The log file, opened for appending; every line is written whole and pushed to the disk. "-"
// is standard output; a FIFO, a terminal or a device is written in place.
class TLogFile {
public:
    explicit TLogFile(const QString& path) : path_(path) {}
    ~TLogFile()
    {
        if (fd_ > STDERR_FILENO) ::close(fd_);
    }
    TLogFile(const TLogFile&) = delete;
    TLogFile& operator=(const TLogFile&) = delete;
    bool Open(bool writeHeader, bool endPartialLine, const QString& header)
    {
        if (path_ == QLatin1String("-")) {
            fd_ = STDOUT_FILENO;
        } else if (const QFileInfo info(path_); info.exists() && !info.isFile()) {
            fd_ = OpenInPlace(path_, 0, &reason_);
        } else {
            fd_ =
                ::open(QFile::encodeName(path_).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
            if (fd_ < 0) reason_ = QString::fromLocal8Bit(std::strerror(errno));
        }
        if (fd_ < 0) return false;
        QByteArray start;
        if (writeHeader)
            start = QByteArray(ValueLogBom, 3) + header.toUtf8() + ValueLogEol;
        else if (endPartialLine)
            start = ValueLogEol; // the line a power cut left unfinished ends here
        return start.isEmpty() || Write(start);
    }
    bool WriteLine(const QString& line) { return Write(line.toUtf8() + ValueLogEol); }
    QString Error() const { return reason_; }

private:
    bool Write(const QByteArray& bytes)
    {
        return WriteAll(fd_, bytes.constData(), bytes.size(), &reason_) && SyncToDisk(fd_, &reason_);
    }
    QString path_;
    int fd_ = -1;
    QString reason_;
};

QString lineNow(const TLogWatch& watch, qint64 staleMs, int address)
{
    const auto& columns = ValueColumns();
    QStringList values;
    const QString time = ValueLogTime(QDateTime::currentDateTime());
    if (!watch.Fresh(staleMs)) {
        for (size_t i = 0; i < columns.size(); ++i) values << QString();
        return ValueLogLine(time, values, LangText("No reply", "无应答"));
    }
    const TUpsData& u = Cabinet().UpsData[address];
    for (const TValueColumn& c : columns) values << ValueText(c, c.get(u));
    return ValueLogLine(time, values, StateText(u.SysState));
}

// Ctrl-C and SIGTERM are the logger's normal end (status 0); a closed terminal (SIGHUP) ends
// it the same way, with the last line written, but says so in its status.
int hungUp(int status)
{
    return status == 0 && TSignalWatch::Caught() == SIGHUP ? TSignalWatch::ExitStatus(SIGHUP) : status;
}

} // namespace

int RunValueLogCommand(const TCmdLine& options)
{
    const QString path = options.LogValues;
    const QString header = ValueLogHeader(AllValueColumns());
    bool unterminated = false;
    QString found;
    const bool toStdout = path == QLatin1String("-");
    // The output is checked before the port opens: a run that cannot write its lines ends now.
    QString error;
    if (!toStdout) {
        const QFileInfo info(path);
        if (info.isFile()) {
            if (::access(QFile::encodeName(path).constData(), W_OK) != 0)
                return Fail(1, QStringLiteral("cannot write %1: %2")
                                   .arg(path, QString::fromLocal8Bit(std::strerror(errno))));
        } else if (!CheckOutputPath(path, &error)) {
            return Fail(1, error);
        }
    }
    const THeaderMatch match =
        toStdout ? THeaderMatch::Absent : MatchValueLogHeader(path, header, &unterminated, &found);
    if (match == THeaderMatch::Other)
        return Fail(1, QStringLiteral("%1 is not a value log with these columns; it is left as it is "
                                      "(its first line: \"%2\")")
                           .arg(path, found.left(80)));
    LocalPara.Language = static_cast<uint8_t>(options.Language);

    // Ctrl-C and SIGTERM end the run after its last line; the headless run watches them from
    // its start, and a logger started on its own watches them itself.
    std::unique_ptr<TSignalWatch> ownWatch;
    TSignalWatch* stopWatch = TSignalWatch::Active();
    if (!stopWatch) {
        ownWatch = std::make_unique<TSignalWatch>();
        stopWatch = ownWatch.get();
    }
    bool stopAsked = TSignalWatch::Caught() != 0;

    THeadlessLink link(options);
    TLogWatch watch;
    TLinkConnections watching;
    watching << QObject::connect(link.Com(), &TFrmCom::PollCycleEnded, [&watch](int address) { watch.PollCycleEnded(address); })
             << QObject::connect(link.Com(), &TFrmCom::ReplyAccepted,
                                 [&watch](const TLinkRequest& r, const uint16_t* regs, int count) {
                                     watch.ReplyAccepted(r, regs, count);
                                 });
    QObject::connect(stopWatch, &TSignalWatch::Interrupted, [&](int) { stopAsked = true; });

    if (!link.Open(QStringLiteral("logging"), QStringLiteral(" to ") + path)) return 1;
    // The link is set for Modbus RTU at --baud, at the line speed when --fast asked for it.

    link.RunUntil([&] { return watch.AnyReply() || stopAsked; }, StartCycles);
    if (!watch.AnyReply()) {
        if (stopAsked) return hungUp(0);
        return Fail(2, link.NoAnswer(QStringLiteral("within three poll cycles")));
    }
    // The first cycle with values tells the shortest interval the line can keep.
    link.RunUntil([&] { return watch.CycleMs() >= 0 || stopAsked; }, 2);

    qint64 intervalMs = options.LogIntervalMs;
    if (watch.CycleMs() > intervalMs) {
        intervalMs = (watch.CycleMs() + 99) / 100 * 100;
        std::fprintf(stderr, "zyrtool: a poll cycle takes %.1f s; the interval is raised to %.1f s\n",
                     double(watch.CycleMs()) / 1000.0, double(intervalMs) / 1000.0);
    }
    // A line has values while the record was refreshed within two intervals (or cycles).
    const qint64 staleMs = 2 * std::max<qint64>(intervalMs, std::max<qint64>(watch.CycleMs(), 0));

    TLogFile file(path);
    if (!file.Open(match == THeaderMatch::Absent, unterminated, header)) {
        // A signal while waiting for a FIFO's reader ends the run with its status.
        if (const int signal = TSignalWatch::Caught())
            return Fail(TSignalWatch::ExitStatus(signal),
                        QStringLiteral("%1 before %2 could be opened").arg(TSignalWatch::Name(signal), path));
        return Fail(1, QStringLiteral("cannot write %1: %2").arg(path, file.Error()));
    }

    QEventLoop loop;
    QTimer tick;
    tick.setSingleShot(true);
    tick.setTimerType(Qt::PreciseTimer);
    const qint64 start = watch.Now();
    qint64 lines = 0;
    int status = 0;
    auto writeLine = [&] {
        if (!file.WriteLine(lineNow(watch, staleMs, link.Address()))) {
            status = Fail(1, QStringLiteral("cannot write %1: %2").arg(path, file.Error()));
            return false;
        }
        ++lines;
        return true;
    };
    auto schedule = [&] {
        // Deadlines from the start, so the intervals do not creep.
        const qint64 next = start + lines * intervalMs;
        tick.start(int(std::max<qint64>(0, next - watch.Now())));
    };
    QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
        if (options.LogDurationMs >= 0 && watch.Now() - start > options.LogDurationMs) {
            loop.quit();
            return;
        }
        if (!writeLine()) {
            loop.quit();
            return;
        }
        schedule();
    });
    QObject::connect(stopWatch, &TSignalWatch::Interrupted, &loop, [&](int) {
        tick.stop();
        writeLine(); // the last line, at the moment of the stop
        loop.quit();
    });
    if (stopAsked) {
        writeLine();
        return hungUp(status);
    }
    tick.start(0);
    loop.exec();
    link.Close();
    std::fprintf(stderr, "zyrtool: %lld lines written to %s\n", static_cast<long long>(lines),
                 qPrintable(path));
    return hungUp(status);
}
