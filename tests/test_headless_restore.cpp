// zyrtool --restore through the built executable against the simulated cabinet: what differs
// is listed, written back with read-backs and journalled; another cabinet's file is refused
// unless forced; a cabinet that vanishes mid-way ends the run with the rest not sent.
#include "model/uSettingsBackup.h"
#include "store/uServiceJournal.h"
#include "simharness/SimHarness.h"
#include "support/ProgramRun.h"
#include "support/TestSupport.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using namespace simtest;

class RestoreCommand : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    QStringList toolArgs(const QStringList& extra)
    {
        // On a line-speed link: what is shown here does not depend on the pace, and the blocks
        // and the writes are done in a fraction of the defined pace's time.
        return QStringList{"--port", sim.link(), "--baud", "19200", "--fast", "--settings-dir", dir.path()} + extra;
    }
    // A backup of the cabinet as it is now, written by the tool's own --backup.
    QString backupNow()
    {
        const QString file = dir.filePath("backup.json");
        const TToolRun run = RunHeadlessTool(toolArgs({"--backup", file}));
        EXPECT_EQ(run.exitCode, 0) << run.errors.toStdString();
        return file;
    }
    // The cabinet's registers on the test's own line (the tool has ended).
    uint16_t simRegister(int reg)
    {
        RawPort port;
        if (!port.open(sim.link(), 19200)) return 0xFFFF;
        const std::vector<uint16_t> v = registersOf(port.transact(readRequest(1, 3, reg, 1), 7));
        return v.size() == 1 ? v[0] : 0xFFFF;
    }
    void writeOnSim(int reg, uint16_t value)
    {
        RawPort port;
        ASSERT_TRUE(port.open(sim.link(), 19200));
        ASSERT_EQ(port.transact(writeSingleRequest(1, reg, value), 8).size(), 8u) << reg;
    }
    // Three settings change on the cabinet after the backup.
    void changeThree()
    {
        writeOnSim(40015, 36);    // battery number
        writeOnSim(51024, 1);     // OPTION-port baud code
        writeOnSim(51061, 20000); // battery time limit
    }
    int writesLogged() const { return sim.logLines().filter(" RX 01 06 ").size(); }
    static QStringList outLines(const TToolRun& run)
    {
        return QString::fromUtf8(run.out).split('\n', Qt::SkipEmptyParts);
    }
    std::vector<TJournalEntry> journalEntries()
    {
        TServiceJournal journal;
        if (!journal.Open(dir.filePath("data/journal.db"))) return {};
        return journal.Entries();
    }
    // The backup file with its cabinet object changed.
    void editCabinet(const QString& file, const QJsonObject& changes)
    {
        QJsonObject root = QJsonDocument::fromJson(FileBytes(file)).object();
        QJsonObject cabinet = root.value("cabinet").toObject();
        for (auto it = changes.begin(); it != changes.end(); ++it) cabinet.insert(it.key(), it.value());
        root.insert("cabinet", cabinet);
        WriteFile(file, QJsonDocument(root).toJson());
    }

    QTemporaryDir dir;
    SimProcess sim;
};

TEST_F(RestoreCommand, DryRunListsThenRestoreWritesBackJournalsAndReadsBackEqual)
{
    ASSERT_TRUE(sim.start({"--baud", "19200", "--no-pacing", "--no-drift"}));
    const QString file = backupNow();
    const TSettingsBackup backup = [&] {
        TSettingsBackup b;
        EXPECT_TRUE(ParseBackupJson(FileBytes(file), b, nullptr));
        return b;
    }();
    changeThree();
    const int writesBefore = writesLogged();

    // --dry-run: the three lines, nothing written.
    const TToolRun dry = RunHeadlessTool(toolArgs({"--restore", file, "--dry-run"}));
    ASSERT_EQ(dry.exitCode, 0) << dry.errors.toStdString();
    const QStringList listed = outLines(dry);
    ASSERT_EQ(listed.size(), 3) << QString::fromUtf8(dry.out).toStdString();
    EXPECT_EQ(listed[0], QStringLiteral("40015 Battery Number: cabinet 36, file %1").arg(backup.registers.at(40015)));
    EXPECT_TRUE(listed[1].startsWith("51024 Baud Rate: cabinet 1, file ")) << listed[1].toStdString();
    EXPECT_TRUE(listed[2].startsWith("51061 Battery Time limit(hour): cabinet 20000, file ")) << listed[2].toStdString();
    EXPECT_EQ(writesLogged(), writesBefore) << "a dry run writes nothing";
    EXPECT_EQ(simRegister(40015), 36);

    const TToolRun run = RunHeadlessTool(toolArgs({"--restore", file}));
    ASSERT_EQ(run.exitCode, 0) << run.errors.toStdString();
    const QStringList lines = outLines(run);
    for (const char* reg : {"40015 ", "51024 ", "51061 "})
        EXPECT_EQ(lines.filter(QRegularExpression(QStringLiteral("^%1.*: read back equal \\(\\d+\\)$").arg(reg))).size(), 1)
            << reg << "\n" << QString::fromUtf8(run.out).toStdString();
    for (int reg : {40015, 51024, 51061}) EXPECT_EQ(simRegister(reg), backup.registers.at(reg)) << reg;

    // The journal in the settings folder: three registers, the command named, read back equal
    // (and the write-enable before each).
    int registers = 0;
    for (const TJournalEntry& e : journalEntries()) {
        EXPECT_EQ(e.source, "--restore");
        if (e.reg == 50000) continue;
        ++registers;
        EXPECT_EQ(e.verdict, int(TWriteVerdict::ReadBackEqual)) << e.reg;
        EXPECT_EQ(e.valueSent, backup.registers.at(e.reg)) << e.reg;
    }
    EXPECT_EQ(registers, 3);

    // Nothing differs any more: a second run writes nothing.
    const int writesAfter = writesLogged();
    const TToolRun again = RunHeadlessTool(toolArgs({"--restore", file}));
    EXPECT_EQ(again.exitCode, 0) << again.errors.toStdString();
    EXPECT_TRUE(again.out.isEmpty()) << again.out.toStdString();
    EXPECT_EQ(writesLogged(), writesAfter);
}

TEST_F(RestoreCommand, AnotherCabinetsFileIsRefusedUnlessForced)
{
    ASSERT_TRUE(sim.start({"--baud", "19200", "--no-pacing", "--no-drift"}));
    const QString file = backupNow();
    changeThree();
    editCabinet(file, {{"type", "ZYX"}, {"rating", 200}, {"address", 7}});
    const int writesBefore = writesLogged();

    const TToolRun refused = RunHeadlessTool(toolArgs({"--restore", file}));
    EXPECT_EQ(refused.exitCode, 1) << refused.errors.toStdString();
    for (const char* what : {"type ZYX in the file, ZYR here", "rating 200 kVA in the file, 50 kVA here",
                             "address 7 in the file, 1 here"})
        EXPECT_TRUE(refused.errors.contains(what)) << what << "\n" << refused.errors.toStdString();
    EXPECT_EQ(writesLogged(), writesBefore) << "nothing written";
    EXPECT_EQ(simRegister(40015), 36) << "the cabinet unchanged";

    const TToolRun forced = RunHeadlessTool(toolArgs({"--restore", file, "--force"}));
    EXPECT_EQ(forced.exitCode, 0) << forced.errors.toStdString();
    EXPECT_EQ(outLines(forced).filter(": read back equal").size(), 3) << forced.out.toStdString();
    EXPECT_NE(simRegister(40015), 36);
}

TEST_F(RestoreCommand, CabinetThatVanishesAfterAWriteEndsTheRunWithTheRestNotSent)
{
    // Three writes of the test's own, then the restore's write-enable and write of 40015 and
    // the write-enable and write of 51024: the cabinet goes away right after that one.
    ASSERT_TRUE(sim.start({"--baud", "19200", "--no-pacing", "--no-drift", "--vanish-after-writes", "7"}));
    const QString file = backupNow();
    changeThree();

    const TToolRun run = RunHeadlessTool(toolArgs({"--restore", file}), 60000);
    EXPECT_EQ(run.exitCode, 2) << run.errors.toStdString();
    const QStringList lines = outLines(run).filter(QRegularExpression(": (read back|no answer|not sent)"));
    ASSERT_EQ(lines.size(), 3) << run.out.toStdString();
    EXPECT_TRUE(lines[0].startsWith("40015 ") && lines[0].contains(": read back equal")) << lines[0].toStdString();
    EXPECT_TRUE(lines[1].startsWith("51024 ") && lines[1].endsWith(": no answer")) << lines[1].toStdString();
    EXPECT_TRUE(lines[2].startsWith("51061 ") && lines[2].endsWith(": not sent")) << lines[2].toStdString();
    EXPECT_TRUE(run.errors.contains("the rest is not sent")) << run.errors.toStdString();
}

// SIGTERM once the first register has its verdict: the register in flight ends as it will, the
// rest are not sent, and the status is 143.
TEST_F(RestoreCommand, SigtermStopsBetweenRegisters)
{
    ASSERT_TRUE(sim.start({"--baud", "19200", "--no-drift"}));
    const QString file = backupNow();
    changeThree();
    QProcess tool;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    tool.setProcessEnvironment(env);
    tool.start(QStringLiteral(ZYR_BINARY_DIR "/zyrtool"), toolArgs({"--restore", file}));
    ASSERT_TRUE(tool.waitForStarted(10000));
    QByteArray out;
    while (!out.contains(": read back equal") && tool.waitForReadyRead(60000)) out += tool.readAllStandardOutput();
    ASSERT_TRUE(out.contains("40015 Battery Number: read back equal")) << out.toStdString();
    tool.terminate();
    ASSERT_TRUE(tool.waitForFinished(60000));
    out += tool.readAllStandardOutput();
    EXPECT_EQ(tool.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(tool.exitCode(), 143) << tool.readAllStandardError().toStdString();
    const QStringList lines = QString::fromUtf8(out).split('\n', Qt::SkipEmptyParts);
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_EQ(lines.last(), "51061 Battery Time limit(hour): not sent") << out.toStdString();
    // 51061 (wire 51060, C7 74) never went out; whatever went out went whole, each write after
    // its write-enable.
    const QStringList writes = sim.logLines().filter(" RX 01 06 ").mid(3); // after the test's own three
    EXPECT_TRUE(writes.filter(" RX 01 06 C7 74 ").isEmpty()) << writes.join('\n').toStdString();
    EXPECT_EQ(writes.filter(" RX 01 06 C3 4F 00 0A ").size() * 2, writes.size()) << writes.join('\n').toStdString();
}

TEST_F(RestoreCommand, FileThatIsNoBackupOrACommandLineAmissGivesStatusOne)
{
    ASSERT_TRUE(sim.start({"--baud", "19200", "--no-pacing", "--no-drift"}));
    const QString twice = dir.filePath("twice.json");
    WriteFile(twice, "{\"cabinet\": {\"address\": 1}, \"registers\": {\"40015\": 32, \"40015\": 36}}");
    const TToolRun dup = RunHeadlessTool(toolArgs({"--restore", twice}));
    EXPECT_EQ(dup.exitCode, 1);
    EXPECT_TRUE(dup.errors.contains("the key \"40015\" appears twice")) << dup.errors.toStdString();

    const TToolRun missing = RunHeadlessTool(toolArgs({"--restore", dir.filePath("none.json")}));
    EXPECT_EQ(missing.exitCode, 1);
    const TToolRun stray = RunHeadlessTool(toolArgs({"--dry-run"}));
    EXPECT_EQ(stray.exitCode, 1);
    EXPECT_TRUE(stray.errors.contains("--dry-run goes with --restore")) << stray.errors.toStdString();
    EXPECT_EQ(writesLogged(), 0);
}

} // namespace
