#include "model/uActiveAlarms.h"

#include "model/uDataFunc.h"

QList<int> ActiveAlarmCodes(const TStatusBlock& b)
{
    struct Span {
        uint16_t word;
        int firstRow, topBit, lowBit;
    };
    const Span spans[] = {{b.CmmAlmH, 1, 15, 0}, {b.CmmAlmL, 17, 15, 6}, {b.InvAlmH, 27, 15, 0}, {b.InvAlmL, 43, 15, 7}};
    QList<int> codes;
    for (const Span& s : spans) {
        for (int bit = s.topBit; bit >= s.lowBit; --bit)
            if (s.word & (1u << bit)) codes << s.firstRow + (s.topBit - bit);
    }
    return codes;
}

QStringList ActiveAlarmNames(const TStatusBlock& b)
{
    QStringList names;
    for (int code : ActiveAlarmCodes(b)) names << AlarmText(code);
    return names;
}
