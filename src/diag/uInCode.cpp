#include "diag/uInCode.h"

#include "comm/uCabinet.h"
#include "model/UShareData.h"
#include "model/uDataFunc.h"
#include "ui/uCaptions.h"
#include "ui/uHexEdit.h"
#include "ui/uNamed.h"
#include "ui/uStatusWordFields.h"
#include "ui/uStringGrid.h"
#include "ui/uWidgets.h"
#include "ui/uWindowFlags.h"

#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QShowEvent>
#include <QStyle>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>

namespace {

constexpr int word(TStatusWord w) { return static_cast<int>(w); }

struct TRowText {
    const char* en;
    const char* zh;
};

// Rows 0..33 of the status-bit list: the heading, then CmmStaH bits 15..6, InvStaH bits
// 15..0 and InvStaL bits 15..9.
const TRowText StatusRows[StatusBitRows] = {
    {"Status", "状态"},
    {"Input Switch", "输入空开状态"},
    {"Rectifier", "整流器状态"},
    {"EPO at RECT", "紧急关机"},
    {"Rectifier Over Current", "整流器限流"},
    {"power supply", "输入供电状态"},
    {"power supply Mode", "输入供电模式"},
    {"Battery Testing", "电池自检"},
    {"Battery Charger", "电池充电"},
    {"P-Battery Boost Charging", "正组电池均浮充"},
    {"N-Battery Boost Charging", "负组电池均浮充"},
    {"ByPass Switch", "旁路空开"},
    {"Output Switch", "输出空开"},
    {"Manu-Bypass Switch", "维修旁路空开"},
    {"OutSide-Bypass Switch", "旁路柜旁路空开"},
    {"OutSide-Output Switch", "外部输出空开"},
    {"Inverter Status0", "逆变开关机0"},
    {"Inverter Status1", "逆变开关机1"},
    {"Output by Invert", "逆变输出"},
    {"Output by Bypass", "旁路输出"},
    {"Coming to Interval transfer", "间断切换提示"},
    {"INV. Off coming to PowerOff", "关机将导致断电告警"},
    {"INV. Off coming to Overload", "关机将导致过载告警"},
    {"EPO at INV", "紧急关机提示"},
    {"INV.invalid due to Overload", "启动容量不足"},
    {"Inverter Master", "逆变主机"},
    {"Transfer Times-out", "切换次数到"},
    {"Shutdown Due To Overload", "过载延时到关机"},
    {"On Bypass Due To Overload", "负载冲击切旁路"},
    {"Parallel in Bypass", "并机系统转旁路"},
    {"LBS Activated", "LBS系统激活"},
    {"ECO Activated", "ECO状态位"},
    {"request init of Rectifier", "整流初始化请求"},
    {"request init of Inverter", "逆变初始化请求"},
};

// Rows of the alarm-bit list whose names differ from the alarm texts of the same code; a null
// text keeps the alarm text of that language.
struct TAlarmRowText {
    int row;
    const char* en;
    const char* zh;
};
const TAlarmRowText AlarmRowTexts[] = {
    {7, "Input Thyristor failed", nullptr},
    {8, "Discharge Thyristor failed", nullptr},
    {9, "Charge Thyristor failed", nullptr},
    {21, "N-Battery Charger fault", nullptr},
    {24, "Battery low pre-warning", nullptr},
    {36, "System Not Sync. To Bypass", nullptr},
    {43, "LBS Not SYNC.", nullptr},
    {44, nullptr, "加上电初始化故障"},
    {48, "DC component over limit.", nullptr},
    {51, "DC Bus fault", "BUS电压异常"},
};

QString alarmRowName(int row)
{
    for (const TAlarmRowText& t : AlarmRowTexts) {
        if (t.row != row) continue;
        const char* text = IsChinese() ? t.zh : t.en;
        if (text) return QString::fromUtf8(text);
    }
    return AlarmText(row);
}

// Legends of the system status and system alarm words: rows 0..8; rows 9..16 are reserved.
const TRowText SysStatusRows[9] = {
    {"Status", "状态"},
    {"Dynamotor", "发电机接入"},
    {"Shutdown by Batt. low", "电池电压低关机"},
    {"Time to turn on", "定时开机"},
    {"Time to turn off", "定时关机"},
    {"Time to Battery Testing", "定期自检开始"},
    {"Thunder Protect", "避雷动作信号"},
    {"Batter Monitor Sys.", "电池监控系统接入"},
    {"UnRegist", "未注册位"},
};
const TRowText SysAlarmRows[9] = {
    {"Alarm", "报警"},
    {"Battery Fault", "电池损坏"},
    {"Battery temperature over", "电池过温"},
    {"Battery over voltage", "电池电压高"},
    {"Battery under voltage", "电池电压低"},
    {"Ext. Smog Alarm", "火灾报警"},
    {"Ext. Fire Alarm", "烟雾报警"},
    {"Machine Type Error", "EEPROM错误"},
    {"System need maintenance", "预防性维护时间到"},
};
const TRowText ReservedRow = {"", "(保留)"};

void captionLegend(QTableWidget* grid, const TRowText (&rows)[9])
{
    for (int r = 0; r < SystemLegendRows; ++r) {
        const TRowText& t = r < 9 ? rows[r] : ReservedRow;
        SetCell(grid, 0, r, LangText(t.en, t.zh));
    }
}

constexpr int RowHeight = 15;
// Wide enough for the longest bit name ("INV. Off coming to PowerOff") in the lists' font.
constexpr int NameWidth = 162;
constexpr int ListFontPixels = 11;

// A two-column bit list with rows of 15 pixels; a list taller than visibleHeight scrolls.
void shapeBitList(QTableWidget* grid, int rows, int markWidth, int visibleHeight)
{
    QFont f = grid->font();
    f.setPixelSize(ListFontPixels);
    grid->setFont(f);
    const int widths[2] = {NameWidth, markWidth};
    const int frame = 2 * grid->frameWidth();
    ShapeGrid(grid, 2, rows, widths, NameWidth + markWidth + frame, rows * RowHeight + frame);
    int height = rows * RowHeight + frame;
    int width = NameWidth + markWidth + frame;
    if (height > visibleHeight) {
        grid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        width += grid->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, grid);
        height = (visibleHeight - frame) / RowHeight * RowHeight + frame; // whole rows only
    }
    grid->resize(width, height);
}

void markBits(QTableWidget* grid, int rows, TCodeBit (*bitOfRow)(int), const TStatusBlock& block,
              const QString& mark)
{
    for (int r = 1; r < rows; ++r) {
        const TCodeBit b = bitOfRow(r);
        const bool set = (block.Word(b.word) >> b.bit) & 1;
        SetCell(grid, 1, r, set ? mark : QString());
    }
}

} // namespace

TCodeBit StatusBitOfRow(int row)
{
    if (row >= 1 && row <= 10) return {word(TStatusWord::CmmStaH), 16 - row};
    if (row >= 11 && row <= 26) return {word(TStatusWord::InvStaH), 26 - row};
    if (row >= 27 && row <= 33) return {word(TStatusWord::InvStaL), 42 - row};
    return {-1, -1};
}

TCodeBit AlarmBitOfRow(int row)
{
    if (row >= 1 && row <= 16) return {word(TStatusWord::CmmAlmH), 16 - row};
    if (row >= 17 && row <= 26) return {word(TStatusWord::CmmAlmL), 32 - row};
    if (row >= 27 && row <= 42) return {word(TStatusWord::InvAlmH), 42 - row};
    if (row >= 43 && row <= 51) return {word(TStatusWord::InvAlmL), 58 - row};
    return {-1, -1};
}

TfrmInCode::TfrmInCode(QWidget* parent)
    : QDialog(parent, FixedDialogFlags)
{
    setObjectName(QStringLiteral("frmInCode"));
    setWindowTitle(QStringLiteral("frmInCode"));
    setFixedSize(490, 625);
    pgc1 = MakeNamed<QTabWidget>(this, "pgc1", QRect(4, 4, 482, 617));
    ts1 = Named(new QWidget, "ts1");
    ts2 = Named(new QWidget, "ts2");
    pgc1->addTab(ts1, QStringLiteral("Page1"));
    pgc1->addTab(ts2, QStringLiteral("Page2"));
    createFirstPage();
    createSecondPage();
    tmr1 = Named(new QTimer(this), "tmr1");
    tmr1->setInterval(120);
    connect(tmr1, &QTimer::timeout, this, [this] { tmr1Timer(); });
    tmr1->start();
    FormCreate();
}

void TfrmInCode::createFirstPage()
{
    QWidget* p = ts1;
    lbUpsRunMode = MakeNamed<QLabel>(p, "lbUpsRunMode", QRect(12, 12, 76, 22));
    edtUpsRunMode = MakeNamed<QLineEdit>(p, "edtUpsRunMode", QRect(92, 10, 200, 26));
    edtUpsRunMode->setReadOnly(true);
    // The supply and inverter modes have no texts; their fields stay hidden.
    lbSupply = MakeNamed<QLabel>(p, "lbSupply", QRect(300, 4, 80, 18));
    edtSupply = MakeNamed<QLineEdit>(p, "edtSupply", QRect(380, 2, 80, 22));
    lbInvert = MakeNamed<QLabel>(p, "lbInvert", QRect(300, 26, 80, 18));
    edtInvert = MakeNamed<QLineEdit>(p, "edtInvert", QRect(380, 24, 80, 22));
    for (QWidget* w : std::initializer_list<QWidget*>{lbSupply, edtSupply, lbInvert, edtInvert}) w->hide();
    edtSupply->setReadOnly(true);
    edtInvert->setReadOnly(true);

    grpCode = MakeNamed<QGroupBox>(p, "grpCode", QRect(12, 44, 450, 100));
    grpCode->setEnabled(false);
    KeepLegibleWhenDisabled(grpCode);
    lbCmm = MakeNamed<QLabel>(grpCode, "lbCmm", QRect(86, 20, 136, 18));
    lbInv = MakeNamed<QLabel>(grpCode, "lbInv", QRect(246, 20, 136, 18));
    lbCmm->setAlignment(Qt::AlignCenter);
    lbInv->setAlignment(Qt::AlignCenter);
    lbStateBit = MakeNamed<QLabel>(grpCode, "lbStateBit", QRect(10, 42, 72, 24));
    lbAlarmbit = MakeNamed<QLabel>(grpCode, "lbAlarmbit", QRect(10, 70, 72, 24));
    struct Field {
        QLineEdit*& field;
        const char* name;
        int x, y;
    } fields[] = {{mdt_CMMStatusH, "mdt_CMMStatusH", 86, 42},  {mdt_CMMStatusL, "mdt_CMMStatusL", 156, 42},
                  {mdt_INVStatusH, "mdt_INVStatusH", 246, 42}, {mdt_INVStatusL, "mdt_INVStatusL", 316, 42},
                  {mdt_CMMAlarmH, "mdt_CMMAlarmH", 86, 70},    {mdt_CMMAlarmL, "mdt_CMMAlarmL", 156, 70},
                  {mdt_INVAlarmH, "mdt_INVAlarmH", 246, 70},   {mdt_INVAlarmL, "mdt_INVAlarmL", 316, 70}};
    for (Field& f : fields) {
        f.field = MakeCodeField(grpCode, f.name);
        f.field->setGeometry(f.x, f.y, 66, 24);
        f.field->clear(); // empty until a block is shown
    }

    const int top = 154;
    const int visible = 617 - pgc1->tabBar()->sizeHint().height() - top - 12;
    mtlcmgrd1 = MakeNamed<QTableWidget>(p, "mtlcmgrd1");
    shapeBitList(mtlcmgrd1, StatusBitRows, 40, visible);
    mtlcmgrd1->move(12, top);
    mtlcmgrd2 = MakeNamed<QTableWidget>(p, "mtlcmgrd2");
    shapeBitList(mtlcmgrd2, AlarmBitRows, 50, visible);
    mtlcmgrd2->move(240, top);
}

void TfrmInCode::createSecondPage()
{
    QWidget* p = ts2;
    grp8 = MakeNamed<QGroupBox>(p, "grp8", QRect(12, 10, 450, 76));
    grp8->setEnabled(false);
    KeepLegibleWhenDisabled(grp8);
    lbMonitor = MakeNamed<QLabel>(grp8, "lbMonitor", QRect(10, 42, 72, 24));
    lbMStatus = MakeNamed<QLabel>(grp8, "lbMStatus", QRect(86, 20, 80, 18));
    lbMAlarm = MakeNamed<QLabel>(grp8, "lbMAlarm", QRect(176, 20, 80, 18));
    lbMStatus->setAlignment(Qt::AlignCenter);
    lbMAlarm->setAlignment(Qt::AlignCenter);
    mdt_SysState = MakeCodeField(grp8, "mdt_SysState");
    mdt_SysState->setGeometry(86, 42, 80, 24);
    mdt_SysAlarm = MakeCodeField(grp8, "mdt_SysAlarm");
    mdt_SysAlarm->setGeometry(176, 42, 80, 24);
    mdt_SysState->clear();
    mdt_SysAlarm->clear();
    statusWords_ = {{TStatusWord::CmmStaH, mdt_CMMStatusH}, {TStatusWord::CmmStaL, mdt_CMMStatusL},
                    {TStatusWord::InvStaH, mdt_INVStatusH}, {TStatusWord::InvStaL, mdt_INVStatusL},
                    {TStatusWord::SysSta, mdt_SysState}};
    alarmWords_ = {{TStatusWord::CmmAlmH, mdt_CMMAlarmH}, {TStatusWord::CmmAlmL, mdt_CMMAlarmL},
                   {TStatusWord::InvAlmH, mdt_INVAlarmH}, {TStatusWord::InvAlmL, mdt_INVAlarmL},
                   {TStatusWord::SysAlm, mdt_SysAlarm}};

    const int top = 98;
    mtlcmgrd3 = MakeNamed<QTableWidget>(p, "mtlcmgrd3");
    shapeBitList(mtlcmgrd3, SystemLegendRows, 40, 1000);
    mtlcmgrd3->move(12, top);
    mtlcmgrd4 = MakeNamed<QTableWidget>(p, "mtlcmgrd4");
    shapeBitList(mtlcmgrd4, SystemLegendRows, 50, 1000);
    mtlcmgrd4->move(240, top);
}

void TfrmInCode::FormCreate()
{
    pgc1->setCurrentWidget(ts1);
    ApplyCaptions();
}

void TfrmInCode::ApplyCaptions()
{
    ApplyCaptionTable({{lbUpsRunMode, "Status", "运行状态"},
                       {lbSupply, "Power Supply", "供电状态"},
                       {lbInvert, "Invert State", "逆变状态"},
                       {lbCmm, "Rectifier", "整流模块"},
                       {lbInv, "Invertor", "逆变模块"},
                       {lbStateBit, "Status", "状态位"},
                       {lbMStatus, "Status", "状态位"},
                       {lbAlarmbit, "Alarm", "告警位"},
                       {lbMAlarm, "Alarm", "告警位"},
                       {lbMonitor, "monitor", "监控"}});
    for (int r = 0; r < StatusBitRows; ++r)
        SetCell(mtlcmgrd1, 0, r, LangText(StatusRows[r].en, StatusRows[r].zh));
    SetCell(mtlcmgrd2, 0, 0, LangText("Alarm", "报警"));
    for (int r = 1; r < AlarmBitRows; ++r) SetCell(mtlcmgrd2, 0, r, alarmRowName(r));
    captionLegend(mtlcmgrd3, SysStatusRows);
    captionLegend(mtlcmgrd4, SysAlarmRows);
}

void TfrmInCode::FormShow()
{
    if (!Cabinet().CodeSource) return;
    Block = *Cabinet().CodeSource;
    HasBlock = true;
    StatusDirty = AlarmDirty = true;
    const int second = pgc1->indexOf(ts2);
    if (Cabinet().CodeIsSystem == 1) {
        pgc1->setTabText(pgc1->indexOf(ts1), QStringLiteral("Page1"));
        pgc1->setTabText(second, QStringLiteral("Page2"));
        pgc1->setTabVisible(second, true);
    } else {
        // A module has no system words.
        pgc1->setTabText(pgc1->indexOf(ts1), QString());
        pgc1->setTabVisible(second, false);
    }
}

void TfrmInCode::FormActivate()
{
    if (!HasBlock) return;
    // A fresh snapshot of the block on every activation.
    if (Cabinet().CodeSource) Block = *Cabinet().CodeSource;
    DecodeStatusBlock(Block);
    StatusDirty = AlarmDirty = true;
}

void TfrmInCode::tmr1Timer()
{
    if (StatusDirty) {
        StatusDirty = false;
        ShowStatusBits();
    }
    if (AlarmDirty) {
        AlarmDirty = false;
        ShowAlarmBits();
    }
}

void TfrmInCode::ShowStatusBits()
{
    statusWords_.Show(Block);
    edtUpsRunMode->setText(StateText(Block.State));
    edtSupply->setText(SupplyModeText(Block.SupplyMode));
    edtInvert->setText(InvModeText(Block.InvMode));
    markBits(mtlcmgrd1, StatusBitRows, &StatusBitOfRow, Block, QStringLiteral("On"));
}

void TfrmInCode::ShowAlarmBits()
{
    alarmWords_.Show(Block);
    markBits(mtlcmgrd2, AlarmBitRows, &AlarmBitOfRow, Block, QStringLiteral("Alarm"));
}

void TfrmInCode::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (event->spontaneous()) return;
    if (const QScreen* s = screen()) move(s->availableGeometry().center() - rect().center());
    FormShow();
}

bool TfrmInCode::event(QEvent* event)
{
    const bool handled = QDialog::event(event);
    if (event->type() == QEvent::WindowActivate) FormActivate();
    return handled;
}
