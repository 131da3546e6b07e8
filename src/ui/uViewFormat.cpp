#include "ui/uViewFormat.h"

#include <QLocale>

#include <cmath>

namespace {
constexpr int Precision = 5;

// Digits to the left of the decimal point (0 for values below 1).
int integerDigits(double a) { return a < 1.0 ? 0 : static_cast<int>(std::floor(std::log10(a))) + 1; }

// The operator's locale without group separators. Kept while the default locale stays the
// same: a locale with options of its own is a new allocation, and the live view formats every
// value it shows.
const QLocale& viewLocale()
{
    static thread_local QLocale base;
    static thread_local QLocale view = [] {
        QLocale l = base;
        l.setNumberOptions(QLocale::OmitGroupSeparator);
        return l;
    }();
    const QLocale current;
    if (!(current == base)) {
        base = current;
        view = current;
        view.setNumberOptions(QLocale::OmitGroupSeparator);
    }
    return view;
}
} // namespace

QString FloatText(double value, int digits)
{
    const QLocale& locale = viewLocale();
    if (!std::isfinite(value)) return locale.toString(value);
    // Round to five significant digits first, then show the asked-for decimals: 12345.67
    // reads 12346.0, 1234.56 reads 1234.6.
    double a = std::fabs(value);
    int intDigits = integerDigits(a);
    if (intDigits <= Precision) {
        const int keep = std::min(digits, Precision - intDigits);
        const double scale = std::pow(10.0, keep);
        double rounded = std::round(a * scale) / scale;
        if (integerDigits(rounded) <= Precision) {
            QString text = locale.toString(rounded, 'f', digits);
            if (value < 0 && rounded != 0.0) text.prepend(locale.negativeSign());
            return text;
        }
    }
    return locale.toString(value, 'E', Precision - 1);
}

QString ModuleErrRateText(uint32_t sent, uint32_t ackOk)
{
    if (sent < 1) return QStringLiteral("0");
    return FloatText(100.0 - static_cast<double>(ackOk) * 100.0 / static_cast<double>(sent), 1);
}
