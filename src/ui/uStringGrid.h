// String-grid helpers: a QTableWidget used as a grid whose row 0 and column 0 are headings,
// addressed like the cells of a string grid (column first).
#pragma once

#include <QString>

class QTableWidget;

// Gives the grid its shape: columns, rows (the heading row and column included), column
// widths and its outer size. Heading cells are shaded and no cell can be edited.
void ShapeGrid(QTableWidget* grid, int cols, int rows, const int* colWidths, int width, int height);
void SetCell(QTableWidget* grid, int col, int row, const QString& text);
QString CellText(const QTableWidget* grid, int col, int row);
