// The settings backup: zyrtool --backup through the built executable against the simulated
// cabinet, and the backup file's format.
#include "model/uBackupCompare.h"
#include "model/uSettingsBackup.h"
#include "simharness/SimHarness.h"
#include "support/ProgramRun.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTimeZone>

#include <gtest/gtest.h>

namespace {

using namespace simtest;

class BackupCommand : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QStringList toolArgs(const QStringList& extra)
    {
        return QStringList{"--port", sim.link(), "--baud", "19200", "--settings-dir", dir.path()} + extra;
    }
    // The cabinet's registers, read on the test's own line after the tool has gone.
    std::vector<uint16_t> simRegisters(int reg, int count)
    {
        RawPort port;
        if (!port.open(sim.link(), 19200)) return {};
        return registersOf(port.transact(readRequest(1, 3, reg, count), size_t(5 + 2 * count)));
    }
    QTemporaryDir dir;
    SimProcess sim;
};

TEST_F(BackupCommand, EveryRegisterEqualsTheCabinets)
{
    ASSERT_TRUE(sim.start({"--baud", "19200", "--no-pacing", "--no-drift"}));
    const QString file = dir.filePath("backup.json");
    const TToolRun run = RunHeadlessTool(toolArgs({"--backup", file}));
    ASSERT_EQ(run.exitCode, 0) << run.errors.toStdString();
    // Progress on standard error: one line per block.
    EXPECT_TRUE(run.errors.contains("8/8 identification object 2")) << run.errors.toStdString();

    TSettingsBackup backup;
    QString error;
    ASSERT_TRUE(ParseBackupJson(FileBytes(file), backup, &error)) << error.toStdString();
    EXPECT_EQ(backup.address, 1);
    EXPECT_EQ(backup.type, "ZYR");
    EXPECT_EQ(backup.rating, 50);
    EXPECT_EQ(backup.version, "V3.10.0025");
    EXPECT_TRUE(backup.takenAt.isValid());

    size_t expected = 0;
    for (const TBackupBlock& b : BackupBlocks()) {
        if (b.func != 3) continue;
        expected += size_t(b.count);
        const std::vector<uint16_t> cabinet = simRegisters(b.startReg, b.count);
        ASSERT_EQ(cabinet.size(), size_t(b.count)) << b.what;
        for (int i = 0; i < b.count; ++i) {
            const auto it = backup.registers.find(b.startReg + i);
            ASSERT_NE(it, backup.registers.end()) << b.startReg + i;
            EXPECT_EQ(it->second, cabinet[size_t(i)]) << b.startReg + i;
        }
    }
    EXPECT_EQ(backup.registers.size(), expected);

    // The names are the windows' English ones, keyed like the registers.
    const QJsonObject root = QJsonDocument::fromJson(FileBytes(file)).object();
    const QJsonObject names = root.value("names").toObject();
    EXPECT_EQ(names.value("40020").toString(), "EOD Volt(V/Cell)");
    EXPECT_EQ(names.value("51024").toString(), "Baud Rate");
    EXPECT_EQ(names.value("40082").toString(), "UPS State1");
    EXPECT_FALSE(names.contains("40001")) << "no window names 40001";
    EXPECT_EQ(root.value("cabinet").toObject().value("type").toString(), "ZYR");
    EXPECT_EQ(root.value("registers").toObject().value("51024").toInt(), 2);
}

TEST_F(BackupCommand, SilentBlockGivesStatusTwoAndNoFile)
{
    // The cabinet answers everything but a read of the OPTION-port block. What a silent block
    // leaves behind does not depend on the pace: these runs are on a line-speed link.
    ASSERT_TRUE(sim.start({"--baud", "19200", "--no-pacing", "--no-drift", "--silent-read", "51024"}));
    const QString file = dir.filePath("backup.json");
    const TToolRun run = RunHeadlessTool(toolArgs({"--fast", "--backup", file}));
    EXPECT_EQ(run.exitCode, 2) << run.errors.toStdString();
    EXPECT_TRUE(run.errors.contains("OPTION port 51021-51030 did not answer")) << run.errors.toStdString();
    EXPECT_FALSE(QFileInfo::exists(file));
    EXPECT_EQ(QDir(dir.path()).entryList({"backup.json*", ".backup.json*"}, QDir::Files | QDir::Hidden).size(), 0)
        << "no temporary file left";

    // An older backup of the same name is kept as it was.
    WriteFile(file, "older backup");
    const TToolRun again = RunHeadlessTool(toolArgs({"--fast", "--backup", file}));
    EXPECT_EQ(again.exitCode, 2);
    EXPECT_EQ(FileBytes(file), QByteArray("older backup"));
}

TEST_F(BackupCommand, FileThatCannotBeWrittenGivesStatusOne)
{
    ASSERT_TRUE(sim.start({"--baud", "19200", "--no-pacing", "--no-drift", "--modules", "1"}));
    const TToolRun run = RunHeadlessTool(toolArgs({"--backup", dir.filePath("no-such-folder/backup.json")}));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.errors.contains("cannot write")) << run.errors.toStdString();
}

TEST(BackupFile, RoundTripKeepsEveryField)
{
    TSettingsBackup b;
    b.address = 3;
    b.type = "QOL";
    b.rating = 30;
    b.version = "V1.00.0001";
    b.takenAt = QDateTime(QDate(2026, 12, 10), QTime(9, 30, 5), QTimeZone(3600));
    b.registers = {{40002, 3}, {51024, 1}, {53000, 'Z'}, {51062, 65535}};
    TSettingsBackup back;
    QString error;
    ASSERT_TRUE(ParseBackupJson(BackupJson(b), back, &error)) << error.toStdString();
    EXPECT_EQ(back.address, 3);
    EXPECT_EQ(back.type, "QOL");
    EXPECT_EQ(back.rating, 30);
    EXPECT_EQ(back.version, "V1.00.0001");
    EXPECT_EQ(back.takenAt, b.takenAt);
    EXPECT_EQ(back.registers, b.registers);
    EXPECT_TRUE(QString::fromUtf8(BackupJson(b)).contains("\"time\": \"2026-12-10T09:30:05+01:00\""));
}

TEST(BackupFile, RefusesWhatIsNoBackup)
{
    const struct {
        const char* json;
        const char* reason;
    } cases[] = {
        {"not json", "not a JSON object"},
        {"[1, 2]", "not a JSON object"},
        {"{\"cabinet\": {}}", "no \"registers\""},
        {"{\"registers\": {}}", "no \"registers\""},
        {"{\"registers\": {\"4000x\": 1}}", "is not a register number"},
        {"{\"registers\": {\"040001\": 1}}", "is not a register number"},
        {"{\"registers\": {\"40001\": 65536}}", "no value from 0 to 65535"},
        {"{\"registers\": {\"40001\": -1}}", "no value from 0 to 65535"},
        {"{\"registers\": {\"40001\": 1.5}}", "no value from 0 to 65535"},
        {"{\"registers\": {\"40001\": \"7\"}}", "no value from 0 to 65535"},
        // Two values for one register: the parser would keep the last in silence.
        {"{\"registers\": {\"40015\": 32, \"40002\": 1, \"40015\": 36}}", "the key \"40015\" appears twice"},
        {"{\"cabinet\": {\"address\": 1, \"address\": 7}, \"registers\": {\"40015\": 32}}",
         "the key \"address\" appears twice"},
        {"{\"registers\": {\"40015\": 32, \"4001\\u0035\": 36}}", "the key \"40015\" appears twice"},
        // A register no backup holds (40036 is past the UPS parameters, 30001 is measured).
        {"{\"registers\": {\"40015\": 32, \"40036\": 1}}", "register 40036 is not one of the settings"},
        {"{\"registers\": {\"30001\": 2302}}", "register 30001 is not one of the settings"},
    };
    for (const auto& c : cases) {
        TSettingsBackup b;
        QString error;
        EXPECT_FALSE(ParseBackupJson(c.json, b, &error)) << c.json;
        EXPECT_TRUE(error.contains(QString::fromUtf8(c.reason))) << c.json << ": " << error.toStdString();
    }
}

TEST(BackupFile, SameKeyInAnotherObjectOrAStringIsNoDuplicate)
{
    // "40015" is a key of "registers" and of "names", and the text of a value: one each.
    const QByteArray json = "{\"cabinet\": {\"type\": \"40015\", \"version\": \"a\\\"b\"}, "
                            "\"registers\": {\"40015\": 32, \"40002\": 1}, \"names\": {\"40015\": \"x\"}}";
    TSettingsBackup b;
    QString error;
    ASSERT_TRUE(ParseBackupJson(json, b, &error)) << error.toStdString();
    EXPECT_EQ(b.registers.size(), 2u);
    EXPECT_EQ(b.version, "a\"b");
}

TEST(BackupCompare, DifferencesAndAnotherCabinet)
{
    TSettingsBackup cabinet;
    cabinet.address = 1;
    cabinet.type = "ZYR";
    cabinet.rating = 50;
    cabinet.registers = {{40001, 0}, {40015, 36}, {51024, 2}, {51062, 10}, {53000, 'Z'}};
    TSettingsBackup file = cabinet;
    file.registers = {{40001, 7}, {40015, 32}, {51024, 2}, {51062, 100}, {53000, 'Q'}};
    const std::vector<TBackupDifference> d = BackupDifferences(file, cabinet);
    ASSERT_EQ(d.size(), 4u) << "51024 is equal";
    const struct {
        int reg;
        uint16_t cabinet, file;
        bool byDefault;
    } expected[] = {{40001, 0, 7, false}, {40015, 36, 32, true}, {51062, 10, 100, false}, {53000, 'Z', 'Q', true}};
    for (size_t i = 0; i < d.size(); ++i) {
        EXPECT_EQ(d[i].reg, expected[i].reg);
        EXPECT_EQ(d[i].cabinet, expected[i].cabinet) << d[i].reg;
        EXPECT_EQ(d[i].file, expected[i].file) << d[i].reg;
        EXPECT_EQ(d[i].byDefault, expected[i].byDefault) << d[i].reg;
    }

    EXPECT_TRUE(OtherCabinetReasons(file, cabinet).isEmpty());
    const struct {
        const char* type;
        int rating;
        int address;
        QStringList reasons;
    } cases[] = {
        {"ZYX", 50, 1, {"type ZYX in the file, ZYR here"}},
        {"ZYR", 200, 1, {"rating 200 kVA in the file, 50 kVA here"}},
        {"ZYR", 50, 7, {"address 7 in the file, 1 here"}},
        {"ZYX", 200, 7,
         {"type ZYX in the file, ZYR here", "rating 200 kVA in the file, 50 kVA here", "address 7 in the file, 1 here"}},
    };
    for (const auto& c : cases) {
        file.type = c.type;
        file.rating = c.rating;
        file.address = c.address;
        EXPECT_EQ(OtherCabinetReasons(file, cabinet), c.reasons) << c.type << c.rating << c.address;
    }
}

TEST(BackupFile, WholeFileWriteKeepsTheOldFileOnFailure)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString file = dir.filePath("b.json");
    QString error;
    ASSERT_TRUE(WriteFileWhole(file, "first", &error)) << error.toStdString();
    ASSERT_TRUE(WriteFileWhole(file, "second", &error));
    EXPECT_EQ(FileBytes(file), QByteArray("second"));
    // A folder where the file should be: nothing replaces it, the error says why.
    ASSERT_TRUE(QDir(dir.path()).mkdir("taken.json"));
    EXPECT_FALSE(WriteFileWhole(dir.filePath("taken.json"), "x", &error));
    EXPECT_TRUE(error.startsWith("cannot write")) << error.toStdString();
    EXPECT_TRUE(QFileInfo(dir.filePath("taken.json")).isDir());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1) << "no temporary file left";
}

} // namespace
