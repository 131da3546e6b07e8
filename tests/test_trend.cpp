// The trend's ring, its reduction to pixel columns, the recorder that feeds it from the poll,
// and the header rule of the value log.
#include "comm/uCabinet.h"
#include "comm/uTrendRecorder.h"
#include "diag/uTrendChart.h"
#include "model/UShareData.h"
#include "model/uTrendReduce.h"
#include "model/uTrendRing.h"
#include "model/uUpsInfo.h"
#include "model/uValueColumns.h"
#include "support/TestSupport.h"

#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace {

TTrendSample sampleAt(int64_t time, float v)
{
    TTrendSample s;
    s.time = time;
    std::fill(std::begin(s.value), std::end(s.value), v);
    s.state = 4;
    s.valid = 1;
    return s;
}

int channel(const char* name)
{
    const auto& cols = TrendColumns();
    for (size_t i = 0; i < cols.size(); ++i)
        if (QByteArray(cols[i]->name) == name) return int(i);
    return -1;
}

TEST(TrendRing, AtItsSizeLimitTheOldestGoAndTheStorageStays)
{
    TTrendRing ring(5);
    ring.Push(sampleAt(1000, 1));
    const size_t bytes = ring.MemoryBytes();
    for (int i = 2; i <= 12; ++i) ring.Push(sampleAt(i * 1000, float(i)));
    EXPECT_EQ(ring.Size(), 5);
    EXPECT_EQ(ring.Capacity(), 5);
    EXPECT_EQ(ring.MemoryBytes(), bytes);
    EXPECT_EQ(ring.Pushed(), 12u);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(ring.At(i).time, (8 + i) * 1000) << i;
        EXPECT_FLOAT_EQ(ring.At(i).value[0], float(8 + i)) << i;
    }
    EXPECT_EQ(ring.LowerBound(0), 0);
    EXPECT_EQ(ring.LowerBound(10500), 3);
    EXPECT_EQ(ring.LowerBound(13000), 5);
}

TEST(TrendRing, ADayAtOneSampleASecondFitsItsFixedSize)
{
    TTrendRing ring;
    for (int64_t t = 0; t < 2LL * TTrendRing::DefaultCapacity + 7; ++t) ring.Push(sampleAt(t * 1000, 1));
    EXPECT_EQ(ring.Size(), TTrendRing::DefaultCapacity);
    EXPECT_LE(ring.MemoryBytes(), size_t(20) * 1024 * 1024);
}

// A day of 230 V with one sample of 150 V and one of 260 V: the picture of 800 columns still
// shows both, and no more than two points per column.
TEST(TrendReduce, AOneSampleDipAndSpikeSurviveTheReduction)
{
    TTrendRing ring;
    const int64_t start = 1'700'000'000'000;
    const int n = TTrendRing::DefaultCapacity;
    for (int i = 0; i < n; ++i) {
        float v = 230.0f + float(i % 7) * 0.1f;
        if (i == 40'001) v = 150.0f;
        if (i == 70'003) v = 260.0f;
        ring.Push(sampleAt(start + int64_t(i) * 1000, v));
    }
    const int ch = channel("InVolt_A");
    TTrendPlot plot;
    ReduceTrend(ring, {ch}, start, start + int64_t(n) * 1000, 800, plot);
    EXPECT_TRUE(plot.reduced);
    EXPECT_EQ(plot.samples, n);
    ASSERT_EQ(plot.runs.size(), 1u);
    ASSERT_EQ(plot.runs[0].size(), 1u); // no gap: one run
    const auto& pts = plot.runs[0][0];
    EXPECT_LE(pts.size(), 2u * 801u);
    auto yAt = [&](int64_t t) {
        for (const QPointF& p : pts)
            if (int64_t(p.x()) == t) return p.y();
        return -1.0;
    };
    EXPECT_DOUBLE_EQ(yAt(start + 40'001LL * 1000), 150.0);
    EXPECT_DOUBLE_EQ(yAt(start + 70'003LL * 1000), 260.0);
    EXPECT_TRUE(std::is_sorted(pts.begin(), pts.end(), [](const QPointF& a, const QPointF& b) { return a.x() < b.x(); }));

    // Below the threshold every sample is drawn as it is.
    TTrendPlot small;
    ReduceTrend(ring, {ch}, start, start + 599'000, 800, small);
    EXPECT_FALSE(small.reduced);
    ASSERT_EQ(small.runs[0].size(), 1u);
    EXPECT_EQ(small.runs[0][0].size(), 600u);
}

// A ring that has wrapped round its storage reduces exactly as the same samples pushed into
// a fresh one; a gap ends every line, a missing value only its own series' line.
TEST(TrendReduce, AWrappedRingReducesAsTheSameSamplesInOrder)
{
    const int capacity = 10'000, pushed = 13'457;
    const int64_t start = 1'700'000'000'000;
    TTrendRing wrapped(capacity), fresh(capacity);
    for (int i = 0; i < pushed; ++i) {
        TTrendSample s = sampleAt(start + int64_t(i) * 1000, 230.0f + float(i % 13) * 0.5f);
        if (i == 11'000) s.value[0] = 150.0f;
        if (i == 9'990) s.valid = 0; // a gap in the first piece of the storage
        if (i == 12'000) s.value[0] = std::nanf(""); // one series without a value
        wrapped.Push(s);
        if (i >= pushed - capacity) fresh.Push(s);
    }
    for (int columns : {800, 20'000}) {
        TTrendPlot a, b;
        const int64_t from = start + int64_t(pushed - capacity) * 1000, to = start + int64_t(pushed) * 1000;
        ReduceTrend(wrapped, {0, 5}, from, to, columns, a, columns > 1000 ? 1'000'000 : TrendReduceAbove);
        ReduceTrend(fresh, {0, 5}, from, to, columns, b, columns > 1000 ? 1'000'000 : TrendReduceAbove);
        EXPECT_EQ(a.runs, b.runs) << columns;
        EXPECT_EQ(a.samples, capacity);
        EXPECT_EQ(a.runs[0].size(), 3u) << "the gap and the missing value split the line";
        EXPECT_EQ(a.runs[1].size(), 2u) << "only the gap splits the other series";
    }
}

// The painted day: a one-second sag of one series shows as a stroke far below its neighbours,
// and the line has no hole from one pixel column to the next.
TEST(TrendChart, ADaysPictureShowsAOneSecondSagInAJoinedLine)
{
    TTrendRing ring;
    const int64_t start = 1'700'000'000'000;
    const int n = TTrendRing::DefaultCapacity;
    const int sagAt = 50'001;
    for (int i = 0; i < n; ++i)
        ring.Push(sampleAt(start + int64_t(i) * 1000, i == sagAt ? 150.0f : 230.0f + float(i % 600) / 60.0f));
    const int ch = channel("InVolt_A");
    TTrendChartView view;
    view.resize(760, 560);
    view.show();
    view.Redraw(ring, {ch}, start, start + int64_t(n) * 1000);
    ASSERT_TRUE(view.LastPlot().reduced);
    const QImage picture = view.grab().toImage();
    const QRect area = view.chart()->mapToScene(view.chart()->plotArea()).boundingRect().toAlignedRect();
    const QRgb color = TTrendChartView::ChannelColor(ch).rgb();
    // The lowest pixel of the series' color in each column of the plot.
    std::vector<int> lowest;
    for (int x = area.left() + 1; x < area.right() - 1; ++x) {
        int low = -1;
        for (int y = area.top(); y <= area.bottom(); ++y)
            if ((picture.pixel(x, y) & 0xffffff) == (color & 0xffffff)) low = y;
        lowest.push_back(low);
    }
    ASSERT_FALSE(lowest.empty());
    EXPECT_EQ(std::count(lowest.begin(), lowest.end(), -1), 0) << "a column without the line";
    std::vector<int> sorted = lowest;
    std::sort(sorted.begin(), sorted.end());
    const int median = sorted[sorted.size() / 2];
    const auto sag = std::max_element(lowest.begin(), lowest.end());
    EXPECT_GT(*sag - median, area.height() / 4) << "the sag reaches far below the line";
    const double sagX = double(sagAt) / n * area.width();
    EXPECT_NEAR(double(sag - lowest.begin()) + 1, sagX, 3.0) << "where the sag happened";
    const int depth = *sag - median;
    EXPECT_EQ(std::count_if(lowest.begin(), lowest.end(), [&](int y) { return y - median > depth * 3 / 4; }), 1)
        << "one column shows it";
}

class TrendRecorderTest : public ::testing::Test {
protected:
    void SetUp() override { ResetAll(); }
    void TearDown() override { ResetAll(); }
    // One poll cycle of address 1 as the link tells it; answered: the value block came.
    void cycle(bool answered, double volts)
    {
        now += 2000;
        Cabinet().UpsData[1].InVolt[0] = volts;
        TLinkRequest valueBlock;
        valueBlock.func = 4;
        valueBlock.startReg = 30001;
        if (answered) FrmCom->ReplyAccepted(valueBlock, nullptr, 0);
        FrmCom->PollCycleEnded(1);
    }
    TTrendRing ring{100};
    int64_t now = 1'700'000'000'000;
    TTrendRecorder recorder{ring, [this] { return now; }};
};

// After a lost port (and after a cycle the cabinet left unanswered) the lines break: no point
// joins the two sides and none is drawn at zero, though the record still holds the old values.
TEST_F(TrendRecorderTest, ALostPortOrASilentCycleLeavesAGapNeverALineToZero)
{
    recorder.Start();
    cycle(true, 230.0);
    cycle(true, 231.0);
    FrmCom->LinkBroken();
    now += 60000;
    cycle(true, 229.0); // the device is back
    cycle(false, 0.0);  // a cycle without the value block
    cycle(true, 228.0);
    recorder.Stop();
    cycle(true, 999.0); // not recorded after Stop

    ASSERT_EQ(ring.Size(), 6);
    EXPECT_EQ(ring.At(2).valid, 0);
    EXPECT_EQ(ring.At(4).valid, 0);
    const int ch = channel("InVolt_A");
    TTrendPlot plot;
    ReduceTrend(ring, {ch}, ring.At(0).time, now, 800, plot);
    ASSERT_EQ(plot.runs[0].size(), 3u);
    EXPECT_EQ(plot.runs[0][0].size(), 2u);
    EXPECT_EQ(plot.runs[0][1].size(), 1u);
    EXPECT_EQ(plot.runs[0][2].size(), 1u);
    for (const auto& run : plot.runs[0])
        for (const QPointF& p : run) EXPECT_GT(p.y(), 200.0);
    EXPECT_EQ(ring.At(0).state, Cabinet().UpsData[1].SysState);
}

// Two answered cycles far apart (the poll held by a download) are not joined either.
TEST(TrendReduce, SamplesFurtherApartThanTheJoinLimitAreNotJoined)
{
    TTrendRing ring(10);
    ring.Push(sampleAt(0, 230));
    ring.Push(sampleAt(2000, 230));
    ring.Push(sampleAt(2000 + TrendMaxJoinMs + 1, 230));
    TTrendPlot plot;
    ReduceTrend(ring, {0}, 0, 100000, 800, plot);
    EXPECT_EQ(plot.runs[0].size(), 2u);
}

// The header rule of the value log, file by file.
TEST(ValueLogHeader, AnExistingFileIsAppendedToOnlyWithTheSameHeader)
{
    QTemporaryDir dir;
    const QString header = ValueLogHeader(AllValueColumns());
    EXPECT_TRUE(header.startsWith(QStringLiteral("Time,InVolt_A (V),InVolt_B (V),InVolt_C (V),InFreq (Hz),")));
    EXPECT_TRUE(header.contains(QStringLiteral(",InPF_A,")));
    EXPECT_TRUE(header.endsWith(QStringLiteral(",UpsRunTime (h),State")));
    const QByteArray bom(ValueLogBom, 3);
    struct Case {
        const char* what;
        bool exists;
        QByteArray content;
        THeaderMatch match;
        bool unterminated;
    } cases[] = {
        {"no file", false, {}, THeaderMatch::Absent, false},
        {"empty file", true, {}, THeaderMatch::Absent, false},
        {"same header", true, bom + header.toUtf8() + "\r\nx,1\r\n", THeaderMatch::Same, false},
        {"same header, last line cut", true, bom + header.toUtf8() + "\r\nx,1", THeaderMatch::Same, true},
        {"same header without mark", true, header.toUtf8() + "\r\n", THeaderMatch::Same, false},
        {"one column less", true, bom + header.left(header.lastIndexOf(',')).toUtf8() + "\r\n", THeaderMatch::Other, false},
        {"another file", true, "RecNo,Date\r\n1,2\r\n", THeaderMatch::Other, false},
    };
    int n = 0;
    for (const Case& c : cases) {
        const QString path = dir.filePath(QStringLiteral("f%1.csv").arg(n++));
        if (c.exists) {
            QFile f(path);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(c.content);
        }
        bool cut = false;
        EXPECT_EQ(MatchValueLogHeader(path, header, &cut), c.match) << c.what;
        EXPECT_EQ(cut, c.unterminated) << c.what;
    }
}

TEST(ValueLogLine, TimeWithOffsetValuesWithTheirDecimalsAndState)
{
    const QDateTime t = QDateTime::fromMSecsSinceEpoch(1'700'000'000'250);
    const QString time = ValueLogTime(t);
    EXPECT_TRUE(QDateTime::fromString(time, Qt::ISODateWithMs).isValid()) << time.toStdString();
    EXPECT_TRUE(time.contains(QRegularExpression(QStringLiteral("\\.250([+-]\\d\\d:\\d\\d|Z)$")))) << time.toStdString();
    EXPECT_EQ(QDateTime::fromString(time, Qt::ISODateWithMs).toMSecsSinceEpoch(), t.toMSecsSinceEpoch());
    const TValueColumn& volts = ValueColumns()[0];
    EXPECT_EQ(ValueText(volts, 230.4), "230.4");
    EXPECT_EQ(ValueLogLine("T", {"1.0", ""}, "Online"), "T,1.0,,Online");
    EXPECT_EQ(ValueLogLine("T", {"1"}, "a,b"), "T,1,\"a,b\"");
}

} // namespace
