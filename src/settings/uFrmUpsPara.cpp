#include "settings/uFrmUpsPara.h"

#include "comm/uCabinet.h"
#include "comm/uFrmCom.h"
#include "ui/uReqSlots.h"
#include "settings/uFrmDataSet.h"
#include "settings/uParaRegisters.h"
#include "ui/uCaptions.h"
#include "ui/uGraceWindows.h"
#include "ui/uGuard.h"
#include "ui/uNamed.h"
#include "ui/uUiSeam.h"
#include "ui/uViewFormat.h"
#include "ui/uWidgets.h"
#include "ui/uWindowCaptions.h"
#include "ui/uWindowFlags.h"

#include <QCloseEvent>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QShowEvent>
#include <QTimer>

namespace {

QPointer<TfrmUpsPara> theWindow;

constexpr int RowHeight = 26;
constexpr int LabelLeft = 10;
constexpr int LabelWidth = 232;
constexpr int EditLeft = 248;
constexpr int EditWidth = 112;
constexpr int GroupWidth = 372;
constexpr int RowsTop = 24; // below the title of the battery group, in both groups
constexpr int GroupHeight = RowsTop + 16 * RowHeight + 8;
constexpr int WindowWidth = 2 * GroupWidth + 24;

QString decimal(unsigned value) { return QString::number(value); }
QString percent(long value) { return QString::number(value) + QLatin1Char('%'); }
QString enableText(uint16_t word, int bit)
{
    return (word >> bit) & 1 ? QStringLiteral("disable") : QStringLiteral("enable");
}

QString workModeText(uint32_t mode)
{
    switch (mode) {
    case 0: return QStringLiteral("Normal");
    case 1: return QStringLiteral("ECO");
    case 2: return QStringLiteral("Master");
    case 3: return QStringLiteral("Slave");
    case 4: return QStringLiteral("Parallel");
    case 7: return QStringLiteral("Green Test");
    case 8: return QStringLiteral("Battery");
    default: return QString();
    }
}

QString voltLevelText(uint8_t level)
{
    switch (level) {
    case 220: return QStringLiteral("380");
    case 230: return QStringLiteral("400");
    case 240: return QStringLiteral("415");
    default: return QString();
    }
}

QString distributionText(uint16_t mode)
{
    if (mode == 1) return QStringLiteral("1 in, 1 out");
    if (mode == 2) return QStringLiteral("3 in, 1 out");
    return QStringLiteral("3 in, 3 out");
}

} // namespace

TfrmUpsPara::TfrmUpsPara(QWidget* parent)
    : QWidget(parent, MinimizableWindowFlags)
{
    setObjectName(QStringLiteral("frmUpsPara"));
    theWindow = this;

    GroupBox1 = MakeNamed<QGroupBox>(this, "GroupBox1", QRect(8, 4, GroupWidth, GroupHeight));
    GroupBox2 = MakeNamed<QGroupBox>(this, "GroupBox2", QRect(GroupWidth + 16, 4, GroupWidth, GroupHeight));
    createRows(GroupBox1,
               {{lbParaID, edtSysID, "lbParaID", "edtSysID"},
                {lbSetMode, edtSetMode, "lbSetMode", "edtSetMode"},
                {lbVoltLevel, edtVoltLevel, "lbVoltLevel", "edtVoltLevel"},
                {lbFreqLevel, edtFreqLevel, "lbFreqLevel", "edtFreqLevel"},
                {lbParaNum, edtParaNum, "lbParaNum", "edtParaNum"},
                {lbRedun, edtModuleNum, "lbRedun", "edtModuleNum"},
                {lbBpFreq, edtBpsFreq, "lbBpFreq", "edtBpsFreq"},
                {lbBpVMax, edtBpsVMax, "lbBpVMax", "edtBpsVMax"},
                {lbBpVMin, edtBpsVMin, "lbBpVMin", "edtBpsVMin"},
                {lbOptVFine, edtOutputVFine, "lbOptVFine", "edtOutputVFine"},
                {lbBuzzer, edtBuzzer, "lbBuzzer", "edtBuzzer"},
                {lbOperate, edtOperate, "lbOperate", "edtOperate"},
                {lbGrdPower, edtGrdPower, "lbGrdPower", "edtGrdPower"},
                {lbPDist, edtPDist, "lbPDist", "edtPDist"},
                {lblPWI, edtPWI, "lblPWI", "edtPWI"},
                {lblPWD, edtPWD, "lblPWD", "edtPWD"}},
               RowsTop);
    // The pre-alarm row is hidden; the rows after it close up.
    createRows(GroupBox2,
               {{lbBattNum, edtBattNum, "lbBattNum", "edtBattNum"},
                {lbBattCap, edtBattCap, "lbBattCap", "edtBattCap"},
                {lbBattGrp, edtBattGroup, "lbBattGrp", "edtBattGroup"},
                {lbBoostV, edtBattBoostV, "lbBoostV", "edtBattBoostV"},
                {lbFloatV, edtBattFloat, "lbFloatV", "edtBattFloat"},
                {lbEodV, edtEodV, "lbEodV", "edtEodV"},
                {lbMaxChgCurr, edtMaxChgCurr, "lbMaxChgCurr", "edtMaxChgCurr"},
                {lbBoostLast, edtBoostLast, "lbBoostLast", "edtBoostLast"},
                {lbBoostChg, edtBoostChg, "lbBoostChg", "edtBoostChg"},
                {lbEnCharge, edtCharge, "lbEnCharge", "edtCharge"},
                {lblFChgRedeem, edtFChgRedeem, "lblFChgRedeem", "edtFChgRedeem"},
                {lbPreAlarm, edtPreAlarm, "lbPreAlarm", "edtPreAlarm"}},
               RowsTop);
    // Nothing in the view can be typed into.
    GroupBox1->setEnabled(false);
    GroupBox2->setEnabled(false);
    KeepLegibleWhenDisabled(GroupBox1);
    KeepLegibleWhenDisabled(GroupBox2);

    btnSet = MakeNamed<QPushButton>(this, "btnSet", QRect(WindowWidth - 116, GroupHeight + 12, 100, 30));
    connect(btnSet, &QPushButton::clicked, this, [this] { btnSetClick(); });

    Timer1 = Named(new QTimer(this), "Timer1");
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });

    setFixedSize(WindowWidth, GroupHeight + 52);
    SetGraceWindowProbe(TGraceWindow::UpsPara, [] { return theWindow && theWindow->isVisible(); });
    FormCreate();
    ApplyCaptions();
}

TfrmUpsPara::~TfrmUpsPara()
{
    if (theWindow == this) SetGraceWindowProbe(TGraceWindow::UpsPara, nullptr);
}

void TfrmUpsPara::createRows(QGroupBox* group, std::initializer_list<TRow> rows, int top)
{
    int y = top;
    for (const TRow& r : rows) {
        r.label = MakeNamed<QLabel>(group, r.labelName, QRect(LabelLeft, y + 3, LabelWidth, 20));
        r.edit = MakeNamed<QLineEdit>(group, r.editName, QRect(EditLeft, y, EditWidth, 23));
        r.edit->setReadOnly(true);
        y += RowHeight;
    }
}

QList<QLineEdit*> TfrmUpsPara::ValueEdits() const
{
    return {edtSysID,     edtSetMode,    edtVoltLevel, edtFreqLevel,   edtParaNum,    edtModuleNum,
            edtBpsFreq,   edtBpsVMax,    edtBpsVMin,   edtOutputVFine, edtBuzzer,     edtOperate,
            edtGrdPower,  edtPDist,      edtPWI,       edtPWD,         edtBattNum,    edtBattCap,
            edtBattGroup, edtBattBoostV, edtBattFloat, edtEodV,        edtMaxChgCurr, edtPreAlarm,
            edtBoostLast, edtBoostChg,   edtCharge,    edtFChgRedeem};
}

void TfrmUpsPara::FormCreate()
{
    blankEdits();
    lbPreAlarm->hide();
    edtPreAlarm->hide();
}

void TfrmUpsPara::ApplyCaptions()
{
    ApplyCaptionTable({
        WindowCaptionRow(this),
        {GroupBox2, "Battery Set", "电池设置"},
        {btnSet, "Set", "设置"},
        {lbParaID, "Parallel ID", "并机系统ID"},
        {lbSetMode, "Work Mode", "工作模式"},
        {lbVoltLevel, "System Voltage Level(V)", "系统电压等级(V)"},
        {lbFreqLevel, "System Frequency Level(Hz)", "系统频率等级(Hz)"},
        {lbParaNum, "System Parallel Amount", "系统并机台数"},
        {lbRedun, "Module Number", "内部模块个数"},
        {lbBpFreq, "Bypass Frequency Range", "旁路频率跟踪范围"},
        {lbBpVMax, "Bypass Volt Upper Limit", "旁路电压上限"},
        {lbBpVMin, "Bypass Volt lower Limit", "旁路电压下限"},
        {lbOptVFine, "Invert-Volt adjustment", "逆变电压微调"},
        {lbBuzzer, "Buzzer", "蜂鸣器"},
        {lbOperate, "Operate Mode", "操作模式"},
        {lbGrdPower, "Grid-connected Power(%)", "并网功率(%)"},
        {lbPDist, "Power Distribution", "配电方式"},
        {lblPWI, "Power Walk In(Sec)", "Power Walk In(秒)"},
        {lblPWD, "Power Shift Delay(Sec)", "供电切换延时(秒)"},
        {lbBattNum, "Battery Number", "电池节数"},
        {lbBattCap, "Single Battery Capability(AH)", "单节电池容量(AH)"},
        {lbBattGrp, "Battery Group", "电池组数"},
        {lbBoostV, "Boost upper limit Volt.(V/Cell)", "均充电压上限(V/Cell)"},
        {lbFloatV, "Float base Volt.(V/Cell)", "浮充基准电压(V/Cell)"},
        {lbEodV, "EOD Volt(V/Cell)", "EOD电压(V/Cell)"},
        {lbMaxChgCurr, "Max Charge current(A)", "最大充电电流(A)"},
        {lbPreAlarm, "Shutdown PreAlarm Time(min)", "关机预报警时间(分钟)"},
        {lbBoostLast, "Boost Last Time(min)", "均充持续时间(分钟)"},
        {lbBoostChg, "Boost Charge", "均充"},
        {lbEnCharge, "Charge", "充电"},
        {lblFChgRedeem, "Charge Volt. Revise(V/Cell)", "浮充电压温度补偿系数(V/Cell)"},
    });
}

void TfrmUpsPara::FormShow() { ApplyCaptions(); }

void TfrmUpsPara::FormActivate()
{
    Timer1->start();
    ApplyCaptions();
}

void TfrmUpsPara::FormClose() { Timer1->stop(); }

void TfrmUpsPara::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous()) FormShow();
}

void TfrmUpsPara::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() != QEvent::ActivationChange) return;
    // Set follows the window's activation at once. Left to the next tick (a full second after
    // the activation restarts the timer), the button stayed grey after a prompt or a message had
    // been in front, and the operator's next click on it did nothing.
    showSetState();
    if (isActiveWindow()) FormActivate();
}

void TfrmUpsPara::closeEvent(QCloseEvent* event)
{
    FormClose();
    QWidget::closeEvent(event);
}

void TfrmUpsPara::blankEdits()
{
    for (QLineEdit* e : ValueEdits()) e->clear();
}

void TfrmUpsPara::Timer1Timer()
{
    const int addr = SelectedDevAddr();
    if (!FrmCom || !FrmCom->PortOpen()) {
        blankEdits();
        return;
    }
    fillFromRecord(addr);
    showSetState();
}

// Set is usable while this window is the active one and greyed while another (the data set
// window, the prompt) is in front of it; with the port closed it keeps its last state.
void TfrmUpsPara::showSetState()
{
    if (FrmCom && FrmCom->PortOpen()) btnSet->setEnabled(isActiveWindow());
}

void TfrmUpsPara::fillFromRecord(int addr)
{
    if (addr < 0 || addr > MaxDevAddr) return;
    const TUpsData& r = Cabinet().UpsData[addr];
    const auto word = [&r](int reg) { return ParaValue(r, reg); };
    const auto signedWord = [&r](int reg) { return static_cast<int16_t>(ParaValue(r, reg)); };

    edtSysID->setText(decimal(r.Para40002));
    edtSetMode->setText(workModeText(r.Para40004));
    edtVoltLevel->setText(voltLevelText(r.Para40005));
    edtFreqLevel->setText(decimal(r.Para40006));
    edtParaNum->setText(decimal(r.Para40007));
    edtModuleNum->setText(decimal(r.Para40003));
    edtBpsFreq->setText(percent(r.Para40011));
    edtBpsVMax->setText(percent(r.Para40012));
    edtBpsVMin->setText(percent(signedWord(40013)));
    edtOutputVFine->setText(FloatText(signedWord(40014) / 10.0, 1) + QLatin1Char('%'));
    edtBuzzer->setText(enableText(r.Para40027, 12));
    edtOperate->setText(r.Para40029 == 1 ? QStringLiteral("Sleep") : QStringLiteral("Normal"));
    edtGrdPower->setText(decimal(r.Para40030));
    edtPDist->setText(distributionText(r.Para40034));
    edtPWI->setText(decimal(word(40024)));
    edtPWD->setText(decimal(r.Para40035));
    edtBattNum->setText(decimal(word(40015)));
    edtBattCap->setText(decimal(word(40021)));
    edtBattGroup->setText(decimal(word(40017)));
    edtBattBoostV->setText(FloatText(word(40018) / 100.0, 2));
    edtBattFloat->setText(FloatText(word(40019) / 100.0, 2));
    edtEodV->setText(FloatText(word(40020) / 100.0, 2));
    edtMaxChgCurr->setText(decimal(word(40023)));
    edtPreAlarm->setText(decimal(word(40022)));
    edtBoostLast->setText(decimal(r.Para40025));
    edtBoostChg->setText(enableText(r.Para40027, 13));
    edtCharge->setText(enableText(r.Para40027, 11));
    edtFChgRedeem->setText(FloatText(r.Para40028 / 1000.0, 3));
}

void TfrmUpsPara::btnSetClick()
{
    if (GuardAction(this, TGuardKind::PortAndGrace)) {
        auto* dlg = new TFrmDataSet(this);
        ExecModal(dlg);
        delete dlg;
    }
    // The prompt, a refusal or the data set window has been in front: the window takes the
    // activation back, so that its Set answers the very next click.
    if (isVisible()) activateWindow();
    showSetState();
}
