// The alarm mask end to end: the tool's link against the simulated cabinet on a
// pseudo-terminal, a mask word edited bit by bit and written, read back from the cabinet by
// a port of the test's own; the cabinet's write-enable rule seen from the wire; the built
// program's picture of the mask window in both languages.
#include "comm/uCabinet.h"
#include "model/UShareData.h"
#include "model/uUpsInfo.h"
#include "settings/UFrmSetBit.h"
#include "settings/uFrmMask.h"
#include "simharness/LinkDriver.h"
#include "simharness/SimHarness.h"
#include "support/DialogScript.h"
#include "support/ProgramRun.h"
#include "support/TestSupport.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace simtest;

namespace {

class E2eMask : public ::testing::Test {
protected:
    void SetUp() override { ResetAll(); }
    void TearDown() override { ResetAll(); }

    SimProcess sim;
};

// The frames of the simulator's log that it received ("RX"), as upper-case hexadecimal.
QStringList received(const QStringList& log)
{
    QStringList frames;
    for (const QString& line : log) {
        const QStringList parts = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (parts.size() < 3 || parts[1] != QLatin1String("RX")) continue;
        QStringList bytes;
        for (int i = 2; i < parts.size() && parts[i] != QLatin1String("#"); ++i) bytes << parts[i];
        frames << bytes.join(QLatin1Char(' '));
    }
    return frames;
}

QString hexOf(const Bytes& b) { return HexLine(b.data(), static_cast<int>(b.size())); }

TEST_F(E2eMask, WriteTheAlarmWordOneAndSeeItBack)
{
    const int baud = 19200;
    ASSERT_TRUE(sim.start({"--baud", QString::number(baud), "--no-drift", "--no-pacing"}));
    LinkDriver link;
    ASSERT_TRUE(link.open(sim.link(), baud));

    TfrmMask mask;
    mask.tmr1->stop();
    mask.show();
    // The mask window's second passes every ten link ticks.
    auto runUntil = [&](const std::function<bool()>& done, int maxTicks) {
        for (int i = 0; i < maxTicks; ++i) {
            if (done()) return true;
            if (link.ticks() % 10 == 0) mask.tmr1Timer();
            link.tick();
        }
        return done();
    };
    ASSERT_TRUE(
        runUntil([&] { return mask.edtAlarm01->text() == "FCFF" && mask.btnEdt05->isEnabled(); }, 200))
        << mask.edtAlarm01->text().toStdString();
    EXPECT_EQ(mask.edtState03->text(), "FFF0");
    EXPECT_EQ(mask.edtMnAlarm->text(), "00FF");

    // Bit 15 off and bit 0 off: FCFF becomes 7CFE.
    DialogScript script;
    script.otherModal = [](QDialog* d) {
        auto* bits = qobject_cast<TFrmSetBit*>(d);
        if (!bits) return int(QDialog::Rejected);
        bits->show();
        for (int row : {1, 16}) {
            const QRect cell = bits->strGrid->visualRect(bits->strGrid->model()->index(row, 2));
            QTest::mouseClick(bits->strGrid->viewport(), Qt::LeftButton, {}, cell.center());
        }
        EXPECT_EQ(bits->edtMskVal->text(), "7CFE");
        QTest::mouseClick(bits->btnOK, Qt::LeftButton);
        return bits->result();
    };
    QTest::mouseClick(mask.btnEdt05, Qt::LeftButton);
    EXPECT_EQ(MaskChannel, 5);
    EXPECT_EQ(MaskValue, 0x7CFE);

    ASSERT_TRUE(runUntil([&] { return mask.edtAlarm01->text() == "7CFE"; }, 300))
        << mask.edtAlarm01->text().toStdString();
    EXPECT_EQ(Cabinet().MaskWords[4], 0x7CFE);
    EXPECT_EQ(mask.edtAlarm02->text(), "FFFF") << "the other words are as they were";
    link.close();

    // The write-enable command went just before the word, each answered by its echo.
    const QStringList frames = received(sim.logLines());
    const QString enable = hexOf(writeSingleRequest(1, 50000, 10));
    const QString word = hexOf(writeSingleRequest(1, 40086, 0x7CFE));
    const int at = frames.indexOf(word);
    ASSERT_GT(at, 0) << frames.join(" | ").toStdString();
    EXPECT_EQ(frames[at - 1], enable);
    EXPECT_EQ(frames.count(word), 1) << "written once: the cabinet took it at the first attempt";
    EXPECT_TRUE(frames.mid(at + 1).contains(hexOf(readRequest(1, 3, 40082, 10)))) << "read back";

    // The cabinet itself, asked over a port of the test's own.
    RawPort port;
    ASSERT_TRUE(port.open(sim.link(), baud));
    const Bytes reply = port.transact(readRequest(1, 3, 40082, 10), 25);
    ASSERT_TRUE(RefCrc::valid(reply));
    const std::vector<uint16_t> words = registersOf(reply);
    ASSERT_EQ(words.size(), 10u);
    EXPECT_EQ(words[4], 0x7CFE);
    EXPECT_EQ(words[0], 0xFFFF);
    EXPECT_EQ(words[9], 0x00FF);
}

// The cabinet takes a mask word only right after the write-enable command; each command
// serves one write.
TEST_F(E2eMask, CabinetTakesMaskWritesOnlyAfterTheWriteEnableCommand)
{
    ASSERT_TRUE(sim.start({"--no-pacing", "--no-drift"}));
    RawPort port;
    ASSERT_TRUE(port.open(sim.link()));
    auto word = [&](int reg) {
        const std::vector<uint16_t> v = registersOf(port.transact(readRequest(1, 3, reg, 1), 7));
        return v.empty() ? -1 : int(v[0]);
    };
    const Bytes refused = withCrc({1, 0x86, 4});

    EXPECT_EQ(port.transact(writeSingleRequest(1, 40086, 0x1234), 8), refused);
    EXPECT_EQ(word(40086), 0xFCFF);

    EXPECT_EQ(port.transact(writeSingleRequest(1, 50000, 10), 8), writeSingleRequest(1, 50000, 10));
    EXPECT_EQ(port.transact(writeSingleRequest(1, 40086, 0x1234), 8), writeSingleRequest(1, 40086, 0x1234));
    EXPECT_EQ(word(40086), 0x1234);
    EXPECT_EQ(port.transact(writeSingleRequest(1, 40087, 0x0001), 8), withCrc({1, 0x86, 4})) << "used up";
    EXPECT_EQ(word(40087), 0xFFFF);

    // Another value in 50000 is no write-enable command.
    port.transact(writeSingleRequest(1, 50000, 9), 8);
    EXPECT_EQ(port.transact(writeSingleRequest(1, 40091, 0), 8), refused);

    // Function 16 over several words: one command for the frame.
    EXPECT_EQ(port.transact(writeMultipleRequest(1, 40090, {1, 2}), 5), withCrc({1, 0x90, 4}));
    port.transact(writeSingleRequest(1, 50000, 10), 8);
    const Bytes multi = port.transact(writeMultipleRequest(1, 40090, {1, 2}), 8);
    EXPECT_EQ(multi, withCrc({1, 16, 0x9C, 0x99, 0, 2}));
    EXPECT_EQ(word(40090), 1);
    EXPECT_EQ(word(40091), 2);

    // Registers beside the mask words take writes as before.
    EXPECT_EQ(port.transact(writeSingleRequest(1, 40081, 7), 8), writeSingleRequest(1, 40081, 7));
    EXPECT_EQ(port.transact(writeSingleRequest(1, 40092, 7), 8), writeSingleRequest(1, 40092, 7));
}

// `--window frmMask` in a demonstration run: the prompt is answered, the mask window opens
// and the picture is of it, with the words the simulated cabinet holds.
class MaskPicture : public ::testing::TestWithParam<int> {};

TEST_P(MaskPicture, WindowOptionGivesThePictureOfTheMaskWindow)
{
    const int language = GetParam();
    const TProgramRun run = RunViewScreenshot(QStringLiteral("frmMask"), language, 5);
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(run.exitCode, 0) << run.errors.toStdString();
    EXPECT_FALSE(run.errors.contains("not shown")) << run.errors.toStdString();
    EXPECT_FALSE(run.errors.contains("no view")) << run.errors.toStdString();
    ASSERT_FALSE(run.picture.isNull());
    ResetAll();
    LocalPara.Language = static_cast<uint8_t>(language);
    TfrmMask mask;
    EXPECT_EQ(run.picture.size(), mask.size()) << "the mask window, not the main window";
}

INSTANTIATE_TEST_SUITE_P(Languages, MaskPicture, ::testing::Values(0, 1),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return info.param == 1 ? std::string("Chinese") : std::string("English");
                         });

} // namespace
