#include "model/uFileWriter.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#ifdef Q_OS_WIN
#include <io.h>
#else
#include <csignal>
#include <unistd.h>
#endif

namespace {

TWriteFault writeFault;

QString systemReason(int code) { return QString::fromLocal8Bit(std::strerror(code)); }

QString shown(const QString& path) { return QDir::toNativeSeparators(path); }

QString cannotWrite(const QString& path, const QString& reason)
{
    return QStringLiteral("cannot write %1: %2").arg(shown(path), reason);
}

std::filesystem::path fsPath(const QString& path) { return std::filesystem::path(path.toStdU16String()); }

TReaderWait readerWait;

bool defaultReaderWait(const QString&, qint64 waitedMs) { return waitedMs < 10000; }

// The temporary name beside a file: ".NAME.PID-RANDOM.tmp".
QString scratchName(const QString& folder, const QString& name)
{
    return folder + QLatin1String("/.") + name +
           QStringLiteral(".%1-%2.tmp")
               .arg(QCoreApplication::applicationPid())
               .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
}

// The rename into a folder is made lasting by syncing the folder itself.
void syncFolder(const QString& folder)
{
#ifndef Q_OS_WIN
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
#else
    Q_UNUSED(folder);
#endif
}

bool folderWritable(const QString& folder)
{
#ifndef Q_OS_WIN
    return ::access(QFile::encodeName(folder).constData(), W_OK) == 0;
#else
    return QFileInfo(folder).isWritable();
#endif
}

} // namespace

void SetWriteFaultForTesting(TWriteFault fault) { writeFault = std::move(fault); }

void SetReaderWait(TReaderWait wait) { readerWait = std::move(wait); }

int OpenInPlace(const QString& path, int extraFlags, QString* reason)
{
    const QByteArray name = QFile::encodeName(path);
#ifdef Q_OS_WIN
    const int fd = ::_open(name.constData(), _O_WRONLY | _O_BINARY | extraFlags);
    if (fd < 0) *reason = systemReason(errno);
    return fd;
#else
    // Opened without blocking: a FIFO with no reader answers ENXIO at once instead of holding
    // the program in open(), where no signal could end the run.
    for (qint64 waited = 0;; waited += 50) {
        const int fd = ::open(name.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | extraFlags);
        if (fd >= 0) {
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
            return fd;
        }
        const int err = errno;
        if (err == EINTR) continue;
        if (err != ENXIO) {
            *reason = systemReason(err);
            return -1;
        }
        const bool goOn = readerWait ? readerWait(path, waited) : defaultReaderWait(path, waited);
        if (!goOn) {
            *reason = QStringLiteral("it is a FIFO that no program reads");
            return -1;
        }
        QThread::msleep(50);
    }
#endif
}

bool SyncToDisk(int fd, QString* reason)
{
#ifdef Q_OS_WIN
    struct _stat st {};
    if (::_fstat(fd, &st) == 0 && (st.st_mode & _S_IFMT) != _S_IFREG) return true;
    if (::_commit(fd) == 0) return true;
    *reason = systemReason(errno);
    return false;
#else
    struct stat st {};
    if (::fstat(fd, &st) == 0 && !S_ISREG(st.st_mode)) return true; // nothing of it is on a disk
    if (::fsync(fd) == 0) return true;
    const int err = errno;
    if (err == EINVAL || err == ENOTSUP || err == EROFS) return true; // a file system that cannot sync
    *reason = systemReason(err);
    return false;
#endif
}

bool WriteAll(int fd, const char* data, qint64 size, QString* reason)
{
    qint64 done = 0;
    while (done < size) {
#ifdef Q_OS_WIN
        const int n = ::_write(fd, data + done, unsigned(std::min<qint64>(size - done, 1 << 30)));
#else
        const ssize_t n = ::write(fd, data + done, size_t(size - done));
#endif
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            *reason = systemReason(n < 0 ? errno : EIO);
            return false;
        }
        done += n;
    }
    return true;
}

QString ScratchPatternFor(const QString& fileName)
{
    return QStringLiteral("^\\.%1\\.(\\d+)-[0-9a-f]{8}\\.tmp$").arg(QRegularExpression::escape(fileName));
}

QStringList RemoveStaleScratch(const QString& folder, const QString& pattern)
{
    QStringList removed;
    const QRegularExpression re(pattern);
    const QDateTime dayAgo = QDateTime::currentDateTime().addDays(-1);
    const QFileInfoList entries =
        QDir(folder).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo& info : entries) {
        const QRegularExpressionMatch m = re.match(info.fileName());
        if (!m.hasMatch() || info.isSymLink()) continue;
        const qint64 pid = m.captured(1).toLongLong();
        if (pid == QCoreApplication::applicationPid()) continue; // this run's own
#ifndef Q_OS_WIN
        struct stat st {};
        if (::lstat(QFile::encodeName(info.absoluteFilePath()).constData(), &st) != 0 ||
            st.st_uid != ::getuid())
            continue; // another user's
        const bool gone = pid <= 0 || pid > 0x7fffffff || (::kill(pid_t(pid), 0) != 0 && errno == ESRCH);
#else
        const bool gone = false;
#endif
        if (!gone && info.lastModified() > dayAgo) continue;
        const bool ok = info.isDir() ? QDir(info.absoluteFilePath()).removeRecursively()
                                     : QFile::remove(info.absoluteFilePath());
        if (ok) removed << info.fileName();
    }
    return removed;
}

QString TFileWriter::FollowLinks(const QString& path, QString* error)
{
    QString p = QFileInfo(path).absoluteFilePath();
    // As many links as the system follows itself.
    for (int hops = 0; hops < 40; ++hops) {
        const QFileInfo info(p);
        if (!info.isSymLink()) return p;
        // An existing file is found by the system's own resolution (this also serves the
        // links of /proc, whose text is no path).
        if (info.exists()) {
            const QString canonical = info.canonicalFilePath();
            return canonical.isEmpty() ? p : canonical;
        }
        const QString next = info.symLinkTarget();
        if (next.isEmpty()) return p;
        p = next;
    }
    if (error) *error = systemReason(ELOOP);
    return QString();
}

TFileWriter::TFileWriter(const QString& path) : path_(path) {}

TFileWriter::~TFileWriter()
{
    if (open_) Cancel();
}

bool TFileWriter::fail(const QString& reason)
{
    if (!failed_) reason_ = reason;
    failed_ = true;
    return false;
}

bool TFileWriter::Open()
{
    failed_ = false;
    reason_.clear();
    written_ = 0;
    const QFileInfo info(path_); // follows links
    if (info.exists() && info.isDir()) return fail(QStringLiteral("it is a folder"));
    if (info.exists() && !info.isFile()) {
        // A device, a FIFO or a terminal: written where it is; the name is opened as given,
        // so that /dev/stdout reaches whatever standard output is.
        inPlace_ = true;
        QString reason;
        fd_ = OpenInPlace(path_, 0, &reason);
        if (fd_ < 0) return fail(reason);
        open_ = true;
        return true;
    }
    QString linkError;
    target_ = FollowLinks(path_, &linkError);
    if (target_.isEmpty()) return fail(linkError);
    const QFileInfo target(target_);
    const QString folder = target.absolutePath();
    if (!QFileInfo(folder).isDir()) return fail(QStringLiteral("the folder %1 does not exist").arg(shown(folder)));
    // What a killed run of the tool left beside this file goes first.
    RemoveStaleScratch(folder, ScratchPatternFor(target.fileName()));
    for (int tries = 0; tries < 100 && fd_ < 0; ++tries) {
        temp_ = scratchName(folder, target.fileName());
#ifdef Q_OS_WIN
        fd_ = ::_open(QFile::encodeName(temp_).constData(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, 0666);
#else
        fd_ = ::open(QFile::encodeName(temp_).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
#endif
        if (fd_ >= 0) break;
        const int err = errno;
        if (err == EEXIST) continue; // another name
        temp_.clear();
        return fail(systemReason(err));
    }
    if (fd_ < 0) {
        temp_.clear();
        return fail(systemReason(EEXIST));
    }
    // The new file keeps the old one's permissions.
#ifndef Q_OS_WIN
    struct stat old {};
    if (::stat(QFile::encodeName(target_).constData(), &old) == 0) ::fchmod(fd_, old.st_mode & 07777);
#else
    if (target.exists()) QFile::setPermissions(temp_, target.permissions());
#endif
    open_ = true;
    return true;
}

bool TFileWriter::Write(const char* data, qint64 size)
{
    if (!open_) return fail(QStringLiteral("the file is not open"));
    if (failed_) return false;
    if (writeFault) {
        const int code = writeFault(path_, written_, size);
        if (code != 0) return fail(systemReason(code));
    }
    QString reason;
    if (!WriteAll(fd_, data, size, &reason)) return fail(reason);
    written_ += size;
    return true;
}

bool TFileWriter::Commit()
{
    if (!open_) return fail(QStringLiteral("the file is not open"));
    if (failed_) {
        Cancel();
        return false;
    }
    QString reason;
    bool ok = SyncToDisk(fd_, &reason);
#ifdef Q_OS_WIN
    const int closed = ::_close(fd_);
#else
    const int closed = ::close(fd_);
#endif
    if (ok && closed != 0 && errno != EINTR) {
        ok = false;
        reason = systemReason(errno);
    }
    fd_ = -1;
    open_ = false;
    if (inPlace_) {
        if (!ok) return fail(reason);
        return true;
    }
    if (ok) {
        const qint64 size = QFileInfo(temp_).size();
        if (size != written_) {
            ok = false;
            reason = QStringLiteral("the file holds %1 bytes of %2").arg(size).arg(written_);
        }
    }
    if (ok) {
        std::error_code ec;
        std::filesystem::rename(fsPath(temp_), fsPath(target_), ec);
        if (ec) {
            ok = false;
            reason = QString::fromLocal8Bit(ec.message().c_str());
        }
    }
    if (!ok) {
        QFile::remove(temp_);
        temp_.clear();
        return fail(reason);
    }
    temp_.clear();
    syncFolder(QFileInfo(target_).absolutePath());
    return true;
}

void TFileWriter::Cancel()
{
    if (fd_ >= 0) {
#ifdef Q_OS_WIN
        ::_close(fd_);
#else
        ::close(fd_);
#endif
    }
    fd_ = -1;
    if (!temp_.isEmpty()) QFile::remove(temp_);
    temp_.clear();
    open_ = false;
}

QString TFileWriter::ErrorString() const { return failed_ ? cannotWrite(path_, reason_) : QString(); }

bool TFileWriter::WriteWhole(const QString& path, const QByteArray& bytes, QString* error)
{
    TFileWriter writer(path);
    if (writer.Open() && writer.Write(bytes) && writer.Commit()) return true;
    if (error) *error = writer.ErrorString();
    return false;
}

QString TFileWriter::ScratchPathFor(const QString& path)
{
    const QFileInfo info(path);
    QString folder;
    QString name = info.fileName();
    if (info.exists() && !info.isFile()) {
        folder = QDir::tempPath();
    } else {
        const QString target = FollowLinks(path);
        const QFileInfo t(target.isEmpty() ? path : target);
        folder = t.absolutePath();
        name = t.fileName();
    }
    RemoveStaleScratch(folder, ScratchPatternFor(name));
    QString scratch;
    do {
        scratch = scratchName(folder, name);
    } while (QFileInfo::exists(scratch));
    return scratch;
}

bool TFileWriter::PlaceFinished(const QString& finished, const QString& path, QString* error)
{
    auto failWith = [&](const QString& reason) {
        QFile::remove(finished);
        if (error) *error = cannotWrite(path, reason);
        return false;
    };
    const QFileInfo info(path);
    if (info.exists() && info.isDir()) return failWith(QStringLiteral("it is a folder"));
    if (info.exists() && !info.isFile()) {
        // A device or a pipe gets the bytes; it is never replaced.
        QFile in(finished);
        if (!in.open(QIODevice::ReadOnly)) return failWith(in.errorString());
        TFileWriter out(path);
        bool ok = out.Open();
        while (ok && !in.atEnd()) {
            const QByteArray chunk = in.read(1 << 16);
            if (in.error() != QFileDevice::NoError) return failWith(in.errorString());
            ok = out.Write(chunk);
        }
        if (ok) ok = out.Commit();
        in.close();
        QFile::remove(finished);
        if (!ok && error) *error = out.ErrorString();
        return ok;
    }
    QString linkError;
    const QString target = FollowLinks(path, &linkError);
    if (target.isEmpty()) return failWith(linkError);
    {
        QFile file(finished);
        if (!file.open(QIODevice::ReadWrite)) return failWith(file.errorString());
        QString reason;
        if (!SyncToDisk(int(file.handle()), &reason)) return failWith(reason);
    }
    std::error_code ec;
    std::filesystem::rename(fsPath(finished), fsPath(target), ec);
    if (ec) return failWith(QString::fromLocal8Bit(ec.message().c_str()));
    syncFolder(QFileInfo(target).absolutePath());
    return true;
}

bool CheckOutputPath(const QString& path, QString* error)
{
    auto refuse = [&](const QString& reason) {
        if (error) *error = cannotWrite(path, reason);
        return false;
    };
    const QFileInfo info(path);
    if (info.exists() && info.isDir()) return refuse(QStringLiteral("it is a folder"));
    if (info.exists() && !info.isFile()) {
#ifndef Q_OS_WIN
        if (::access(QFile::encodeName(path).constData(), W_OK) != 0) return refuse(systemReason(errno));
#endif
        return true;
    }
    QString linkError;
    const QString target = TFileWriter::FollowLinks(path, &linkError);
    if (target.isEmpty()) return refuse(linkError);
    const QString folder = QFileInfo(target).absolutePath();
    if (!QFileInfo(folder).isDir())
        return refuse(QStringLiteral("the folder %1 does not exist").arg(shown(folder)));
    // The new file is made beside the old one and renamed over it: the folder must take it.
    if (!folderWritable(folder))
        return refuse(QStringLiteral("the folder %1 is not writable").arg(shown(folder)));
    return true;
}

bool WriteStandardOutput(const QByteArray& bytes, QString* error)
{
    // errno alone proves nothing (the first output asks whether it is a terminal); the counts
    // and the stream's state do.
    const size_t n = std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    const bool wrote = n == size_t(bytes.size());
    int err = wrote ? 0 : errno;
    const bool flushed = std::fflush(stdout) == 0;
    if (!flushed && err == 0) err = errno;
    if (wrote && flushed && !std::ferror(stdout)) return true;
    if (error)
        *error = QStringLiteral("cannot write standard output: %1").arg(systemReason(err != 0 ? err : EIO));
    std::clearerr(stdout);
    return false;
}
