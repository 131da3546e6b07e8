#include "model/uDataFunc.h"

#include "model/UShareData.h"

QString LangText(const char* en, const char* zh)
{
    return QString::fromUtf8(IsChinese() ? zh : en);
}

QString HexWord(uint32_t value)
{
    return QStringLiteral("%1").arg(value & 0xFFFFu, 4, 16, QLatin1Char('0')).toUpper();
}

// The code tables are filled in with the texts issue; until then every code reads empty.
QString StateText(int) { return {}; }
QString EventText(int) { return {}; }
QString AlarmText(int) { return {}; }
QString SupplyModeText(int) { return {}; }
QString InvModeText(int) { return {}; }
