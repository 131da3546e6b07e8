#include "records/uRecordGridDelegate.h"

#include <QApplication>
#include <QPainter>

#include <algorithm>

void TRecordGridDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                const QModelIndex& index) const
{
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QString text = opt.text;
    opt.text.clear();
    const QWidget* widget = opt.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);

    const QRect cell = opt.rect.adjusted(2, 0, -1, 0);
    if (text.isEmpty() || cell.width() <= 0) return;
    painter->save();
    painter->setClipRect(opt.rect);
    painter->setFont(opt.font);
    const bool selected = opt.state & QStyle::State_Selected;
    painter->setPen(
        opt.palette.color(QPalette::Active, selected ? QPalette::HighlightedText : QPalette::Text));
    const int natural = opt.fontMetrics.horizontalAdvance(text);
    const double squeeze =
        natural > cell.width() ? std::max(MinSqueeze, double(cell.width()) / natural) : 1.0;
    painter->translate(cell.left(), cell.top());
    painter->scale(squeeze, 1.0);
    painter->drawText(QRectF(0, 0, cell.width() / squeeze, cell.height()), Qt::AlignLeft | Qt::AlignVCenter,
                      text);
    painter->restore();
}
