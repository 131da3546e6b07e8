#include "ui/uStringGrid.h"

#include <QHeaderView>
#include <QTableWidget>

void ShapeGrid(QTableWidget* grid, int cols, int rows, const int* colWidths, int width, int height)
{
    grid->setColumnCount(cols);
    grid->setRowCount(rows);
    grid->horizontalHeader()->hide();
    grid->verticalHeader()->hide();
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setSelectionMode(QAbstractItemView::NoSelection);
    grid->setFocusPolicy(Qt::NoFocus);
    grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grid->setWordWrap(false);
    grid->setTextElideMode(Qt::ElideNone);
    for (int c = 0; c < cols; ++c) grid->setColumnWidth(c, colWidths[c]);
    grid->resize(width, height);
    // Rows share the height the grid gives them.
    const int frame = 2 * grid->frameWidth();
    const int rowHeight = (height - frame) / rows;
    grid->verticalHeader()->setMinimumSectionSize(8);
    for (int r = 0; r < rows; ++r) grid->setRowHeight(r, rowHeight);
    const QColor heading = grid->palette().color(QPalette::Button);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c) {
            QTableWidgetItem* item = grid->item(r, c);
            if (!item) {
                item = new QTableWidgetItem;
                grid->setItem(r, c, item);
            }
            item->setFlags(Qt::ItemIsEnabled);
            if (r == 0 || c == 0) item->setBackground(heading);
            item->setTextAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        }
}

void SetCell(QTableWidget* grid, int col, int row, const QString& text)
{
    QTableWidgetItem* item = grid->item(row, col);
    if (!item) {
        item = new QTableWidgetItem;
        item->setFlags(Qt::ItemIsEnabled);
        grid->setItem(row, col, item);
    }
    if (item->text() != text) item->setText(text);
}

QString CellText(const QTableWidget* grid, int col, int row)
{
    const QTableWidgetItem* item = grid->item(row, col);
    return item ? item->text() : QString();
}
