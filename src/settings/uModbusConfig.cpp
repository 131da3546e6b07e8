#include "settings/uModbusConfig.h"

#include "comm/uCabinet.h"
#include "model/uRegisters.h"
#include "model/uUpsInfo.h"
#include "settings/uMobusSet.h"
#include "settings/uOptionCodes.h"
#include "ui/uCaptions.h"
#include "ui/uGuard.h"
#include "ui/uNamed.h"
#include "ui/uReqSlots.h"
#include "ui/uShowText.h"
#include "ui/uUiSeam.h"
#include "ui/uWidgets.h"
#include "ui/uWindowFlags.h"

#include <QEvent>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QTimer>

TfrmMdbCfg::TfrmMdbCfg(QWidget* parent) : QWidget(parent, FixedWindowFlags)
{
    setObjectName(QStringLiteral("frmMdbCfg"));
    setWindowTitle(QStringLiteral("OPTION Port Config"));
    setFixedSize(320, 140);
    lblBaud = MakeNamed<QLabel>(this, "lblBaud", QRect(16, 22, 100, 24));
    lblProtocol = MakeNamed<QLabel>(this, "lblProtocol", QRect(16, 56, 100, 24));
    // The codes are shown, not edited: their panel is disabled.
    pnl1 = MakeNamed<QFrame>(this, "pnl1", QRect(120, 14, 184, 74));
    pnl1->setEnabled(false);
    KeepLegibleWhenDisabled(pnl1);
    edtBaud = MakeNamed<QLineEdit>(pnl1, "edtBaud", QRect(4, 8, 176, 24));
    edtProtocol = MakeNamed<QLineEdit>(pnl1, "edtProtocol", QRect(4, 42, 176, 24));
    btnSet = MakeNamed<QPushButton>(this, "btnSet", QRect(204, 98, 100, 28));
    btnSet->setAutoDefault(false);
    connect(btnSet, &QPushButton::clicked, this, [this] { btnSetClick(); });
    tmr1 = Named(new QTimer(this), "tmr1");
    tmr1->setInterval(1000);
    connect(tmr1, &QTimer::timeout, this, [this] { tmr1Timer(); });
    FormCreate();
    tmr1->start(); // runs from creation; it reads only while the view is shown
}

void TfrmMdbCfg::FormCreate()
{
    Cabinet().OptBaud = -1;
    Cabinet().OptProtocol = -1;
    ApplyCaptions();
    ShowCodes();
}

void TfrmMdbCfg::ApplyCaptions()
{
    ApplyCaptionTable({{lblBaud, "Baud Rate", "波特率"},
                       {lblProtocol, "Protocol", "通讯协议"},
                       {btnSet, "Setting", "设置"}});
}

void TfrmMdbCfg::FormShow() { ApplyCaptions(); }

void TfrmMdbCfg::FormActivate() { ReadCountdown = 0; }

void TfrmMdbCfg::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous()) FormShow();
}

bool TfrmMdbCfg::event(QEvent* event)
{
    if (event->type() == QEvent::WindowActivate) FormActivate();
    return QWidget::event(event);
}

void TfrmMdbCfg::ShowCodes()
{
    ShowText(edtBaud, OptBaudText(Cabinet().OptBaud));
    ShowText(edtProtocol, OptProtocolText(Cabinet().OptProtocol));
}

void TfrmMdbCfg::tmr1Timer()
{
    ShowCodes();
    if (ReadCountdown > 0) {
        --ReadCountdown;
        return;
    }
    ReadCountdown = 10;
    if (isVisible()) QueueRequest(1, 3, RegOptFirst, OptBlockCount);
}

void TfrmMdbCfg::btnSetClick()
{
    if (!GuardAction(this, TGuardKind::PortAndGrace)) return;
    auto* set = new TfrmMdbSet(this);
    ExecModal(set);
    delete set;
}
