// The ends a desktop sends the window program (SIGTERM at logout or shutdown, SIGINT from its
// terminal, SIGHUP when that terminal closes) close it as its own close does: the settings
// saved, the demonstration's cabinet stopped and its folder removed, no orphan left behind.
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>

#include <sys/types.h>

namespace {

QByteArray procFile(qint64 pid, const QString& name)
{
    QFile f(QStringLiteral("/proc/%1/%2").arg(pid).arg(name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The processes whose parent is pid.
QList<qint64> childrenOf(qint64 pid)
{
    QList<qint64> found;
    const QStringList tasks =
        QDir(QStringLiteral("/proc/%1/task").arg(pid)).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& task : tasks)
        for (const QByteArray& child : procFile(pid, "task/" + task + "/children").split(' '))
            if (!child.trimmed().isEmpty()) found << child.trimmed().toLongLong();
    return found;
}

// Running or sleeping; a zombie waiting for its parent counts as ended.
bool running(qint64 pid)
{
    const QByteArray stat = procFile(pid, "stat");
    const int close = stat.lastIndexOf(')');
    return close > 0 && stat.size() > close + 2 && stat.at(close + 2) != 'Z';
}

// The arguments a process was started with.
QStringList argumentsOf(qint64 pid)
{
    QStringList args;
    for (const QByteArray& a : procFile(pid, "cmdline").split('\0'))
        if (!a.isEmpty()) args << QString::fromLocal8Bit(a);
    return args;
}

struct SignalCase {
    const char* name;
    int signal;
};

void PrintTo(const SignalCase& c, std::ostream* os) { *os << c.name; }

class WindowSignals : public ::testing::TestWithParam<SignalCase> {};

TEST_P(WindowSignals, EndTheRunAsItsOwnCloseDoes)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString ini = dir.filePath("UserParaIni.ini");
    {
        QFile f(ini);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[LocalPara]\nComName=COM2\nLanguage=0\n");
    }
    QProcess tool;
    tool.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    tool.setStandardOutputFile(QProcess::nullDevice());
    // The timed end is only a net under a broken build: the signal comes long before it.
    tool.start(QStringLiteral(ZYR_BINARY_DIR "/zyrtool"),
               {"-platform", "offscreen", "--demo", "--settings-dir", dir.path(), "--quit-after", "120"});
    ASSERT_TRUE(tool.waitForStarted(10000));
    const qint64 pid = tool.processId();

    // The demonstration's cabinet is up when its line exists; the main window has read the
    // settings when the file holds the keys its load writes.
    qint64 sim = 0;
    QString line;
    const bool up = QTest::qWaitFor(
        [&] {
            for (qint64 child : childrenOf(pid)) {
                const QStringList args = argumentsOf(child);
                const int at = args.indexOf(QStringLiteral("--pty"));
                if (at < 0 || at + 1 >= args.size()) continue;
                sim = child;
                line = args.at(at + 1);
            }
            return sim && QFileInfo::exists(line) && FileBytes(ini).contains("BaudRate");
        },
        60000);
    ASSERT_TRUE(up) << "the demonstration did not start";
    const QString demoFolder = QFileInfo(line).absolutePath();
    ASSERT_TRUE(QFileInfo(demoFolder).isDir());
    EXPECT_FALSE(FileBytes(ini).contains("Menu02")) << "written only when the run ends";

    ASSERT_EQ(::kill(static_cast<pid_t>(pid), GetParam().signal), 0);
    const bool ended = tool.waitForFinished(60000);
    if (!ended) {
        tool.kill();
        tool.waitForFinished(5000);
    }
    const bool orphan = running(sim);
    if (orphan) ::kill(static_cast<pid_t>(sim), SIGKILL); // leave nothing behind either way

    ASSERT_TRUE(ended);
    EXPECT_EQ(tool.exitStatus(), QProcess::NormalExit) << "the signal did not kill it outright";
    EXPECT_EQ(tool.exitCode(), 128 + GetParam().signal);
    EXPECT_FALSE(orphan) << "the demonstration's cabinet outlived the program";
    EXPECT_FALSE(QFileInfo::exists(demoFolder)) << qPrintable(demoFolder);
    const QByteArray saved = FileBytes(ini);
    EXPECT_TRUE(saved.contains("Menu02")) << "the settings were saved at the close: " << saved.toStdString();
    EXPECT_TRUE(saved.contains("ComName=COM2")) << saved.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Signals, WindowSignals,
                         ::testing::Values(SignalCase{"Term", SIGTERM}, SignalCase{"Int", SIGINT},
                                           SignalCase{"Hup", SIGHUP}),
                         [](const ::testing::TestParamInfo<SignalCase>& i) {
                             return std::string(i.param.name);
                         });

} // namespace
