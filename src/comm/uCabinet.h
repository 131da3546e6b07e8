// The cabinet values that windows and commands read: those of the link, once one exists.
// Before a link exists (a window shown first, a window's test on its own) they read a stand-in
// that no reply fills, so nothing is read through a null link.
#pragma once

#include "model/uCabinetValues.h"

TCabinetValues& Cabinet();
