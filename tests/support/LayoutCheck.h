// Checks a window's layout the way a person looks at its picture: every shown component lies
// inside its parent, and every caption fits its component (nothing cut off). Also saves the
// picture when ZYR_SHOT_DIR names a folder, so that it can be looked at.
#pragma once

#include <QAbstractButton>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPixmap>
#include <QStringList>
#include <QWidget>

#include <algorithm>

// Names of the shown components that stick out of their parent or whose text does not fit.
inline QStringList CutOffWidgets(QWidget* window)
{
    QStringList bad;
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (!w->isVisibleTo(window) || w->isWindow() || w->objectName().isEmpty()) continue;
        QWidget* parent = w->parentWidget();
        if (parent && !parent->rect().contains(w->geometry()) && !qobject_cast<QAbstractScrollArea*>(parent))
            bad << w->objectName() + QStringLiteral(" outside ") + parent->objectName();
        int needed = 0;
        if (auto* label = qobject_cast<QLabel*>(w))
            needed = label->sizeHint().width();
        else if (auto* button = qobject_cast<QAbstractButton*>(w))
            needed = button->sizeHint().width();
        else if (auto* group = qobject_cast<QGroupBox*>(w))
            needed = group->fontMetrics().horizontalAdvance(group->title()) + 16;
        else if (auto* list = qobject_cast<QListWidget*>(w))
            needed = list->sizeHintForColumn(0) + list->width() - list->viewport()->width();
        if (needed > w->width())
            bad << QStringLiteral("%1 needs %2 of %3").arg(w->objectName()).arg(needed).arg(w->width());
    }
    return bad;
}

// Saves the window's picture as ZYR_SHOT_DIR/name.png when that folder is given.
inline void SavePicture(QWidget* window, const QString& name)
{
    const QString folder = qEnvironmentVariable("ZYR_SHOT_DIR");
    if (folder.isEmpty()) return;
    QDir().mkpath(folder);
    window->grab().save(QDir(folder).filePath(name + QStringLiteral(".png")));
}
