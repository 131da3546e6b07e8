// The Modbus RTU slave behaviour of the cabinet: turns one request frame into its reply.
#pragma once

#include "SimEventLog.h"
#include "SimImage.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace sim {

class Slave {
public:
    using Bytes = std::vector<uint8_t>;

    Slave(const std::vector<int>& addresses, int state, int modules, int records);

    bool serves(int address) const { return images_.count(address) != 0; }
    // The reply to a request with a valid CRC, or nothing (another slave's request, or a
    // broadcast, which is carried out without a reply).
    std::optional<Bytes> handle(const Bytes& request);

    RegisterImage& image(int address) { return *images_.at(address); }
    EventLog& log(int address) { return *logs_.at(address); }
    void drift(std::mt19937& random);
    // Registers whose writes are answered as done but not carried out: the old value stays.
    void setRefusedWrites(const std::vector<uint32_t>& registers) { refused_ = registers; }
    void setMainsFailures(int everySeconds);

    static Bytes exceptionReply(int address, int function, int code);
    static void appendCrc(Bytes& frame);

private:
    uint16_t readRegister(int address, uint32_t reg) const;
    Bytes readRegisters(int address, const Bytes& q);
    Bytes writeSingle(int address, const Bytes& q);
    Bytes writeMultiple(int address, const Bytes& q);
    Bytes readRecord(int address, const Bytes& q);
    Bytes identification(int address, const Bytes& q);
    void store(int address, uint32_t reg, uint16_t value);

    std::map<int, std::unique_ptr<RegisterImage>> images_;
    std::map<int, std::unique_ptr<EventLog>> logs_;
    std::map<int, bool> writeEnabled_;
    std::vector<uint32_t> refused_;
};

} // namespace sim
