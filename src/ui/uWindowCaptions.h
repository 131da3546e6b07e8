// The captions of the windows, by object name, in one table: each window takes its own caption
// from here, and whatever names a window by its object name (the service journal's rows) shows
// the same caption.
#pragma once

#include "ui/uCaptions.h"

#include <QString>

class QWidget;

// The caption of the window with that object name in the current language; empty for a name
// the table does not hold.
QString WindowCaptionText(const QString& objectName);

// The caption row of a window's own ApplyCaptions table.
TCaptionRow WindowCaptionRow(QWidget* window);
