#include "records/uRecDetail.h"

#include "model/uDataFunc.h"
#include "ui/uCaptions.h"
#include "ui/uNamed.h"
#include "ui/uWidgets.h"
#include "ui/uWindowFlags.h"

#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>

TDetailRec DetailRec;

namespace {

QPointer<TfrmRecDetail> instance;

constexpr int FormWidth = 432;
constexpr int FormHeight = 420;

QLineEdit* MakeField(QWidget* parent, const char* name, const QRect& at)
{
    auto* e = MakeNamed<QLineEdit>(parent, name, at);
    e->setReadOnly(true);
    e->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return e;
}

QLabel* MakePanel(QWidget* parent, const char* name, const QRect& at)
{
    auto* p = MakeNamed<QLabel>(parent, name, at);
    p->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    p->setAlignment(Qt::AlignCenter);
    return p;
}

} // namespace

QString DetailValueText(double value) { return QString::number(value, 'f', 1); }

TfrmRecDetail* RecDetailWindow(bool create)
{
    if (!instance && create) instance = new TfrmRecDetail;
    return instance;
}

TfrmRecDetail::TfrmRecDetail(QWidget* parent) : QWidget(parent, FixedWindowFlags | Qt::WindowStaysOnTopHint)
{
    setObjectName(QStringLiteral("frmRecDetail"));
    setWindowTitle(QStringLiteral("Record Detail"));
    // Shown beside the grid without taking the focus from it.
    setAttribute(Qt::WA_ShowWithoutActivating);
    createComponents();
    move(470, 200);
    ApplyCaptions();
    ShowDetail();
    if (!instance) instance = this;
}

TfrmRecDetail::~TfrmRecDetail() = default;

void TfrmRecDetail::createComponents()
{
    setFixedSize(FormWidth, FormHeight);
    pnlID = MakePanel(this, "pnlID", QRect(8, 8, 120, 26));
    pnlDateTime = MakePanel(this, "pnlDateTime", QRect(136, 8, 288, 26));

    // Five columns of 76 pixels for the words.
    auto codeAt = [](int column, int row) { return QRect(12 + column * 80, 22 + row * 34, 76, 24); };
    grpCode = MakeNamed<QGroupBox>(this, "grpCode", QRect(8, 42, 416, 94));
    edtCMMState = MakeField(grpCode, "edtCMMState", codeAt(0, 0));
    edtINVStateH = MakeField(grpCode, "edtINVStateH", codeAt(1, 0));
    edtINVStateL = MakeField(grpCode, "edtINVStateL", codeAt(2, 0));
    redtSysState = MakeField(grpCode, "redtSysState", codeAt(3, 0));
    edtCMMAlarmH = MakeField(grpCode, "edtCMMAlarmH", codeAt(0, 1));
    edtCMMAlarmL = MakeField(grpCode, "edtCMMAlarmL", codeAt(1, 1));
    edtINVAlarmH = MakeField(grpCode, "edtINVAlarmH", codeAt(2, 1));
    edtINVAlarmL = MakeField(grpCode, "edtINVAlarmL", codeAt(3, 1));
    redtSysAlarm = MakeField(grpCode, "redtSysAlarm", codeAt(4, 1));
    grpCode->setEnabled(false);
    KeepLegibleWhenDisabled(grpCode);

    // A title column of 118 pixels, then the A, B, C and frequency columns; the frequency title
    // is wider than its column.
    grpValue = MakeNamed<QGroupBox>(this, "grpValue", QRect(8, 144, 416, 266));
    auto valueAt = [](int column, int row) { return QRect(128 + column * 66, 44 + row * 34, 60, 24); };
    auto titleAt = [](int row) { return QRect(8, 44 + row * 34, 118, 24); };
    auto headAt = [](int column) {
        return column == 3 ? QRect(306, 20, 106, 20) : QRect(128 + column * 66, 20, 60, 20);
    };
    lblPhaseA = MakeNamed<QLabel>(grpValue, "lblPhaseA", headAt(0));
    lblPhaseB = MakeNamed<QLabel>(grpValue, "lblPhaseB", headAt(1));
    lblPhaseC = MakeNamed<QLabel>(grpValue, "lblPhaseC", headAt(2));
    lblFrequency = MakeNamed<QLabel>(grpValue, "lblFrequency", headAt(3));
    for (QLabel* l : {lblPhaseA, lblPhaseB, lblPhaseC, lblFrequency}) l->setAlignment(Qt::AlignCenter);
    lblPhaseA->setText(QStringLiteral("A"));
    lblPhaseB->setText(QStringLiteral("B"));
    lblPhaseC->setText(QStringLiteral("C"));

    lblInputV = MakeNamed<QLabel>(grpValue, "lblInputV", titleAt(0));
    edtInputVA = MakeField(grpValue, "edtInputVA", valueAt(0, 0));
    edtInputVB = MakeField(grpValue, "edtInputVB", valueAt(1, 0));
    edtInputVC = MakeField(grpValue, "edtInputVC", valueAt(2, 0));
    redtInputFrq = MakeField(grpValue, "redtInputFrq", valueAt(3, 0));
    lblOutputV = MakeNamed<QLabel>(grpValue, "lblOutputV", titleAt(1));
    edtOutputVA = MakeField(grpValue, "edtOutputVA", valueAt(0, 1));
    edtOutputVB = MakeField(grpValue, "edtOutputVB", valueAt(1, 1));
    edtOutputVC = MakeField(grpValue, "edtOutputVC", valueAt(2, 1));
    redtOutputFrq = MakeField(grpValue, "redtOutputFrq", valueAt(3, 1));
    lblOutputI = MakeNamed<QLabel>(grpValue, "lblOutputI", titleAt(2));
    edtOutputIA = MakeField(grpValue, "edtOutputIA", valueAt(0, 2));
    edtOutputIB = MakeField(grpValue, "edtOutputIB", valueAt(1, 2));
    edtOutputIC = MakeField(grpValue, "edtOutputIC", valueAt(2, 2));
    lblBattV = MakeNamed<QLabel>(grpValue, "lblBattV", titleAt(3));
    redtPBattV = MakeField(grpValue, "redtPBattV", valueAt(0, 3));
    redtNBattV = MakeField(grpValue, "redtNBattV", valueAt(1, 3));
    lblBattI = MakeNamed<QLabel>(grpValue, "lblBattI", titleAt(4));
    redtPBattI = MakeField(grpValue, "redtPBattI", valueAt(0, 4));
    redtNBattI = MakeField(grpValue, "redtNBattI", valueAt(1, 4));
    lblTempe = MakeNamed<QLabel>(grpValue, "lblTempe", titleAt(5));
    redtTempe = MakeField(grpValue, "redtTempe", valueAt(0, 5));
}

void TfrmRecDetail::ApplyCaptions()
{
    ApplyCaptionTable({
        {grpCode, "Code", "内码"},
        {grpValue, "Data", "数据"},
        {lblInputV, "InputVolt(V)", "输入电压(V)"},
        {lblOutputV, "OutputVolt(V)", "输出电压(V)"},
        {lblOutputI, "OutputCurr(A)", "输出电流(A)"},
        {lblBattV, "Battery Volt(V)", "电池电压(V)"},
        {lblBattI, "Battery Curr(A)", "电池电流(A)"},
        {lblFrequency, "Frequency(Hz)", "频率(Hz)"},
        {lblTempe, "Temperature", "温度"},
    });
}

void TfrmRecDetail::ShowDetail()
{
    const TDetailRec& d = DetailRec;
    pnlID->setText(QString::number(d.RecNo));
    pnlDateTime->setText(d.DateText);
    const struct {
        QLineEdit* edit;
        uint16_t value;
    } words[] = {{edtCMMState, d.CMMState},   {edtINVStateH, d.INVStateH}, {edtINVStateL, d.INVStateL},
                 {redtSysState, d.MontState}, {edtCMMAlarmH, d.CMMAlarmH}, {edtCMMAlarmL, d.CMMAlarmL},
                 {edtINVAlarmH, d.INVAlarmH}, {edtINVAlarmL, d.INVAlarmL}, {redtSysAlarm, d.MontAlarm}};
    for (const auto& w : words) w.edit->setText(HexWord(w.value));
    const struct {
        QLineEdit* edit;
        uint16_t value;
    } values[] = {{edtInputVA, d.InputV_A},    {edtInputVB, d.InputV_B},      {edtInputVC, d.InputV_C},
                  {redtInputFrq, d.InputFreq}, {edtOutputVA, d.OutputV_A},    {edtOutputVB, d.OutputV_B},
                  {edtOutputVC, d.OutputV_C},  {redtOutputFrq, d.OutputFreq}, {edtOutputIA, d.OutputI_A},
                  {edtOutputIB, d.OutputI_B},  {edtOutputIC, d.OutputI_C},    {redtPBattV, d.PBattV},
                  {redtNBattV, d.NBattV},      {redtPBattI, d.PBattI},        {redtNBattI, d.NBattI},
                  {redtTempe, d.Temperature}};
    for (const auto& v : values) v.edit->setText(DetailValueText(v.value));
}

void TfrmRecDetail::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) ApplyCaptions();
}

void TfrmRecDetail::showEvent(QShowEvent* event)
{
    // It is shown without being activated, so the captions are set here as well.
    ApplyCaptions();
    QWidget::showEvent(event);
}
