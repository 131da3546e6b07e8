#include "settings/uFrmMask.h"

#include "comm/uCabinet.h"
#include "model/UShareData.h"
#include "model/uRegisters.h"
#include "model/uUpsInfo.h"
#include "settings/UFrmSetBit.h"
#include "settings/uMaskBitNames.h"
#include "ui/uCaptions.h"
#include "ui/uGraceWindows.h"
#include "ui/uGuard.h"
#include "ui/uHexEdit.h"
#include "ui/uNamed.h"
#include "ui/uReqSlots.h"
#include "ui/uUiSeam.h"
#include "ui/uWindowCaptions.h"
#include "ui/uWindowFlags.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QTimer>

namespace {
constexpr int ReadEvery = 4; // ticks of one second
constexpr uint8_t FuncReadHolding = 3;

// For the password grace rule: is a mask window shown?
bool maskWindowShown()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (qobject_cast<TfrmMask*>(w) && w->isVisible()) return true;
    return false;
}

// Geometry of one row of a panel: label, word, Edit button.
constexpr int RowPitch = 32;
constexpr int PanelWidth = 330;
constexpr int LabelWidth = 170;

int panelHeight(int rows) { return 12 + rows * RowPitch; }
} // namespace

TfrmMask::TfrmMask(QWidget* parent)
    : QDialog(parent, FixedDialogFlags)
{
    setObjectName(QStringLiteral("frmMask"));
    const char* labelNames[10] = {"Label1", "Label2", "Label3", "Label4", "Label5",
                                  "Label6", "Label7", "Label8", "Label9", "Label10"};
    const char* editNames[10] = {"edtState01", "edtState02", "edtState03", "edtState04", "edtAlarm01",
                                 "edtAlarm02", "edtAlarm03", "edtAlarm04", "edtMnState", "edtMnAlarm"};
    const char* buttonNames[10] = {"btnEdt01", "btnEdt02", "btnEdt03", "btnEdt04", "btnEdt05",
                                   "btnEdt06", "btnEdt07", "btnEdt08", "btnEdt09", "btnEdt10"};
    // Panel1 holds the four UPS state words, Panel2 the four alarm words, Panel3 the two
    // words of the monitor system.
    struct PanelPlace {
        QFrame** panel;
        const char* name;
        int first, rows;
    } const panels[3] = {{&Panel1, "Panel1", 0, 4}, {&Panel2, "Panel2", 4, 4}, {&Panel3, "Panel3", 8, 2}};
    int top = 8;
    for (const PanelPlace& p : panels) {
        QFrame* panel = MakeNamed<QFrame>(this, p.name, QRect(8, top, PanelWidth, panelHeight(p.rows)));
        panel->setFrameShape(QFrame::StyledPanel);
        panel->setFrameShadow(QFrame::Raised);
        *p.panel = panel;
        for (int i = 0; i < p.rows; ++i) {
            const int n = p.first + i;
            const int y = 10 + i * RowPitch;
            labels_[n] = MakeNamed<QLabel>(panel, labelNames[n], QRect(12, y + 2, LabelWidth, 22));
            edits_[n] = MakeCodeField(panel, editNames[n]);
            edits_[n]->setGeometry(12 + LabelWidth + 6, y, 64, 26);
            edits_[n]->setFocusPolicy(Qt::ClickFocus); // shown words, not the first stop of the window
            buttons_[n] =
                MakeNamed<QPushButton>(panel, buttonNames[n], QRect(PanelWidth - 12 - 64, y, 64, 26));
            buttons_[n]->setAutoDefault(false);
            connect(buttons_[n], &QPushButton::clicked, this, [this, n] { btnEdtClick(n + 1); });
        }
        top += panelHeight(p.rows) + 6;
    }
    setFixedSize(PanelWidth + 16, top + 2);

    QLabel** labelMembers[10] = {&Label1, &Label2, &Label3, &Label4, &Label5,
                                 &Label6, &Label7, &Label8, &Label9, &Label10};
    QLineEdit** editMembers[10] = {&edtState01, &edtState02, &edtState03, &edtState04, &edtAlarm01,
                                   &edtAlarm02, &edtAlarm03, &edtAlarm04, &edtMnState, &edtMnAlarm};
    QPushButton** buttonMembers[10] = {&btnEdt01, &btnEdt02, &btnEdt03, &btnEdt04, &btnEdt05,
                                       &btnEdt06, &btnEdt07, &btnEdt08, &btnEdt09, &btnEdt10};
    for (int n = 0; n < 10; ++n) {
        *labelMembers[n] = labels_[n];
        *editMembers[n] = edits_[n];
        *buttonMembers[n] = buttons_[n];
    }

    tmr1 = Named(new QTimer(this), "tmr1");
    tmr1->setInterval(1000);
    connect(tmr1, &QTimer::timeout, this, [this] { tmr1Timer(); });

    SetGraceWindowProbe(TGraceWindow::Mask, maskWindowShown);
    FormCreate();
    ApplyCaptions();
    tmr1->start();
}

void TfrmMask::FormCreate()
{
    for (QPushButton* b : buttons_) b->setEnabled(false);
}

void TfrmMask::ApplyCaptions()
{
    ApplyCaptionTable({WindowCaptionRow(this),
                       {Label1, "UPS State1", "整机状态位信息1"},
                       {Label2, "UPS State2", "整机状态位信息2"},
                       {Label3, "UPS State3", "整机状态位信息3"},
                       {Label4, "UPS State4", "整机状态位信息4"},
                       {Label5, "UPS Alarm1", "整机告警位信息1"},
                       {Label6, "UPS Alarm2", "整机告警位信息2"},
                       {Label7, "UPS Alarm3", "整机告警位信息3"},
                       {Label8, "UPS Alarm4", "整机告警位信息4"},
                       {Label9, "Monitor System State", "监控系统状态位信息"},
                       {Label10, "Monitor System Alarm", "监控系统告警位信息"}});
    for (QPushButton* b : buttons_) b->setText(QStringLiteral("Edit"));
}

void TfrmMask::FormShow()
{
    ShowWords();
    ApplyCaptions();
}

void TfrmMask::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous()) FormShow();
}

void TfrmMask::ShowWords()
{
    for (int n = 0; n < MaskChannelCount; ++n) SetHexWord(edits_[n], Cabinet().MaskWords[n]);
}

// With the port open: the words, and every fourth tick a read of all ten from slot 1 when it
// is free. Whether the port is open or not: the Edit buttons once a mask word has come.
void TfrmMask::tmr1Timer()
{
    if (LinkPortOpen()) {
        ShowWords();
        if (ReadCountdown <= 0) {
            ReadCountdown = ReadEvery - 1;
            QueueRequest(1, FuncReadHolding, RegMaskFirst, MaskChannelCount);
        } else {
            --ReadCountdown;
        }
    }
    if (Cabinet().MaskRecvd != 0)
        for (QPushButton* b : buttons_) b->setEnabled(true);
}

void TfrmMask::btnEdtClick(int channel)
{
    if (channel < 1 || channel > MaskChannelCount) return;
    MaskChannel = static_cast<uint8_t>(channel);
    MaskValue = Cabinet().MaskWords[channel - 1];
    RestartPswGrace();
    auto* dlg = new TFrmSetBit(this);
    ExecModal(dlg);
    delete dlg;
}
