#include "SimOptions.h"

#include <QCommandLineParser>

#include <algorithm>
#include <utility>

namespace sim {

bool FaultRate::parse(const QString& text)
{
    bool ok = false;
    if (text.contains(QLatin1Char('.'))) {
        const double p = text.toDouble(&ok);
        if (!ok || p < 0.0 || p > 1.0) return false;
        probability = p;
        count = 0;
        return true;
    }
    const int n = text.toInt(&ok);
    if (!ok || n < 0) return false;
    count = n;
    probability = 0.0;
    return true;
}

bool isSupportedState(int state)
{
    switch (state) {
    case 1:
    case 2:
    case 3:
    case 4:
    case 5:
    case 6:
    case 7:
    case 9:
    case 10:
    case 11:
    case 15: return true;
    default: return false;
    }
}

bool parseOptions(const QStringList& arguments, Options& options, QString& error, bool& helpRequested)
{
    helpRequested = false;
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "A simulated ZYR cabinet: a Modbus RTU slave on a pseudo-terminal or a serial device.\n"
        "Fault rates: a value with a decimal point is a probability per reply (0.0 to 1.0),\n"
        "a whole number N injects the fault into the first N replies."));
    parser.addHelpOption();
    const QCommandLineOption pty(QStringLiteral("pty"),
                                 QStringLiteral("Create a pseudo-terminal and link PATH to it."),
                                 QStringLiteral("PATH"));
    const QCommandLineOption device(
        QStringLiteral("device"), QStringLiteral("Serve an existing serial device."), QStringLiteral("PATH"));
    const QCommandLineOption baud(QStringLiteral("baud"), QStringLiteral("Line speed (default 2400), 8N2."),
                                  QStringLiteral("N"), QStringLiteral("2400"));
    const QCommandLineOption noPacing(
        QStringLiteral("no-pacing"),
        QStringLiteral("Send replies at once instead of byte by byte at the line speed."));
    const QCommandLineOption strictSpeed(
        QStringLiteral("strict-speed"),
        QStringLiteral("Answer only while the line is set to --baud, as a real cabinet hears only noise at "
                       "another speed (on a pseudo-terminal the speed the other end set is read)."));
    const QCommandLineOption turnaround(QStringLiteral("turnaround"),
                                        QStringLiteral("Delay before each reply in ms (default 5)."),
                                        QStringLiteral("MS"), QStringLiteral("5"));
    const QCommandLineOption addresses(QStringLiteral("addresses"),
                                       QStringLiteral("Comma-separated slave addresses (default 1)."),
                                       QStringLiteral("LIST"), QStringLiteral("1"));
    const QCommandLineOption state(
        QStringLiteral("state"),
        QStringLiteral("Running state the status words express: 1-7, 9, 10, 11, 15 (default 4, Online)."),
        QStringLiteral("CODE"), QStringLiteral("4"));
    const QCommandLineOption modules(QStringLiteral("modules"),
                                     QStringLiteral("Power modules present, 0-32 (default 32)."),
                                     QStringLiteral("N"), QStringLiteral("32"));
    const QCommandLineOption records(QStringLiteral("records"),
                                     QStringLiteral("Event records in the log (default 50)."),
                                     QStringLiteral("N"), QStringLiteral("50"));
    const QCommandLineOption invalidDates(QStringLiteral("invalid-dates"),
                                          QStringLiteral("Records 7, 57, 107, ... carry month 13."));
    const QCommandLineOption silentAfterRecord(
        QStringLiteral("silent-after-record"),
        QStringLiteral(
            "Once the event record N has been sent, answer nothing more (a cabinet that goes silent)."),
        QStringLiteral("N"));
    const QCommandLineOption vanishAfterWrites(
        QStringLiteral("vanish-after-writes"),
        QStringLiteral("Once the reply to the Nth write (function 6 or 16, the write-enable command "
                       "included) has left, close and remove the pseudo-terminal and end, as a cabinet "
                       "pulled from the line."),
        QStringLiteral("N"));
    const QCommandLineOption refuseWrite(
        QStringLiteral("refuse-write"),
        QStringLiteral("Answer a write to register REG as done but keep its old value (repeatable)."),
        QStringLiteral("REG"));
    const QCommandLineOption silentRead(
        QStringLiteral("silent-read"),
        QStringLiteral("Send no reply to a read (function 3 or 4) that covers register REG (repeatable)."),
        QStringLiteral("REG"));
    const QCommandLineOption silentObject(
        QStringLiteral("silent-object"),
        QStringLiteral("Send no reply to the first read of identification object ID (function 43)."),
        QStringLiteral("ID"));
    const QCommandLineOption dumpLog(QStringLiteral("dump-log"),
                                     QStringLiteral("Print the event log, one record a line, and end."));
    const QCommandLineOption noDrift(QStringLiteral("no-drift"),
                                     QStringLiteral("Keep every measured value fixed."));
    const QCommandLineOption runHours(QStringLiteral("run-hours"),
                                      QStringLiteral("Advance the runtime counters by one hour a minute."));
    const QCommandLineOption hourMs(QStringLiteral("hour-ms"),
                                    QStringLiteral("With --run-hours: one hour every MS ms (default 60000)."),
                                    QStringLiteral("MS"), QStringLiteral("60000"));
    const QCommandLineOption mainsFailures(
        QStringLiteral("mains-failures"),
        QStringLiteral("With drift: every SECONDS the mains fails for 30 s (input at 0 V, battery state, "
                       "discharge current), then comes back."),
        QStringLiteral("SECONDS"));
    const QCommandLineOption log(QStringLiteral("log"),
                                 QStringLiteral("Write one line per frame received and sent."),
                                 QStringLiteral("FILE"));
    const QCommandLineOption seed(
        QStringLiteral("seed"), QStringLiteral("Seed of the random faults and drift."), QStringLiteral("N"));
    const QCommandLineOption drop(QStringLiteral("drop"), QStringLiteral("Send no reply."),
                                  QStringLiteral("RATE"));
    const QCommandLineOption badCrc(QStringLiteral("bad-crc"), QStringLiteral("Corrupt the reply's CRC."),
                                    QStringLiteral("RATE"));
    const QCommandLineOption wrongAddress(QStringLiteral("wrong-address"),
                                          QStringLiteral("Answer with another slave address."),
                                          QStringLiteral("RATE"));
    const QCommandLineOption split(QStringLiteral("split"),
                                   QStringLiteral("Send the reply in two parts 300 ms apart."),
                                   QStringLiteral("RATE"));
    const QCommandLineOption late(
        QStringLiteral("late"),
        QStringLiteral("Delay replies by MS (with --late-rate, default every reply)."), QStringLiteral("MS"));
    const QCommandLineOption lateRate(QStringLiteral("late-rate"),
                                      QStringLiteral("Which replies --late delays."), QStringLiteral("RATE"),
                                      QStringLiteral("1.0"));
    const QCommandLineOption noise(QStringLiteral("noise"),
                                   QStringLiteral("Send stray bytes before the reply."),
                                   QStringLiteral("RATE"));
    const QCommandLineOption exception(QStringLiteral("exception"),
                                       QStringLiteral("Answer with exception 4 instead."),
                                       QStringLiteral("RATE"));
    parser.addOptions({pty,       device, baud,         noPacing, turnaround,
                       addresses, state,  modules,      records,  noDrift,
                       log,       seed,   drop,         badCrc,   wrongAddress,
                       split,     late,   lateRate,     noise,    exception,
                       runHours,  hourMs, invalidDates, dumpLog,  silentAfterRecord, vanishAfterWrites, refuseWrite, silentRead,
                       silentObject,
                       mainsFailures, strictSpeed});

    if (!parser.parse(arguments)) {
        error = parser.errorText();
        return false;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        helpRequested = true;
        error = parser.helpText();
        return false;
    }
    if (!parser.positionalArguments().isEmpty()) {
        error = QStringLiteral("unexpected argument: ") + parser.positionalArguments().first();
        return false;
    }

    options.ptyLink = parser.value(pty);
    options.device = parser.value(device);
    options.invalidDates = parser.isSet(invalidDates);
    options.dumpLog = parser.isSet(dumpLog);
    if (parser.isSet(silentAfterRecord)) {
        bool ok = false;
        options.silentAfterRecord = parser.value(silentAfterRecord).toInt(&ok);
        if (!ok || options.silentAfterRecord < 1) {
            error = QStringLiteral("--silent-after-record needs a record number from 1");
            return false;
        }
    }
    if (parser.isSet(vanishAfterWrites)) {
        bool ok = false;
        options.vanishAfterWrites = parser.value(vanishAfterWrites).toInt(&ok);
        if (!ok || options.vanishAfterWrites < 1) {
            error = QStringLiteral("--vanish-after-writes needs a number of writes from 1");
            return false;
        }
    }
    if (parser.isSet(silentObject)) {
        bool ok = false;
        options.silentObject = parser.value(silentObject).toInt(&ok);
        if (!ok || options.silentObject < 0 || options.silentObject > 255) {
            error = QStringLiteral("--silent-object needs an object number from 0 to 255");
            return false;
        }
    }
    const std::pair<const QCommandLineOption*, std::vector<uint32_t>*> registerLists[] = {
        {&refuseWrite, &options.refuseWrite}, {&silentRead, &options.silentRead}};
    for (const auto& [option, list] : registerLists) {
        for (const QString& text : parser.values(*option)) {
            bool ok = false;
            const uint32_t reg = text.toUInt(&ok);
            if (!ok || reg < 1 || reg > 65535) {
                error = QStringLiteral("--%1 needs a register number from 1 to 65535").arg(option->names().first());
                return false;
            }
            list->push_back(reg);
        }
    }
    if (!options.dumpLog && options.ptyLink.isEmpty() == options.device.isEmpty()) {
        error = QStringLiteral("give exactly one of --pty PATH and --device PATH");
        return false;
    }

    auto number = [&](const QCommandLineOption& option, int low, int high, int& out) {
        bool ok = false;
        const int value = parser.value(option).toInt(&ok);
        if (!ok || value < low || value > high) {
            error = QStringLiteral("--%1 needs a number from %2 to %3")
                        .arg(option.names().first())
                        .arg(low)
                        .arg(high);
            return false;
        }
        out = value;
        return true;
    };
    if (!number(baud, 50, 4000000, options.baud) || !number(turnaround, 0, 10000, options.turnaroundMs) ||
        !number(state, 0, 255, options.state) || !number(modules, 0, 32, options.modules) ||
        !number(records, 0, 65535, options.records))
        return false;
    if (!isSupportedState(options.state)) {
        error = QStringLiteral("--state must be one of 1, 2, 3, 4, 5, 6, 7, 9, 10, 11, 15");
        return false;
    }

    options.addresses.clear();
    for (const QString& item : parser.value(addresses).split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        bool ok = false;
        const int address = item.trimmed().toInt(&ok);
        if (!ok || address < 1 || address > 247) {
            error = QStringLiteral("--addresses takes slave addresses from 1 to 247");
            return false;
        }
        if (std::find(options.addresses.begin(), options.addresses.end(), address) == options.addresses.end())
            options.addresses.push_back(address);
    }
    if (options.addresses.empty()) {
        error = QStringLiteral("--addresses needs at least one address");
        return false;
    }

    options.pacing = !parser.isSet(noPacing);
    options.strictSpeed = parser.isSet(strictSpeed);
    options.drift = !parser.isSet(noDrift);
    if (parser.isSet(runHours) && !number(hourMs, 10, 3600000, options.hourMs)) return false;
    if (parser.isSet(mainsFailures) && !number(mainsFailures, 60, 86400, options.mainsFailEvery)) return false;
    options.logFile = parser.value(log);
    if (parser.isSet(seed)) {
        bool ok = false;
        options.seed = parser.value(seed).toUInt(&ok);
        if (!ok) {
            error = QStringLiteral("--seed needs a whole number");
            return false;
        }
        options.seedGiven = true;
    }

    struct Rate {
        const QCommandLineOption& option;
        FaultRate& rate;
    };
    const Rate rates[] = {
        {drop, options.drop},   {badCrc, options.badCrc}, {wrongAddress, options.wrongAddress},
        {split, options.split}, {noise, options.noise},   {exception, options.exception}};
    for (const Rate& r : rates) {
        if (parser.isSet(r.option) && !r.rate.parse(parser.value(r.option))) {
            error =
                QStringLiteral("--%1 takes a probability 0.0-1.0 or a count").arg(r.option.names().first());
            return false;
        }
    }
    if (parser.isSet(late)) {
        if (!number(late, 0, 60000, options.lateMs)) return false;
        if (!options.late.parse(parser.value(lateRate))) {
            error = QStringLiteral("--late-rate takes a probability 0.0-1.0 or a count");
            return false;
        }
    }
    return true;
}

} // namespace sim
