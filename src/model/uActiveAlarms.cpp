#include "model/uActiveAlarms.h"

#include "model/uDataFunc.h"

QStringList ActiveAlarmNames(const TStatusBlock& b)
{
    struct Span {
        uint16_t word;
        int firstRow, topBit, lowBit;
    };
    const Span spans[] = {{b.CmmAlmH, 1, 15, 0}, {b.CmmAlmL, 17, 15, 6}, {b.InvAlmH, 27, 15, 0}, {b.InvAlmL, 43, 15, 7}};
    QStringList names;
    for (const Span& s : spans) {
        for (int bit = s.topBit; bit >= s.lowBit; --bit)
            if (s.word & (1u << bit)) names << AlarmText(s.firstRow + (s.topBit - bit));
    }
    return names;
}
