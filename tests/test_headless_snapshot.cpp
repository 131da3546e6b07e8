// zyrtool --snapshot through the built executable against the simulated cabinet.
#include "simharness/SimHarness.h"
#include "support/ProgramRun.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QDir>
#include <QProcess>
#include <QSerialPort>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <sys/mount.h>
#include <unistd.h>

namespace {

using namespace simtest;

using ToolRun = TToolRun;

ToolRun runTool(const QStringList& args) { return RunHeadlessTool(args, 240000); }

QJsonObject parse(const QByteArray& json)
{
    QJsonParseError e{};
    const QJsonDocument doc = QJsonDocument::fromJson(json, &e);
    EXPECT_EQ(e.error, QJsonParseError::NoError) << e.errorString().toStdString();
    return doc.object();
}

double valueAt(const QJsonObject& values, const char* name, int i = -1)
{
    const QJsonValue v = values.value(QLatin1String(name)).toObject().value("value");
    return i < 0 ? v.toDouble() : v.toArray().at(i).toDouble();
}

class SnapshotTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QStringList toolArgs(const QStringList& extra)
    {
        return QStringList{"--port", sim.link(), "--baud", "19200", "--settings-dir", dir.path()} + extra;
    }
    // Where the snapshot goes, the address it asks and how a silent cabinet ends do not depend
    // on the pace: those runs are on a line-speed link. The full snapshot keeps the defined pace.
    QStringList fastToolArgs(const QStringList& extra) { return toolArgs(QStringList{"--fast"} + extra); }
    // Registers of the simulator's image, read over the line after the tool has gone.
    std::vector<uint16_t> simRegisters(int address, int function, int reg, int count)
    {
        RawPort port;
        if (!port.open(sim.link(), 19200)) return {};
        return registersOf(port.transact(readRequest(address, function, reg, count), size_t(5 + 2 * count)));
    }
    QTemporaryDir dir;
    SimProcess sim;
};

TEST_F(SnapshotTest, ValuesEqualTheCabinetsRegistersScaled)
{
    ASSERT_TRUE(sim.start({"--baud", "19200", "--no-pacing", "--no-drift", "--state", "4"}));
    const QString file = dir.filePath("snap.json");
    const ToolRun run = runTool(toolArgs({"--snapshot", file}));
    ASSERT_EQ(run.exitCode, 0) << run.errors.toStdString();
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QJsonObject snap = parse(f.readAll());
    EXPECT_TRUE(snap.value("complete").toBool());
    EXPECT_TRUE(snap.value("modulesRead").toBool());
    EXPECT_EQ(snap.value("address").toInt(), 1);

    const std::vector<uint16_t> r = simRegisters(1, 4, 30001, 44);
    ASSERT_EQ(r.size(), 44u);
    auto reg = [&](int n) { return double(r[size_t(n - 30001)]); };
    const QJsonObject v = snap.value("values").toObject();
    for (int p = 0; p < 3; ++p) {
        EXPECT_DOUBLE_EQ(valueAt(v, "InVolt", p), reg(30001 + p) / 10) << p;
        EXPECT_DOUBLE_EQ(valueAt(v, "InCurr", p), reg(30005 + p) / 10) << p;
        EXPECT_DOUBLE_EQ(valueAt(v, "InPF", p), reg(30008 + p) / 100) << p;
        EXPECT_DOUBLE_EQ(valueAt(v, "OutVolt", p), reg(30011 + p) / 10) << p;
        EXPECT_DOUBLE_EQ(valueAt(v, "OutCurr", p), reg(30015 + p) / 10) << p;
        EXPECT_DOUBLE_EQ(valueAt(v, "LoadPeak", p), reg(30024 + p) / 100) << p;
        EXPECT_DOUBLE_EQ(valueAt(v, "BpsVolt", p), reg(30027 + p) / 10) << p;
    }
    EXPECT_DOUBLE_EQ(valueAt(v, "InFreq"), reg(30004) / 10);
    EXPECT_DOUBLE_EQ(valueAt(v, "BattVolt", 1), reg(30032) / 10);
    EXPECT_DOUBLE_EQ(valueAt(v, "BattSupport"), reg(30038));
    EXPECT_EQ(v.value("InVolt").toObject().value("unit").toString(), "V");
    EXPECT_EQ(v.value("InFreq").toObject().value("unit").toString(), "Hz");

    // The status words as the cabinet keeps them (30086/30087 are the common alarm words).
    const std::vector<uint16_t> s = simRegisters(1, 4, 30082, 10);
    ASSERT_EQ(s.size(), 10u);
    const QJsonObject w = snap.value("statusWords").toObject();
    auto hex = [](uint16_t x) { return QStringLiteral("%1").arg(x, 4, 16, QLatin1Char('0')).toUpper(); };
    EXPECT_EQ(w.value("CmmStaH").toString(), hex(s[0]));
    EXPECT_EQ(w.value("CmmStaL").toString(), hex(s[1]));
    EXPECT_EQ(w.value("InvStaH").toString(), hex(s[2]));
    EXPECT_EQ(w.value("CmmAlmH").toString(), hex(s[4]));
    EXPECT_EQ(w.value("SysAlm").toString(), hex(s[9]));
    EXPECT_EQ(snap.value("state").toObject().value("code").toInt(), 4);
    EXPECT_EQ(snap.value("state").toObject().value("text").toString(), "Online");

    const QJsonObject id = snap.value("identification").toObject();
    EXPECT_EQ(id.value("version").toString(), "V3.10.0025");
    EXPECT_EQ(id.value("type").toString(), "ZYR");
    const QJsonArray modules = snap.value("modules").toArray();
    ASSERT_EQ(modules.size(), 32);
    EXPECT_EQ(modules.at(31).toObject().value("module").toInt(), 32);
    EXPECT_EQ(modules.at(31).toObject().value("text").toString(), "Online");
    EXPECT_GE(snap.value("link").toObject().value("AckCount").toInt(), 5 + 2 + 32);
}

TEST_F(SnapshotTest, AnotherAddressToStandardOutput)
{
    ASSERT_TRUE(
        sim.start({"--baud", "19200", "--no-pacing", "--no-drift", "--addresses", "1,2", "--modules", "2"}));
    const ToolRun run = runTool(fastToolArgs({"--snapshot", "-", "--address", "2"}));
    ASSERT_EQ(run.exitCode, 0) << run.errors.toStdString();
    const QJsonObject snap = parse(run.out);
    EXPECT_EQ(snap.value("address").toInt(), 2);
    const std::vector<uint16_t> r = simRegisters(2, 4, 30001, 1);
    ASSERT_EQ(r.size(), 1u);
    EXPECT_DOUBLE_EQ(valueAt(snap.value("values").toObject(), "InVolt", 0), r[0] / 10.0);
}

TEST_F(SnapshotTest, SilentCabinetEndsWithStatusTwoAndNoFile)
{
    ASSERT_TRUE(sim.start({"--baud", "19200", "--no-pacing", "--drop", "1.0"}));
    const QString file = dir.filePath("snap.json");
    const ToolRun run = runTool(fastToolArgs({"--snapshot", file}));
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(run.errors.contains("did not answer within three poll cycles")) << run.errors.toStdString();
    EXPECT_FALSE(QFileInfo::exists(file));
}

TEST_F(SnapshotTest, PortThatCannotOpenEndsWithStatusOne)
{
    const QString missing = dir.filePath("no-such-tty");
    const ToolRun run =
        runTool({"--port", missing, "--snapshot", dir.filePath("x.json"), "--settings-dir", dir.path()});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.errors.contains(missing)) << run.errors.toStdString();
    EXPECT_TRUE(run.errors.contains("Error opening serial port")) << run.errors.toStdString();
}

TEST_F(SnapshotTest, UnwritableFileEndsWithStatusOne)
{
    ASSERT_TRUE(sim.start({"--baud", "19200", "--no-pacing", "--no-drift", "--modules", "1"}));
    const ToolRun run = runTool(fastToolArgs({"--snapshot", dir.filePath("no-such-folder/snap.json")}));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.errors.contains("cannot write")) << run.errors.toStdString();
}

// Standard output that refuses the bytes (a full device) is a failure, not a snapshot.
TEST_F(SnapshotTest, StandardOutputOnAFullDeviceEndsWithStatusOne)
{
    ASSERT_TRUE(sim.start({"--baud", "19200", "--no-pacing", "--no-drift", "--modules", "1"}));
    QProcess tool;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    tool.setProcessEnvironment(env);
    tool.setStandardOutputFile(QStringLiteral("/dev/full"));
    tool.start(QStringLiteral(ZYR_BINARY_DIR "/zyrtool"), fastToolArgs({"--snapshot", "-"}));
    ASSERT_TRUE(tool.waitForFinished(120000));
    const QString errors = QString::fromLocal8Bit(tool.readAllStandardError());
    EXPECT_EQ(tool.exitCode(), 1) << errors.toStdString();
    EXPECT_TRUE(errors.contains("cannot write standard output: No space left on device")) << errors.toStdString();
}

// A real full disk (a small tmpfs, root only): the previous snapshot stays whole, the run
// fails naming the file and the reason, and no temporary file is left.
TEST_F(SnapshotTest, FullDiskKeepsThePreviousSnapshot)
{
    const QString mount = dir.filePath("small");
    ASSERT_TRUE(QDir().mkpath(mount));
    if (::geteuid() != 0 ||
        ::mount("tmpfs", QFile::encodeName(mount).constData(), "tmpfs", 0, "size=16k") != 0)
        GTEST_SKIP() << "a real full disk needs root to mount a small tmpfs";
    struct Unmount {
        QString at;
        ~Unmount() { ::umount(QFile::encodeName(at).constData()); }
    } unmount{mount};
    const QString file = mount + QStringLiteral("/snap.json");
    const QByteArray old = "{\"previous\": true}\n";
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(old);
    }
    {
        QFile filler(mount + QStringLiteral("/filler"));
        ASSERT_TRUE(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        const QByteArray page(4096, 'f');
        while (filler.write(page) == page.size()) {
        }
    }
    ASSERT_TRUE(sim.start({"--baud", "19200", "--no-pacing", "--no-drift", "--modules", "1"}));
    const ToolRun run = runTool(fastToolArgs({"--snapshot", file}));
    EXPECT_EQ(run.exitCode, 1) << run.errors.toStdString();
    EXPECT_TRUE(run.errors.contains(QStringLiteral("cannot write %1: No space left on device").arg(file)))
        << run.errors.toStdString();
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), old);
    EXPECT_EQ(QDir(mount).entryList(QDir::Files | QDir::Hidden, QDir::Name), (QStringList{"filler", "snap.json"}));
}

// The port cannot be opened: the window's text, one line each (the message, the port and the
// reason); a port another program holds says so.
TEST_F(SnapshotTest, OpenFailuresGiveThePortAndTheReason)
{
    ASSERT_TRUE(sim.start({"--baud", "19200", "--no-pacing", "--no-drift", "--modules", "1"}));
    QFile plain(dir.filePath("plain-file"));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    const struct {
        const char* name;
        QString port;
        QString baud;
        QString says;
    } cases[] = {
        {"a port in use", sim.link(), "19200", "in use by another program"},
        {"a speed no port takes", sim.link(), "999999999", "does not take the speed 999999999"},
        {"a file that is no serial port", plain.fileName(), "19200", "not a character device"},
    };
    // Another program holds the cabinet's port, as a second tool or a terminal program would.
    QSerialPort holder(sim.link());
    ASSERT_TRUE(holder.open(QIODevice::ReadWrite)) << holder.errorString().toStdString();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const ToolRun run = runTool({"--port", c.port, "--baud", c.baud, "--settings-dir", dir.path(), "--snapshot",
                                     dir.filePath("x.json")});
        EXPECT_EQ(run.exitCode, 1) << run.errors.toStdString();
        EXPECT_TRUE(run.errors.contains(QStringLiteral("zyrtool: Port %1: ").arg(c.port))) << run.errors.toStdString();
        EXPECT_TRUE(run.errors.contains(c.says)) << run.errors.toStdString();
        if (c.port == sim.link()) holder.close(); // the speed is refused on a free port
    }
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("x.json")));
}

} // namespace
