#include "model/uFileWriter.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#ifdef Q_OS_WIN
#include <io.h>
#else
#include <fcntl.h>
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

// Writes what the system buffers for the file to the disk. Devices, pipes and terminals have
// nothing to sync and say so; that is no failure.
bool syncToDisk(int fd, bool inPlace, QString* reason)
{
#ifdef Q_OS_WIN
    if (::_commit(fd) == 0 || inPlace) return true;
    *reason = systemReason(errno);
    return false;
#else
    if (::fsync(fd) == 0) return true;
    const int err = errno;
    if (inPlace && (err == EINVAL || err == ENOTSUP || err == EROFS || err == ENOTTY)) return true;
    *reason = systemReason(err);
    return false;
#endif
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
        file_.setFileName(path_);
        if (!file_.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) return fail(file_.errorString());
        open_ = true;
        return true;
    }
    QString linkError;
    target_ = FollowLinks(path_, &linkError);
    if (target_.isEmpty()) return fail(linkError);
    const QFileInfo target(target_);
    const QString folder = target.absolutePath();
    if (!QFileInfo(folder).isDir()) return fail(QStringLiteral("the folder %1 does not exist").arg(shown(folder)));
    for (int tries = 0; tries < 100; ++tries) {
        temp_ = folder + QLatin1String("/.") + target.fileName() +
                QStringLiteral(".%1.tmp").arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
        file_.setFileName(temp_);
        if (file_.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered)) break;
        if (QFileInfo::exists(temp_)) continue; // another name
        const QString reason = file_.errorString();
        temp_.clear();
        return fail(reason);
    }
    if (!file_.isOpen()) {
        temp_.clear();
        return fail(systemReason(EEXIST));
    }
    // The new file keeps the old one's permissions.
    if (target.exists()) file_.setPermissions(target.permissions());
    open_ = true;
    return true;
}

bool TFileWriter::Write(const char* data, qint64 size)
{
    if (!open_) return fail(QStringLiteral("the file is not open"));
    if (failed_) return false;
    qint64 done = 0;
    while (done < size) {
        if (writeFault) {
            const int code = writeFault(path_, written_, size - done);
            if (code != 0) return fail(systemReason(code));
        }
        const qint64 n = file_.write(data + done, size - done);
        if (n <= 0) {
            const QString reason = file_.errorString();
            return fail(reason.isEmpty() ? systemReason(EIO) : reason);
        }
        done += n;
        written_ += n;
    }
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
    bool ok = file_.flush();
    if (!ok) reason = file_.errorString();
    if (ok && !syncToDisk(int(file_.handle()), inPlace_, &reason)) ok = false;
    file_.close();
    if (ok && file_.error() != QFileDevice::NoError) {
        ok = false;
        reason = file_.errorString();
    }
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
    if (file_.isOpen()) file_.close();
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
    QString scratch;
    do {
        scratch = folder + QLatin1String("/.") + name +
                  QStringLiteral(".%1.tmp").arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
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
        if (!syncToDisk(int(file.handle()), false, &reason)) return failWith(reason);
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
