#include "SimFrameLog.h"

#include <QByteArray>
#include <QDateTime>

namespace sim {

bool FrameLog::open(const QString& path, QString& error)
{
    file_.setFileName(path);
    if (!file_.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        error = file_.errorString();
        return false;
    }
    return true;
}

void FrameLog::write(const char* direction, const std::vector<uint8_t>& bytes, const QString& note)
{
    if (!file_.isOpen()) return;
    QByteArray line = QDateTime::currentDateTime().toString(QStringLiteral("HH:mm:ss.zzz")).toLatin1();
    line += ' ';
    line += direction;
    line += ' ';
    line += QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<int>(bytes.size()))
                .toHex(' ')
                .toUpper();
    if (!note.isEmpty()) line += " # " + note.toLatin1();
    line += '\n';
    file_.write(line);
    file_.flush();
}

} // namespace sim
