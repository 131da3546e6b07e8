#include "support/TestSupport.h"

#include "model/uTrendRing.h"

#include <QFile>
#include <gtest/gtest.h>

#include "comm/uCrc16.h"
#include "comm/uKModbus.h"
#include "comm/uLinkState.h"
#include "model/UShareData.h"
#include "ui/uPassword.h"
#include "ui/uUiSeam.h"

void ResetAll()
{
    ResetSharedData();
    ResetLinkState();
    SetLinkMainHooks(nullptr);
    SetLinkTraceHooks(nullptr);
    SetModuleStoredHandler(nullptr, nullptr);
    SetMessageBoxHandler(nullptr);
    SetModalHandler(nullptr);
    SetFileDialogHandler(nullptr);
    AcceptedPsw.clear();
    TrendRing.Clear();
}

std::vector<uint8_t> HexBytes(const char* text)
{
    std::vector<uint8_t> out;
    const QByteArray bytes = QByteArray::fromHex(QByteArray(text).replace(' ', ""));
    out.assign(bytes.begin(), bytes.end());
    return out;
}

QString HexLine(const uint8_t* bytes, int count)
{
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(bytes), count).toHex(' ').toUpper());
}

std::vector<uint8_t> WithCrc(std::vector<uint8_t> frame)
{
    const uint16_t crc = Crc16(frame.data(), static_cast<int>(frame.size()));
    frame.push_back(crc & 0xFF);
    frame.push_back(crc >> 8);
    return frame;
}

QByteArray FileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}
