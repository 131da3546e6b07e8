#include "settings/uOptionCodes.h"

namespace {
const char* const baudView[] = {"2400 bps", "4800 bps", "9600 bps"};
const char* const baudItems[] = {"2400bps", "4800bps", "9600bps"};
const char* const protocols[] = {"0: Battery Monitor", "1: Vemra Modbus", "2: Thermometer"};

QStringList listOf(const char* const (&texts)[3])
{
    return {QLatin1String(texts[0]), QLatin1String(texts[1]), QLatin1String(texts[2])};
}
} // namespace

int OptItemIndex(int code) { return code >= 0 && code <= 2 ? code : -1; }

QString OptBaudText(int code)
{
    const int i = OptItemIndex(code);
    return i < 0 ? QString() : QLatin1String(baudView[i]);
}

QString OptProtocolText(int code)
{
    const int i = OptItemIndex(code);
    return i < 0 ? QString() : QLatin1String(protocols[i]);
}

QStringList OptBaudItems() { return listOf(baudItems); }
QStringList OptProtocolItems() { return listOf(protocols); }
