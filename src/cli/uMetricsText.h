// A metrics snapshot in the Prometheus text format 0.0.4: each family once, with its HELP and
// TYPE lines and its samples, values in base units (seconds, watts, ratios 0..1), every series
// of a cabinet labelled with its address. A family with no sample is left out.
#pragma once

#include "cli/uMetricsSnapshot.h"

#include <QByteArray>
#include <QString>

// The content type of that text, for an HTTP reply.
extern const char* const MetricsContentType;

QByteArray MetricsText(const TMetricsSnapshot& snapshot);

// A label value as the format writes it between its quotes: backslash, double quote and line
// feed escaped.
QString EscapeLabelValue(const QString& value);
