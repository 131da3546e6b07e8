#include "ui/uShowView.h"

#include <QKeySequence>
#include <QScreen>
#include <QShortcut>
#include <QWidget>

namespace {
const char* const EscapeName = "scEscapeCloses";
}

QPoint CentredOn(const QWidget* owner, const QSize& size)
{
    const QRect over = owner->frameGeometry();
    QPoint at = over.center() - QPoint(size.width() / 2, size.height() / 2);
    if (const QScreen* screen = owner->screen()) {
        // The title bar stays on the screen, where it can be taken and moved.
        const QRect room = screen->availableGeometry();
        at.setX(qBound(room.left(), at.x(), qMax(room.left(), room.right() - size.width())));
        at.setY(qBound(room.top(), at.y(), qMax(room.top(), room.bottom() - size.height())));
    }
    return at;
}

void ShowViewOver(QWidget* view, QWidget* owner)
{
    if (!view) return;
    if (!view->findChild<QShortcut*>(QLatin1String(EscapeName), Qt::FindDirectChildrenOnly)) {
        auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), view);
        escape->setObjectName(QLatin1String(EscapeName));
        escape->setContext(Qt::WindowShortcut);
        QObject::connect(escape, &QShortcut::activated, view, &QWidget::close);
    }
    if (!view->isVisible() && owner) {
        view->ensurePolished();
        view->move(CentredOn(owner, view->size()));
    }
    view->show();
    view->raise();
    view->activateWindow();
}
