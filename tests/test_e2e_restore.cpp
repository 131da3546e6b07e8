// End to end over a pseudo-terminal: a backup read through the tool's own link, the restore
// window listing what differs and writing it back with read-backs, and the service journal
// noting every write with its verdict.
#include "comm/uBackupReader.h"
#include "model/UShareData.h"
#include "model/uSettingsBackup.h"
#include "records/uServiceJournal.h"
#include "settings/uFrmRestore.h"
#include "simharness/LinkDriver.h"
#include "simharness/SimHarness.h"
#include "support/DialogScript.h"
#include "support/TestSupport.h"
#include "ui/uReqSlots.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>

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
        return link.open(sim.link(), Baud);
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
        const int32_t acks = CommDebug.AckCount;
        const int32_t taken = ReqSlot[5].Counter;
        TReqSlot& s = ReqSlot[5];
        s.Addr = 1;
        s.Func = 6;
        s.StartReg = reg;
        s.Count = 1;
        s.Value = value;
        s.Pending = FlagOn;
        ASSERT_TRUE(link.tickUntil([&] { return ReqSlot[5].Counter > taken; }, 120));
        ASSERT_TRUE(link.tickUntil([&] { return CommDebug.AckCount > acks; }, 120));
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
    static bool ticked(const TfrmRestore& w, const QString& reg)
    {
        const int row = w.RowOfRegister(reg);
        return row >= 0 && w.sgrdRestore->item(row, TfrmRestore::ColRestore)->checkState() == Qt::Checked;
    }

    // The cabinet's registers on the test's own line, after the tool's link has closed.
    std::vector<uint16_t> simRegisters(int reg, int count)
    {
        link.close();
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
    EXPECT_FALSE(w.lblWarning->isHidden());
    EXPECT_TRUE(w.lblWarning->text().contains("another cabinet type or rating")) << w.lblWarning->text().toStdString();
    EXPECT_EQ(cell(w, "43/1", TfrmRestore::ColFile), "QOL 50 kVA");
    EXPECT_FALSE(w.sgrdRestore->item(w.RowOfRegister("43/1"), TfrmRestore::ColRestore)->flags() & Qt::ItemIsUserCheckable);
    EXPECT_TRUE(ticked(w, "40015"));
    EXPECT_TRUE(ticked(w, "51024"));
    EXPECT_FALSE(ticked(w, "51062"));
    EXPECT_FALSE(ticked(w, "40001"));

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
        ASSERT_TRUE(link.tickUntil([&] { return OptBaud == code && ReqSlot[2].Pending == 0; }, 200)) << code;
    }
    EXPECT_EQ(told.size(), 1) << "told once";
    EXPECT_TRUE(journal.Failed());
    EXPECT_TRUE(journal.Entries().empty());
    EXPECT_TRUE(script.messages.empty());
}

} // namespace
