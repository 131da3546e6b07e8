// The event-log download's attempts, tick by tick, against cabinets that answer badly: only a
// stored record gives the next one fresh attempts, so neither the identification replies (which
// raise the same reply flag) nor a stuck log pointer can hold the download for ever, and a flag
// left from before the start never stores a record.
#include "comm/uCabinet.h"
#include "model/UShareData.h"
#include "store/uRecordDownload.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <vector>

namespace {

struct DownloadCase {
    const char* name;
    int32_t allRec;
    // Ticks from a request to its reply; -1: record requests are never answered.
    int replyDelay;
    // The record number the cabinet puts in its reply to a request for n.
    int32_t (*replyFor)(int32_t n);
    // Only every k-th request is answered (1: every one).
    int answerEvery;
    // Identification replies (which raise the reply flag too) on ticks t with t % 198 == phase.
    int identPhase;
    // A reply flag and a record for the first awaited number left from before the start.
    bool staleAtStart;
    TRecordDownload::TState end;
    std::vector<int32_t> stored;
    std::vector<int> requestTicks; // checked when not empty
};

int32_t same(int32_t n) { return n; }
int32_t stuck(int32_t) { return 99; }

struct DownloadRun {
    TRecordDownload::TState end = TRecordDownload::TState::Running;
    int endTick = 0;
    std::vector<int32_t> stored;
    std::vector<int> storeTicks;
    std::vector<int> requestTicks;
};

DownloadRun drive(const DownloadCase& c, int maxTicks)
{
    ResetAll();
    Cabinet().RecInfo.AllRec = c.allRec;
    if (c.staleAtStart) {
        Cabinet().RecInfo.RecReplyRecvd = FlagOn;
        Cabinet().RecInfo.Rec.RecNo = 1;
    }
    TRecordDownload d;
    d.Start(1);
    DownloadRun run;
    std::map<int, int32_t> replies; // tick -> record number
    int requests = 0;
    for (int t = 1; t <= maxTicks; ++t) {
        if (auto r = replies.find(t); r != replies.end()) {
            Cabinet().RecInfo.Rec = TRecordData{};
            Cabinet().RecInfo.Rec.RecNo = r->second;
            Cabinet().RecInfo.RecReplyRecvd = FlagOn;
        }
        if (c.identPhase >= 0 && t % 198 == c.identPhase) Cabinet().RecInfo.RecReplyRecvd = FlagOn;
        const TRecordDownload::TState s = d.Tick(
            [&] {
                run.requestTicks.push_back(t);
                ++requests;
                if (c.replyDelay >= 0 && requests % c.answerEvery == 0)
                    replies[t + c.replyDelay] = c.replyFor(Cabinet().RecInfo.NextRecNo);
            },
            [&](TRecordData& rec) {
                run.stored.push_back(rec.RecNo);
                run.storeTicks.push_back(t);
                return true;
            });
        if (s != TRecordDownload::TState::Running) {
            run.end = s;
            run.endTick = t;
            break;
        }
    }
    return run;
}

class RecordDownloadAttempts : public ::testing::TestWithParam<DownloadCase> {};

TEST_P(RecordDownloadAttempts, EndsAsItsCabinetAllows)
{
    const DownloadCase& c = GetParam();
    // A quarter of an hour of ticks: far more than three attempts of every record take.
    const DownloadRun run = drive(c, 9000);
    EXPECT_EQ(run.end, c.end) << "ended on tick " << run.endTick;
    EXPECT_EQ(run.stored, c.stored);
    if (!c.requestTicks.empty()) EXPECT_EQ(run.requestTicks, c.requestTicks);
    EXPECT_EQ(Cabinet().RecInfo.PollHold, FlagOff) << "the link's poll is free again";
    if (c.staleAtStart && !run.storeTicks.empty())
        EXPECT_EQ(run.storeTicks.front(), 1 + c.replyDelay) << "nothing stored before a fresh reply";
}

using S = TRecordDownload::TState;
INSTANTIATE_TEST_SUITE_P(
    Table, RecordDownloadAttempts,
    ::testing::Values(
        // Record requests unanswered, identification replies every 198 ticks (the main window's
        // read every 18 periods): each reply costs an attempt instead of granting new ones.
        DownloadCase{
            "IdentificationEvery198TicksGivesUp", 5, -1, same, 1, 150, false, S::GaveUp, {}, {1, 52, 103}},
        // A stuck log pointer: every request answered at once with another record number.
        DownloadCase{"OnlyWrongRecordNumbersGiveUp", 5, 1, stuck, 1, -1, false, S::GaveUp, {}, {1, 2, 3}},
        // The reply flag and a matching record left from before the start store nothing; the
        // cabinet's fresh replies are stored.
        DownloadCase{"StaleFlagAtStartStoresNothing", 2, 5, same, 1, -1, true, S::Finished, {1, 2}, {1, 6}},
        // A cabinet that answers only every third request: a stored record gives the next its
        // attempts afresh, so the download still completes.
        DownloadCase{"SlowCabinetCompletes", 3, 2, same, 3, -1, false, S::Finished, {1, 2, 3}, {}},
        // A cabinet that never answers: requests at ticks 1, 52 and 103, then it gives up.
        DownloadCase{"SilentCabinetGivesUp", 5, -1, same, 1, -1, false, S::GaveUp, {}, {1, 52, 103}}),
    [](const ::testing::TestParamInfo<DownloadCase>& info) { return std::string(info.param.name); });

// The silent cabinet gives up on tick 154, as the reply wait and the three attempts make it.
TEST(RecordDownloadAttemptsTiming, SilentCabinetGivesUpOnTick154)
{
    const DownloadCase c{"Silent", 5, -1, same, 1, -1, false, S::GaveUp, {}, {}};
    EXPECT_EQ(drive(c, 9000).endTick, 154);
}

} // namespace
