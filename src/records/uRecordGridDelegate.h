// How the record grid draws a cell: the text 2 pixels right of the cell's left edge, and a
// text a little too wide for its column drawn narrower instead of cut, so that the columns
// keep their widths and the time stamps stay whole.
#pragma once

#include <QStyledItemDelegate>

class TRecordGridDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    // Narrowest drawing of a text, as a fraction of its natural width; wider texts are cut.
    static constexpr double MinSqueeze = 0.8;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
};
