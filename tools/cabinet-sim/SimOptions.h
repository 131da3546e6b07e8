// Command-line options of the simulated cabinet.
#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

namespace sim {

// A fault is injected either with a probability per reply (a value with a decimal point, 0 to
// 1.0) or into the first N replies (a whole number N).
struct FaultRate {
    double probability = 0.0;
    int count = 0;
    bool parse(const QString& text);
    bool active() const { return probability > 0.0 || count > 0; }
};

struct Options {
    QString ptyLink;
    QString device;
    int baud = 2400;
    bool pacing = true;
    bool strictSpeed = false; // answer only while the line is set to baud
    int turnaroundMs = 5;
    std::vector<int> addresses{1};
    int state = 4;
    int modules = 32;
    int records = 50;
    bool invalidDates = false; // a few records carry a month that does not exist
    bool dumpLog = false;      // print the event log and end
    int silentAfterRecord = 0; // once record N has been sent, answer nothing more (0: never)
    int vanishAfterWrites = 0; // after answering the Nth write, remove the line and end (0: never)
    std::vector<uint32_t> refuseWrite; // writes to these registers are answered but not done
    std::vector<uint32_t> silentRead;  // reads that cover these registers get no reply
    int silentObject = -1; // the first read of this identification object gets no reply (-1: none)
    bool drift = true;
    int mainsFailEvery = 0; // with drift: the mains fails for 30 s every this many seconds (0: never)
    int hourMs = 0; // runtime counters advance one hour per hourMs; 0 keeps them still
    QString logFile;
    uint32_t seed = 0;
    bool seedGiven = false;

    FaultRate drop, badCrc, wrongAddress, split, noise, exception, late;
    int lateMs = 0;
};

// Fills options from the arguments. On failure returns false with a message in error; on
// --help returns false with the help text in error and helpRequested set.
bool parseOptions(const QStringList& arguments, Options& options, QString& error, bool& helpRequested);

// Status words that make the cabinet report the given running state; false for a state the
// status words cannot express.
bool isSupportedState(int state);

} // namespace sim
