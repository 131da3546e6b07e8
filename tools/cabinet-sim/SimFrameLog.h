// One line per frame received and sent: time, direction, bytes in hex, and what was done to it.
#pragma once

#include <QFile>
#include <QString>

#include <cstdint>
#include <vector>

namespace sim {

class FrameLog {
public:
    bool open(const QString& path, QString& error);
    // direction is "RX", "TX" or "DISCARD".
    void write(const char* direction, const std::vector<uint8_t>& bytes, const QString& note = QString());

private:
    QFile file_;
};

} // namespace sim
