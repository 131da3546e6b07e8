// The one way the tool writes a file: CSV exports, database copies, snapshots, downloads and
// the settings file all go through it.
//
// A regular file (or a new one) is written into a temporary file beside it; every write is
// checked, the file is flushed, its size checked and synced to the disk, and only then renamed
// over the old one, so a failure (a full disk, a removed medium) leaves the old file as it was
// and no temporary file behind. A symbolic link is written through: the file it points to is
// replaced and the link stays. A target that is not a regular file (a character device, a
// FIFO, a terminal) is written in place and never renamed over; a FIFO nobody reads yet is
// waited for as long as the run's reader wait allows. A failure names the file and gives the
// system's reason, taken at the call that failed.
//
// The temporary files are named ".NAME.PID-RANDOM.tmp" after the process that made them; a run
// that finds such files of a process that is gone (killed before it could clean up), or older
// than a day, removes them.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class TFileWriter {
public:
    explicit TFileWriter(const QString& path);
    // An unfinished write is cancelled: the temporary file is removed, the old file kept.
    ~TFileWriter();
    TFileWriter(const TFileWriter&) = delete;
    TFileWriter& operator=(const TFileWriter&) = delete;

    bool Open();
    bool Write(const char* data, qint64 size);
    bool Write(const QByteArray& bytes) { return Write(bytes.constData(), bytes.size()); }
    // Flushes, checks the size, syncs and puts the file in place. False (and the old file
    // untouched) when anything failed, now or in an earlier write.
    bool Commit();
    void Cancel();

    // "cannot write PATH: REASON", empty while nothing failed.
    QString ErrorString() const;
    // The system's reason alone.
    QString Reason() const { return reason_; }
    QString Path() const { return path_; }
    // True when the target is not a regular file and is written in place.
    bool InPlace() const { return inPlace_; }

    // Writes bytes as the whole file at path; false with ErrorString's text.
    static bool WriteWhole(const QString& path, const QByteArray& bytes, QString* error);

    // Puts a finished file that another engine wrote (a database copy) at path: synced to the
    // disk and renamed over the target when that is a regular file or missing, else copied into
    // the target in place. finished is gone afterwards, whatever the outcome.
    static bool PlaceFinished(const QString& finished, const QString& path, QString* error);

    // Where another engine should write a file that PlaceFinished will put at path: beside the
    // file a link leads to, so that the rename stays on one file system; in the system's
    // temporary folder when the target is not a regular file. The name does not exist yet.
    static QString ScratchPathFor(const QString& path);

    // The file a path names once symbolic links are followed (the path itself when it is no
    // link); a link to a missing file gives the missing file's path.
    static QString FollowLinks(const QString& path, QString* error = nullptr);

private:
    bool fail(const QString& reason);

    QString path_;
    QString target_; // the file replaced: path_ with its links followed
    QString temp_;   // the temporary file beside target_, empty when written in place
    bool inPlace_ = false;
    bool open_ = false;
    bool failed_ = false;
    qint64 written_ = 0;
    QString reason_;
    int fd_ = -1;
};

// Before a long run writes its result: the folder must exist and be writable and the name must
// not be a folder (nor a file that may not be written). False with "cannot write PATH: REASON".
bool CheckOutputPath(const QString& path, QString* error);

// Writes bytes to standard output and flushes it; false with "cannot write standard output:
// REASON" when the system refused (a full disk, a closed pipe).
bool WriteStandardOutput(const QByteArray& bytes, QString* error);

// A FIFO that no program reads yet: the writer asks this every 50 ms, with the time waited so
// far (0 the first time), whether to wait on; false fails the open with "no program reads it".
// By default a FIFO is waited for 10 s; a headless command waits until a signal ends the run.
using TReaderWait = std::function<bool(const QString& path, qint64 waitedMs)>;
void SetReaderWait(TReaderWait wait);
// Opens a target that is not a regular file (a device, a FIFO, a terminal) for writing in
// place, waiting for a FIFO's reader as SetReaderWait says. extraFlags adds to O_WRONLY (such
// as O_APPEND). The descriptor, or -1 with the system's reason.
int OpenInPlace(const QString& path, int extraFlags, QString* reason);
// Pushes what the system holds for the descriptor to the disk. Only a regular file has a disk
// behind it: a pipe, a FIFO, a terminal or a device is not synced, and its refusal to be
// (EINVAL, ENOTSUP, EROFS) is no failure. False with the system's reason.
bool SyncToDisk(int fd, QString* reason);
// Writes every byte, again after an interrupted call; false with the system's reason.
bool WriteAll(int fd, const char* data, qint64 size, QString* reason);

// Removes the temporary files and folders a run of this tool left behind when it was killed:
// the names in folder that match pattern (a regular expression whose first group is the pid
// of the process that made them) and that belong to this user, whose process is no longer
// alive or that are older than a day. Anything else is left alone. The names removed.
QStringList RemoveStaleScratch(const QString& folder, const QString& pattern);
// The pattern of the writer's temporary files for a file name.
QString ScratchPatternFor(const QString& fileName);

// Test seam: when set, every write of a TFileWriter asks it first with the target's path, the
// offset and the size of the write; a non-zero answer fails that write with that system error
// code (ENOSPC, EIO) as if the system had refused it. An empty function removes it.
using TWriteFault = std::function<int(const QString& path, qint64 offset, qint64 size)>;
void SetWriteFaultForTesting(TWriteFault fault);
