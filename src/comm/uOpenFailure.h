// The text a window shows when the serial port cannot be opened: the port's own message as it
// stands, then the device and the system's reason, and for a refused permission on Linux how
// to get it.
#pragma once

#include "comm/SPComm.h"

#include <QString>

QString OpenFailureText(const ECommsError& error);
