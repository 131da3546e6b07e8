#include "ui/uMenuFlags.h"

bool FlagCharOn(const QString& flags, int n)
{
    return n >= 1 && n <= flags.size() && flags.at(n - 1) == QLatin1Char('1');
}

void SetFlagChar(QString& flags, int n, bool on)
{
    if (n < 1) return;
    if (flags.size() < n) flags = flags.leftJustified(n, QLatin1Char('0'));
    flags[n - 1] = on ? QLatin1Char('1') : QLatin1Char('0');
}
