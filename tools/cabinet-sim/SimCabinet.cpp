#include "SimCabinet.h"

#include "SimRunTime.h"

#include <algorithm>
#include <cmath>

namespace sim {

namespace {
constexpr int SplitPauseMs = 300;
}

Cabinet::Cabinet(const Options& options, QObject* parent)
    : QObject(parent), options_(options), random_(options.seedGiven ? options.seed : std::random_device{}()),
      line_(options.baud, options.pacing),
      slave_(options.addresses, options.state, options.modules, options.records), faults_(options_, random_)
{
    for (int a : options.addresses) slave_.log(a).setInvalidDates(options.invalidDates);
    slave_.setRefusedWrites(options.refuseWrite);
    framer_.onFrame = [this](const std::vector<uint8_t>& frame) { onRequest(frame); };
    framer_.onGarbage = [this](const std::vector<uint8_t>& bytes) { log_.write("DISCARD", bytes); };
    line_.onBytes = [this](const uint8_t* bytes, size_t count) {
        // Sent at another speed, the bytes reach a real cabinet as noise: nothing it answers.
        if (options_.strictSpeed && line_.lineSpeed() != options_.baud) {
            log_.write("NOISE", std::vector<uint8_t>(bytes, bytes + count),
                       QStringLiteral("line at %1 bit/s").arg(line_.lineSpeed()));
            return;
        }
        framer_.feed(bytes, count);
    };
    line_.onSilence = [this] { framer_.silence(); };
    slave_.setMainsFailures(options.mainsFailEvery);
    driftTimer_.setInterval(1000);
    connect(&driftTimer_, &QTimer::timeout, this, [this] { slave_.drift(random_); });
    vanishTimer_.setSingleShot(true);
    connect(&vanishTimer_, &QTimer::timeout, this, [this] {
        log_.write("VANISH", {}, QStringLiteral("after %1 writes").arg(writesAnswered_));
        stop();
        Q_EMIT vanished();
    });
    hourTimer_.setInterval(options.hourMs);
    connect(&hourTimer_, &QTimer::timeout, this, [this] {
        for (int a : options_.addresses) advanceRunTime(slave_.image(a));
    });
}

bool Cabinet::start(QString& error)
{
    if (!options_.logFile.isEmpty() && !log_.open(options_.logFile, error)) return false;
    const bool opened = options_.ptyLink.isEmpty() ? line_.openDevice(options_.device, error)
                                                   : line_.openPty(options_.ptyLink, error);
    if (!opened) return false;
    if (options_.drift) driftTimer_.start();
    if (options_.hourMs > 0) hourTimer_.start();
    return true;
}

void Cabinet::stop()
{
    driftTimer_.stop();
    hourTimer_.stop();
    line_.close();
}

void Cabinet::onRequest(const std::vector<uint8_t>& frame)
{
    const double arrived = line_.nowMs();
    if (silent_ || vanishTimer_.isActive()) {
        log_.write("RX", frame, QStringLiteral("silent"));
        return;
    }
    // A read that covers a register named by --silent-read gets no reply at all.
    if (frame.size() == 8 && (frame[1] == 3 || frame[1] == 4)) {
        const uint32_t first = uint32_t(frame[2] << 8 | frame[3]) + 1u;
        const uint32_t count = uint32_t(frame[4] << 8 | frame[5]);
        for (uint32_t reg : options_.silentRead) {
            if (reg >= first && reg < first + count) {
                log_.write("RX", frame, QStringLiteral("silent read"));
                return;
            }
        }
    }
    // The first read of the object named by --silent-object gets no reply.
    if (options_.silentObject >= 0 && frame.size() >= 7 && frame[1] == 0x2B && frame[4] == options_.silentObject &&
        std::find(options_.addresses.begin(), options_.addresses.end(), int(frame[0])) != options_.addresses.end()) {
        options_.silentObject = -1;
        log_.write("RX", frame, QStringLiteral("silent object"));
        return;
    }
    std::optional<std::vector<uint8_t>> reply = slave_.handle(frame);
    // The cabinet goes silent once it has sent the record named by --silent-after-record.
    if (reply && options_.silentAfterRecord > 0 && frame.size() >= 8 && frame[1] == 20 && (*reply)[1] == 20 &&
        (frame[6] << 8 | frame[7]) == options_.silentAfterRecord)
        silent_ = true;
    log_.write("RX", frame, reply ? QString() : QStringLiteral("no reply"));
    if (!reply) return;

    const FaultPlan plan = faults_.next();
    if (plan.drop) {
        log_.write("TX", {}, QStringLiteral("drop"));
        return;
    }
    const int address = frame[0];
    if (plan.exception) *reply = Slave::exceptionReply(address, frame[1], 4);
    if (plan.wrongAddress) {
        int other = address % 247 + 1;
        (*reply)[0] = static_cast<uint8_t>(other);
        reply->resize(reply->size() - 2);
        Slave::appendCrc(*reply);
    }
    if (plan.badCrc) reply->back() ^= 0x5A;

    // On a pseudo-terminal the request arrived in one piece; a real line would still have
    // been carrying it for its wire time.
    double start = arrived + options_.turnaroundMs + plan.lateMs;
    if (options_.pacing && !options_.ptyLink.isEmpty()) start += frame.size() * line_.charTimeMs();

    QStringList notes;
    if (plan.exception) notes << QStringLiteral("exception");
    if (plan.wrongAddress) notes << QStringLiteral("wrong-address");
    if (plan.badCrc) notes << QStringLiteral("bad-crc");
    if (plan.lateMs > 0) notes << QStringLiteral("late %1 ms").arg(plan.lateMs);

    if (plan.noise) {
        std::uniform_int_distribution<int> length(1, 4);
        std::uniform_int_distribution<int> value(0, 255);
        std::vector<uint8_t> noise(static_cast<size_t>(length(random_)));
        for (uint8_t& b : noise) b = static_cast<uint8_t>(value(random_));
        // Stray bytes never start like a reply from this cabinet.
        if (slave_.serves(noise[0])) noise[0] = 0xFF;
        log_.write("TX", noise, QStringLiteral("noise"));
        line_.send(noise, start);
        start = line_.busyUntilMs();
    }
    if (plan.split && reply->size() > 1) {
        const size_t half = reply->size() / 2;
        std::vector<uint8_t> first(reply->begin(), reply->begin() + static_cast<long>(half));
        std::vector<uint8_t> second(reply->begin() + static_cast<long>(half), reply->end());
        log_.write("TX", first,
                   (notes + QStringList{QStringLiteral("split 1/2")}).join(QStringLiteral(", ")));
        line_.send(first, start);
        log_.write("TX", second,
                   (notes + QStringList{QStringLiteral("split 2/2")}).join(QStringLiteral(", ")));
        line_.send(second, line_.busyUntilMs() + SplitPauseMs);
        countWriteAnswered(frame);
        return;
    }
    log_.write("TX", *reply, notes.join(QStringLiteral(", ")));
    line_.send(*reply, start);
    countWriteAnswered(frame);
}

// A cabinet pulled from the line just after it answered a write: the reply leaves whole, then
// the line is closed and its link removed, so the master finds the device gone.
void Cabinet::countWriteAnswered(const std::vector<uint8_t>& frame)
{
    if (options_.vanishAfterWrites <= 0 || frame.size() < 2 || (frame[1] != 6 && frame[1] != 16)) return;
    if (++writesAnswered_ != options_.vanishAfterWrites) return;
    const double left = line_.busyUntilMs() - line_.nowMs();
    vanishTimer_.start(std::max(0, int(std::ceil(left))) + 20);
}

} // namespace sim
