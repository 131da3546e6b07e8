// The OPTION port's registers and the texts of its codes, shared by its view and its set
// window.
#pragma once

#include <QString>
#include <QStringList>

// The texts of the codes. The view writes the speed with a blank before the unit ("9600 bps"),
// the set window's items without ("9600bps"); the protocol texts are the same in both. A code
// outside 0 to 2 (also -1, nothing read yet) has no text and selects no item.
QString OptBaudText(int code);
QString OptProtocolText(int code);
QStringList OptBaudItems();
QStringList OptProtocolItems();
// The index of the item a code selects: the code itself for 0 to 2, otherwise -1.
int OptItemIndex(int code);
