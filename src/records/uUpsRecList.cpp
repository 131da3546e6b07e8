// The event-record window's grid: the records listed in the chosen order, and the grid
// events that fill the record detail window.
#include "records/uUpsRec.h"

#include "records/uRecDetail.h"
#include "records/uRecordGridDelegate.h"

#include "model/UShareData.h"
#include "model/uDataFunc.h"
#include "ui/uCaptions.h"
#include "ui/uGuard.h"
#include "ui/uNamed.h"
#include "ui/uPassword.h"
#include "ui/uReqSlots.h"
#include "ui/uUiSeam.h"
#include "ui/uWidgets.h"
#include "ui/uWindowFlags.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFocusEvent>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QWheelEvent>

#include <QKeyEvent>
#include <QSqlRecord>
#include <algorithm>

#include <cmath>

namespace {

// The grid's titled columns: field, English title, Chinese title, English and Chinese widths.
struct GridColumn {
    const char* field;
    const char* en;
    const char* zh;
    int widthEn;
    int widthZh;
};
const GridColumn GridColumns[] = {
    {"DevID", "DevId", "DevID", 20, 30},       {"RecNo", "Record", "记录号", 45, 45},
    {"UPSDate", "DateTime", "日期", 110, 110}, {"UpsState", "UPS State", "运行状态", 100, 100},
    {"ModuleID", "Module", "模块ID", 40, 40},  {"EventNo", "Event", "事件", 130, 130},
    {"AlarmNo", "Alarm", "告警", 130, 130},
};

} // namespace

int TfrmUpsRec::CurrentRowNo() const
{
    const QModelIndex at = DBGrd1->currentIndex();
    return at.isValid() ? at.row() + 1 : 0;
}

void TfrmUpsRec::RefreshList()
{
    int position = 0;
    if (list_->IsOpen()) position = CurrentRowNo();
    if (chkRecNo->isChecked()) position = intgrtptRec->value();
    if (position < 0) position = 0;

    // The list is read again in the order chosen (the grid keeps its columns when only the
    // rows changed).
    if (!db_.IsOpen() && !db_.OpenRecordDb()) reportDbProblem(db_.OpenError(), db_.ForeignFile());
    QString error;
    if (!db_.IsOpen())
        list_->CloseList();
    else if (!list_->OpenList(rgIDOrderby->ItemIndex() == 1, &error))
        reportDbProblem(error, false);

    if (list_->IsOpen()) {
        SetupGridColumns();
        const int rows = list_->rowCount();
        int row = 0;
        if (rows > 1 && position > 0) row = (position < rows ? position : rows) - 1;
        if (rows > 0) {
            // A shown column: the view does not scroll to a cell of a hidden one.
            const QModelIndex at = list_->index(row, std::max(0, list_->FieldIndex(QStringLiteral("RecNo"))));
            DBGrd1->setCurrentIndex(at);
            DBGrd1->selectionModel()->select(at,
                                             QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
            DBGrd1->scrollTo(at);
        }
    }
    lblCntErr->setText(QString::number(TempFixCount));
    lblCntErr->setVisible(TempFixCount >= 1);
}

void TfrmUpsRec::SetupGridColumns()
{
    const QStringList fields = list_->FieldNames();
    QStringList titles;
    QHeaderView* header = DBGrd1->horizontalHeader();
    header->setMinimumSectionSize(0);
    for (int c = 0; c < fields.size(); ++c) {
        const GridColumn* shown = nullptr;
        for (const GridColumn& g : GridColumns)
            if (fields.at(c) == QLatin1String(g.field)) shown = &g;
        if (shown) {
            titles << LangText(shown->en, shown->zh);
            DBGrd1->setColumnHidden(c, false);
            DBGrd1->setColumnWidth(c, IsChinese() ? shown->widthZh : shown->widthEn);
        } else {
            titles << QString();
            DBGrd1->setColumnWidth(c, 0);
            DBGrd1->setColumnHidden(c, true);
        }
    }
    list_->SetTitles(titles);
}

void TfrmUpsRec::rgIDOrderbyClick() { RefreshList(); }

// ---- The detail view ----

void TfrmUpsRec::FillDetail()
{
    DetailRec = TDetailRec();
    const int row = CurrentRowNo() - 1;
    if (row >= 0) {
        const QSqlRecord rec = list_->RowRecord(row);
        struct Target {
            const char* field;
            uint16_t TDetailRec::*member;
        };
        static const Target targets[] = {
            {"CMMState", &TDetailRec::CMMState},      {"CMMAlarmH", &TDetailRec::CMMAlarmH},
            {"CMMAlarmL", &TDetailRec::CMMAlarmL},    {"INVStateH", &TDetailRec::INVStateH},
            {"INVStateL", &TDetailRec::INVStateL},    {"INVAlarmH", &TDetailRec::INVAlarmH},
            {"INVAlarmL", &TDetailRec::INVAlarmL},    {"MontState", &TDetailRec::MontState},
            {"MontAlarm", &TDetailRec::MontAlarm},    {"InputV_A", &TDetailRec::InputV_A},
            {"InputV_B", &TDetailRec::InputV_B},      {"InputV_C", &TDetailRec::InputV_C},
            {"InputFreq", &TDetailRec::InputFreq},    {"OutputV_A", &TDetailRec::OutputV_A},
            {"OutputV_B", &TDetailRec::OutputV_B},    {"OutputV_C", &TDetailRec::OutputV_C},
            {"OutputI_A", &TDetailRec::OutputI_A},    {"OutputI_B", &TDetailRec::OutputI_B},
            {"OutputI_C", &TDetailRec::OutputI_C},    {"OutputFreq", &TDetailRec::OutputFreq},
            {"PBattV", &TDetailRec::PBattV},          {"NBattV", &TDetailRec::NBattV},
            {"PBattI", &TDetailRec::PBattI},          {"NBattI", &TDetailRec::NBattI},
            {"Temperature", &TDetailRec::Temperature}};
        for (int c = 0; c < rec.count(); ++c) {
            if (rec.isNull(c)) continue;
            const QString name = rec.fieldName(c);
            const QVariant v = rec.value(c);
            if (name == QLatin1String("RecNo")) {
                DetailRec.RecNo = v.toInt();
                if (chkRecNo->isChecked()) intgrtptRec->setValue(DetailRec.RecNo);
            } else if (name == QLatin1String("UPSDate")) {
                QDateTime when;
                DetailRec.DateText = IsValidDateTime(v.toString(), &when)
                                         ? when.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"))
                                         : v.toString();
            } else {
                for (const Target& t : targets) {
                    if (name != QLatin1String(t.field)) continue;
                    DetailRec.*t.member = static_cast<uint16_t>(std::llround(v.toDouble()));
                    break;
                }
            }
        }
    }
    if (TfrmRecDetail* detail = RecDetailWindow()) detail->ShowDetail();
}

void TfrmUpsRec::DBGrd1CellClick() { FillDetail(); }

void TfrmUpsRec::DBGrd1DblClick()
{
    TfrmRecDetail* detail = RecDetailWindow(true);
    detail->ShowDetail();
    detail->show();
    detail->raise();
}

void TfrmUpsRec::DBGrd1Exit()
{
    if (TfrmRecDetail* detail = RecDetailWindow()) detail->hide();
}

void TfrmUpsRec::GridWheel(int delta)
{
    // Towards the operator (negative) is one row down.
    const int key = delta < 0 ? Qt::Key_Down : Qt::Key_Up;
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(DBGrd1, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
    QApplication::sendEvent(DBGrd1, &release);
    FillDetail();
}
