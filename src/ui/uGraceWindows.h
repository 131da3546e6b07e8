// The windows whose presence keeps the password grace period of the main window running.
// Each window registers a probe that tells whether it exists and is visible; a window not
// built into the program has no probe and counts as closed.
#pragma once

#include <functional>

enum class TGraceWindow {
    UpsPara,   // UPS parameters window
    ZyrCfg,    // cabinet configuration view
    Mask,      // alarm mask window
    DataSet,   // data set window
    EdtZyrCfg, // cabinet configuration edit window
};

void SetGraceWindowProbe(TGraceWindow window, std::function<bool()> isOpen);
bool GraceWindowOpen(TGraceWindow window);
// Removes every probe (tests).
void ClearGraceWindowProbes();

// The grace rule of one period: the counter drops to 0 when none of the windows that start
// a guarded edit is open; it counts down while none of the edit windows is open; it holds
// while an edit window is open.
int NextPswGraceCount(int count);
