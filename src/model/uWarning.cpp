#include "model/uWarning.h"

#include <cstdio>

namespace {
TWarningHandler warningHandler = nullptr;
}

void SetWarningHandler(TWarningHandler handler) { warningHandler = handler; }

void ShowWarning(const QString& title, const QString& text)
{
    if (warningHandler) {
        warningHandler(title, text);
        return;
    }
    std::fprintf(stderr, "%s: warning: %s\n", qPrintable(title),
                 qPrintable(QString(text).replace(QLatin1Char('\n'), QStringLiteral("\n  "))));
    std::fflush(stderr);
}
