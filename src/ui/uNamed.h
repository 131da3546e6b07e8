// The named-child factory: every component of a window is made here, so that its object
// name is its component name and tests find it with findChild<T*>("btnSet").
#pragma once

#include <QRect>
#include <QString>
#include <QWidget>

// Names an object that already exists (a layout's child, a timer, an action).
template <class T> T* Named(T* object, const char* name)
{
    object->setObjectName(QLatin1String(name));
    return object;
}

// A new component of the given kind, owned by parent, named name, placed at geometry when
// one is given (an empty rectangle leaves the placing to a layout or to later code).
template <class T> T* MakeNamed(QWidget* parent, const char* name, const QRect& geometry = QRect())
{
    T* w = Named(new T(parent), name);
    if (!geometry.isNull()) w->setGeometry(geometry);
    return w;
}
