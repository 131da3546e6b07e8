// Metrics for Prometheus: the snapshot built from the records the poll stores, its text in the
// exposition format (judged by promtool), the HTTP server's routes and its behaviour under many
// scrapes at once, and the shipped Prometheus and systemd files.
#include "cli/uMetricsServer.h"
#include "cli/uMetricsSnapshot.h"
#include "cli/uMetricsText.h"
#include "model/UShareData.h"
#include "model/uCabinetValues.h"
#include "model/uDataFunc.h"
#include "model/uUpsInfo.h"
#include "support/HttpProbe.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstring>
#include <set>

namespace {

const QString sourceDir = QStringLiteral(ZYR_SOURCE_DIR);
const QString alertRules = sourceDir + QStringLiteral("/packaging/prometheus/zyrtool-alerts.yml");

// Raw register values of a cabinet on battery, stored through the register map as the codec
// stores a reply, so that every value is scaled as it is in the running tool.
const std::vector<std::pair<int, uint16_t>> cabinetRegisters = {
    {30001, 2301},
    {30002, 2298},
    {30003, 2305},
    {30004, 500},
    {30005, 125},
    {30006, 126},
    {30007, 127},
    {30011, 2200},
    {30012, 2201},
    {30013, 2202},
    {30014, 499},
    {30015, 101},
    {30016, 102},
    {30017, 103},
    {30018, 123},
    {30019, 124},
    {30020, 125},
    {30021, 563},
    {30022, 570},
    {30023, 0},
    {30027, 2297},
    {30028, 2298},
    {30029, 2299},
    {30030, 501},
    {30031, 2701},
    {30032, 2702},
    {30033, 34},
    {30034, 35},
    {30035, 0},
    {30036, 1},
    {30038, 45},
    {30039, 253},
    {30040, 315},
    // Status words: data valid, inverter supplying from the battery (state 5), and two alarms
    // that do not make it a fault: battery reverse (code 18) and feedback protection (code 50).
    {30082, 0x4000},
    {30083, 0x8000},
    {30084, 0x0700},
    {30087, 0x4000},
    {30089, 0x0100},
    {30090, 0x1234},
    {40003, 4}};

// Module m's place (1..50) as a register number.
int moduleRegister(int m, int place) { return 30101 + 50 * (m - 1) + place - 1; }

TUpsData storedCabinet()
{
    TCabinetValues values;
    TUpsData& record = values.UpsData[1];
    for (const auto& r : cabinetRegisters) values.StoreRegister(record, r.first, r.second);
    return record;
}

void putIdentification(uint8_t* cfg, const char* type, int rating, const char* version)
{
    std::memcpy(cfg + 41, type, std::strlen(type));
    cfg[45] = static_cast<uint8_t>(rating >> 8);
    cfg[46] = static_cast<uint8_t>(rating & 0xFF);
    std::memcpy(cfg + 25, version, std::strlen(version));
}

// Address 1 answered everything, address 2 never answered, address 3 answered only the
// identification and lost the line since.
TMetricsSnapshot fullSnapshot()
{
    TMetricsSnapshot s;
    TMetricsCabinet one = MetricsCabinet(1, storedCabinet(), TMetricsBlocks{true, true, true});
    one.Up = true;
    one.LastReplyMs = int64_t(1765450000250);
    uint8_t cfg[CfgSize] = {};
    putIdentification(cfg, "ZYR", 200, "V1.02");
    SetMetricsIdentification(one, cfg, true, true);
    TCabinetValues values;
    for (int m : {3, 1}) {
        for (int p = 0; p < 3; ++p)
            values.StoreRegister(values.UpsData[1], moduleRegister(m, 6 + p), uint16_t(10 * m + 46 + p));
        AddMetricsModule(one, m, values.ModuleData[m]);
    }
    s.Cabinets.push_back(one);

    TMetricsCabinet two = MetricsCabinet(2, TUpsData{}, TMetricsBlocks{});
    s.Cabinets.push_back(two);

    TMetricsCabinet three = MetricsCabinet(3, TUpsData{}, TMetricsBlocks{});
    uint8_t cfg3[CfgSize] = {};
    putIdentification(cfg3, "ZYR", 60, "V2.0");
    SetMetricsIdentification(three, cfg3, true, false);
    three.LastReplyMs = int64_t(1765449000000);
    s.Cabinets.push_back(three);

    s.Link = TMetricsLink{1000, 950, 50, 2};
    return s;
}

QStringList lines(const QByteArray& text)
{
    return QString::fromUtf8(text).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// The sample lines of a text whose labels include every given label (name="value" as written).
QStringList samplesWith(const QByteArray& text, const QString& family, const QStringList& labels)
{
    QStringList found;
    for (const QString& line : lines(text)) {
        if (!line.startsWith(family + QLatin1Char('{')) && !line.startsWith(family + QLatin1Char(' ')))
            continue;
        bool all = true;
        for (const QString& label : labels) all = all && line.contains(label);
        if (all) found << line;
    }
    return found;
}

struct TToolRun {
    bool started = false;
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

TToolRun runTool(const QString& program, const QStringList& args, const QByteArray& input = {})
{
    TToolRun run;
    QProcess p;
    p.start(program, args);
    if (!p.waitForStarted(10000)) return run;
    run.started = true;
    p.write(input);
    p.closeWriteChannel();
    p.waitForFinished(60000);
    run.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    run.out = p.readAllStandardOutput();
    run.err = p.readAllStandardError();
    return run;
}

QString promtool() { return QStandardPaths::findExecutable(QStringLiteral("promtool")); }

class MetricsTest : public ::testing::Test {
protected:
    void SetUp() override { ResetAll(); }
    void TearDown() override { ResetAll(); }
};

// ---- the snapshot --------------------------------------------------------------------------

TEST_F(MetricsTest, SnapshotDecodesStateAlarmsInEnglishAndTheModuleNumber)
{
    LocalPara.Language = 1; // the operator reads Chinese; labels stay English
    const TMetricsCabinet c = MetricsCabinet(1, storedCabinet(), TMetricsBlocks{true, true, true});
    EXPECT_EQ(c.State, 5);
    ASSERT_EQ(c.Alarms.size(), 2u);
    EXPECT_EQ(c.Alarms[0].Code, 18);
    EXPECT_EQ(c.Alarms[0].Name, QStringLiteral("Battery reverse"));
    EXPECT_EQ(c.Alarms[1].Code, 50);
    EXPECT_EQ(c.Alarms[1].Name, QStringLiteral("Feedback protection"));
    ASSERT_TRUE(c.ModulesPresent.has_value());
    EXPECT_EQ(*c.ModulesPresent, 4);
    EXPECT_DOUBLE_EQ(c.Data.InVolt[0], 2301 * 0.1);

    // The same record with its status and parameter blocks never answered.
    const TMetricsCabinet v = MetricsCabinet(1, storedCabinet(), TMetricsBlocks{true, false, false});
    EXPECT_TRUE(v.Alarms.empty());
    EXPECT_FALSE(v.ModulesPresent.has_value());
}

TEST_F(MetricsTest, SnapshotKeepsEachModuleOnceInNumberOrderAndTheIdentificationReadSoFar)
{
    TMetricsCabinet c = MetricsCabinet(1, TUpsData{}, TMetricsBlocks{});
    TModuleData a, b;
    a.InvCurr[0] = 1.5;
    b.InvCurr[0] = 2.5;
    AddMetricsModule(c, 7, a);
    AddMetricsModule(c, 2, a);
    AddMetricsModule(c, 7, b); // read again: replaces
    AddMetricsModule(c, 0, a); // no such module
    AddMetricsModule(c, 33, a);
    ASSERT_EQ(c.Modules.size(), 2u);
    EXPECT_EQ(c.Modules[0].Number, 2);
    EXPECT_EQ(c.Modules[1].Number, 7);
    EXPECT_DOUBLE_EQ(c.Modules[1].Data.InvCurr[0], 2.5);

    uint8_t cfg[CfgSize] = {};
    putIdentification(cfg, "ZYR", 0x0190, "V3.10");
    SetMetricsIdentification(c, cfg, false, true);
    EXPECT_FALSE(c.Type.has_value());
    EXPECT_FALSE(c.Rating.has_value());
    EXPECT_EQ(c.Version.value_or(QString()), QStringLiteral("V3.10"));
    SetMetricsIdentification(c, cfg, true, false);
    EXPECT_EQ(c.Type.value_or(QString()), QStringLiteral("ZYR"));
    EXPECT_EQ(c.Rating.value_or(-1), 400);
}

// ---- the text ------------------------------------------------------------------------------

TEST_F(MetricsTest, TextNamesLabelsAndBaseUnits)
{
    LocalPara.Language = 1; // states and alarms are named in English whatever the operator reads
    const QByteArray text = MetricsText(fullSnapshot());
    const QStringList all = lines(text);
    const char* const expected[] = {
        "zyr_up{address=\"1\"} 1",
        "zyr_up{address=\"2\"} 0",
        "zyr_up{address=\"3\"} 0",
        "zyr_info{address=\"1\",type=\"ZYR\",rating=\"200\",version=\"V1.02\"} 1",
        "zyr_info{address=\"3\",type=\"ZYR\",rating=\"60\",version=\"\"} 1",
        "zyr_last_reply_timestamp_seconds{address=\"1\"} 1765450000.25",
        "zyr_last_reply_timestamp_seconds{address=\"3\"} 1765449000",
        "zyr_input_voltage_volts{address=\"1\",phase=\"A\"} 230.1",
        "zyr_input_voltage_volts{address=\"1\",phase=\"C\"} 230.5",
        "zyr_input_current_amperes{address=\"1\",phase=\"B\"} 12.6",
        "zyr_input_frequency_hertz{address=\"1\"} 50",
        "zyr_output_voltage_volts{address=\"1\",phase=\"B\"} 220.1",
        "zyr_output_current_amperes{address=\"1\",phase=\"C\"} 10.3",
        "zyr_output_frequency_hertz{address=\"1\"} 49.9",
        "zyr_output_active_power_watts{address=\"1\",phase=\"A\"} 12300",
        "zyr_output_active_power_watts{address=\"1\",phase=\"C\"} 12500",
        "zyr_load_ratio{address=\"1\",phase=\"A\"} 0.563",
        "zyr_load_ratio{address=\"1\",phase=\"B\"} 0.57",
        "zyr_load_ratio{address=\"1\",phase=\"C\"} 0",
        "zyr_bypass_voltage_volts{address=\"1\",phase=\"C\"} 229.9",
        "zyr_bypass_frequency_hertz{address=\"1\"} 50.1",
        "zyr_battery_voltage_volts{address=\"1\",pole=\"positive\"} 270.1",
        "zyr_battery_voltage_volts{address=\"1\",pole=\"negative\"} 270.2",
        "zyr_battery_current_amperes{address=\"1\",pole=\"positive\",direction=\"discharge\"} 3.4",
        "zyr_battery_current_amperes{address=\"1\",pole=\"negative\",direction=\"discharge\"} 3.5",
        "zyr_battery_current_amperes{address=\"1\",pole=\"negative\",direction=\"charge\"} 0.1",
        "zyr_battery_remaining_seconds{address=\"1\"} 2700",
        "zyr_temperature_celsius{address=\"1\",sensor=\"battery\"} 25.3",
        "zyr_temperature_celsius{address=\"1\",sensor=\"inside\"} 31.5",
        "zyr_state{address=\"1\",state=\"Battery Status\"} 1",
        "zyr_state{address=\"1\",state=\"Online\"} 0",
        "zyr_status_word{address=\"1\",word=\"1\"} 16384",
        "zyr_status_word{address=\"1\",word=\"2\"} 32768",
        "zyr_status_word{address=\"1\",word=\"4\"} 16384",
        "zyr_status_word{address=\"1\",word=\"5\"} 1792",
        "zyr_status_word{address=\"1\",word=\"8\"} 256",
        "zyr_status_word{address=\"1\",word=\"9\"} 4660",
        "zyr_status_word{address=\"1\",word=\"10\"} 0",
        "zyr_alarm_active{address=\"1\",code=\"18\",name=\"Battery reverse\"} 1",
        "zyr_alarm_active{address=\"1\",code=\"50\",name=\"Feedback protection\"} 1",
        "zyr_modules_present{address=\"1\"} 4",
        "zyr_module_output_current_amperes{address=\"1\",module=\"1\",phase=\"A\"} 5.6",
        "zyr_module_output_current_amperes{address=\"1\",module=\"3\",phase=\"B\"} 7.7",
        "zyr_link_requests_total 1000",
        "zyr_link_replies_total 950",
        "zyr_link_errors_total 50",
        "zyr_link_reopens_total 2",
        "# TYPE zyr_link_errors_total counter",
        "# TYPE zyr_input_voltage_volts gauge",
    };
    for (const char* line : expected) EXPECT_TRUE(all.contains(QString::fromUtf8(line))) << line;

    // Exactly the series of the snapshot, no more: ten status words, two alarms, two modules.
    EXPECT_EQ(samplesWith(text, "zyr_status_word", {}).size(), 10);
    EXPECT_EQ(samplesWith(text, "zyr_alarm_active", {}).size(), 2);
    EXPECT_EQ(samplesWith(text, "zyr_module_output_current_amperes", {}).size(), 6);
    // Modules come in number order, each with its own values.
    const QStringList modules = samplesWith(text, "zyr_module_output_current_amperes", {"phase=\"A\""});
    ASSERT_EQ(modules.size(), 2);
    EXPECT_TRUE(modules[0].contains("module=\"1\""));
    EXPECT_TRUE(modules[1].endsWith(" 7.6"));
}

TEST_F(MetricsTest, TextLeavesOutEveryValueNeverRead)
{
    // Which families one address shows after answering only some blocks.
    struct Case {
        const char* name;
        TMetricsBlocks read;
        std::vector<const char*> present;
        std::vector<const char*> absent;
    };
    const std::vector<Case> cases = {
        {"nothing",
         {},
         {"zyr_up"},
         {"zyr_input_voltage_volts", "zyr_state", "zyr_status_word", "zyr_modules_present", "zyr_info",
          "zyr_last_reply_timestamp_seconds", "zyr_battery_remaining_seconds"}},
        {"values only",
         {true, false, false},
         {"zyr_up", "zyr_input_voltage_volts", "zyr_temperature_celsius", "zyr_battery_remaining_seconds"},
         {"zyr_state", "zyr_status_word", "zyr_alarm_active", "zyr_modules_present"}},
        {"status only",
         {false, true, false},
         {"zyr_state", "zyr_status_word", "zyr_alarm_active"},
         {"zyr_input_voltage_volts", "zyr_load_ratio", "zyr_temperature_celsius", "zyr_modules_present"}},
        {"parameters only",
         {false, false, true},
         {"zyr_modules_present"},
         {"zyr_input_voltage_volts", "zyr_state", "zyr_status_word"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TMetricsSnapshot s;
        s.Cabinets.push_back(MetricsCabinet(5, storedCabinet(), c.read));
        const QByteArray text = MetricsText(s);
        for (const char* family : c.present)
            EXPECT_FALSE(samplesWith(text, family, {"address=\"5\""}).isEmpty()) << family;
        for (const char* family : c.absent) {
            EXPECT_TRUE(samplesWith(text, family, {}).isEmpty()) << family;
            // A family with no sample has no HELP or TYPE either.
            EXPECT_FALSE(text.contains(QByteArray("# TYPE ") + family + ' ')) << family;
        }
        // The link's counters are always there.
        EXPECT_TRUE(lines(text).contains("zyr_link_requests_total 0"));
    }
}

TEST_F(MetricsTest, TextEscapesLabelValues)
{
    const struct {
        const char* value;
        const char* escaped;
    } cases[] = {
        {"plain", "plain"},
        {"say \"hi\"", "say \\\"hi\\\""},
        {"back\\slash", "back\\\\slash"},
        {"two\nlines", "two\\nlines"},
        {"\\\"", "\\\\\\\""},
        {"中文", "中文"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(EscapeLabelValue(QString::fromUtf8(c.value)), QString::fromUtf8(c.escaped)) << c.value;

    TMetricsSnapshot s;
    TMetricsCabinet cab = MetricsCabinet(1, TUpsData{}, TMetricsBlocks{false, true, false});
    cab.Alarms = {{7, QStringLiteral("Fan \"A\" \\ fault\nnow")}};
    s.Cabinets.push_back(cab);
    EXPECT_TRUE(
        lines(MetricsText(s))
            .contains(QStringLiteral(
                "zyr_alarm_active{address=\"1\",code=\"7\",name=\"Fan \\\"A\\\" \\\\ fault\\nnow\"} 1")));
}

TEST_F(MetricsTest, StateIsOneHotOverTheNamedStates)
{
    std::set<QString> names;
    for (int code : MetricsStateCodes()) names.insert(StateTextEnglish(code));
    for (int code : MetricsStateCodes()) {
        SCOPED_TRACE(code);
        TMetricsSnapshot s;
        TMetricsCabinet cab = MetricsCabinet(1, TUpsData{}, TMetricsBlocks{false, true, false});
        cab.State = code;
        s.Cabinets.push_back(cab);
        const QStringList states = samplesWith(MetricsText(s), "zyr_state", {});
        EXPECT_EQ(size_t(states.size()), names.size());
        const QStringList on = states.filter(QRegularExpression(QStringLiteral(" 1$")));
        ASSERT_EQ(on.size(), 1);
        EXPECT_TRUE(on[0].contains(QStringLiteral("state=\"%1\"").arg(StateTextEnglish(code))))
            << on[0].toStdString();
        EXPECT_EQ(states.filter(QRegularExpression(QStringLiteral(" 0$"))).size(), states.size() - 1);
    }
}

// ---- promtool as the judge -----------------------------------------------------------------

TEST_F(MetricsTest, PromtoolFindsNoFaultInTheTextOfAFullSnapshot)
{
    const QString tool = promtool();
    ASSERT_FALSE(tool.isEmpty()) << "promtool not found; scripts/deps.sh installs prometheus";
    const TToolRun run = runTool(tool, {"check", "metrics"}, MetricsText(fullSnapshot()));
    ASSERT_TRUE(run.started);
    EXPECT_EQ(run.exitCode, 0) << run.out.toStdString() << run.err.toStdString();

    // The judge does judge: a counter without "_total" and a sample before its TYPE are found.
    const TToolRun bad = runTool(tool, {"check", "metrics"},
                                 "# HELP zyr_link_requests requests\n# TYPE zyr_link_requests counter\n"
                                 "zyr_link_requests 3\n");
    EXPECT_NE(bad.exitCode, 0);
}

TEST_F(MetricsTest, PromtoolAcceptsTheAlertRulesAndTheScrapeConfiguration)
{
    const QString tool = promtool();
    ASSERT_FALSE(tool.isEmpty()) << "promtool not found; scripts/deps.sh installs prometheus";
    const TToolRun rules = runTool(tool, {"check", "rules", alertRules});
    EXPECT_EQ(rules.exitCode, 0) << rules.out.toStdString() << rules.err.toStdString();
    const TToolRun config = runTool(
        tool, {"check", "config", sourceDir + QStringLiteral("/packaging/prometheus/zyrtool-scrape.yml")});
    EXPECT_EQ(config.exitCode, 0) << config.out.toStdString() << config.err.toStdString();
    // Each alert fires on the series it watches, and only then (tests/prometheus holds the cases).
    const TToolRun cases = runTool(
        tool, {"test", "rules", sourceDir + QStringLiteral("/tests/prometheus/zyrtool-alerts-test.yml")});
    EXPECT_EQ(cases.exitCode, 0) << cases.out.toStdString() << cases.err.toStdString();
}

TEST_F(MetricsTest, AlertRulesNameOnlyStatesTheTextWrites)
{
    QFile file(alertRules);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString rules = QString::fromUtf8(file.readAll());
    QStringList written;
    for (int code : MetricsStateCodes()) written << StateTextEnglish(code);
    int named = 0;
    const QRegularExpression state(QStringLiteral("state=~?\"([^\"]+)\""));
    for (auto m = state.globalMatch(rules); m.hasNext();)
        for (const QString& name : m.next().captured(1).split(QLatin1Char('|'))) {
            EXPECT_TRUE(written.contains(name)) << name.toStdString();
            ++named;
        }
    EXPECT_GE(named, 3); // battery, bypass, maintenance bypass
}

// ---- the HTTP server -----------------------------------------------------------------------

class MetricsServerTest : public MetricsTest {
protected:
    void SetUp() override
    {
        MetricsTest::SetUp();
        snapshot = fullSnapshot();
        server = std::make_unique<TMetricsServer>(
            [this] {
                ++scrapes;
                return snapshot;
            },
            [this] { return linkRuns; });
        QString error;
        ASSERT_TRUE(server->Listen(TListenAddress{QHostAddress(QHostAddress::LocalHost), 0}, error))
            << error.toStdString();
        port = server->Port();
        ASSERT_NE(port, 0);
    }

    TMetricsSnapshot snapshot;
    int scrapes = 0;
    bool linkRuns = true;
    std::unique_ptr<TMetricsServer> server;
    quint16 port = 0;
};

TEST_F(MetricsServerTest, RoutesAnswerWithTheirStatusAndContentType)
{
    struct Case {
        const char* request;
        int status;
        const char* contentType; // nullptr: not checked
    };
    const Case cases[] = {
        {"GET /metrics", 200, "text/plain; version=0.0.4; charset=utf-8"},
        {"GET /", 200, "text/html; charset=utf-8"},
        {"GET /healthz", 200, nullptr},
        {"GET /nothing", 404, nullptr},
        {"GET /metricsx", 404, nullptr},
        {"GET /metrics/more", 404, nullptr},
        {"GET /index.html", 404, nullptr},
        {"POST /metrics", 405, nullptr},
        {"PUT /", 405, nullptr},
        {"DELETE /healthz", 405, nullptr},
        {"HEAD /metrics", 405, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.request);
        const THttpReply reply = HttpRequest(port, c.request);
        ASSERT_TRUE(reply.complete);
        EXPECT_EQ(reply.status, c.status);
        if (c.contentType) EXPECT_EQ(reply.headers.value("content-type"), QByteArray(c.contentType));
        if (c.status == 405) EXPECT_EQ(reply.headers.value("allow"), QByteArray("GET"));
    }
}

TEST_F(MetricsServerTest, ScrapesServeTheProvidersSnapshotAndSendNothingToACabinet)
{
    const int sentBefore = TestCommDebug().TxCount;
    THttpReply reply = HttpRequest(port, "GET /metrics");
    ASSERT_TRUE(reply.complete);
    EXPECT_EQ(reply.body, MetricsText(snapshot));
    EXPECT_EQ(scrapes, 1);

    // The next scrape shows what the provider holds then.
    snapshot.Cabinets[0].Up = false;
    snapshot.Link.Requests = 1234;
    reply = HttpRequest(port, "GET /metrics");
    ASSERT_TRUE(reply.complete);
    EXPECT_EQ(reply.body, MetricsText(snapshot));
    EXPECT_TRUE(lines(reply.body).contains("zyr_up{address=\"1\"} 0"));
    EXPECT_TRUE(lines(reply.body).contains("zyr_link_requests_total 1234"));
    EXPECT_EQ(scrapes, 2);

    // Neither the page nor the health check asks for a snapshot; no slot was filled, no frame sent.
    HttpRequest(port, "GET /");
    HttpRequest(port, "GET /healthz");
    EXPECT_EQ(scrapes, 2);
    EXPECT_EQ(TestCommDebug().TxCount, sentBefore);
    for (int i = 1; i <= ReqSlotCount; ++i) EXPECT_EQ(TestSlots()[i].Pending, 0) << i;
}

TEST_F(MetricsServerTest, PageLinksToTheMetricsAndHealthFollowsTheLink)
{
    const THttpReply page = HttpRequest(port, "GET /");
    ASSERT_TRUE(page.complete);
    EXPECT_TRUE(page.body.contains("href=\"/metrics\"")) << page.body.toStdString();

    THttpReply health = HttpRequest(port, "GET /healthz");
    EXPECT_EQ(health.status, 200);
    linkRuns = false;
    health = HttpRequest(port, "GET /healthz");
    EXPECT_EQ(health.status, 503);
    linkRuns = true;
    health = HttpRequest(port, "GET /healthz");
    EXPECT_EQ(health.status, 200);
}

TEST_F(MetricsServerTest, TwoHundredScrapesAtOnceAreAllAnswered)
{
    const std::vector<QByteArray> requests(200, QByteArray("GET /metrics"));
    const std::vector<THttpReply> replies = HttpRequests(port, requests);
    const QByteArray expected = MetricsText(snapshot);
    int answered = 0;
    for (const THttpReply& r : replies)
        if (r.complete && r.status == 200 && r.body == expected) ++answered;
    EXPECT_EQ(answered, 200);
    EXPECT_EQ(scrapes, 200);
}

TEST_F(MetricsServerTest, AClientThatStopsHalfWayHoldsNoOtherScrape)
{
    QTcpSocket slow;
    slow.connectToHost(QHostAddress(QHostAddress::LocalHost), port);
    ASSERT_TRUE(slow.waitForConnected(10000));
    slow.write("GET /metr");
    slow.flush();
    const THttpReply reply = HttpRequest(port, "GET /metrics");
    ASSERT_TRUE(reply.complete);
    EXPECT_EQ(reply.status, 200);
    EXPECT_EQ(slow.state(), QAbstractSocket::ConnectedState);
}

TEST_F(MetricsServerTest, APortInUseIsRefusedWithAMessage)
{
    TMetricsServer second([] { return TMetricsSnapshot{}; }, [] { return true; });
    QString error;
    EXPECT_FALSE(second.Listen(TListenAddress{QHostAddress(QHostAddress::LocalHost), port}, error));
    EXPECT_TRUE(error.contains(QStringLiteral("127.0.0.1:%1").arg(port))) << error.toStdString();
    EXPECT_EQ(second.Port(), 0);
}

// ---- the listening address -----------------------------------------------------------------

TEST(MetricsListenAddress, HostAndPortAreParsedOrRefusedWithTheReason)
{
    struct Case {
        const char* text;
        bool ok;
        const char* host; // as QHostAddress writes it
        quint16 port;
    };
    const Case cases[] = {
        {"9100", true, "127.0.0.1", 9100},
        {":9100", true, "127.0.0.1", 9100},
        {"1", true, "127.0.0.1", 1},
        {"65535", true, "127.0.0.1", 65535},
        {"0.0.0.0:9100", true, "0.0.0.0", 9100},
        {"192.168.10.5:80", true, "192.168.10.5", 80},
        {"localhost:9100", true, "127.0.0.1", 9100},
        {"[::1]:9100", true, "::1", 9100},
        {"[::]:9100", true, "::", 9100},
        {"[fe80::1:2]:9100", true, "fe80::1:2", 9100},
        {"", false, nullptr, 0},
        {"abc", false, nullptr, 0},
        {"0", false, nullptr, 0},
        {"65536", false, nullptr, 0},
        {"-1", false, nullptr, 0},
        {"+80", false, nullptr, 0},
        {" 80", false, nullptr, 0},
        {"127.0.0.1:", false, nullptr, 0},
        {"127.0.0.1", false, nullptr, 0},
        {"300.1.1.1:80", false, nullptr, 0},
        {"metrics.example:80", false, nullptr, 0},
        {"::1:9100", false, nullptr, 0},
        {"[::1]9100", false, nullptr, 0},
        {"[::1]:", false, nullptr, 0},
        {"[::1:9100", false, nullptr, 0},
        {"[127.0.0.1]:80", false, nullptr, 0},
        {"::1", false, nullptr, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        TListenAddress address;
        address.Port = 7;
        QString error;
        const bool ok = ParseListenAddress(QString::fromUtf8(c.text), address, error);
        EXPECT_EQ(ok, c.ok);
        if (c.ok) {
            EXPECT_EQ(address.Host.toString(), QString::fromUtf8(c.host));
            EXPECT_EQ(address.Port, c.port);
            EXPECT_TRUE(error.isEmpty());
        } else {
            // The operator is told what was given; what was passed in stays as it was.
            EXPECT_TRUE(error.contains(QStringLiteral("\"%1\"").arg(QString::fromUtf8(c.text))))
                << error.toStdString();
            EXPECT_EQ(address.Port, 7);
        }
    }
}

// ---- the service template ------------------------------------------------------------------

TEST(MetricsUnit, SystemdAnalyzeVerifiesTheServiceTemplate)
{
    const QString analyze = QStandardPaths::findExecutable(QStringLiteral("systemd-analyze"));
    if (analyze.isEmpty()) GTEST_SKIP() << "systemd-analyze is not installed here";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());

    // A unit known to be good shows whether verify works in this container at all.
    WriteFile(dir.filePath("probe.service"), "[Unit]\nDescription=probe\n[Service]\nExecStart=/bin/true\n");
    const TToolRun probe = runTool(analyze, {"verify", "--man=no", dir.filePath("probe.service")});
    if (!probe.started || probe.exitCode != 0)
        GTEST_SKIP() << "systemd-analyze verify does not work here: " << probe.err.toStdString();

    // The template as shipped, with the built program where the package puts it, as instance ttyS0.
    const QString program = QStringLiteral(ZYR_BINARY_DIR "/zyrtool");
    ASSERT_TRUE(QFile::exists(program));
    QByteArray unit = FileBytes(sourceDir + QStringLiteral("/packaging/prometheus/zyrtool-metrics@.service"));
    ASSERT_TRUE(unit.contains("ExecStart=/usr/bin/zyrtool "));
    unit.replace("ExecStart=/usr/bin/zyrtool ", "ExecStart=" + program.toUtf8() + ' ');
    WriteFile(dir.filePath("zyrtool-metrics@.service"), unit);
    ASSERT_TRUE(
        QFile::link(dir.filePath("zyrtool-metrics@.service"), dir.filePath("zyrtool-metrics@ttyS0.service")));
    const TToolRun run =
        runTool(analyze, {"verify", "--man=no", dir.filePath("zyrtool-metrics@ttyS0.service")});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    // Unknown keys and bad values are warnings only: any word about the unit is a fault.
    EXPECT_FALSE(run.err.contains("zyrtool-metrics")) << run.err.toStdString();
    EXPECT_TRUE(unit.contains("SupplementaryGroups=dialout"));
}

} // namespace
