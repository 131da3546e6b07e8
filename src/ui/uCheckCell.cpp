#include "ui/uCheckCell.h"

#include <QApplication>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionButton>

void TCheckCellDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                               const QModelIndex& index) const
{
    if (index.row() < fixedRows_) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    const QWidget* view = option.widget;
    QStyle* style = view ? view->style() : QApplication::style();
    painter->fillRect(option.rect, option.palette.brush(QPalette::Base));

    QStyleOptionButton box;
    if (view)
        box.initFrom(view);
    else
        box.palette = option.palette;
    box.state = QStyle::State_Enabled;
    box.state |=
        index.data(Qt::DisplayRole).toString() == QLatin1String("1") ? QStyle::State_On : QStyle::State_Off;
    const int w = style->pixelMetric(QStyle::PM_IndicatorWidth, &box, view);
    const int h = style->pixelMetric(QStyle::PM_IndicatorHeight, &box, view);
    box.rect = QRect(option.rect.x() + (option.rect.width() - w) / 2,
                     option.rect.y() + (option.rect.height() - h) / 2, w, h);
    style->drawPrimitive(QStyle::PE_IndicatorCheckBox, &box, painter, view);
}
