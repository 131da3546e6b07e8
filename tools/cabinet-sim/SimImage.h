// The register image of one cabinet address. Registers are kept by their documented number
// (30001, 40001, ...): the wire carries the number minus one, and the cabinet answers
// functions 3 and 4 alike over the whole numbering.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

namespace sim {

struct StatusWords {
    uint16_t cmmStaH = 0, cmmStaL = 0, invStaH = 0, invStaL = 0;
    uint16_t cmmAlmH = 0, cmmAlmL = 0, invAlmH = 0, invAlmL = 0;
    uint16_t sysSta = 0, sysAlm = 0;
};

// Status and alarm words whose derived running state is the given code.
StatusWords statusFor(int state);

class RegisterImage {
public:
    RegisterImage(int address, int state, int modulesPresent);

    uint16_t read(uint32_t reg) const { return reg < regs_.size() ? regs_[reg] : 0; }
    void write(uint32_t reg, uint16_t value);

    // One step (a second) of the measured values: slow waves around their nominal level with a
    // little noise, and now and then a one-second sag of the input, so a trend shows something.
    void drift(std::mt19937& random);
    // Every everySeconds drift steps the mains fails for 30 (0: never).
    void setMainsFailures(int everySeconds) { mainsFailEvery_ = everySeconds; }

    static constexpr uint32_t ModuleBase = 30101;
    static constexpr uint32_t ModuleBlock = 50;
    static uint32_t moduleRegister(int module, int place)
    {
        return ModuleBase + ModuleBlock * (module - 1) + place - 1;
    }

private:
    void set(uint32_t reg, uint16_t value) { regs_[reg] = value; }
    void setText(uint32_t first, const char* text, int width);
    void fillSystem(int state);
    void applyState(int state); // the status words of the running state
    void fillModule(int module, int state);
    void fillParameters(int modulesPresent);
    void fillConfiguration();
    void walk(std::mt19937& random, uint32_t reg, int nominal, int spread, int step);

    int address_;
    int modulesPresent_;
    int driftSeconds_ = 0; // drift steps so far: the phase of the slow waves
    int mainsFailEvery_ = 0;
    int state_ = 4;
    std::vector<uint16_t> regs_;
};

} // namespace sim
