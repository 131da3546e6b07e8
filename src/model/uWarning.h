// A warning from below the windows (a settings file that cannot be written), told to the
// operator by whatever the window layer installs. Until something is installed it goes to
// standard error, as it would in a run where nobody can answer a box.
#pragma once

#include <QString>

using TWarningHandler = void (*)(const QString& title, const QString& text);

// nullptr returns to standard error.
void SetWarningHandler(TWarningHandler handler);
void ShowWarning(const QString& title, const QString& text);
