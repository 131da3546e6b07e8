#include "ui/uCaptions.h"

#include "model/uDataFunc.h"

#include <QAbstractButton>
#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QStackedWidget>
#include <QTabWidget>

QString CaptionText(const TCaptionRow& row) { return LangText(row.en, row.zh); }

namespace {
// A page of a tab widget sits in the widget's stack; its caption is its tab's text.
bool setTabCaption(QWidget* page, const QString& text)
{
    QWidget* stack = page->parentWidget();
    if (!stack || !qobject_cast<QStackedWidget*>(stack)) return false;
    auto* tabs = qobject_cast<QTabWidget*>(stack->parentWidget());
    if (!tabs) return false;
    const int index = tabs->indexOf(page);
    if (index < 0) return false;
    tabs->setTabText(index, text);
    return true;
}
} // namespace

void SetCaption(QObject* target, const QString& text)
{
    if (!target) return;
    if (auto* menu = qobject_cast<QMenu*>(target)) {
        menu->setTitle(text);
    } else if (auto* action = qobject_cast<QAction*>(target)) {
        action->setText(text);
    } else if (auto* button = qobject_cast<QAbstractButton*>(target)) {
        button->setText(text);
    } else if (auto* label = qobject_cast<QLabel*>(target)) {
        label->setText(text);
    } else if (auto* group = qobject_cast<QGroupBox*>(target)) {
        group->setTitle(text);
    } else if (auto* widget = qobject_cast<QWidget*>(target)) {
        if (widget->isWindow())
            widget->setWindowTitle(text);
        else if (!setTabCaption(widget, text))
            widget->setWindowTitle(text);
    }
}

void ApplyCaptionTable(std::initializer_list<TCaptionRow> rows)
{
    for (const TCaptionRow& row : rows) SetCaption(row.target, CaptionText(row));
}
