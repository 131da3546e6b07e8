#include "settings/uRunTime.h"

#include "comm/uCabinet.h"
#include "model/uRegisters.h"
#include "model/uUpsInfo.h"
#include "settings/uEdtMdRegist.h"
#include "ui/uCaptions.h"
#include "ui/uGuard.h"
#include "ui/uNamed.h"
#include "ui/uReqSlots.h"
#include "ui/uUiSeam.h"
#include "ui/uWidgets.h"
#include "ui/uWindowCaptions.h"
#include "ui/uWindowFlags.h"

#include <QGroupBox>
#include <QHideEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QTimer>

namespace {
constexpr int GroupHeight = 84;

// One counter: a disabled group with the elapsed time and the limit, and its Set button
// beside the group (inside it the button would be disabled too).
QGroupBox* makeCounter(QWidget* parent, int top, const char* group, const char* runLabel, const char* runEdit,
                       const char* limitLabel, const char* limitEdit, const char* button, QLabel*& lblRun,
                       QLineEdit*& edtRun, QLabel*& lblLimit, QLineEdit*& edtLimit, QPushButton*& btn)
{
    auto* g = MakeNamed<QGroupBox>(parent, group, QRect(12, top, 380, GroupHeight - 6));
    g->setEnabled(false);
    KeepLegibleWhenDisabled(g);
    lblRun = MakeNamed<QLabel>(g, runLabel, QRect(12, 22, 200, 22));
    edtRun = MakeNamed<QLineEdit>(g, runEdit, QRect(220, 20, 148, 24));
    lblLimit = MakeNamed<QLabel>(g, limitLabel, QRect(12, 50, 200, 22));
    edtLimit = MakeNamed<QLineEdit>(g, limitEdit, QRect(220, 48, 148, 24));
    btn = MakeNamed<QPushButton>(parent, button, QRect(404, top + 30, 90, 28));
    btn->setAutoDefault(false);
    return g;
}
} // namespace

TfrmRunTime::TfrmRunTime(QWidget* parent) : QDialog(parent, FixedDialogFlags)
{
    setObjectName(QStringLiteral("frmRunTime"));
    setFixedSize(506, 12 + 3 * GroupHeight);
    grpRect = makeCounter(this, 8, "grpRect", "lblRuntime", "edtRuntime", "lblLimit", "edtLimit", "btnSet",
                          lblRuntime, edtRuntime, lblLimit, edtLimit, btnSet);
    grpBatt = makeCounter(this, 8 + GroupHeight, "grpBatt", "lblBattRun", "edtBattRun", "lblBattLimit",
                          "edtBattLimit", "btnSetBatt", lblBattRun, edtBattRun, lblBattLimit, edtBattLimit,
                          btnSetBatt);
    grpFan =
        makeCounter(this, 8 + 2 * GroupHeight, "grpFan", "lblFanRun", "edtFanRun", "lblFanLimit",
                    "edtFanLimit", "btnSetFan", lblFanRun, edtFanRun, lblFanLimit, edtFanLimit, btnSetFan);
    connect(btnSet, &QPushButton::clicked, this, [this] { btnSetClick(); });
    connect(btnSetBatt, &QPushButton::clicked, this, [this] { btnSetBattClick(); });
    connect(btnSetFan, &QPushButton::clicked, this, [this] { btnSetFanClick(); });
    tmr1 = Named(new QTimer(this), "tmr1");
    tmr1->setInterval(1000);
    connect(tmr1, &QTimer::timeout, this, [this] { tmr1Timer(); });
    ApplyCaptions();
}

void TfrmRunTime::ApplyCaptions()
{
    ApplyCaptionTable({WindowCaptionRow(this),
                       {btnSet, "Set", "设置"},
                       {btnSetBatt, "Set", "设置"},
                       {btnSetFan, "Set", "设置"},
                       {grpRect, "Rectifier", "整流器"},
                       {grpBatt, "Battery", "电池"},
                       {grpFan, "Fan", "风扇"},
                       {lblRuntime, "Elapsed time(hour)", "已运行时间(小时)"},
                       {lblBattRun, "Elapsed time(hour)", "已运行时间(小时)"},
                       {lblFanRun, "Elapsed time(hour)", "已运行时间(小时)"},
                       {lblLimit, "Time limit(hour)", "运行时间上限(小时)"},
                       {lblBattLimit, "Time limit(hour)", "运行时间上限(小时)"},
                       {lblFanLimit, "Time limit(hour)", "运行时间上限(小时)"}});
}

void TfrmRunTime::FormShow()
{
    ReadCountdown = 0;
    ApplyCaptions();
    ShowValues();
}

// The window reads only while it is shown: a hidden window holding slot 1 every eleven
// seconds would make other windows' one-shot requests miss their turn.
void TfrmRunTime::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (event->spontaneous()) return;
    FormShow();
    tmr1->start();
}

void TfrmRunTime::hideEvent(QHideEvent* event)
{
    QDialog::hideEvent(event);
    if (!event->spontaneous()) tmr1->stop();
}

void TfrmRunTime::ShowValues()
{
    const TUpsData& d = Cabinet().UpsData[SelectedDevAddr()];
    edtRuntime->setText(QString::number(static_cast<uint16_t>(d.UpsRunTime)));
    edtLimit->setText(QString::number(d.RectTimeLimit));
    edtBattRun->setText(QString::number(static_cast<uint16_t>(d.BattRunTime)));
    edtBattLimit->setText(QString::number(d.BattTimeLimit));
    edtFanRun->setText(QString::number(static_cast<uint16_t>(d.FanRunTime)));
    edtFanLimit->setText(QString::number(d.FanTimeLimit));
}

void TfrmRunTime::tmr1Timer()
{
    ShowValues();
    if (ReadCountdown != 0) {
        --ReadCountdown;
        return;
    }
    ReadCountdown = 10;
    QueueRequest(1, 3, RegRunTimeFirst, RunTimeBlockCount);
}

void TfrmRunTime::editCounter(const char* title, uint16_t reg1, uint32_t value1, uint16_t reg2,
                              uint32_t value2)
{
    if (!GuardAction(this, TGuardKind::ServiceCode)) return;
    auto* editor = new TfrmEdtMdRegist(this);
    editor->SetTitle(QLatin1String(title));
    editor->AddEntry(reg1, static_cast<uint16_t>(value1));
    editor->AddEntry(reg2, static_cast<uint16_t>(value2));
    ExecModal(editor);
    delete editor;
}

void TfrmRunTime::btnSetClick()
{
    const TUpsData& d = Cabinet().UpsData[SelectedDevAddr()];
    editCounter("Edit UPS Runtime", RegUpsRunTime, d.UpsRunTime, RegRectTimeLimit, d.RectTimeLimit);
}

void TfrmRunTime::btnSetBattClick()
{
    const TUpsData& d = Cabinet().UpsData[SelectedDevAddr()];
    editCounter("Edit Battery Runtime", RegBattTimeLimit, d.BattTimeLimit, RegBattRunTime, d.BattRunTime);
}

void TfrmRunTime::btnSetFanClick()
{
    const TUpsData& d = Cabinet().UpsData[SelectedDevAddr()];
    editCounter("Edit Fan Runtime", RegFanTimeLimit, d.FanTimeLimit, RegFanRunTime, d.FanRunTime);
}
