#include "settings/UFrmSetBit.h"

#include "model/uDataFunc.h"
#include "model/uRegisters.h"
#include "settings/uMaskBitNames.h"
#include "ui/uCaptions.h"
#include "ui/uCheckCell.h"
#include "ui/uHexEdit.h"
#include "ui/uNamed.h"
#include "ui/uReqSlots.h"
#include "ui/uStringGrid.h"
#include "ui/uWindowCaptions.h"
#include "ui/uWindowFlags.h"

#include <QFontMetrics>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QShowEvent>
#include <QTableWidget>

#include <algorithm>

uint8_t MaskChannel = 0;
uint16_t MaskValue = 0;

namespace {
constexpr int GridCols = 3;
constexpr int GridRows = 17; // a heading row and one row per bit
constexpr int RowHeight = 18;
constexpr int CheckCol = 2;
// The grid's own widths; a column is widened when its texts need more room.
constexpr int BaseWidths[GridCols] = {25, 184, 30};
constexpr int Margin = 12;

constexpr uint8_t FuncWriteSingle = 6;
constexpr uint8_t FuncReadHolding = 3;

// Row r of the grid stands for bit 16 - r.
int bitOfRow(int row) { return 16 - row; }
} // namespace

TFrmSetBit::TFrmSetBit(QWidget* parent)
    : QDialog(parent, FixedDialogFlags)
{
    setObjectName(QStringLiteral("FrmSetBit"));
    lblTopicInfo = MakeNamed<QLabel>(this, "lblTopicInfo");
    QFont bold = lblTopicInfo->font();
    bold.setBold(true);
    lblTopicInfo->setFont(bold);
    edtMskVal = MakeCodeField(this, "edtMskVal");
    strGrid = MakeNamed<QTableWidget>(this, "strGrid");
    ShapeGrid(strGrid, GridCols, GridRows, BaseWidths, 245, GridRows * RowHeight + 2);
    strGrid->setItemDelegateForColumn(CheckCol, new TCheckCellDelegate(1, strGrid));
    strGrid->viewport()->installEventFilter(this);
    for (int r = 1; r < GridRows; ++r) {
        SetCell(strGrid, 0, r, QString::number(r));
        strGrid->item(r, 0)->setTextAlignment(Qt::AlignCenter);
    }
    lblExplain = MakeNamed<QLabel>(this, "lblExplain");
    btnOK = MakeNamed<QPushButton>(this, "btnOK");
    btnCancel = MakeNamed<QPushButton>(this, "btnCancel");
    btnOK->setAutoDefault(false);
    btnCancel->setAutoDefault(false);
    connect(btnOK, &QPushButton::clicked, this, [this] { btnOKClick(); });
    connect(btnCancel, &QPushButton::clicked, this, [this] { btnCancelClick(); });
    ApplyCaptions();
    ShowMaskValue();
    placeComponents();
}

void TFrmSetBit::ApplyCaptions()
{
    ApplyCaptionTable({WindowCaptionRow(this),
                       {lblExplain, "Note: Checked is Function Enable", "说明: 选中则对应功能使能"},
                       {btnOK, "OK", "确定"},
                       {btnCancel, "Cancel", "取消"}});
    SetCell(strGrid, 0, 0, LangText("Index", "序号"));
    SetCell(strGrid, 1, 0, LangText("Description", "说明"));
    lblTopicInfo->setText(MaskTitle(MaskChannel));
    for (int r = 1; r < GridRows; ++r) SetCell(strGrid, 1, r, MaskBitName(MaskChannel, bitOfRow(r)));
}

// The columns get the grid's widths, or more where a heading or a bit name of any word needs
// it in the current language, so that no name is cut off and the window keeps one size.
void TFrmSetBit::placeComponents()
{
    const QFontMetrics fm(strGrid->font());
    const int pad = 10;
    int widths[GridCols] = {BaseWidths[0], BaseWidths[1], BaseWidths[2]};
    widths[0] = std::max({widths[0], fm.horizontalAdvance(CellText(strGrid, 0, 0)) + pad,
                          fm.horizontalAdvance(QStringLiteral("16")) + pad});
    widths[1] = std::max(widths[1], fm.horizontalAdvance(CellText(strGrid, 1, 0)) + pad);
    for (int c = 1; c <= MaskChannelCount; ++c)
        for (int b = 0; b < 16; ++b)
            widths[1] = std::max(widths[1], fm.horizontalAdvance(MaskBitName(c, b)) + pad);
    const int frame = 2 * strGrid->frameWidth();
    int gridWidth = frame;
    for (int c = 0; c < GridCols; ++c) {
        strGrid->setColumnWidth(c, widths[c]);
        gridWidth += widths[c];
    }
    const int gridHeight = GridRows * RowHeight + frame;
    strGrid->resize(gridWidth, gridHeight);
    for (int r = 0; r < GridRows; ++r) strGrid->setRowHeight(r, RowHeight);

    const int editWidth = 64;
    const int top = Margin;
    edtMskVal->setGeometry(Margin + gridWidth - editWidth, top, editWidth, 24);
    lblTopicInfo->setGeometry(Margin, top, gridWidth - editWidth - 8, 24);
    strGrid->move(Margin, top + 32);
    const int below = top + 32 + gridHeight + 8;
    lblExplain->setGeometry(Margin, below, gridWidth, 20);
    const int buttonWidth = 80;
    btnCancel->setGeometry(Margin + gridWidth - buttonWidth, below + 28, buttonWidth, 28);
    btnOK->setGeometry(btnCancel->x() - buttonWidth - 12, below + 28, buttonWidth, 28);
    setFixedSize(gridWidth + 2 * Margin, below + 28 + 28 + Margin);
}

void TFrmSetBit::FormShow()
{
    ApplyCaptions();
    placeComponents();
    ShowMaskValue();
}

void TFrmSetBit::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous()) FormShow();
}

void TFrmSetBit::ShowMaskValue()
{
    SetHexWord(edtMskVal, MaskValue);
    for (int r = 1; r < GridRows; ++r)
        SetCell(strGrid, CheckCol, r,
                (MaskValue >> bitOfRow(r)) & 1 ? QStringLiteral("1") : QStringLiteral("0"));
}

void TFrmSetBit::strGridMouseDown(int col, int row)
{
    if (col != CheckCol || row < 1 || row >= GridRows) return;
    MaskValue = static_cast<uint16_t>(MaskValue ^ (1u << bitOfRow(row)));
    ShowMaskValue();
}

// Only a press of the left button on a check cell counts; the heading row, the other
// columns and the keyboard change nothing. A double click is two presses.
bool TFrmSetBit::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == strGrid->viewport() &&
        (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick)) {
        const auto* me = static_cast<QMouseEvent*>(event);
        if (me->button() == Qt::LeftButton) {
            const QModelIndex index = strGrid->indexAt(me->position().toPoint());
            if (index.isValid()) strGridMouseDown(index.column(), index.row());
        }
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

// The write-enable command in slot 1, the word in slot 2 and a read-back of all ten words in
// slot 3: all three or none.
bool TFrmSetBit::sendMask()
{
    if (MaskChannel < 1 || MaskChannel > MaskChannelCount) return false;
    return QueueWrite(this, {{1, FuncWriteSingle, RegWriteEnable, 0, WriteEnableValue},
                             {2, FuncWriteSingle, MaskRegister(MaskChannel), 0, MaskValue},
                             {3, FuncReadHolding, RegMaskFirst, MaskChannelCount}}) == TWriteOutcome::Queued;
}

void TFrmSetBit::btnOKClick()
{
    // A refused write keeps the window open with the operator's bits, so OK can be pressed
    // again.
    if (sendMask()) accept();
}

void TFrmSetBit::btnCancelClick() { reject(); }
