// Field faults end to end: a cabinet that goes away under the open port and comes back at the
// same path, and the built program over damaged, oversized and unwritable settings files.
#include "app/UFrmMain.h"
#include "cli/uCmdLine.h"
#include "app/uStartup.h"
#include "comm/uFrmCom.h"
#include "diag/uFrmTrack.h"
#include "model/UShareData.h"
#include "model/uLocalPara.h"
#include "simharness/SimHarness.h"
#include "support/TestSupport.h"
#include "test_comm_pty.h"
#include "ui/uReqSlots.h"
#include "ui/uStringGrid.h"
#include "ui/uUiSeam.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QRegularExpression>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <csignal>
#include <unistd.h>

namespace {

class LostDeviceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetAll();
        ASSERT_TRUE(dir_.isValid());
        SetMessageBoxHandler([this](const TMessageBoxRequest& r) {
            messages_ << r.text;
            return QMessageBox::Ok;
        });
    }
    void TearDown() override
    {
        SetSettingsFolderOverride(QString());
        SetMessageBoxHandler(nullptr);
    }

    bool startSim()
    {
        // The cabinet comes back at the same path, as an adapter put back in the same socket.
        if (!sim_.link().isEmpty()) QFile::remove(sim_.link());
        return sim_.start({"--baud", "19200", "--no-drift"});
    }
    // The cabinet is pulled: killed outright, no goodbye on the line.
    void pullSim()
    {
        sim_.stop(SIGKILL);
        QFile::remove(sim_.link());
    }
    // One link tick after 100 ms of events, with the link's own timer stopped.
    static void tick()
    {
        QTest::qWait(100);
        FrmCom->Timer1Timer();
    }

    QTemporaryDir dir_;
    simtest::SimProcess sim_;
    QStringList messages_;
};

TEST_F(LostDeviceTest, PulledCabinetShowsLostWaitsQuietlyAndResumesWhenItComesBack)
{
    ASSERT_TRUE(startSim());
    TCmdLine options;
    QString error;
    ASSERT_TRUE(ParseCmdLine(
        {"zyrtool", "--settings-dir", dir_.path(), "--port", sim_.link(), "--baud", "19200", "--connect"},
        options, error));
    TStartup startup(options);
    ASSERT_TRUE(startup.CreateWindows(error)) << error.toStdString();
    startup.Start();
    ASSERT_TRUE(FrmCom->PortOpen()) << messages_.join('\n').toStdString();
    TFrmMain* w = startup.Main();
    TfrmTrack* track = w->TrackWindow;
    ASSERT_NE(track, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return CellText(w->sgrdUPS_AC, 1, 1) == "230.2"; }, 20000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return w->edtSysState->text() == "Online"; }, 20000));

    pullSim();
    ASSERT_TRUE(QTest::qWaitFor([&] { return FrmCom->PortLost(); }, 10000)) << "the loss is noticed";
    EXPECT_FALSE(FrmCom->PortOpen());
    w->tmr1Timer();
    const QString lost = sim_.link() + " lost";
    EXPECT_EQ(w->lblCommName->text().section('\n', 0, 0), lost);
    EXPECT_EQ(w->spbComLink->toolTip(), lost);
    EXPECT_EQ(CellText(w->sgrdUPS_AC, 1, 1), "") << "no value is left as if current";
    EXPECT_EQ(CellText(w->sgrdUPS_DC, 1, 1), "");
    EXPECT_EQ(w->mdtSysSta->text(), "");
    EXPECT_EQ(w->edtSysState->text(), lost) << "the state text no longer reads Online";
    track->show(); // the trace shows what came while it was closed
    EXPECT_TRUE(track->Memo1->toPlainText().contains("*** Port " + sim_.link() + " lost"))
        << track->Memo1->toPlainText().right(300).toStdString();
    EXPECT_TRUE(messages_.isEmpty()) << "a lost device is shown, not reported in a box";

    // Waiting for the device: one attempt every 20 link ticks, and the dead port raises no
    // notifications at all while the events run.
    FrmCom->Timer1.stop();
    const quint64 wakeups = FrmCom->SerialPort().Wakeups();
    const int attempts = FrmCom->ReopenAttempts();
    const int txCount = TestCommDebug().TxCount;
    for (int i = 0; i < 3 * TFrmCom::ReopenTicks; ++i) tick();
    EXPECT_EQ(FrmCom->ReopenAttempts() - attempts, 3);
    EXPECT_EQ(FrmCom->SerialPort().Wakeups(), wakeups) << "no busy loop on the lost device";
    EXPECT_EQ(TestCommDebug().TxCount, txCount);
    EXPECT_TRUE(FrmCom->PortLost());

    // Put back at the same path: the port reopens by itself and the poll goes on, within 3 s
    // of link ticks (one reopen period and the reply).
    ASSERT_TRUE(startSim());
    const int acks = TestCommDebug().AckCount;
    int ticks = 0;
    while (TestCommDebug().AckCount == acks && ticks < 100) {
        tick();
        ++ticks;
    }
    EXPECT_LE(ticks, 30) << "poll resumed after " << ticks << " ticks";
    EXPECT_TRUE(FrmCom->PortOpen());
    EXPECT_FALSE(FrmCom->PortLost());
    EXPECT_EQ(FrmCom->ReopenCount(), 1);
    EXPECT_TRUE(track->Memo1->toPlainText().contains("*** Port " + sim_.link() + " reopened"));
    for (int i = 0; i < 5; ++i) w->tmr1Timer();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            tick();
            w->tmr1Timer();
            return CellText(w->sgrdUPS_AC, 1, 1) == "230.2" && w->edtSysState->text() == "Online";
        },
        20000));
    EXPECT_EQ(w->spbComLink->toolTip(), "Trun Off");
    EXPECT_EQ(w->lblCommName->text().section('\n', 0, 0), sim_.link());

    // Pulled again, and this time the operator turns the link button off: no more attempts.
    pullSim();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            tick();
            return FrmCom->PortLost();
        },
        10000));
    w->spbComLinkClick();
    EXPECT_FALSE(FrmCom->PortLost());
    EXPECT_FALSE(FrmCom->PortOpen());
    w->tmr1Timer();
    EXPECT_EQ(w->spbComLink->toolTip(), "Trun On");
    ASSERT_TRUE(startSim());
    const int attemptsOff = FrmCom->ReopenAttempts();
    for (int i = 0; i < 2 * TFrmCom::ReopenTicks; ++i) tick();
    EXPECT_EQ(FrmCom->ReopenAttempts(), attemptsOff);
    EXPECT_FALSE(FrmCom->PortOpen()) << "the port stays closed until the operator turns the link on";
    w->close();
}

// A write confirmed just before the cabinet is pulled never goes out later: the lost port
// empties the pending write slots (the trace names each with its register), and after the
// automatic reopen the cabinet's own frame log holds no write at all, while reads go on.
TEST_F(LostDeviceTest, WritePendingWhenTheCabinetVanishesIsDroppedNotSentAfterTheReopen)
{
    ASSERT_TRUE(startSim());
    TCmdLine options;
    QString error;
    ASSERT_TRUE(ParseCmdLine(
        {"zyrtool", "--settings-dir", dir_.path(), "--port", sim_.link(), "--baud", "19200", "--connect"},
        options, error));
    TStartup startup(options);
    ASSERT_TRUE(startup.CreateWindows(error)) << error.toStdString();
    startup.Start();
    ASSERT_TRUE(FrmCom->PortOpen()) << messages_.join('\n').toStdString();
    TFrmMain* w = startup.Main();
    TfrmTrack* track = w->TrackWindow;
    ASSERT_NE(track, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return TestCommDebug().AckCount >= 2; }, 20000));

    // The link's clock is held while the operator confirms a write: the write-enable, the
    // parameter and its read-back wait in their slots for the link's next idle tick.
    FrmCom->Timer1.stop();
    // (The main window's own periodic reads may hold a slot; the operator's write finds the
    // link free.)
    for (int i = 1; i <= ReqSlotCount; ++i) TestSlots()[i].Pending = FlagOff;
    ASSERT_EQ(QueueWrite(nullptr, {{1, 6, 50000, 0, 10}, {2, 6, 40030, 1, 77}, {3, 4, 40001, 34}}),
              TWriteOutcome::Queued);
    auto writesPending = [] {
        int n = 0;
        for (int i = 1; i <= ReqSlotCount; ++i) n += TestSlots()[i].Pending && IsWriteFunc(TestSlots()[i].Func);
        return n;
    };
    ASSERT_EQ(writesPending(), 2);

    pullSim();
    ASSERT_TRUE(QTest::qWaitFor([&] { return FrmCom->PortLost(); }, 10000)) << "the loss is noticed";
    EXPECT_EQ(writesPending(), 0) << "the write-enable and the write are dropped";
    EXPECT_EQ(TestSlots()[3].Pending, FlagOff) << "the write's read-back goes with it";
    track->show();
    const QString trace = track->Memo1->toPlainText();
    EXPECT_TRUE(trace.contains("Write to 50000 (function 6) dropped")) << trace.right(400).toStdString();
    EXPECT_TRUE(trace.contains("Write to 40030 (function 6) dropped")) << trace.right(400).toStdString();

    // A write refused while the port is lost is not queued either.
    EXPECT_EQ(QueueWrite(nullptr, {{4, 6, 40030, 1, 78}}), TWriteOutcome::PortClosed);
    EXPECT_EQ(writesPending(), 0);

    // The cabinet comes back at the same path, with a fresh frame log.
    QFile::remove(sim_.logPath());
    ASSERT_TRUE(startSim());
    const int acks = TestCommDebug().AckCount;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            tick();
            return TestCommDebug().AckCount >= acks + 4;
        },
        20000))
        << "the link reopened and polled";
    EXPECT_EQ(FrmCom->ReopenCount(), 1);
    int reads = 0;
    for (const QString& line : sim_.logLines()) {
        const QStringList words = line.section(" # ", 0, 0).split(' ', Qt::SkipEmptyParts);
        if (words.size() < 4 || words[1] != "RX") continue;
        const int func = words[3].toInt(nullptr, 16);
        EXPECT_NE(func, 6) << "a stale write reached the cabinet: " << line.toStdString();
        EXPECT_NE(func, 16) << line.toStdString();
        if (func == 3 || func == 4) ++reads;
    }
    EXPECT_GE(reads, 4);
    w->close();
}

// The built program over settings files a field machine may hold. Each run ends by itself
// within its time limit and exits 0; a message box nobody can see goes to standard error.
struct SettingsCase {
    const char* name;
    bool connect;          // open a pseudo-terminal at the file's speed and poll it
    const char* expectErr; // a text the run must write to standard error, or nullptr
};

class SettingsFileProgram : public ::testing::TestWithParam<SettingsCase> {};

TEST_P(SettingsFileProgram, EndsByItselfAndKeepsTheFile)
{
    const SettingsCase& c = GetParam();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QString settingsDir = dir.path();
    const QString ini = dir.filePath("UserParaIni.ini");
    auto write = [&](const QByteArray& bytes) {
        QFile f(ini);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    };
    const std::string name = c.name;
    QByteArray before;
    if (name == "folder") {
        ASSERT_TRUE(QDir().mkpath(ini));
    } else if (name == "unwritable") {
        // A folder below a plain file can be neither made nor written, whoever runs the test.
        QFile plain(dir.filePath("plain"));
        ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
        settingsDir = dir.filePath("plain/sub");
    } else if (name == "read_only") {
        write("[LocalPara]\nBaudRate=9600\n");
        QFile::setPermissions(ini, QFile::ReadOwner);
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner);
    } else if (name == "beyond_limit") {
        before = "[LocalPara]\nBaudRate=9600\n" + QByteArray(5 << 20, 'x') + "\n[Tail]\nKey=1\n";
        write(before);
    } else if (name == "negative_speed") {
        write("[LocalPara]\nBaudRate=-5\n");
    } else if (name == "absurd_speed") {
        write("[LocalPara]\nBaudRate=999999999\n");
    } else if (name == "empty") {
        write("");
    }

    TestPty pty;
    QStringList args{"-platform",    "offscreen", "--settings-dir",  settingsDir,
                     "--quit-after", "3",         "--print-counters"};
    if (c.connect) {
        ASSERT_TRUE(pty.ok());
        args << "--port" << pty.slavePath() << "--connect";
    }
    QProcess tool;
    tool.start(QStringLiteral(ZYR_BINARY_DIR "/zyrtool"), args);
    ASSERT_TRUE(tool.waitForStarted(10000));
    const bool ended = tool.waitForFinished(90000);
    if (!ended) {
        tool.kill();
        tool.waitForFinished(5000);
    }
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    ASSERT_TRUE(ended) << "the run did not end by itself";
    EXPECT_EQ(tool.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(tool.exitCode(), 0);
    const QString out = QString::fromLocal8Bit(tool.readAllStandardOutput());
    const QString err = QString::fromLocal8Bit(tool.readAllStandardError());
    if (c.expectErr) EXPECT_TRUE(err.contains(QLatin1String(c.expectErr))) << err.toStdString();
    EXPECT_FALSE(err.contains("Error opening serial port")) << err.toStdString();
    if (c.connect) {
        // The file's speed was not taken as it stood: the port opened at 2400 and frames went out.
        const QRegularExpressionMatch m = QRegularExpression("counters: tx (\\d+)").match(out);
        ASSERT_TRUE(m.hasMatch()) << out.toStdString();
        EXPECT_GT(m.captured(1).toInt(), 0) << out.toStdString();
        EXPECT_FALSE(pty.receive(8).isEmpty());
    }
    if (name == "beyond_limit") {
        QFile f(ini);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_TRUE(f.readAll() == before) << "the file beyond the limit is unchanged";
    }
    if (name == "negative_speed" || name == "absurd_speed" || name == "empty") {
        QFile f(ini);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_TRUE(f.readAll().contains("BaudRate=2400"));
    }
}

INSTANTIATE_TEST_SUITE_P(Files, SettingsFileProgram,
                         ::testing::Values(SettingsCase{"folder", false, "cannot be written"},
                                           SettingsCase{"unwritable", false, "cannot be written"},
                                           SettingsCase{"read_only", false, nullptr},
                                           SettingsCase{"beyond_limit", false, "larger than 4 MiB"},
                                           SettingsCase{"negative_speed", true, nullptr},
                                           SettingsCase{"absurd_speed", true, nullptr},
                                           SettingsCase{"empty", false, nullptr}),
                         [](const ::testing::TestParamInfo<SettingsCase>& i) {
                             return std::string(i.param.name);
                         });

} // namespace
