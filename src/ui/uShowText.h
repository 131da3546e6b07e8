// Display fields written by timers: the text is set only when it differs from what the field
// shows. A refresh that runs every tick then costs a comparison instead of a new text layout,
// an accessibility notice and a repaint; the fields written this way are read-only displays,
// so no cursor or selection of the operator's is in play.
#pragma once

#include <QString>

class QLabel;
class QLineEdit;

void ShowText(QLineEdit* field, const QString& text);
void ShowText(QLabel* label, const QString& text);
