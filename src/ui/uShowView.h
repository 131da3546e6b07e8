// How the main window shows a view that is not modal (UPS parameters, event records, trend,
// journal, trace, ...): the first time and every time it was closed, centred on the window it
// was opened from, as the dialogs are, so that it never lands on that window's menu bar; when
// it is open already, only brought to the front where the operator left it. Escape closes it.
#pragma once

class QPoint;
class QSize;
class QWidget;

void ShowViewOver(QWidget* view, QWidget* owner);

// Where a window of that size stands centred on owner, its title bar kept on owner's screen.
QPoint CentredOn(const QWidget* owner, const QSize& size);
