#include "settings/uFrmDataSet.h"

#include "comm/uCabinet.h"
#include "comm/uFrmCom.h"
#include "model/UShareData.h"
#include "model/uRegisters.h"
#include "model/uUpsInfo.h"
#include "settings/uParaRegisters.h"
#include "ui/uCaptions.h"
#include "ui/uGraceWindows.h"
#include "ui/uGuard.h"
#include "ui/uNamed.h"
#include "ui/uPassword.h"
#include "ui/uReqSlots.h"
#include "ui/uWidgets.h"
#include "ui/uWindowCaptions.h"
#include "ui/uWindowFlags.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>

#include <cmath>
#include <limits>

namespace {

QPointer<TFrmDataSet> theWindow;

constexpr int ReadBackCount = 34;

// Bits of the status-control word 40027.
constexpr uint16_t ChargeOffBit = 1u << 11;
constexpr uint16_t BuzzerOffBit = 1u << 12;
constexpr uint16_t BoostOffBit = 1u << 13;

constexpr long NoLimit = std::numeric_limits<long>::max();

// One row of the list: the register it writes, how it shows its value, and the rule of an
// edit row (entry bounds; "not empty" where the edit must hold something).
struct TSetRow {
    int reg;
    TSetLayout layout;
    bool lowByte;
    const char* refusal; // nullptr: a refused choice is dropped without a word
    const char* en;
    const char* zh;
    bool notEmpty = false;
    long min = 0;
    long max = NoLimit;
};

using L = TSetLayout;
const TSetRow Rows[] = {
    {40004, L::Choices, false, "[Work Mode] value is invalid", "Work Mode", "工作模式"},
    {40005, L::Choices, true, "[System Voltage Level] value is invalid", "System Voltage Level(V)",
     "系统电压等级(V)"},
    {40006, L::Choices, true, "[System Frequence Level] value is invalid", "System Frequency Level(Hz)",
     "输出频率等级(HZ)"},
    {40011, L::Choices, true, "[Bypass Frequence Range] value is invalid", "Bypass Frequency Range(%)",
     "旁路频率跟踪范围(%)"},
    {40012, L::Choices, true, "[Bypass Volt Upper Limit] value is invalid", "Bypass Volt Upper Limit(%)",
     "旁路电压保护范围上限(%)"},
    {40013, L::Choices, false, "[Bypass Volt lower Limit] value is invalid", "Bypass Volt lower Limit(%)",
     "旁路电压保护范围下限(%)"},
    {40014, L::Choices, false, "[Invert-Volt adjustment] value is invalid", "Invert-Volt adjustment(%)",
     "逆变输出电压微调(%)"},
    {40015, L::Choices, false, "[Battery Num] value is invalid", "Battery Number", "电池节数"},
    {40017, L::Edit, false, "[Battery Group] value is invalid", "Battery Group", "电池并联组数", true, 1, 8},
    {40018, L::Choices, false, "[Boost upper limit Volt] value is invalid", "Boost upper limit Volt(V/Cell)",
     "均充电压上限(V/Cell)"},
    {40019, L::Choices, false, "[Float base Volt] value is invalid", "Float base Volt(V/Cell)",
     "浮充电压基准(V/Cell)"},
    {40020, L::Edit, false, "[EOD Volt] value is invalid (1.20 to 1.90)", "EOD Volt(V/Cell)",
     "EOD电压(V/Cell)", true},
    {40021, L::Edit, false, "[Single Battery Capability] value is invalid", "Single Battery Capability(AH)",
     "单节电池容量(AH)", true, 1, 2000},
    {40023, L::Edit, false, "[Max Charge current] value is invalid", "Max Charge current(A)",
     "最大充电电流(A)", true},
    {40025, L::Edit, false, "[Boost Last Time] value is invalid", "Boost Last Time(Min)",
     "均充持续时间（分钟）", true, 0, 600},
    {40027, L::Switches, false, nullptr, "Staus Control", "状态控制位"},
    {40007, L::Edit, true, "[Parallel Amount] value is invalid", "Parallel Amount", "系统并机总台数", true},
    {40003, L::Edit, true, "[Module Number] value is invalid", "Module Number", "机内模块数量", true, 1, 32},
    {40002, L::Edit, true, "[Parallel ID] value is invalid", "Parallel ID", "并机系统ID", false, 1, 14},
    {40029, L::Choices, false, "[Operate Mode] value is invalid", "Operate Mode", "操作模式"},
    {40030, L::Edit, false, "[Grid-connected Power] value is invalid", "Grid-connected Power(%)",
     "并网功率(%)", true, 0, 100},
    {40034, L::Choices, false, "[Power Distribution Mode] is invalid", "Power Distribution", "配电方式"},
    {40028, L::Choices, false, nullptr, "Charge Volt. Revise(V/Cell)", "浮充电压温度补偿系数(V/Cell)"},
    {40024, L::Edit, false, "[Power Walk In] value is invalid", "Power Walk In (Sec)", "Power Walk In (秒)",
     true},
    {40035, L::Edit, false, "[Power Shift Delay] value is invalid", "Power Shift Delay(Sec)",
     "供电切换延时(秒)", true},
};
constexpr int RowCount = static_cast<int>(sizeof Rows / sizeof Rows[0]);

// Rows with a rule of their own.
enum : int {
    RowVoltLevel = 1,
    RowBpsVMax = 4,
    RowOutputVFine = 6,
    RowBattNum = 7,
    RowEodVolt = 11,
    RowMaxChgCurr = 13,
    RowBoostLast = 14,
    RowDistribution = 21,
    RowChgRevise = 22,
};

struct TChoice {
    QString text;
    uint16_t value;
};

// Module type 1 (byte 38 of the configuration) takes 16 to 20 cells, the others 32 to 40.
int battNumBase() { return Cabinet().CfgRx[38] == 1 ? 16 : 32; }

QList<TChoice> choicesFor(int row, const TUpsData& rec)
{
    switch (row) {
    case 0: return {{"Normal", 0}, {"ECO", 1}, {"Parallel", 4}, {"Green Test", 7}, {"Battery", 8}};
    case 1: return {{"380V", 220}, {"400V", 230}, {"415V", 240}};
    case 2: return {{"50Hz", 50}, {"60Hz", 60}};
    case 3: return {{"1%", 1}, {"2%", 2}, {"4%", 4}, {"5%", 5}, {"10%", 10}};
    case RowBpsVMax: {
        QList<TChoice> c{{"10%", 10}, {"15%", 15}, {"20%", 20}};
        if (rec.Para40005 == 220) c.append({"25%", 25}); // only the 380 V level allows 25 %
        return c;
    }
    case 5: return {{"-45%", 65491}, {"-30%", 65506}, {"-20%", 65516}, {"-10%", 65526}};
    case RowOutputVFine: return {{"0%", 0}, {"1%", 10}, {"2%", 20}, {"3%", 30}, {"4%", 40}, {"5%", 50}};
    case RowBattNum: {
        QList<TChoice> c;
        const int base = battNumBase();
        const int n = base == 16 ? 3 : 5;
        for (int i = 0; i < n; ++i) c.append({QString::number(base + 2 * i), uint16_t(base + 2 * i)});
        return c;
    }
    case 9: {
        QList<TChoice> c;
        for (int i = 0; i <= 10; ++i)
            c.append({QString::number((230 + i) / 100.0, 'f', 2), uint16_t(230 + i)});
        return c;
    }
    case 10: {
        QList<TChoice> c;
        for (int i = 0; i <= 9; ++i)
            c.append({QString::number((220 + i) / 100.0, 'f', 2), uint16_t(220 + i)});
        return c;
    }
    case 19: return {{"Normal", 0}, {"Sleep", 1}, {"Frequency variable", 2}};
    case RowDistribution: return {{"3 in, 3 out", 0}, {"1 in, 1 out", 1}, {"3 in, 1 out", 2}};
    case RowChgRevise: {
        QList<TChoice> c{{"0", 0}};
        for (int i = 1; i <= 7; ++i) c.append({QString::number(i / 1000.0, 'f', 3), uint16_t(i)});
        return c;
    }
    default: return {};
    }
}

// The item the record's current value selects, -1 for none.
int currentChoice(int row, const TUpsData& rec, const QList<TChoice>& choices)
{
    const uint16_t v = ParaValue(rec, Rows[row].reg);
    int index = -1;
    switch (row) {
    case RowBpsVMax:
        if (v <= 10)
            index = 0;
        else if (v <= 15)
            index = 1;
        else if (v <= 20)
            index = 2;
        else if (v >= 25)
            index = 3;
        break;
    case RowOutputVFine: {
        const int s = static_cast<int16_t>(v);
        index = s <= 9 ? 0 : s >= 50 ? 5 : s / 10;
        break;
    }
    case RowBattNum: index = (static_cast<int>(v) - battNumBase()) / 2; break; // truncated toward zero
    case RowDistribution: index = v == 1 ? 1 : v == 2 ? 2 : 0; break;
    case RowChgRevise: index = v; break;
    default:
        for (int i = 0; i < choices.size(); ++i)
            if (choices[i].value == v) index = i;
        break;
    }
    return index >= 0 && index < choices.size() ? index : -1;
}

// The edit's text for the record's current value.
QString currentEditText(int row, const TUpsData& rec)
{
    const uint16_t v = ParaValue(rec, Rows[row].reg);
    if (row == RowEodVolt) return QString::number(v / 100.0, 'f', 2);
    return QString::number(v);
}

// The maximum charge current the batteries allow: capacity x groups / 4.
long chargeLimit(const TUpsData& rec) { return static_cast<long>(rec.Para40021) * rec.Para40017 / 4; }

const TUpsData& selectedRecord()
{
    const int addr = SelectedDevAddr();
    return Cabinet().UpsData[addr >= 0 && addr <= MaxDevAddr ? addr : 0];
}

} // namespace

TFrmDataSet::TFrmDataSet(QWidget* parent)
    : QDialog(parent, FixedDialogFlags)
{
    setObjectName(QStringLiteral("FrmDataSet"));
    theWindow = this;
    setFixedSize(584, 306);

    lbTopic = MakeNamed<QLabel>(this, "lbTopic", QRect(12, 8, 290, 18));
    lstUpsSet = MakeNamed<QListWidget>(this, "lstUpsSet", QRect(12, 28, 296, 266));
    grpSetting = MakeNamed<QGroupBox>(this, "grpSetting", QRect(318, 22, 256, 70));
    lb_Value = MakeNamed<QLabel>(grpSetting, "lb_Value", QRect(10, 12, 62, 22));
    ComboBox1 = MakeNamed<QComboBox>(grpSetting, "ComboBox1", QRect(74, 10, 172, 24));
    Edit1 = MakeNamed<QLineEdit>(grpSetting, "Edit1", QRect(74, 10, 172, 24));
    chkForced = MakeNamed<QCheckBox>(grpSetting, "chkForced");
    btnSetTo = MakeNamed<QPushButton>(grpSetting, "btnSetTo");
    const QStringList onOff{QStringLiteral("Enable"), QStringLiteral("Disable")};
    rgBuzzerSet = Named(new TRadioGroup(onOff, grpSetting), "rgBuzzerSet");
    rgBoostChg = Named(new TRadioGroup(onOff, grpSetting), "rgBoostChg");
    rgEnCharge = Named(new TRadioGroup(onOff, grpSetting), "rgEnCharge");
    rgBuzzerSet->setGeometry(8, 8, 240, 52);
    rgBoostChg->setGeometry(8, 66, 240, 52);
    rgEnCharge->setGeometry(8, 124, 240, 52);

    chkForced->setText(QStringLiteral("Forced"));
    chkForced->setChecked(true);
    btnSetTo->setAutoDefault(false);
    Edit1->installEventFilter(this);

    // A choice is a selected row; the list taking the focus makes a row current without
    // choosing it.
    connect(lstUpsSet, &QListWidget::itemSelectionChanged, this, [this] { lstUpsSetClick(); });
    connect(btnSetTo, &QPushButton::clicked, this, [this] { btnSetToClick(); });

    SetGraceWindowProbe(TGraceWindow::DataSet, [] { return theWindow && theWindow->isVisible(); });
    ApplyCaptions();
    FormCreate();
}

TFrmDataSet::~TFrmDataSet()
{
    if (theWindow == this) SetGraceWindowProbe(TGraceWindow::DataSet, nullptr);
}

void TFrmDataSet::FormCreate() { switchLayout(TSetLayout::None); }

void TFrmDataSet::ApplyCaptions()
{
    ApplyCaptionTable({
        WindowCaptionRow(this),
        {lbTopic, "Name", "项目名称"},
        {lb_Value, "Value", "数值"},
        {rgBuzzerSet, "Buzzer", "蜂鸣器"},
        {rgBoostChg, "Boost Charge", "均充"},
        {rgEnCharge, "Charge", "充电"},
        {btnSetTo, "Set", "设置"},
    });
    // The row names replace the list's items; the chosen row stays chosen.
    const QSignalBlocker quiet(lstUpsSet);
    lstUpsSet->clear();
    for (const TSetRow& r : Rows) lstUpsSet->addItem(CaptionText({nullptr, r.en, r.zh}));
    if (selectedRow_ >= 0) lstUpsSet->setCurrentRow(selectedRow_);
}

void TFrmDataSet::FormShow()
{
    ApplyCaptions();
    if (const QScreen* s = screen()) move(s->availableGeometry().center() - rect().center());
}

void TFrmDataSet::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous()) FormShow();
}

void TFrmDataSet::switchLayout(TSetLayout layout)
{
    layout_ = layout;
    rgBuzzerSet->hide();
    rgBoostChg->hide();
    rgEnCharge->hide();
    ComboBox1->clear();
    Edit1->clear();

    const bool valueRow = layout == TSetLayout::Choices || layout == TSetLayout::Edit;
    grpSetting->setVisible(layout != TSetLayout::None);
    lb_Value->setVisible(valueRow);
    ComboBox1->setVisible(layout == TSetLayout::Choices);
    Edit1->setVisible(layout == TSetLayout::Edit);
    if (layout == TSetLayout::Switches) {
        grpSetting->resize(grpSetting->width(), 230);
        chkForced->setGeometry(10, 192, 100, 24);
        btnSetTo->setGeometry(156, 188, 90, 28);
        rgBuzzerSet->show();
        rgBoostChg->show();
        rgEnCharge->show();
    } else {
        grpSetting->resize(grpSetting->width(), 70);
        chkForced->setGeometry(10, 40, 100, 24);
        btnSetTo->setGeometry(156, 37, 90, 28);
    }
}

void TFrmDataSet::lstUpsSetClick()
{
    const QList<QListWidgetItem*> chosen = lstUpsSet->selectedItems();
    selectedRow_ = chosen.isEmpty() ? -1 : lstUpsSet->row(chosen.first());
    const TUpsData& rec = selectedRecord();
    CopyParaSet(rec, ParaSet);
    if (selectedRow_ < 0 || selectedRow_ >= RowCount) {
        selectedRow_ = -1;
        switchLayout(TSetLayout::None);
        return;
    }
    prepareRow(selectedRow_);
}

void TFrmDataSet::prepareRow(int row)
{
    const TSetRow& r = Rows[row];
    const TUpsData& rec = selectedRecord();
    targetReg_ = static_cast<uint16_t>(r.reg);
    switchLayout(r.layout);
    switch (r.layout) {
    case TSetLayout::Choices: {
        const QList<TChoice> choices = choicesFor(row, rec);
        for (const TChoice& c : choices) ComboBox1->addItem(c.text, int(c.value));
        ComboBox1->setCurrentIndex(currentChoice(row, rec, choices));
        break;
    }
    case TSetLayout::Edit: Edit1->setText(currentEditText(row, rec)); break;
    case TSetLayout::Switches: {
        const uint16_t word = rec.Para40027;
        rgBuzzerSet->SetItemIndex(word & BuzzerOffBit ? 1 : 0);
        rgBoostChg->SetItemIndex(word & BoostOffBit ? 1 : 0);
        rgEnCharge->SetItemIndex(word & ChargeOffBit ? 1 : 0);
        break;
    }
    case TSetLayout::None: break;
    }
}

bool TFrmDataSet::Edit1KeyPress(QChar key)
{
    const ushort c = key.unicode();
    return (c >= '0' && c <= '9') || c == '.' || c == 8 || c == 3 || c == 22 || c == 24;
}

bool TFrmDataSet::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == Edit1 && event->type() == QEvent::InputMethod) {
        // Text committed through an input method is checked like typed text.
        for (const QChar c : static_cast<QInputMethodEvent*>(event)->commitString())
            if (!Edit1KeyPress(c)) return true;
    }
    if (watched == Edit1 && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        const QString text = key->text();
        QChar typed;
        if ((key->modifiers() & Qt::ControlModifier) && key->key() >= Qt::Key_A && key->key() <= Qt::Key_Z)
            typed = QChar(key->key() - Qt::Key_A + 1); // Ctrl+A is character 1, Ctrl+V 22
        else if (key->key() == Qt::Key_Backspace)
            typed = QChar(8);
        else if (!text.isEmpty() && key->key() != Qt::Key_Delete && key->key() != Qt::Key_Tab &&
                 key->key() != Qt::Key_Backtab)
            typed = text.at(0);
        // Keys that type no character (arrows, Delete, Tab) are not filtered.
        if (!typed.isNull() && !Edit1KeyPress(typed)) return true;
    }
    return QDialog::eventFilter(watched, event);
}

bool TFrmDataSet::checkEntry()
{
    const int row = selectedRow_;
    const TSetRow& r = Rows[row];
    const TUpsData& rec = selectedRecord();
    QString message;
    QWidget* focus = nullptr;
    bool ok = true;

    auto refuse = [&](QWidget* w) {
        ok = false;
        if (r.refusal) message = QString::fromUtf8(r.refusal);
        focus = w;
    };

    switch (r.layout) {
    case TSetLayout::Choices: {
        if (row == RowVoltLevel && (rec.SysState == 4 || rec.SysState == 5 || rec.SysState == 6)) {
            // The voltage level changes only while the load is not on the inverter.
            ok = false;
            message = QStringLiteral("Need at Bypass Mode! ");
            break;
        }
        const int index = ComboBox1->currentIndex();
        if (index < 0)
            refuse(ComboBox1);
        else
            newValue_ = static_cast<uint16_t>(ComboBox1->itemData(index).toInt());
        break;
    }
    case TSetLayout::Edit: {
        const QString text = Edit1->text().trimmed();
        if (row == RowEodVolt) {
            bool number = !text.isEmpty();
            for (const QChar c : text)
                if (!(c.unicode() >= u'0' && c.unicode() <= u'9') && c != QLatin1Char('.')) number = false;
            double volts = number ? text.toDouble(&number) : 0;
            if (!number) volts = 0;
            if (text.isEmpty() || !(volts >= 1.2 && volts <= 1.9)) {
                refuse(Edit1);
                Edit1->setText(QStringLiteral("1.80"));
                break;
            }
            // Hundredths, truncated; the small margin keeps 1.9 from reading as 1.89.
            newValue_ = static_cast<uint16_t>(std::floor(volts * 100.0 + 1e-6));
            Edit1->setText(QString::number(newValue_ / 100.0, 'f', 2));
            break;
        }
        // Only the ASCII digits make a number: a pasted text, full-width digits or an input
        // method's text is refused with the row's message, never written as 0.
        long value = 0;
        if (!text.isEmpty() && !ParseAsciiNumber(text, 999999999L, &value)) {
            ok = false;
            message = RowRefusalText(QString::fromUtf8(r.refusal), QString::fromUtf8(r.zh));
            focus = Edit1;
            break;
        }
        // The register takes 16 bits, a byte entry 8: a larger entry is refused rather than cut.
        long max = std::min(r.max, r.lowByte ? 255L : 65535L);
        if (row == RowMaxChgCurr) max = std::min(max, chargeLimit(rec));
        if ((r.notEmpty && text.isEmpty()) || value < r.min || value > max) {
            refuse(Edit1);
            if (row == RowMaxChgCurr) Edit1->setText(QString::number(chargeLimit(rec)));
            if (row == RowBoostLast) Edit1->setText(QStringLiteral("30"));
            break;
        }
        newValue_ = static_cast<uint16_t>(value);
        break;
    }
    case TSetLayout::Switches:
        newValue_ = static_cast<uint16_t>((rgBuzzerSet->ItemIndex() == 1 ? BuzzerOffBit : 0) |
                                          (rgBoostChg->ItemIndex() == 1 ? BoostOffBit : 0) |
                                          (rgEnCharge->ItemIndex() == 1 ? ChargeOffBit : 0));
        break;
    case TSetLayout::None: ok = false; break;
    }

    if (focus) focus->setFocus();
    if (!message.isEmpty()) ShowPlainMessage(this, message);
    return ok;
}

void TFrmDataSet::queueWrite()
{
    std::vector<TSlotRequest> write;
    if (AcceptedPsw == QLatin1String(MasterPsw) || chkForced->isChecked())
        write.push_back({1, 6, RegWriteEnable, 1, WriteEnableValue});
    write.push_back({2, 6, targetReg_, 1, newValue_});
    write.push_back({3, 4, RegParaFirst, ReadBackCount});
    QueueWrite(this, write);
}

void TFrmDataSet::btnSetToClick()
{
    if (!FrmCom || !FrmCom->PortOpen()) {
        ShowPlainMessage(this, QStringLiteral("Serial Port Off"));
        return;
    }
    if (selectedRow_ < 0) return;
    if (!checkEntry()) return;
    SetParaSetValue(ParaSet, targetReg_, newValue_);
    if (FrmCom->LinkState.ActiveProtocol != 0) return; // only the Modbus master writes
    queueWrite();
}
