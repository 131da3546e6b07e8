// Fault injection of the simulated cabinet, seen from the wire.
#include "simharness/SimHarness.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

using namespace simtest;

namespace {

class SimFaults : public ::testing::Test {
protected:
    void SetUp() override { ResetAll(); }

    void launch(QStringList args)
    {
        args << QStringLiteral("--no-pacing") << QStringLiteral("--no-drift");
        ASSERT_TRUE(sim.start(args));
        ASSERT_TRUE(port.open(sim.link()));
    }

    const Bytes request = readRequest(1, 4, 30001, 4);
    SimProcess sim;
    RawPort port;
};

// A count of 1 spoils the first reply only; the second is clean, so each case also shows
// what the clean reply is.
TEST_F(SimFaults, EachFaultSpoilsOnlyTheCountedReply)
{
    struct Case {
        const char* option;
        // Checks the spoiled reply against the clean one.
        std::function<void(const Bytes& spoiled, const Bytes& clean)> check;
    };
    const Case cases[] = {
        {"--drop", [](const Bytes& spoiled, const Bytes&) { EXPECT_TRUE(spoiled.empty()); }},
        {"--bad-crc",
         [](const Bytes& spoiled, const Bytes& clean) {
             ASSERT_EQ(spoiled.size(), clean.size());
             EXPECT_FALSE(RefCrc::valid(spoiled));
             EXPECT_EQ(Bytes(spoiled.begin(), spoiled.end() - 2), Bytes(clean.begin(), clean.end() - 2));
         }},
        {"--wrong-address",
         [](const Bytes& spoiled, const Bytes& clean) {
             ASSERT_EQ(spoiled.size(), clean.size());
             EXPECT_TRUE(RefCrc::valid(spoiled));
             EXPECT_NE(spoiled[0], clean[0]);
             EXPECT_EQ(Bytes(spoiled.begin() + 1, spoiled.end() - 2),
                       Bytes(clean.begin() + 1, clean.end() - 2));
         }},
        {"--exception",
         [](const Bytes& spoiled, const Bytes&) {
             EXPECT_EQ(spoiled, withCrc({1, 0x84, 4}));
         }},
        {"--noise",
         [](const Bytes& spoiled, const Bytes& clean) {
             ASSERT_GT(spoiled.size(), clean.size());
             EXPECT_LE(spoiled.size(), clean.size() + 4);
             EXPECT_NE(spoiled[0], 1) << "stray bytes never look like this cabinet";
             EXPECT_EQ(Bytes(spoiled.end() - static_cast<long>(clean.size()), spoiled.end()), clean);
         }},
        {"--split",
         [](const Bytes& spoiled, const Bytes& clean) { EXPECT_EQ(spoiled, clean) << "both parts arrive"; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.option);
        SimProcess one;
        ASSERT_TRUE(one.start({QStringLiteral("--no-pacing"), QStringLiteral("--no-drift"),
                               QLatin1String(c.option), QStringLiteral("1")}));
        RawPort line;
        ASSERT_TRUE(line.open(one.link()));
        const Bytes spoiled = line.transact(request, 64, 1500);
        const Bytes clean = line.transact(request, 13);
        ASSERT_EQ(clean.size(), 13u);
        EXPECT_TRUE(RefCrc::valid(clean));
        c.check(spoiled, clean);
    }
}

TEST_F(SimFaults, SplitReplyComesInTwoLoggedParts)
{
    launch({QStringLiteral("--split"), QStringLiteral("1.0")});
    ASSERT_TRUE(port.write(request));
    const Bytes got = port.read(13, 5000, 2000);
    ASSERT_EQ(got.size(), 13u);
    EXPECT_TRUE(RefCrc::valid(got));
    QStringList parts;
    QString sentHex;
    for (const QString& line : sim.logLines()) {
        const int at = line.indexOf(QStringLiteral(" TX "));
        if (at < 0) continue;
        parts << line;
        sentHex += line.mid(at + 4).section(QStringLiteral(" # "), 0, 0) + QLatin1Char(' ');
    }
    ASSERT_EQ(parts.size(), 2);
    EXPECT_TRUE(parts[0].endsWith(QStringLiteral("split 1/2")));
    EXPECT_TRUE(parts[1].endsWith(QStringLiteral("split 2/2")));
    EXPECT_EQ(sentHex.trimmed(), HexLine(got.data(), 13)) << "the two parts make the whole reply";
}

TEST_F(SimFaults, LateRepliesAreMarkedAndStillWhole)
{
    launch({QStringLiteral("--late"), QStringLiteral("400")});
    const Bytes reply = port.transact(request, 13);
    ASSERT_EQ(reply.size(), 13u);
    EXPECT_TRUE(RefCrc::valid(reply));
    EXPECT_TRUE(sim.logLines().last().endsWith(QStringLiteral("late 400 ms")));
}

TEST_F(SimFaults, ProbabilityWithSeedRepeats)
{
    auto pattern = [this](const char* seed) {
        SimProcess one;
        EXPECT_TRUE(one.start({QStringLiteral("--no-pacing"), QStringLiteral("--drop"), QStringLiteral("0.5"),
                               QStringLiteral("--seed"), QLatin1String(seed)}));
        RawPort line;
        EXPECT_TRUE(line.open(one.link()));
        QString answered;
        // A reply is a few milliseconds away; the wait is long enough that a loaded machine
        // never turns an answered request into a dropped one.
        for (int i = 0; i < 12; ++i)
            answered += line.transact(request, 13, 800).empty() ? QLatin1Char('-') : QLatin1Char('R');
        return answered;
    };
    const QString first = pattern("11");
    EXPECT_EQ(pattern("11"), first);
    EXPECT_TRUE(first.contains(QLatin1Char('-')) && first.contains(QLatin1Char('R'))) << first.toStdString();
}

TEST_F(SimFaults, BadRateIsRefused)
{
    for (const char* value : {"1.5", "-1", "x"}) {
        QProcess p;
        p.start(QStringLiteral(ZYR_CABINET_SIM),
                {QStringLiteral("--pty"), sim.dirPath() + QStringLiteral("/x"), QStringLiteral("--drop"),
                 QLatin1String(value)});
        ASSERT_TRUE(p.waitForFinished(10000));
        EXPECT_EQ(p.exitCode(), 2) << value;
    }
}

} // namespace
