#include "ui/uViewRegistry.h"

#include <QApplication>
#include <QWidget>

#include <map>

namespace {
std::map<QString, std::function<void()>>& views()
{
    static std::map<QString, std::function<void()>> v;
    return v;
}
} // namespace

void RegisterView(const QString& objectName, std::function<void()> open)
{
    views()[objectName] = std::move(open);
}

bool OpenRegisteredView(const QString& objectName)
{
    auto it = views().find(objectName);
    if (it == views().end()) return false;
    it->second();
    return true;
}

QStringList RegisteredViews()
{
    QStringList names;
    for (const auto& v : views()) names << v.first;
    return names;
}

void ClearRegisteredViews() { views().clear(); }

QWidget* FindShownWindow(const QString& objectName)
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == objectName && w->isVisible()) return w;
    return nullptr;
}
