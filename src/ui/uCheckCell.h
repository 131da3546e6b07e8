// Grid cells that hold "1" or "0" drawn as the platform's own check box, centred in the cell
// on the window colour, instead of as text.
#pragma once

#include <QStyledItemDelegate>

class TCheckCellDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    // The first fixedRows rows are headings and are drawn as text.
    explicit TCheckCellDelegate(int fixedRows, QObject* parent = nullptr)
        : QStyledItemDelegate(parent), fixedRows_(fixedRows)
    {
    }
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

private:
    int fixedRows_;
};
