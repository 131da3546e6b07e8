// The trend window end to end: the link polls the simulated cabinet on a pseudo-terminal, the
// recorder keeps one sample per poll cycle, and the window draws, reads out, pauses and exports
// what the cabinet's registers hold; the main window's Tools menu opens it whatever the
// visibility strings say; the built program shows it for a picture in both languages.
#include "comm/uTrendRecorder.h"
#include "diag/uFrmTrend.h"
#include "diag/uTrendChart.h"
#include "model/UShareData.h"
#include "model/uTrendRing.h"
#include "model/uValueColumns.h"
#include "simharness/LinkDriver.h"
#include "simharness/SimHarness.h"
#include "support/FileDialogScript.h"
#include "support/ProgramRun.h"
#include "support/TestSupport.h"
#include "test_main_fixture.h"
#include "ui/uViewRegistry.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>

namespace {

using simtest::Bytes;

constexpr int Baud = 19200;

int validSamples(const TTrendRing& ring)
{
    int n = 0;
    for (int i = 0; i < ring.Size(); ++i) n += ring.At(i).valid ? 1 : 0;
    return n;
}

int channel(const char* name)
{
    const auto& cols = TrendColumns();
    for (size_t i = 0; i < cols.size(); ++i)
        if (QByteArray(cols[i]->name) == name) return int(i);
    return -1;
}

class TrendEndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetAll();
        ASSERT_TRUE(dir_.isValid());
        ASSERT_TRUE(sim_.start({"--baud", QString::number(Baud), "--no-drift", "--no-pacing", "--state", "4"}));
        simtest::RawPort port;
        ASSERT_TRUE(port.open(sim_.link(), Baud));
        regs_ = simtest::registersOf(port.transact(simtest::readRequest(1, 4, 30001, 44), 5 + 88));
        ASSERT_EQ(regs_.size(), 44u);
    }
    void TearDown() override
    {
        recorder_.Stop();
        link_.close();
        ResetAll();
    }
    void openAndRecord()
    {
        ASSERT_TRUE(link_.open(sim_.link(), Baud));
        recorder_.Start();
    }
    bool samplesUntil(int valid) { return link_.tickUntil([&] { return validSamples(TrendRing) >= valid; }, 400); }
    double reg(int r) const { return regs_[size_t(r - 30001)]; }

    QTemporaryDir dir_;
    simtest::SimProcess sim_;
    simtest::LinkDriver link_;
    TTrendRecorder recorder_{TrendRing};
    std::vector<uint16_t> regs_;
};

TEST_F(TrendEndToEnd, SamplesOfEachCycleAreDrawnReadOutAndExportedAsTheCabinetHoldsThem)
{
    openAndRecord();
    ASSERT_TRUE(samplesUntil(3));
    TfrmTrend view(nullptr, &TrendRing);
    view.tmr1->stop();
    view.show();
    view.RefreshPlot();

    const int volts = channel("InVolt_A");
    const int load = channel("LoadPct_B");
    for (int i = 0; i < TrendRing.Size(); ++i) {
        const TTrendSample& s = TrendRing.At(i);
        if (!s.valid) continue;
        EXPECT_FLOAT_EQ(s.value[volts], float(reg(30001) / 10));
        EXPECT_FLOAT_EQ(s.value[load], float(reg(30022) / 10));
        EXPECT_EQ(s.state, 4);
    }
    // The 10-minute window draws every sample of each checked series in one run.
    const std::vector<int> shown = view.ShownChannels();
    ASSERT_FALSE(shown.empty());
    const TTrendPlot& plot = view.chtTrend->LastPlot();
    ASSERT_EQ(plot.runs.size(), shown.size());
    EXPECT_FALSE(plot.reduced);
    const int k = int(std::find(shown.begin(), shown.end(), volts) - shown.begin());
    ASSERT_LT(k, int(shown.size()));
    ASSERT_EQ(plot.runs[size_t(k)].size(), 1u);
    EXPECT_EQ(int(plot.runs[size_t(k)][0].size()), validSamples(TrendRing));

    // The cursor reads out every shown series at the nearest sample.
    view.ShowCursorAt(TrendRing.At(TrendRing.Size() - 1).time + 10);
    const QString readOut = view.lblCursor->text();
    EXPECT_TRUE(readOut.contains(QStringLiteral("InVolt_A %1 V").arg(reg(30001) / 10, 0, 'f', 1))) << readOut.toStdString();
    EXPECT_TRUE(readOut.contains(QStringLiteral("Online")));
    EXPECT_TRUE(view.lblState->text().contains(QStringLiteral("Online")));

    // Export: the shown series as the value logger writes them, and the picture.
    FileDialogScript files;
    const QString csv = dir_.filePath("trend.csv");
    const QString png = dir_.filePath("trend.png");
    files.answers = {csv, png};
    view.btnExportCsv->click();
    view.btnExportPng->click();
    ASSERT_EQ(files.asked.size(), 2u);
    EXPECT_TRUE(files.asked[0].save);
    EXPECT_EQ(files.asked[0].filter, "*.csv");
    QFile f(csv);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    ASSERT_TRUE(bytes.startsWith(QByteArray(ValueLogBom, 3)));
    const QList<QByteArray> lines = bytes.mid(3).split('\n');
    std::vector<const TValueColumn*> cols;
    for (int ch : shown) cols.push_back(TrendColumns()[size_t(ch)]);
    EXPECT_EQ(lines[0], ValueLogHeader(cols).toUtf8() + "\r");
    int dataLines = 0;
    for (int i = 1; i < lines.size(); ++i) {
        if (lines[i].isEmpty()) continue;
        const QStringList fields = QString::fromUtf8(lines[i]).trimmed().split(QLatin1Char(','));
        ASSERT_EQ(fields.size(), int(cols.size()) + 2);
        if (fields.last() == QLatin1String("No reply")) continue;
        ++dataLines;
        EXPECT_EQ(fields[1 + k], QString::number(reg(30001) / 10, 'f', 1));
        EXPECT_EQ(fields.last(), "Online");
    }
    EXPECT_EQ(dataLines, validSamples(TrendRing));
    const QImage picture(png);
    EXPECT_FALSE(picture.isNull());
    EXPECT_EQ(picture.size(), view.chtTrend->size());
}

TEST_F(TrendEndToEnd, ALostLinkLeavesAGapAndAPausedPictureStaysUntilResumed)
{
    openAndRecord();
    ASSERT_TRUE(samplesUntil(2));
    TfrmTrend view(nullptr, &TrendRing);
    view.tmr1->stop();
    view.show();

    link_.frm().ClosePort(); // the line breaks
    ASSERT_TRUE(link_.open(sim_.link(), Baud));
    // The driver opens the line again with a link of its own: the recorder follows the run's
    // link, which is that one now.
    recorder_.Stop();
    recorder_.Start();
    const int before = validSamples(TrendRing);
    ASSERT_TRUE(samplesUntil(before + 2));
    view.RefreshPlot();
    const int volts = channel("InVolt_A");
    const std::vector<int> shown = view.ShownChannels();
    const size_t k = size_t(std::find(shown.begin(), shown.end(), volts) - shown.begin());
    ASSERT_LT(k, shown.size());
    const auto& runs = view.chtTrend->LastPlot().runs[k];
    ASSERT_GE(runs.size(), 2u);
    for (const auto& run : runs)
        for (const QPointF& p : run) EXPECT_DOUBLE_EQ(p.y(), double(float(reg(30001) / 10)));

    // Paused: new samples are kept, the picture is not redrawn; resumed: it is.
    view.btnPause->click();
    EXPECT_TRUE(view.Paused());
    EXPECT_EQ(view.btnPause->text(), "Resume");
    const int drawn = view.chtTrend->LastPlot().samples;
    ASSERT_TRUE(samplesUntil(validSamples(TrendRing) + 1));
    view.tmr1Timer();
    view.RefreshPlot();
    EXPECT_EQ(view.chtTrend->LastPlot().samples, drawn);
    view.btnPause->click();
    EXPECT_FALSE(view.Paused());
    EXPECT_GT(view.chtTrend->LastPlot().samples, drawn);

    // Another time window is drawn at once.
    view.cbbWindow->setCurrentIndex(3);
    view.cbbWindowChange();
    EXPECT_EQ(view.WindowMs(), 24LL * 3600 * 1000);
}

// The Tools menu shows the trend item even when the visibility strings hide every other item.
TEST_F(MainWindowTest, TheTrendItemIsShownWhateverTheVisibilityStringsSay)
{
    writeSettings("Menu03=1000000\nLanguage=1\n");
    TFrmMain& w = window();
    w.show();
    w.ApplyMenuVisibility();
    EXPECT_FALSE(w.mni3001->isVisible());
    EXPECT_TRUE(w.mni3005->isVisible());
    EXPECT_EQ(w.mni3005->text(), "趋势图");
    w.mni3005->trigger();
    QWidget* trend = FindShownWindow(QStringLiteral("frmTrend"));
    ASSERT_NE(trend, nullptr);
    EXPECT_EQ(trend->windowTitle(), "趋势图");
    EXPECT_EQ(trend->findChild<QPushButton*>("btnExportCsv")->text(), "导出CSV");
    LocalPara.Language = 0;
    w.ApplyCaptions();
    EXPECT_EQ(w.mni3005->text(), "Trend");
}

struct TrendShot {
    int language;
    const char* title;
};
class TrendPicture : public ::testing::TestWithParam<TrendShot> {};

TEST_P(TrendPicture, TheBuiltProgramOpensTheTrendWindow)
{
    const TrendShot& s = GetParam();
    const TProgramRun run = RunViewScreenshot(QStringLiteral("frmTrend"), s.language, 8);
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(run.exitCode, 0) << run.errors.toStdString();
    EXPECT_FALSE(run.errors.contains(QLatin1String("no view is named"))) << run.errors.toStdString();
    // Chinese check-box texts stand a little taller.
    EXPECT_EQ(run.picture.width(), 980);
    EXPECT_GE(run.picture.height(), 620);
    EXPECT_LE(run.picture.height(), 700);
}

INSTANTIATE_TEST_SUITE_P(Languages, TrendPicture, ::testing::Values(TrendShot{0, "Trend"}, TrendShot{1, "趋势图"}));

} // namespace
