// The one file writer: a failed write (injected, or a real full disk) keeps the old file and
// says which file and why; devices, FIFOs and terminals are written in place and never
// replaced; links are written through; an output path is checked before a long run.
#include "cli/uDownloadCommand.h"
#include "model/UShareData.h"
#include "model/uFileWriter.h"
#include "store/uRecordDb.h"
#include "store/uRecordFiles.h"
#include "support/TestSupport.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

QString reasonOf(int code) { return QString::fromLocal8Bit(std::strerror(code)); }

// Every name in a folder, hidden ones included: a temporary file left behind shows here.
QString namesIn(const QString& folder)
{
    return QDir(folder)
        .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name)
        .join(QLatin1Char(' '));
}

mode_t typeOf(const QString& path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? (st.st_mode & S_IFMT) : 0;
}

class FileWriterTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetAll();
        ASSERT_TRUE(dir.isValid());
    }
    void TearDown() override
    {
        SetWriteFaultForTesting({});
        ResetAll();
    }
    QString path(const char* name) const { return dir.filePath(QLatin1String(name)); }
    QTemporaryDir dir;
    QTemporaryDir dbDir; // the record database and its logs, apart from the files written
};

// A write refused by the system (a full disk, an I/O error) at the first byte or half-way:
// the writer says so with the file's name and the system's reason, the old file keeps every
// byte, and no temporary file is left. The CSV export goes the same way.
TEST_F(FileWriterTest, InjectedWriteFailureKeepsTheOldFile)
{
    TRecordDb db;
    db.SetFilePath(dbDir.filePath("record.mdb"));
    ASSERT_TRUE(db.OpenRecordDb());
    for (int n = 1; n <= 12; ++n) {
        TRecordData r;
        r.DevID = 1;
        r.RecNo = n;
        r.Year = 2024;
        r.Month = 5;
        r.Day = 1;
        ASSERT_TRUE(db.StoreRecord(r).stored);
    }
    const QByteArray big(3 << 20, 'x');
    const struct {
        const char* name;
        int code;
        qint64 failAt; // the offset from which writes are refused
        bool csv;      // through the CSV export, else a whole file of bytes
    } cases[] = {
        {"full disk at the first byte", ENOSPC, 0, false},
        {"full disk half-way through 3 MB", ENOSPC, 1 << 20, false},
        {"I/O error half-way", EIO, 2 << 20, false},
        {"CSV export on a full disk", ENOSPC, 0, true},
    };
    const QString target = path("out.dat");
    const QByteArray old = "the previous file\n";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFile(target, old);
        SetWriteFaultForTesting([&](const QString& p, qint64 offset, qint64 size) {
            return p == target && offset + size > c.failAt ? c.code : 0;
        });
        QString error;
        const bool ok = c.csv ? ExportRecordsCsv(db, target, false, &error) : TFileWriter::WriteWhole(target, big, &error);
        SetWriteFaultForTesting({});
        EXPECT_FALSE(ok);
        EXPECT_EQ(error, QStringLiteral("cannot write %1: %2").arg(target, reasonOf(c.code)));
        EXPECT_EQ(FileBytes(target), old);
        EXPECT_EQ(namesIn(dir.path()), "out.dat");
    }
    // Without the fault the same writes succeed and replace the file.
    QString error;
    ASSERT_TRUE(ExportRecordsCsv(db, target, false, &error)) << error.toStdString();
    EXPECT_TRUE(FileBytes(target).contains("\r\n1,12,")) << "the twelfth record is written";
}

// A real full disk: a small tmpfs filled to the last page. Mounting needs root.
TEST_F(FileWriterTest, RealFullDiskKeepsTheOldFile)
{
    const QString mount = path("small");
    ASSERT_TRUE(QDir().mkpath(mount));
    if (::geteuid() != 0 ||
        ::mount("tmpfs", QFile::encodeName(mount).constData(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "a real full disk needs root to mount a small tmpfs; only the injected failures ran";
    struct Unmount {
        QString at;
        ~Unmount() { ::umount(QFile::encodeName(at).constData()); }
    } unmount{mount};
    const QString target = mount + QStringLiteral("/snapshot.json");
    const QByteArray old = "{\"old\": true}\n";
    WriteFile(target, old);
    // The rest of the space taken by a filler, as a disk that is full.
    {
        QFile filler(mount + QStringLiteral("/filler"));
        ASSERT_TRUE(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        const QByteArray page(4096, 'f');
        while (filler.write(page) == page.size()) {
        }
    }
    QString error;
    EXPECT_FALSE(TFileWriter::WriteWhole(target, QByteArray(32 * 1024, 'n'), &error));
    EXPECT_EQ(error, QStringLiteral("cannot write %1: %2").arg(target, reasonOf(ENOSPC)));
    EXPECT_EQ(FileBytes(target), old);
    EXPECT_EQ(namesIn(mount), "filler snapshot.json");
}

// Targets that are not regular files are written in place and stay what they are; a device
// that refuses the write (the full device) is reported.
TEST_F(FileWriterTest, DevicesFifosAndTerminalsAreWrittenInPlace)
{
    const QByteArray bytes = "{\"snapshot\": 1}\n";

    // A FIFO: a reader on the other end gets the bytes.
    const QString fifo = path("fifo");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QByteArray fromFifo;
    std::thread reader([&] {
        QFile in(fifo);
        if (in.open(QIODevice::ReadOnly)) fromFifo = in.readAll();
    });
    QString error;
    EXPECT_TRUE(TFileWriter::WriteWhole(fifo, bytes, &error)) << error.toStdString();
    reader.join();
    EXPECT_EQ(fromFifo, bytes);
    EXPECT_EQ(typeOf(fifo), mode_t(S_IFIFO));

    // A terminal: the other side of a pseudo-terminal reads the bytes.
    int master = -1, slave = -1;
    char name[256] = {};
    ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
    termios raw{};
    ::tcgetattr(slave, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(slave, TCSANOW, &raw);
    EXPECT_TRUE(TFileWriter::WriteWhole(QString::fromLocal8Bit(name), bytes, &error)) << error.toStdString();
    QByteArray fromTerminal(256, '\0');
    const ssize_t n = ::read(master, fromTerminal.data(), size_t(fromTerminal.size()));
    fromTerminal.resize(n > 0 ? int(n) : 0);
    EXPECT_EQ(fromTerminal, bytes);
    EXPECT_EQ(typeOf(QString::fromLocal8Bit(name)), mode_t(S_IFCHR));
    ::close(slave);
    ::close(master);

    // Device nodes of its own (null and full), so no system device is at stake: root only.
    const QString null = path("null"), full = path("full");
    if (::mknod(QFile::encodeName(null).constData(), S_IFCHR | 0666, makedev(1, 3)) != 0 ||
        ::mknod(QFile::encodeName(full).constData(), S_IFCHR | 0666, makedev(1, 7)) != 0) {
        std::printf("the device-node cases are skipped: making a device node needs root (%s)\n",
                    std::strerror(errno));
        return;
    }
    EXPECT_TRUE(TFileWriter::WriteWhole(null, bytes, &error)) << error.toStdString();
    EXPECT_EQ(typeOf(null), mode_t(S_IFCHR));
    EXPECT_FALSE(TFileWriter::WriteWhole(full, bytes, &error));
    EXPECT_EQ(error, QStringLiteral("cannot write %1: %2").arg(full, reasonOf(ENOSPC)));
    EXPECT_EQ(typeOf(full), mode_t(S_IFCHR)) << "the device is never replaced";

    // A database copy onto a device goes into it too.
    TRecordDb db;
    db.SetFilePath(dbDir.filePath("record.mdb"));
    ASSERT_TRUE(db.OpenRecordDb());
    EXPECT_TRUE(CopyRecordDatabase(db, null, &error)) << error.toStdString();
    EXPECT_EQ(typeOf(null), mode_t(S_IFCHR));
    EXPECT_FALSE(CopyRecordDatabase(db, full, &error));
    EXPECT_TRUE(error.contains(full)) << error.toStdString();
    EXPECT_EQ(typeOf(full), mode_t(S_IFCHR));
    EXPECT_EQ(namesIn(dir.path()), "fifo full null");
}

// A FIFO with no reader never holds the writer in open(): the run's reader wait decides how
// long to wait, and a reader that comes while it waits gets the bytes.
TEST_F(FileWriterTest, FifoWithoutReaderWaitsAsToldAndNeverBlocksInOpen)
{
    const QString fifo = path("fifo");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QByteArray bytes = "{\"snapshot\": 2}\n";
    struct Restore {
        ~Restore() { SetReaderWait({}); }
    } restore;

    // No reader ever: the wait gives up (as a signal ends a headless run) and the open fails.
    int asked = 0;
    SetReaderWait([&](const QString& p, qint64 waitedMs) {
        EXPECT_EQ(p, fifo);
        ++asked;
        return waitedMs < 100;
    });
    QString error;
    EXPECT_FALSE(TFileWriter::WriteWhole(fifo, bytes, &error));
    EXPECT_EQ(error, QStringLiteral("cannot write %1: it is a FIFO that no program reads").arg(fifo));
    EXPECT_GE(asked, 2);
    EXPECT_EQ(typeOf(fifo), mode_t(S_IFIFO));

    // A reader that comes while the writer waits.
    QByteArray fromFifo;
    std::thread reader;
    SetReaderWait([&](const QString&, qint64 waitedMs) {
        if (waitedMs == 0)
            reader = std::thread([&] {
                QFile in(fifo);
                if (in.open(QIODevice::ReadOnly)) fromFifo = in.readAll();
            });
        return true;
    });
    EXPECT_TRUE(TFileWriter::WriteWhole(fifo, bytes, &error)) << error.toStdString();
    ASSERT_TRUE(reader.joinable()) << "the writer found no reader and waited for one";
    reader.join();
    EXPECT_EQ(fromFifo, bytes);
    EXPECT_EQ(namesIn(dir.path()), "fifo");
}

// Targets that refuse the write or the sync, each with the system's own reason: a pipe has
// nothing to sync (no failure), the full device and a file-size limit refuse the bytes.
TEST_F(FileWriterTest, RefusalsGiveTheSystemsReasonAndPipesNeedNoSync)
{
    const QByteArray bytes(8192, 'p');
    // A pipe reached by its name, as "/dev/stdout | cat" is.
    int ends[2] = {-1, -1};
    ASSERT_EQ(::pipe(ends), 0);
    ::fcntl(ends[0], F_SETFL, O_NONBLOCK);
    QString error;
    EXPECT_TRUE(TFileWriter::WriteWhole(QStringLiteral("/dev/fd/%1").arg(ends[1]), bytes, &error))
        << error.toStdString();
    QByteArray fromPipe(16384, '\0');
    const ssize_t n = ::read(ends[0], fromPipe.data(), size_t(fromPipe.size()));
    EXPECT_EQ(n, bytes.size());
    // Its reader gone: "Broken pipe", not "Unknown error" (the signal is ignored, as the
    // headless commands do).
    ::close(ends[0]);
    struct sigaction ignore {
    }, previous{};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGPIPE, &ignore, &previous);
    EXPECT_FALSE(TFileWriter::WriteWhole(QStringLiteral("/dev/fd/%1").arg(ends[1]), bytes, &error));
    ::sigaction(SIGPIPE, &previous, nullptr);
    EXPECT_EQ(error, QStringLiteral("cannot write /dev/fd/%1: %2").arg(ends[1]).arg(reasonOf(EPIPE)));
    ::close(ends[1]);

    // The full device: every write is refused with "No space left on device".
    if (QFileInfo::exists(QStringLiteral("/dev/full"))) {
        EXPECT_FALSE(TFileWriter::WriteWhole(QStringLiteral("/dev/full"), bytes, &error));
        EXPECT_EQ(error, QStringLiteral("cannot write /dev/full: %1").arg(reasonOf(ENOSPC)));
    }

    // A file-size limit (RLIMIT_FSIZE) in a child process: the kernel refuses the bytes past
    // the limit with EFBIG; the old file stays and no temporary file is left.
    const QString target = path("limited.csv");
    WriteFile(target, "old");
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{1000, 1000};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        QString childError;
        const bool wrote = TFileWriter::WriteWhole(target, bytes, &childError);
        const bool right =
            !wrote && childError == QStringLiteral("cannot write %1: %2").arg(target, reasonOf(EFBIG));
        ::_exit(right ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the child saw another outcome";
    EXPECT_EQ(FileBytes(target), QByteArray("old"));
    EXPECT_EQ(namesIn(dir.path()), "limited.csv");
}

// A process that is gone, made and reaped here: its pid names nobody.
pid_t deadPid()
{
    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    int status = 0;
    ::waitpid(child, &status, 0);
    return child;
}

// Temporary files a killed run left beside a file: those of a process that is gone, or older
// than a day, are removed by the next write there; a live process's, and any name not made by
// the writer, stay.
TEST_F(FileWriterTest, StaleTemporaryFilesOfKilledRunsAreRemoved)
{
    const pid_t gone = deadPid();
    const QString dead = QStringLiteral(".out.dat.%1-0123abcd.tmp").arg(gone);
    const QString live = QStringLiteral(".out.dat.1-89abcdef.tmp"); // init lives as long as we do
    const QString oldLive = QStringLiteral(".out.dat.1-00000000.tmp");
    const QString otherFile = QStringLiteral(".other.dat.%1-0123abcd.tmp").arg(gone);
    const QString notOurs = QStringLiteral(".out.dat.backup.tmp");
    for (const QString& name : {dead, live, oldLive, otherFile, notOurs})
        WriteFile(path(qPrintable(name)), "left");
    QFile old(path(qPrintable(oldLive)));
    ASSERT_TRUE(old.open(QIODevice::ReadWrite));
    ASSERT_TRUE(old.setFileTime(QDateTime::currentDateTime().addDays(-2), QFileDevice::FileModificationTime));
    old.close();

    QString error;
    ASSERT_TRUE(TFileWriter::WriteWhole(path("out.dat"), "new", &error)) << error.toStdString();
    const QStringList left = namesIn(dir.path()).split(' ');
    EXPECT_FALSE(left.contains(dead));
    EXPECT_FALSE(left.contains(oldLive));
    EXPECT_TRUE(left.contains(live));
    EXPECT_TRUE(left.contains(otherFile)) << "another file's are cleaned when that file is written";
    EXPECT_TRUE(left.contains(notOurs));
    EXPECT_EQ(FileBytes(path("out.dat")), QByteArray("new"));

    // The download's work folders in the system's temporary folder, the same way.
    const QString goneFolder = QDir::temp().filePath(QStringLiteral("zyrtool-download-%1-Ab12Cd").arg(gone));
    const QString liveFolder = QDir::temp().filePath(QStringLiteral("zyrtool-download-1-Ef34Gh"));
    for (const QString& f : {goneFolder, liveFolder}) {
        ASSERT_TRUE(QDir().mkpath(f));
        WriteFile(f + QStringLiteral("/record.mdb"), "db");
    }
    RemoveStaleDownloadFolders();
    EXPECT_FALSE(QFileInfo::exists(goneFolder));
    EXPECT_TRUE(QFileInfo::exists(liveFolder));
    QDir(liveFolder).removeRecursively();
}

// A link is written through: the file it leads to is replaced (or made), the link stays.
TEST_F(FileWriterTest, LinksAreWrittenThrough)
{
    ASSERT_TRUE(QDir(dir.path()).mkdir("real"));
    const QString real = path("real/log.csv");
    const QString missing = path("real/new.csv");
    WriteFile(real, "old");
    ASSERT_TRUE(QFile::link(real, path("link.csv")));
    ASSERT_TRUE(QFile::link(missing, path("dangling.csv")));
    QString error;
    EXPECT_TRUE(TFileWriter::WriteWhole(path("link.csv"), "new", &error)) << error.toStdString();
    EXPECT_TRUE(TFileWriter::WriteWhole(path("dangling.csv"), "made", &error)) << error.toStdString();
    EXPECT_EQ(FileBytes(real), QByteArray("new"));
    EXPECT_EQ(FileBytes(missing), QByteArray("made"));
    EXPECT_TRUE(QFileInfo(path("link.csv")).isSymLink());
    EXPECT_TRUE(QFileInfo(path("dangling.csv")).isSymLink());
    EXPECT_EQ(namesIn(path("real")), "log.csv new.csv");
}

// The check a long run makes before it starts.
TEST_F(FileWriterTest, OutputPathIsCheckedBeforehand)
{
    WriteFile(path("plain"), "x");
    WriteFile(path("exists.csv"), "x");
    ASSERT_TRUE(QFile::link(path("gone/x.csv"), path("dangling.csv")));
    const struct {
        QString path;
        QString reason; // empty: accepted
    } cases[] = {
        {path("new.csv"), {}},
        {path("exists.csv"), {}},
        {QStringLiteral("/dev/null"), {}},
        {dir.path(), QStringLiteral("it is a folder")},
        {path("gone/x.csv"), QStringLiteral("the folder %1 does not exist").arg(path("gone"))},
        {path("plain/x.csv"), QStringLiteral("the folder %1 does not exist").arg(path("plain"))},
        {path("dangling.csv"), QStringLiteral("the folder %1 does not exist").arg(path("gone"))},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        QString error;
        EXPECT_EQ(CheckOutputPath(c.path, &error), c.reason.isEmpty());
        EXPECT_EQ(error, c.reason.isEmpty() ? QString() : QStringLiteral("cannot write %1: %2").arg(c.path, c.reason));
    }
}

} // namespace
