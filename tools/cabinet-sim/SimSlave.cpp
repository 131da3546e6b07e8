#include "SimSlave.h"

#include "SimCrc.h"
#include "SimModuleBuffer.h"
#include "SimRunTime.h"
#include "SimWriteGuard.h"

#include <algorithm>
#include <cstring>

namespace sim {

namespace {

constexpr uint32_t WriteEnableReg = 50000;
constexpr uint16_t WriteEnableCode = 10;

uint16_t be16(const std::vector<uint8_t>& q, size_t at)
{
    return static_cast<uint16_t>(q[at] << 8 | q[at + 1]);
}

void putBe16(std::vector<uint8_t>& out, uint16_t v)
{
    out.push_back(static_cast<uint8_t>(v >> 8));
    out.push_back(static_cast<uint8_t>(v & 0xFF));
}

} // namespace

Slave::Slave(const std::vector<int>& addresses, int state, int modules, int records)
{
    for (int a : addresses) {
        images_[a] = std::make_unique<RegisterImage>(a, state, modules);
        logs_[a] = std::make_unique<EventLog>(records);
        writeEnabled_[a] = false;
    }
}

void Slave::appendCrc(Bytes& frame)
{
    const uint16_t crc = crc16(frame.data(), frame.size());
    frame.push_back(static_cast<uint8_t>(crc & 0xFF));
    frame.push_back(static_cast<uint8_t>(crc >> 8));
}

Slave::Bytes Slave::exceptionReply(int address, int function, int code)
{
    Bytes reply{static_cast<uint8_t>(address), static_cast<uint8_t>(function | 0x80),
                static_cast<uint8_t>(code)};
    appendCrc(reply);
    return reply;
}

void Slave::setMainsFailures(int everySeconds)
{
    for (auto& entry : images_) entry.second->setMainsFailures(everySeconds);
}

void Slave::drift(std::mt19937& random)
{
    for (auto& entry : images_) entry.second->drift(random);
}

uint16_t Slave::readRegister(int address, uint32_t reg) const
{
    // The record counters always tell the state of the log.
    const EventLog& log = *logs_.at(address);
    switch (reg) {
    case 40051: return static_cast<uint16_t>(log.capacity() >> 16);
    case 40052: return static_cast<uint16_t>(log.capacity() & 0xFFFF);
    case 40053: return static_cast<uint16_t>(log.count() >> 16);
    case 40054: return static_cast<uint16_t>(log.count() & 0xFFFF);
    default: return images_.at(address)->read(reg);
    }
}

void Slave::store(int address, uint32_t reg, uint16_t value)
{
    if (reg == WriteEnableReg) {
        writeEnabled_[address] = value == WriteEnableCode;
        images_[address]->write(reg, value);
        return;
    }
    if (reg >= 40051 && reg <= 40054) {
        // The counters follow the log; the only write they take is the erase, and only after
        // the write-enable command.
        if (reg == 40054 && value == 0 && writeEnabled_[address]) {
            logs_[address]->clear();
            writeEnabled_[address] = false;
        }
        return;
    }
    if (reg == ModuleBufferSelect) return SelectModuleBuffer(*images_[address], value);
    // A cabinet that acknowledges a write and keeps its old value (--refuse-write).
    if (std::find(refused_.begin(), refused_.end(), reg) != refused_.end()) return;
    images_[address]->write(reg, value);
    keepRunTimeTogether(*images_[address], reg, value);
}

std::optional<Slave::Bytes> Slave::handle(const Bytes& q)
{
    if (q.size() < 4) return std::nullopt;
    const int address = q[0];
    const bool broadcast = address == 0;
    if (!broadcast && !serves(address)) return std::nullopt;

    if (broadcast) {
        // Writes to address 0 reach every image; nobody answers.
        for (auto& entry : images_) {
            if (q[1] == 6)
                writeSingle(entry.first, q);
            else if (q[1] == 16)
                writeMultiple(entry.first, q);
        }
        return std::nullopt;
    }

    switch (q[1]) {
    case 3:
    case 4: return readRegisters(address, q);
    case 6: return writeSingle(address, q);
    case 16: return writeMultiple(address, q);
    case 20: return readRecord(address, q);
    case 43: return identification(address, q);
    default: return exceptionReply(address, q[1], 1);
    }
}

Slave::Bytes Slave::readRegisters(int address, const Bytes& q)
{
    if (q.size() != 8) return exceptionReply(address, q[1], 3);
    const uint32_t first = be16(q, 2) + 1u;
    const uint16_t count = be16(q, 4);
    if (count < 1 || count > 125) return exceptionReply(address, q[1], 3);
    if (first - 1 + count > 65536) return exceptionReply(address, q[1], 2);
    Bytes reply{q[0], q[1], static_cast<uint8_t>(2 * count)};
    for (uint32_t i = 0; i < count; ++i) putBe16(reply, readRegister(address, first + i));
    appendCrc(reply);
    return reply;
}

Slave::Bytes Slave::writeSingle(int address, const Bytes& q)
{
    if (q.size() != 8) return exceptionReply(address, q[1], 3);
    if (!AllowGuardedWrite(writeEnabled_[address], be16(q, 2) + 1u, 1))
        return exceptionReply(address, q[1], GuardedWriteRefused);
    store(address, be16(q, 2) + 1u, be16(q, 4));
    Bytes reply(q.begin(), q.end() - 2);
    appendCrc(reply);
    return reply;
}

Slave::Bytes Slave::writeMultiple(int address, const Bytes& q)
{
    if (q.size() < 9) return exceptionReply(address, q[1], 3);
    const uint32_t first = be16(q, 2) + 1u;
    const uint16_t count = be16(q, 4);
    if (count < 1 || count > 123 || q[6] != 2 * count || q.size() != 9u + q[6])
        return exceptionReply(address, q[1], 3);
    if (first - 1 + count > 65536) return exceptionReply(address, q[1], 2);
    if (!AllowGuardedWrite(writeEnabled_[address], first, count))
        return exceptionReply(address, q[1], GuardedWriteRefused);
    for (uint32_t i = 0; i < count; ++i) store(address, first + i, be16(q, 7 + 2 * i));
    Bytes reply(q.begin(), q.begin() + 6);
    appendCrc(reply);
    return reply;
}

Slave::Bytes Slave::readRecord(int address, const Bytes& q)
{
    // One sub-request: byte count 7, reference type 6, file, record number, length.
    if (q.size() != 12 || q[2] != 7) return exceptionReply(address, q[1], 3);
    const uint16_t file = be16(q, 4);
    const int recordNo = be16(q, 6);
    const EventLog& log = *logs_.at(address);
    if (q[3] != 6 || file != 1 || recordNo < 1 || recordNo > log.count())
        return exceptionReply(address, q[1], 2);
    const std::array<uint8_t, 64> data = log.record(recordNo);
    // Address, function, response length, file response length, reference type, the data.
    Bytes reply(5 + data.size());
    reply[0] = q[0];
    reply[1] = q[1];
    reply[2] = static_cast<uint8_t>(2 + data.size());
    reply[3] = static_cast<uint8_t>(1 + data.size());
    reply[4] = 6;
    std::copy(data.begin(), data.end(), reply.begin() + 5);
    appendCrc(reply);
    return reply;
}

Slave::Bytes Slave::identification(int address, const Bytes& q)
{
    if (q.size() != 7 || q[2] != 0x0E) return exceptionReply(address, q[1], 1);
    const int code = q[3];
    int object = q[4];
    if (code < 1 || code > 4) return exceptionReply(address, q[1], 3);
    if (code != 1 && code != 4) return exceptionReply(address, q[1], 2);
    if (object > 2) {
        if (code == 4) return exceptionReply(address, q[1], 2);
        object = 0; // a basic stream asked from an unknown object starts over
    }

    const RegisterImage& image = *images_.at(address);
    auto objectValue = [&](int id) {
        Bytes value;
        if (id == 0) {
            const char* vendor = "ZYR POWER";
            value.assign(vendor, vendor + std::strlen(vendor));
        } else if (id == 1) {
            // Module type in three letters, a spare byte, then the module rating in kVA.
            const char* type = image.read(51204) == 1 ? "QOL" : "ZYR";
            value.assign(type, type + 3);
            value.push_back(0x01);
            putBe16(value, 50);
        } else {
            const char* version = "V3.10.0025";
            value.assign(version, version + 10);
        }
        return value;
    };

    const int last = code == 4 ? object : 2;
    Bytes reply{q[0], q[1], 0x0E, static_cast<uint8_t>(code),
                0x01, 0x00, 0x00, static_cast<uint8_t>(last - object + 1)};
    for (int id = object; id <= last; ++id) {
        const Bytes value = objectValue(id);
        reply.push_back(static_cast<uint8_t>(id));
        reply.push_back(static_cast<uint8_t>(value.size()));
        reply.insert(reply.end(), value.begin(), value.end());
    }
    appendCrc(reply);
    return reply;
}

} // namespace sim
