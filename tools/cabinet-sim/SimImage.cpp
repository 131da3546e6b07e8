#include "SimImage.h"

#include "SimModuleBuffer.h"
#include "SimRunTime.h"

#include <cmath>
#include <cstring>

namespace sim {

StatusWords statusFor(int state)
{
    StatusWords w;
    if (state == 15) return w; // no valid data: the data-valid bit of the common word stays clear
    w.cmmStaL = 0x8000;
    w.sysSta = 0x8000;
    switch (state) {
    case 1: break;                     // inverter off, no source
    case 2: w.invStaH = 0x0400; break; // inverter on, no output source
    case 3: w.invStaH = 0x0080; break; // load on bypass
    case 4:
        w.invStaH = 0x0700;
        w.cmmStaH = 0x4400;
        break; // inverter on, mains present
    case 5:
        w.invStaH = 0x0700;
        w.cmmStaH = 0x4000;
        break; // inverter on battery
    case 6:
        w.invStaH = 0x0700;
        w.cmmStaH = 0x4200;
        break;                          // battery self-test
    case 7: w.invStaH = 0x0200; break;  // inverter soft start
    case 9: w.cmmStaH = 0x2000; break;  // emergency power off
    case 10: w.invStaH = 0x2000; break; // maintenance bypass
    case 11:
        w.invStaH = 0x0700;
        w.cmmStaH = 0x4400;
        w.invAlmH = 0x0004;
        w.sysAlm = 0x0001;
        break;
    default: break;
    }
    return w;
}

RegisterImage::RegisterImage(int address, int state, int modulesPresent)
    : address_(address), modulesPresent_(modulesPresent), regs_(65537, 0)
{
    fillSystem(state);
    for (int m = 1; m <= modulesPresent; ++m) fillModule(m, state);
    fillParameters(modulesPresent);
    fillConfiguration();
}

void RegisterImage::write(uint32_t reg, uint16_t value)
{
    if (reg < regs_.size()) regs_[reg] = value;
}

void RegisterImage::setText(uint32_t first, const char* text, int width)
{
    const size_t length = std::strlen(text);
    for (int i = 0; i < width; ++i)
        set(first + static_cast<uint32_t>(i),
            static_cast<size_t>(i) < length ? static_cast<uint8_t>(text[i]) : ' ');
}

void RegisterImage::fillSystem(int state)
{
    // Each address sits a little apart so that a reply from the wrong image shows.
    const uint16_t a = static_cast<uint16_t>(address_);
    const uint16_t inVolt[3] = {uint16_t(2301 + a), uint16_t(2296 + a), uint16_t(2305 + a)};
    for (int p = 0; p < 3; ++p) {
        set(30001 + p, inVolt[p]);                 // input voltage, 0.1 V
        set(30005 + p, uint16_t(412 + 3 * p));     // input current, 0.1 A
        set(30008 + p, uint16_t(98 + (p == 1)));   // input power factor, 0.01
        set(30011 + p, uint16_t(2200 + p));        // output voltage
        set(30015 + p, uint16_t(380 + 5 * p + a)); // output current
        set(30018 + p, uint16_t(81 + p));          // active power, 0.1 kW
        set(30021 + p, uint16_t(405 + 7 * p));     // load, 0.1 %
        set(30024 + p, uint16_t(63 + p));          // load peak, 0.01
        set(30027 + p, uint16_t(2298 + 2 * p));    // bypass voltage
    }
    set(30004, 500);                 // input frequency, 0.1 Hz
    set(30014, 500);                 // output frequency
    set(30030, 500);                 // bypass frequency
    set(30031, 2720);                // battery +, 0.1 V
    set(30032, 2716);                // battery -
    set(30033, 0);                   // discharge current +
    set(30034, 0);                   // discharge current -
    set(30035, 15);                  // charge current +, 0.1 A
    set(30036, 14);                  // charge current -
    set(30037, 100);                 // charging rate, %
    set(30038, 45);                  // battery support, minutes
    set(30039, 251);                 // battery temperature, 0.1 degree
    set(30040, 305);                 // inside temperature
    set(30043, uint16_t(12345 + a)); // hours run

    state_ = state;
    applyState(state);
}

void RegisterImage::applyState(int state)
{
    const StatusWords w = statusFor(state);
    set(30082, w.cmmStaH);
    set(30083, w.cmmStaL);
    set(30084, w.invStaH);
    set(30085, w.invStaL);
    set(30086, w.cmmAlmH);
    set(30087, w.cmmAlmL);
    set(30088, w.invAlmH);
    set(30089, w.invAlmL);
    set(30090, w.sysSta);
    set(30091, w.sysAlm);
}

void RegisterImage::fillModule(int m, int state)
{
    auto put = [&](int place, int value) { set(moduleRegister(m, place), static_cast<uint16_t>(value)); };
    put(1, 3800 + m); // DC bus +, 0.1 V
    put(2, 3796 + m); // DC bus -
    for (int p = 0; p < 3; ++p) {
        put(3 + p, 2199 + p);        // inverter voltage
        put(6 + p, 120 + 2 * p + m); // inverter current
    }
    put(9, 500);      // inverter frequency
    put(10, 352 + m); // temperatures, 0.1 degree
    put(11, 348 + m);
    const StatusWords w = statusFor(state);
    put(12, w.cmmStaH);
    put(13, w.cmmStaL);
    put(14, w.invStaH);
    put(15, w.invStaL);
    put(16, w.cmmAlmH);
    put(17, w.cmmAlmL);
    put(18, w.invAlmH);
    put(19, w.invAlmL);
    put(20, 3810); // rectifier DC bus
    put(21, 3790);
    put(22, 1000 + m); // frames the module sent, took, acknowledged
    put(23, 998 + m);
    put(24, 997 + m);
    put(25, 2720); // battery voltages
    put(26, 2716);
    put(27, 0); // discharge currents
    put(28, 0);
    put(29, 5); // charge currents
    put(30, 5);
    put(31, 100); // charging rate
    put(32, 45);  // remaining time
}

void RegisterImage::fillParameters(int modulesPresent)
{
    const uint16_t params[35] = {
        0,                                                 // 40001
        uint16_t(address_ <= 14 ? address_ : 14),          // 40002 parallel id
        uint16_t(modulesPresent > 0 ? modulesPresent : 1), // 40003 module number
        0,                                                 // 40004 work mode: normal
        230,                                               // 40005 voltage level 400 V
        50,                                                // 40006 frequency level
        1,                                                 // 40007 parallel amount
        0,
        0,
        0,     // 40008 - 40010
        5,     // 40011 bypass frequency range %
        15,    // 40012 bypass voltage upper limit %
        65516, // 40013 bypass voltage lower limit -20 %
        0,     // 40014 inverter voltage adjust
        32,    // 40015 battery number
        0,     // 40016
        1,     // 40017 battery groups
        235,   // 40018 boost voltage 2.35 V/cell
        225,   // 40019 float voltage 2.25 V/cell
        175,   // 40020 end of discharge 1.75 V/cell
        100,   // 40021 battery capacity Ah
        0,     // 40022
        20,    // 40023 max charge current
        10,    // 40024 power walk-in
        30,    // 40025 boost time
        0,     // 40026
        0,     // 40027 status control bits
        0,     // 40028
        0,     // 40029 operate mode
        100,   // 40030 grid-connected power
        0,
        0,
        0, // 40031 - 40033
        0, // 40034 distribution: 3 in 3 out
        5, // 40035 power shift delay
    };
    for (int i = 0; i < 35; ++i) set(40001 + static_cast<uint32_t>(i), params[i]);
    set(40051, 0);    // capacity of the log, high half
    set(40052, 1000); // low half
    const uint16_t masks[10] = {0xFFFF, 0xFFFF, 0xFFF0, 0xFFFF, 0xFCFF,
                                0xFFFF, 0x7FFF, 0xFFFF, 0x00FF, 0x00FF};
    for (int i = 0; i < 10; ++i) set(40082 + static_cast<uint32_t>(i), masks[i]);
}

void RegisterImage::fillConfiguration()
{
    fillRunTime(*this);
    set(51201, 25); // inside communication type 0
    set(51202, 1);  // remote control enabled
    set(51203, 0);  // power rating from setting
    set(51204, 0);  // module type ZYR
    set(51207, 1);  // module status confirmations
    set(51208, 0);  // battery data by module
    setText(53000, "ZYR POWER CO.", 15);
    setText(53020, "ZYR33-200K", 10);
    SelectModuleBuffer(*this, 1); // 54000..54102: the receive buffer of module 1
}

void RegisterImage::walk(std::mt19937& random, uint32_t reg, int nominal, int spread, int step)
{
    std::uniform_int_distribution<int> delta(-step, step);
    int value = static_cast<int>(read(reg)) + delta(random);
    if (value < nominal - spread) value = nominal - spread;
    if (value > nominal + spread) value = nominal + spread;
    set(reg, static_cast<uint16_t>(value));
}

void RegisterImage::drift(std::mt19937& random)
{
    const double t = double(++driftSeconds_);
    const double twoPi = 6.283185307179586;
    auto wave = [&](double period, double phase) { return std::sin(twoPi * (t / period + phase)); };
    std::uniform_int_distribution<int> noise(-2, 2);
    const double load = 0.40 + 0.22 * wave(420, 0.0) + 0.05 * wave(67, 0.3); // share of the rating
    for (uint32_t p = 0; p < 3; ++p) {
        const double third = double(p) / 3.0;
        // The waves start near the values the image was filled with, so the first steps are small.
        int in = int(2300 + address_ + 55 * wave(300, third * 0.05) + noise(random));
        // A sag of phase A every 97 s, a few seconds long so that even a slow poll catches it.
        if (p == 0 && driftSeconds_ % 97 >= 92) in -= 420;
        set(30001 + p, uint16_t(in));
        set(30027 + p, uint16_t(2300 + 50 * wave(300, third * 0.05) + noise(random)));
        set(30011 + p, uint16_t(2200 + 3 * wave(45, third) + noise(random) / 2));
        const double lp = load * (1.0 + 0.06 * (double(p) - 1.0));
        set(30021 + p, uint16_t(std::lround(1000 * lp) + noise(random)));
        set(30015 + p, uint16_t(std::lround(940 * lp) + address_ + noise(random)));
        set(30005 + p, uint16_t(std::lround(1010 * lp) + 10 + noise(random)));
        set(30018 + p, uint16_t(std::lround(200 * lp)));
    }
    walk(random, 30004, 500, 2, 1);
    walk(random, 30030, 500, 2, 1);
    // The charger tapers off and starts again on a slow cycle.
    const double charge = 0.5 + 0.5 * wave(600, 0.0);
    set(30035, uint16_t(std::lround(5 + 30 * charge)));
    set(30036, uint16_t(std::lround(4 + 30 * charge)));
    set(30031, uint16_t(std::lround(2700 + 25 * charge)));
    set(30032, uint16_t(std::lround(2696 + 25 * charge)));
    if (mainsFailEvery_ > 0) {
        // A mains failure: the input goes to 0 V and the battery carries the load for 30 s.
        const int into = driftSeconds_ % mainsFailEvery_;
        const bool failed = driftSeconds_ >= mainsFailEvery_ && into < 30;
        if (failed) {
            for (uint32_t p = 0; p < 3; ++p) {
                set(30001 + p, 0);
                set(30005 + p, 0);
            }
            set(30004, 0);
            const uint16_t dis = uint16_t(std::lround(read(30021) * 0.9) + 20);
            set(30033, dis);
            set(30034, uint16_t(dis - 3));
            set(30035, 0);
            set(30036, 0);
            set(30031, uint16_t(2640 - 3 * into));
            set(30032, uint16_t(2636 - 3 * into));
        } else {
            set(30033, 0);
            set(30034, 0);
        }
        if (into == 0 || into == 30) applyState(failed ? 5 : state_);
    }
    set(30039, uint16_t(251 + 15 * wave(900, 0.1)));
    set(30040, uint16_t(305 + 40 * wave(900, 0.0) + noise(random) / 2));
    for (int m = 1; m <= modulesPresent_; ++m) {
        for (int place = 22; place <= 24; ++place)
            set(moduleRegister(m, place), static_cast<uint16_t>(read(moduleRegister(m, place)) + 10));
        walk(random, moduleRegister(m, 10), 352 + m, 20, 1);
    }
}

} // namespace sim
