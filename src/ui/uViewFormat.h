// Number texts of the live view.
#pragma once

#include <QString>

#include <cstdint>

// A value in fixed notation with the given digits after the decimal point and at most five
// significant digits; a value with more than five integer digits is written in exponent form.
// Uses the operator's decimal separator.
QString FloatText(double value, int digits = 1);

// A module's error rate: "0" for a module never counted, else the share of frames not
// acknowledged, in percent with one decimal.
QString ModuleErrRateText(uint32_t sent, uint32_t ackOk);
