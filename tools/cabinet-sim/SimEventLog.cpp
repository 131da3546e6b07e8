#include "SimEventLog.h"

#include "SimImage.h"

#include <QDateTime>

namespace sim {

namespace {

uint8_t bcd(int value) { return static_cast<uint8_t>(((value / 10) % 10) << 4 | (value % 10)); }

// Alarm codes the cabinet really reports (there is no 15 to 19).
const uint8_t Alarms[] = {0, 3, 7, 12, 21, 33, 0, 48, 57, 1};
const uint8_t States[] = {4, 4, 5, 4, 3, 4, 11, 4, 1, 7};

} // namespace

EventEntry EventLog::entry(int n) const
{
    EventEntry e;
    // Events every few hours, going forward from spring 2025.
    const QDateTime start(QDate(2025, 3, 1), QTime(8, 0, 0), Qt::UTC);
    const QDateTime when = start.addSecs(static_cast<qint64>(n - 1) * (3 * 3600 + 17 * 60 + 23));
    e.recNo = n;
    e.year = when.date().year();
    e.month = (invalidDates_ && n % 50 == 7) ? 13 : when.date().month();
    e.day = when.date().day();
    e.hour = when.time().hour();
    e.minute = when.time().minute();
    e.second = when.time().second();
    e.state = States[n % 10];
    e.module = (n % 5 == 0) ? (n / 5) % 4 + 1 : 0;
    e.event = 1 + (n * 7) % 56;
    e.alarm = Alarms[n % 10];
    const StatusWords w = statusFor(e.state);
    e.words = {static_cast<uint16_t>(w.cmmStaL | w.cmmStaH),
               w.cmmAlmH,
               w.cmmAlmL,
               w.invStaH,
               w.invStaL,
               w.invAlmH,
               w.invAlmL,
               w.sysSta,
               w.sysAlm};
    const uint16_t battI = e.state == 5 ? 120 : 0;
    e.tenths = {static_cast<uint16_t>(2300 + n % 7),
                static_cast<uint16_t>(2296 + n % 5),
                static_cast<uint16_t>(2305 - n % 3),
                500,
                2200,
                2201,
                2199,
                static_cast<uint16_t>(380 + n % 11),
                385,
                379,
                500,
                2720,
                2716,
                battI,
                static_cast<uint16_t>(e.state == 5 ? 118 : 0)};
    // A module's temperature comes in tenths, the cabinet's in whole degrees; now and then a
    // module reports a reading beyond the scale (above 99 degrees even after the division).
    if (e.module != 0)
        e.temperature = static_cast<uint16_t>(n % 20 == 0 ? 1000 + n % 50 : 345 + n % 10);
    else
        e.temperature = static_cast<uint16_t>(31 + n % 5);
    return e;
}

std::array<uint8_t, 64> EventLog::record(int n) const
{
    const EventEntry e = entry(n);
    std::array<uint8_t, 64> r{};
    size_t at = 0;
    auto byte = [&](int v) { r[at++] = static_cast<uint8_t>(v); };
    auto word = [&](int v) {
        r[at++] = static_cast<uint8_t>((v >> 8) & 0xFF);
        r[at++] = static_cast<uint8_t>(v & 0xFF);
    };
    word(n);
    byte(bcd(e.year - 2000));
    byte(bcd(e.month));
    byte(bcd(e.day));
    byte(bcd(e.hour));
    byte(bcd(e.minute));
    byte(bcd(e.second));
    byte(e.state);
    byte(e.module);
    byte(e.event);
    byte(e.alarm);
    // Wire order: common state, an unused word, inverter states, common alarms, inverter
    // alarms, system state and alarm.
    word(e.words[0]);
    word(0);
    word(e.words[3]);
    word(e.words[4]);
    word(e.words[1]);
    word(e.words[2]);
    word(e.words[5]);
    word(e.words[6]);
    word(e.words[7]);
    word(e.words[8]);
    // Measurements in wire order: inputs, output voltages, output currents, output frequency,
    // battery.
    for (uint16_t v : e.tenths) word(v);
    word(e.temperature);
    return r;
}

} // namespace sim
