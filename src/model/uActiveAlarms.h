// The alarms a cabinet's status block reports now, by name: the bits of the alarm-bit list
// that are set, each named by the alarm text of its row.
#pragma once

#include "model/uUpsInfo.h"

#include <QList>
#include <QStringList>

// Rows 1-16 are CmmAlmH bits 15..0, rows 17-26 CmmAlmL bits 15..6, rows 27-42 InvAlmH bits
// 15..0, rows 43-51 InvAlmL bits 15..7; row r is alarm code r. In the current language.
QStringList ActiveAlarmNames(const TStatusBlock& block);
// The codes of those alarms, in the same order.
QList<int> ActiveAlarmCodes(const TStatusBlock& block);
