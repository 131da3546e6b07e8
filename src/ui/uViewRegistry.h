// The views that `zyrtool --window OBJECTNAME` can open after start-up. The main window
// registers each view it opens with the same handler as its menu item or button; editors
// behind the password prompt are not registered.
#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class QWidget;

void RegisterView(const QString& objectName, std::function<void()> open);
// Opens a registered view; false when no view has that name.
bool OpenRegisteredView(const QString& objectName);
QStringList RegisteredViews();
void ClearRegisteredViews();

// The shown top-level window with that object name, or nullptr.
QWidget* FindShownWindow(const QString& objectName);
