// End to end over a pseudo-terminal: a backup read through the tool's own link, the restore
// window listing what differs and writing it back with read-backs, and the service journal
// noting every write with its verdict.
#include "comm/uBackupReader.h"
#include "comm/uCabinet.h"
#include "model/UShareData.h"
#include "model/uSettingsBackup.h"
#include "settings/uFrmRestore.h"
#include "simharness/LinkDriver.h"
#include "simharness/SimHarness.h"
#include "store/uServiceJournal.h"
#include "support/DialogScript.h"
#include "support/TestSupport.h"
#include "ui/uReqSlots.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <set>

using namespace simtest;

namespace {

constexpr int Baud = 19200;

class RestoreEndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetAll();
        ASSERT_TRUE(dir.isValid());
    }
    void TearDown() override { ResetAll(); }

    bool start(const QStringList& extra = {})
    {
        if (!sim.start(QStringList{"--baud", QString::number(Baud), "--no-drift"} + extra)) return false;
        if (!link.open(sim.link(), Baud)) return false;
        // What the restore shows does not depend on the pace; a line-speed link reads the
        // blocks and writes the registers in a fraction of the defined pace's time.
        link.frm().SetFastLine(true);
        return true;
    }

    // A backup of cabinet 1 read through the link, as the tool's own reader does.
    TSettingsBackup readBackup()
    {
        TBackupReader reader(1, QStringLiteral("test"));
        reader.Start();
        EXPECT_TRUE(link.tickUntil([&] { return !reader.Running(); }, 600));
        EXPECT_TRUE(reader.Succeeded()) << reader.Failure().toStdString();
        return reader.Result();
    }

    // Writes one register through slot 5 and waits for the cabinet's answer.
    void writeRegister(int reg, uint16_t value)
    {
        const int32_t acks = TestCommDebug().AckCount;
        const int32_t taken = TestSlots()[5].Counter;
        TReqSlot& s = TestSlots()[5];
        s.Addr = 1;
        s.Func = 6;
        s.StartReg = reg;
        s.Count = 1;
        s.Value = value;
        s.Pending = FlagOn;
        ASSERT_TRUE(link.tickUntil([&] { return TestSlots()[5].Counter > taken; }, 120));
        ASSERT_TRUE(link.tickUntil([&] { return TestCommDebug().AckCount > acks; }, 120));
    }

    // The window reads the cabinet when shown; true once its table is built.
    bool readInWindow(TfrmRestore& w)
    {
        w.show();
        return link.tickUntil([&] { return !w.Reading() && w.lblStatus->text().contains("differ"); }, 600);
    }

    static std::set<QString> listedRegisters(const TfrmRestore& w)
    {
        std::set<QString> regs;
        for (int r = 0; r < w.sgrdRestore->rowCount(); ++r) regs.insert(w.sgrdRestore->item(r, TfrmRestore::ColRegister)->text());
        return regs;
    }
    static QString cell(const TfrmRestore& w, const QString& reg, int column)
    {
        const int row = w.RowOfRegister(reg);
        return row < 0 ? QStringLiteral("(not listed)") : w.sgrdRestore->item(row, column)->text();
    }
    static void tick(TfrmRestore& w, const QString& reg, bool on = true)
    {
        const int row = w.RowOfRegister(reg);
        ASSERT_GE(row, 0) << reg.toStdString();
        w.sgrdRestore->item(row, TfrmRestore::ColRestore)->setCheckState(on ? Qt::Checked : Qt::Unchecked);
    }
    static bool ticked(const TfrmRestore& w, const QString& reg)
    {
        const int row = w.RowOfRegister(reg);
        return row >= 0 && w.sgrdRestore->item(row, TfrmRestore::ColRestore)->checkState() == Qt::Checked;
    }

    // The cabinet's registers on the test's own line, after the tool's link has closed.
    std::vector<uint16_t> simRegisters(int reg, int count)
    {
        link.close();
        // A reply to the link's last request may still be on its way; it is flushed by the open.
        LinkDriver::pump(200);
        RawPort port;
        if (!port.open(sim.link(), Baud)) return {};
        return registersOf(port.transact(readRequest(1, 3, reg, count), size_t(5 + 2 * count)));
    }

    QTemporaryDir dir;
    SimProcess sim;
    LinkDriver link;
};

TEST_F(RestoreEndToEnd, ThreeChangedRegistersAreListedAndWrittenBack)
{
    ASSERT_TRUE(start());
    const TSettingsBackup backup = readBackup();
    const QString file = dir.filePath("backup.json");
    ASSERT_TRUE(WriteFileWhole(file, BackupJson(backup), nullptr));

    // Three settings change on the cabinet after the backup.
    writeRegister(40015, 36);    // battery number
    writeRegister(51024, 1);     // OPTION-port baud code
    writeRegister(51061, 20000); // battery time limit

    TServiceJournal journal;
    ASSERT_TRUE(journal.Open(dir.filePath("journal.db")));
    DialogScript script;
    TfrmRestore w;
    QString error;
    ASSERT_TRUE(w.LoadFile(file, &error)) << error.toStdString();
    ASSERT_TRUE(readInWindow(w));
    EXPECT_EQ(listedRegisters(w), (std::set<QString>{"40015", "51024", "51061"}));
    EXPECT_EQ(cell(w, "40015", TfrmRestore::ColCabinet), "36");
    EXPECT_EQ(cell(w, "40015", TfrmRestore::ColFile), QString::number(backup.registers.at(40015)));
    EXPECT_EQ(cell(w, "51024", TfrmRestore::ColName), "Baud Rate");
    for (const char* reg : {"40015", "51024", "51061"}) EXPECT_TRUE(ticked(w, reg)) << reg;
    EXPECT_TRUE(w.lblWarning->isHidden()) << "the same cabinet type and rating";

    w.btnRestore->click();
    ASSERT_TRUE(w.Writing());
    ASSERT_TRUE(link.tickUntil([&] { return !w.Writing(); }, 900));
    for (const char* reg : {"40015", "51024", "51061"})
        EXPECT_EQ(cell(w, reg, TfrmRestore::ColVerdict), "read back equal") << reg;
    EXPECT_EQ(w.pbRestore->value(), 3);
    EXPECT_TRUE(script.messages.empty()) << script.messageTexts().join('|').toStdString();

    // The journal: each register with the value before, the value sent and the verdict; the
    // write-enable before each is there too, acknowledged.
    int equal = 0, enables = 0;
    for (const TJournalEntry& e : journal.Entries(1)) {
        EXPECT_EQ(e.source, "frmRestore");
        EXPECT_EQ(e.cabinetType, "ZYR");
        if (e.reg == 50000) {
            ++enables;
            EXPECT_EQ(e.verdict, int(TWriteVerdict::Written));
            continue;
        }
        ASSERT_TRUE(backup.registers.count(e.reg)) << e.reg;
        EXPECT_EQ(e.valueSent, backup.registers.at(e.reg)) << e.reg;
        ASSERT_TRUE(e.readBack.has_value()) << e.reg;
        EXPECT_EQ(*e.readBack, e.valueSent);
        ASSERT_TRUE(e.valueBefore.has_value()) << e.reg;
        EXPECT_EQ(*e.valueBefore, e.reg == 40015 ? 36 : e.reg == 51024 ? 1 : 20000);
        equal += e.verdict == int(TWriteVerdict::ReadBackEqual) ? 1 : 0;
    }
    EXPECT_EQ(equal, 3);
    EXPECT_EQ(enables, 3);

    // The cabinet holds the file's values again.
    for (int reg : {40015, 51024, 51061}) {
        const std::vector<uint16_t> v = simRegisters(reg, 1);
        ASSERT_EQ(v.size(), 1u);
        EXPECT_EQ(v[0], backup.registers.at(reg)) << reg;
    }
}

TEST_F(RestoreEndToEnd, ReadBackThatDiffersAndWhatIsNeverTicked)
{
    // The cabinet acknowledges a write of 40015 and keeps the old value.
    ASSERT_TRUE(start({"--refuse-write", "40015"}));
    TSettingsBackup backup = readBackup();
    // A file from another cabinet type, with other values.
    backup.type = "QOL";
    backup.registers[40015] = 36;
    backup.registers[51024] = 1;
    backup.registers[51062] = 100; // battery elapsed time: never ticked by default
    backup.registers[40001] = 7;   // no window names it: offered, not ticked
    const QString file = dir.filePath("other.json");
    ASSERT_TRUE(WriteFileWhole(file, BackupJson(backup), nullptr));

    TServiceJournal journal;
    ASSERT_TRUE(journal.Open(dir.filePath("journal.db")));
    DialogScript script;
    TfrmRestore w;
    ASSERT_TRUE(w.LoadFile(file, nullptr));
    ASSERT_TRUE(readInWindow(w));
    EXPECT_EQ(listedRegisters(w), (std::set<QString>{"43/1", "40001", "40015", "51024", "51062"}));
    EXPECT_EQ(w.lblStatus->text(), "4 registers differ from the file") << "the identification row is no register";
    EXPECT_FALSE(w.lblWarning->isHidden());
    EXPECT_TRUE(w.lblWarning->text().contains("another cabinet: type QOL in the file, ZYR here"))
        << w.lblWarning->text().toStdString();
    EXPECT_EQ(cell(w, "43/1", TfrmRestore::ColFile), "QOL 50 kVA");
    EXPECT_FALSE(w.sgrdRestore->item(w.RowOfRegister("43/1"), TfrmRestore::ColRestore)->flags() & Qt::ItemIsUserCheckable);
    // Another cabinet's file: nothing ticked, nothing to restore until the operator ticks.
    for (const char* reg : {"40015", "51024", "51062", "40001"}) EXPECT_FALSE(ticked(w, reg)) << reg;
    EXPECT_FALSE(w.btnRestore->isEnabled());
    tick(w, "40015");
    tick(w, "51024");
    EXPECT_TRUE(w.btnRestore->isEnabled());

    w.btnRestore->click();
    ASSERT_TRUE(link.tickUntil([&] { return !w.Writing(); }, 900));
    EXPECT_EQ(cell(w, "40015", TfrmRestore::ColVerdict), "read back different");
    EXPECT_EQ(cell(w, "40015", TfrmRestore::ColCabinet), "32") << "the value read back";
    EXPECT_EQ(cell(w, "51024", TfrmRestore::ColVerdict), "read back equal");
    EXPECT_EQ(cell(w, "51062", TfrmRestore::ColVerdict), "") << "not ticked, not written";
    EXPECT_EQ(cell(w, "40001", TfrmRestore::ColVerdict), "");

    bool different = false;
    for (const TJournalEntry& e : journal.Entries())
        if (e.reg == 40015) {
            different = e.verdict == int(TWriteVerdict::ReadBackDifferent) && e.readBack == 32 && e.valueSent == 36;
        } else {
            EXPECT_TRUE(e.reg == 50000 || e.reg == 51024) << "only the ticked registers are written: " << e.reg;
        }
    EXPECT_TRUE(different);

    // Pictures of the window after the restore, in both languages, when asked for.
    const QByteArray keep = qgetenv("ZYR_KEEP_REPORT");
    if (!keep.isEmpty()) {
        w.grab().save(QString::fromLocal8Bit(keep) + QStringLiteral("restore_en.png"));
        LocalPara.Language = 1;
        w.ApplyCaptions();
        w.grab().save(QString::fromLocal8Bit(keep) + QStringLiteral("restore_zh.png"));
    }
}

// A file from another cabinet (type, rating and address) is listed with nothing ticked, the
// warning names each difference, and Enter does not write it even once a row is ticked.
TEST_F(RestoreEndToEnd, AnotherCabinetsFileStartsUntickedAndEnterWritesNothing)
{
    ASSERT_TRUE(start());
    TSettingsBackup backup = readBackup();
    backup.type = "ZYX";
    backup.rating = 200;
    backup.address = 7;
    backup.registers[51203] = uint16_t(backup.registers.at(51203) + 1); // power rating type
    backup.registers[53020] = 'X';                                         // UPS model, first character
    const QString file = dir.filePath("other.json");
    ASSERT_TRUE(WriteFileWhole(file, BackupJson(backup), nullptr));

    TServiceJournal journal;
    ASSERT_TRUE(journal.Open(dir.filePath("journal.db")));
    DialogScript script;
    TfrmRestore w;
    ASSERT_TRUE(w.LoadFile(file, nullptr));
    ASSERT_TRUE(readInWindow(w));
    EXPECT_EQ(listedRegisters(w), (std::set<QString>{"43/1", "51203", "53020"}));
    const QString warning = w.lblWarning->text();
    for (const char* what : {"type ZYX in the file, ZYR here", "rating 200 kVA in the file, 50 kVA here",
                             "address 7 in the file, 1 here"})
        EXPECT_TRUE(warning.contains(what)) << what << ": " << warning.toStdString();
    EXPECT_FALSE(ticked(w, "51203"));
    EXPECT_FALSE(ticked(w, "53020"));
    EXPECT_FALSE(w.btnRestore->isEnabled()) << "nothing ticked, nothing to restore";

    // One row ticked by hand: Restore may be pressed, but it is not what Enter presses.
    tick(w, "51203");
    EXPECT_TRUE(w.btnRestore->isEnabled());
    EXPECT_FALSE(w.btnRestore->isDefault());
    EXPECT_FALSE(w.btnRestore->autoDefault());
    QTest::keyClick(&w, Qt::Key_Return);
    EXPECT_FALSE(w.Writing());
    for (int i = 0; i < 20; ++i) link.tick();
    for (const TJournalEntry& e : journal.Entries()) ADD_FAILURE() << "written: " << e.reg;
    EXPECT_EQ(w.sgrdRestore->item(w.RowOfRegister("51203"), TfrmRestore::ColVerdict)->text(), "");
}

// A row read back equal is not written again; a row that read back another value is, and the
// button is enabled only while a ticked row still differs.
TEST_F(RestoreEndToEnd, SecondPressWritesOnlyWhatStillDiffers)
{
    ASSERT_TRUE(start({"--refuse-write", "40015"}));
    const TSettingsBackup backup = readBackup();
    const QString file = dir.filePath("backup.json");
    ASSERT_TRUE(WriteFileWhole(file, BackupJson(backup), nullptr));
    writeRegister(51024, 1);
    // The cabinet keeps its 32 for any write of 40015; the file asks for another value.
    TSettingsBackup other = backup;
    other.registers[40015] = 30;
    ASSERT_TRUE(WriteFileWhole(file, BackupJson(other), nullptr));

    TServiceJournal journal;
    ASSERT_TRUE(journal.Open(dir.filePath("journal.db")));
    DialogScript script;
    TfrmRestore w;
    ASSERT_TRUE(w.LoadFile(file, nullptr));
    ASSERT_TRUE(readInWindow(w));
    EXPECT_EQ(listedRegisters(w), (std::set<QString>{"40015", "51024"}));
    ASSERT_TRUE(w.btnRestore->isEnabled());
    tick(w, "40015", false);
    tick(w, "51024", false);
    EXPECT_FALSE(w.btnRestore->isEnabled()) << "nothing ticked";
    tick(w, "40015");
    tick(w, "51024");
    EXPECT_TRUE(w.btnRestore->isEnabled());

    auto written = [&](int reg) {
        int n = 0;
        for (const TJournalEntry& e : journal.Entries()) n += e.reg == reg ? 1 : 0;
        return n;
    };
    for (int press = 1; press <= 2; ++press) {
        w.btnRestore->click();
        ASSERT_TRUE(w.Writing()) << press;
        ASSERT_TRUE(link.tickUntil([&] { return !w.Writing(); }, 900)) << press;
        link.pump(50);
        EXPECT_EQ(cell(w, "40015", TfrmRestore::ColVerdict), "read back different") << press;
        EXPECT_EQ(written(40015), press);
        EXPECT_EQ(written(51024), 1) << "read back equal on the first press, not written again";
        EXPECT_EQ(cell(w, "51024", TfrmRestore::ColCabinet), cell(w, "51024", TfrmRestore::ColFile));
        EXPECT_FALSE(w.sgrdRestore->item(w.RowOfRegister("51024"), TfrmRestore::ColRestore)->flags() &
                     Qt::ItemIsUserCheckable);
        EXPECT_TRUE(w.btnRestore->isEnabled()) << "40015 still differs";
    }
}

// The cabinet vanishes right after the write of the second register: the first reads back
// equal, the second has no answer, the third is not sent; the window ends its restore and
// closes, and when a cabinet comes back at that device nothing more is written to it.
TEST_F(RestoreEndToEnd, CabinetLostMidWayStopsTheRestoreAndNothingIsWrittenWhenItReturns)
{
    // The test's own three writes, then write-enable and write of 40015 and of 51024.
    ASSERT_TRUE(start({"--vanish-after-writes", "7"}));
    const TSettingsBackup backup = readBackup();
    const QString file = dir.filePath("backup.json");
    ASSERT_TRUE(WriteFileWhole(file, BackupJson(backup), nullptr));
    writeRegister(40015, 36);
    writeRegister(51024, 1);
    writeRegister(51061, 20000);

    TServiceJournal journal;
    ASSERT_TRUE(journal.Open(dir.filePath("journal.db")));
    DialogScript script;
    TfrmRestore w;
    ASSERT_TRUE(w.LoadFile(file, nullptr));
    ASSERT_TRUE(readInWindow(w));
    ASSERT_EQ(listedRegisters(w), (std::set<QString>{"40015", "51024", "51061"}));
    w.btnRestore->click();
    ASSERT_TRUE(w.Writing());
    ASSERT_TRUE(link.tickUntil([&] { return !w.Writing(); }, 300)) << "the restore ends when the port is lost";
    link.pump(50);
    EXPECT_TRUE(link.frm().PortLost());
    EXPECT_EQ(cell(w, "40015", TfrmRestore::ColVerdict), "read back equal");
    EXPECT_EQ(cell(w, "51024", TfrmRestore::ColVerdict), "no answer");
    EXPECT_EQ(cell(w, "51061", TfrmRestore::ColVerdict), "not sent");
    for (int slot = 1; slot <= 3; ++slot) EXPECT_EQ(TestSlots()[slot].Pending, 0) << "slot " << slot << " taken back";
    EXPECT_TRUE(w.btnClose->isEnabled());
    EXPECT_FALSE(w.btnCancel->isEnabled());
    EXPECT_TRUE(w.close()) << "Close works";
    EXPECT_FALSE(w.isVisible());

    // A cabinet is put back at the same device: the link reopens it and polls, and no write
    // reaches it.
    // (The pulled cabinet has ended by itself, its link removed.)
    ASSERT_TRUE(sim.process().state() == QProcess::NotRunning || sim.process().waitForFinished(10000));
    EXPECT_EQ(sim.process().exitCode(), 0);
    EXPECT_FALSE(QFileInfo::exists(sim.link()));
    QFile::remove(sim.logPath());
    ASSERT_TRUE(sim.start({"--baud", QString::number(Baud), "--no-drift"}));
    const int32_t acks = TestCommDebug().AckCount;
    ASSERT_TRUE(link.tickUntil([&] { return TestCommDebug().AckCount > acks + 3; }, 200)) << "the link is back";
    for (int i = 0; i < 30; ++i) link.tick();
    EXPECT_EQ(sim.logLines().filter(" RX 01 06 ").size(), 0) << sim.logLines().join('\n').toStdString();
    EXPECT_TRUE(script.messages.empty()) << script.messageTexts().join('|').toStdString();
}

TEST_F(RestoreEndToEnd, JournalThatCannotBeWrittenIsToldOnceAndWritesGoOn)
{
    ASSERT_TRUE(start());
    // The journal's folder is a plain file: nothing can be created there, whoever runs the test.
    WriteFile(dir.filePath("data"), "not a folder");
    TServiceJournal journal;
    QStringList told;
    journal.SetFailureHandler([&](const QString& why) { told << why; });
    EXPECT_FALSE(journal.Open(dir.filePath("data/journal.db")));
    EXPECT_EQ(told.size(), 1);
    EXPECT_TRUE(told.value(0).contains("journal.db")) << told.value(0).toStdString();

    DialogScript script;
    for (uint16_t code : {1, 0}) {
        ASSERT_EQ(QueueWrite(nullptr, {{1, 6, 51024, 1, code}, {2, 3, 51021, 10, 0}}), TWriteOutcome::Queued);
        ASSERT_TRUE(link.tickUntil([&] { return Cabinet().OptBaud == code && TestSlots()[2].Pending == 0; }, 200)) << code;
    }
    EXPECT_EQ(told.size(), 1) << "told once";
    EXPECT_TRUE(journal.Failed());
    EXPECT_TRUE(journal.Entries().empty());
    EXPECT_TRUE(script.messages.empty());
}

} // namespace
