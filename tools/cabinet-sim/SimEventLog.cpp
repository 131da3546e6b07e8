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

std::array<uint8_t, 64> EventLog::record(int n) const
{
    std::array<uint8_t, 64> r{};
    size_t at = 0;
    auto byte = [&](int v) { r[at++] = static_cast<uint8_t>(v); };
    auto word = [&](int v) {
        r[at++] = static_cast<uint8_t>((v >> 8) & 0xFF);
        r[at++] = static_cast<uint8_t>(v & 0xFF);
    };

    // Events every few hours, going forward from spring 2025.
    const QDateTime start(QDate(2025, 3, 1), QTime(8, 0, 0), Qt::UTC);
    const QDateTime when = start.addSecs(static_cast<qint64>(n - 1) * (3 * 3600 + 17 * 60 + 23));
    const int state = States[n % 10];
    const int module = (n % 5 == 0) ? (n / 5) % 4 + 1 : 0;
    const StatusWords w = statusFor(state);

    word(n);
    byte(bcd(when.date().year() - 2000));
    byte(bcd(when.date().month()));
    byte(bcd(when.date().day()));
    byte(bcd(when.time().hour()));
    byte(bcd(when.time().minute()));
    byte(bcd(when.time().second()));
    byte(state);
    byte(module);
    byte(1 + (n * 7) % 56);      // event code
    byte(Alarms[n % 10]);        // alarm code, 0 for plain events
    word(w.cmmStaL | w.cmmStaH); // common state word
    word(0);                     // unused
    word(w.invStaH);
    word(w.invStaL);
    word(w.cmmAlmH);
    word(w.cmmAlmL);
    word(w.invAlmH);
    word(w.invAlmL);
    word(w.sysSta);
    word(w.sysAlm);
    word(2300 + n % 7); // input voltages, 0.1 V
    word(2296 + n % 5);
    word(2305 - n % 3);
    word(500);  // input frequency
    word(2200); // output voltages
    word(2201);
    word(2199);
    word(380 + n % 11); // output currents
    word(385);
    word(379);
    word(500);  // output frequency
    word(2720); // battery voltages
    word(2716);
    word(state == 5 ? 120 : 0); // battery currents
    word(state == 5 ? 118 : 0);
    // A module's temperature comes in tenths, the cabinet's in whole degrees.
    word(module != 0 ? 345 + n % 10 : 31 + n % 5);
    return r;
}

} // namespace sim
