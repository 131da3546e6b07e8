// The main window: its creation, how it follows the link and serves the views, and the plumbing of its
// events.
#include "app/UFrmMain.h"

#include "model/uRegisters.h"

#include "comm/uFrmCom.h"
#include "diag/uFrmTrack.h"
#include "model/UShareData.h"
#include "model/uLocalPara.h"
#include "ui/uGuard.h"
#include "ui/uHexEdit.h"
#include "ui/uNamed.h"
#include "ui/uPassword.h"
#include "ui/uStringGrid.h"
#include "ui/uViewMainHooks.h"
#include "ui/uViewRegistry.h"
#include "ui/uWindowFlags.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QShowEvent>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QToolButton>

#include <initializer_list>

int32_t TxLedHold = 0;
int32_t RxLedHold = 0;
TFrmMain* FrmMain = nullptr;

namespace {
// Ticks the LEDs stay lit after a frame sent and after a chunk received.
constexpr int TxLedTicks = 3;
constexpr int RxLedTicks = 2;
} // namespace

void TFrmMain::FollowLink(TFrmCom* link)
{
    links_.Disconnect();
    if (!link) return;
    links_ << connect(link, &TFrmCom::FrameSent, this, [] { TxLedHold = TxLedTicks; })
           << connect(link, &TFrmCom::ChunkReceived, this, [] { RxLedHold = RxLedTicks; })
           << connect(link, &TFrmCom::ReplyAccepted, this,
                      [this](const TLinkRequest& request) { replyAccepted(request); })
           << connect(link, &TFrmCom::DeviceLost, this, [this](const QString& port) { ClearLiveView(port); });
    pushSelection();
}

void TFrmMain::replyAccepted(const TLinkRequest& request)
{
    NeedsRepaint = true;
    NoteReply();
    // A module's values came: the module list shows their state on its next rebuild.
    if ((request.func == 3 || request.func == 4) && request.startReg <= RegModuleLast &&
        request.startReg + request.count - 1 >= RegModuleFirst)
        ModListDirty = FlagOn;
}

void TFrmMain::pushSelection()
{
    if (!FrmCom) return;
    FrmCom->SetDevAddr(DevAddr);
    FrmCom->SetCurModule(CurModule);
}

// The views' view of this window.
class TFrmMain::ViewHooks : public TViewMainHooks {
public:
    explicit ViewHooks(TFrmMain& f) : f_(f) {}
    void ApplyMenuVisibility() override { f_.ApplyMenuVisibility(); }

private:
    TFrmMain& f_;
};

TApplicationEvents::TApplicationEvents(TFrmMain* owner) : QObject(owner), owner_(owner)
{
    setObjectName(QStringLiteral("aplctnvnts1"));
}

bool TApplicationEvents::eventFilter(QObject* watched, QEvent* event)
{
    owner_->aplctnvnts1Message(watched, event);
    return false; // passed on unchanged
}

TFrmMain::TFrmMain(QWidget* parent)
    : QMainWindow(parent), viewHooks_(std::make_unique<ViewHooks>(*this))
{
    setObjectName(QStringLiteral("FrmMain"));
    setWindowFlags(MinimizableWindowFlags);
    createMenu();
    auto* central = Named(new QWidget(this), "pnlMain");
    setCentralWidget(central);
    createTopStrip(central);
    PageControl1 = Named(new QTabWidget(central), "PageControl1");
    TabSheet1 = Named(new QWidget, "TabSheet1");
    TabSheet2 = Named(new QWidget, "TabSheet2");
    PageControl1->addTab(TabSheet1, QStringLiteral("System"));
    PageControl1->addTab(TabSheet2, QStringLiteral("Module"));
    // The status line stands in the empty part of the tabs' row.
    lblStatus = Named(new TClickLabel, "lblStatus");
    lblStatus->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lblStatus->setMinimumWidth(520);
    lblStatus->setContentsMargins(0, 0, 6, 0);
    PageControl1->setCornerWidget(lblStatus, Qt::TopRightCorner);
    createSystemPage();
    createModulePage();

    tmr1 = Named(new QTimer(this), "tmr1");
    tmr1->setInterval(100);
    aplctnvnts1 = new TApplicationEvents(this);
    qApp->installEventFilter(aplctnvnts1);

    connectHandlers();
    shapeGrids();
    ApplyCaptions();

    // Fixed single border, centred on the desktop.
    const int menuHeight = MainMenu1->sizeHint().height();
    setFixedSize(742, 582);
    PageControl1->setGeometry(4, 66, 734, 582 - menuHeight - 66 - 4);

    FrmMain = this;
    AcceptedPsw.clear();
    SetPswGraceCounter(&PswGraceCount);
    registerViews();
    SetViewMainHooks(viewHooks_.get());
    FormCreate();
    FollowLink(FrmCom);
    tmr1->start();
}

TFrmMain::~TFrmMain()
{
    if (tmr1) tmr1->stop();
    if (ownsTrackWindow_) delete TrackWindow.data();
    qApp->removeEventFilter(aplctnvnts1);
    links_.Disconnect();
    if (FrmMain == this) {
        SetViewMainHooks(nullptr);
        FrmMain = nullptr;
        SetPswGraceCounter(nullptr);
        ClearRegisteredViews();
    }
}

void TFrmMain::connectHandlers()
{
    connect(tmr1, &QTimer::timeout, this, &TFrmMain::tmr1Timer);
    connect(cbbSelectZYR, &QComboBox::activated, this, [this] { cbbSelectZYRChange(); });
    connect(lstMd, &QListWidget::itemClicked, this, [this] { lstMdClick(); });
    connect(lstMd, &QListWidget::currentRowChanged, this, [this] {
        if (!buildingModuleList_) lstMdClick();
    });
    connect(chkMdSta, &QCheckBox::clicked, this, [this] { chkMdStaClick(); });
    connect(btnReCnt, &QPushButton::clicked, this, [this] { btnReCntClick(); });
    connect(btnRead, &QPushButton::clicked, this, [this] { btnReadClick(); });
    connect(btnZyrCode, &QPushButton::clicked, this, [this] { btnZyrCodeClick(); });
    connect(btnMdCode, &QPushButton::clicked, this, [this] { btnMdCodeClick(); });
    connect(btnViewMDBuff, &QPushButton::clicked, this, [this] { btnViewMDBuffClick(); });
    connect(spbComLink, &QToolButton::clicked, this, [this] { spbComLinkClick(); });
    connect(lblCommName, &TClickLabel::clicked, this, [this] { lblCommNameClick(); });
    connect(lblErrRate, &TClickLabel::doubleClicked, this, [this] { lblErrRateDblClick(); });
    connect(iLedTx, &TLed::doubleClicked, this, [this] { iLedTxDblClick(); });
    connect(iLedRx, &TLed::doubleClicked, this, [this] { iLedTxDblClick(); });
    connect(rgLanguage, &TRadioGroup::clicked, this, [this] { rgLanguageClick(); });
    const std::pair<QAction*, void (TFrmMain::*)()> items[] = {
        {mni1001, &TFrmMain::mni1001Click}, {mni1002, &TFrmMain::mni1002Click},
        {mni2001, &TFrmMain::mni2001Click}, {mni2002, &TFrmMain::mni2002Click},
        {mni2003, &TFrmMain::mni2003Click}, {mni2004, &TFrmMain::mni2004Click},
        {mni2005, &TFrmMain::mni2005Click}, {mni2006, &TFrmMain::mni2006Click},
        {mni2007, &TFrmMain::mni2007Click}, {mni2008, &TFrmMain::mni2008Click},
        {mni3006, &TFrmMain::mni3006Click},
        {mni3001, &TFrmMain::mni3001Click}, {mni3002, &TFrmMain::mni3002Click},
        {mni3003, &TFrmMain::mni3003Click}, {mni3004, &TFrmMain::mni3004Click},
        {mni3005, &TFrmMain::mni3005Click},
        {mni4001, &TFrmMain::mni4001Click}, {mni4002, &TFrmMain::mni4002Click},
        {mni4003, &TFrmMain::mni4003Click}};
    for (const auto& [action, handler] : items)
        connect(action, &QAction::triggered, this, [this, h = handler] { (this->*h)(); });
}

void TFrmMain::FormCreate()
{
    LoadLocalPara();
    DevAddr = 1;
    cbbSelectZYR->setCurrentIndex(0);
    CurModule = 1;
    pushSelection();
    BuildModuleList();
    PageControl1->setCurrentWidget(TabSheet1);
}

void TFrmMain::FormShow()
{
    pnlVer->setText(QStringLiteral("Ver: ") + QStringLiteral(ZYR_VERSION));
    lblCommName->setText(LocalPara.ComName + QLatin1Char('\n') + QString::number(LocalPara.BaudRate) +
                         QStringLiteral(" bps"));
    shownLink_ = TShownLink{}; // the next tick writes the whole label again
    ApplyMenuVisibility();
    shapeGrids();
    ApplyCaptions();
    rgLanguage->SetItemIndex(LocalPara.Language);
    fillSlot(3, 43, 2, 0);
    checkSavedPort();
}

void TFrmMain::FormClose()
{
    if (FrmCom) FrmCom->ClosePort();
    if (BeforeSave) BeforeSave();
    SaveLocalPara();
}

void TFrmMain::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (!event->spontaneous()) FormShow();
}

void TFrmMain::closeEvent(QCloseEvent* event)
{
    FormClose();
    QMainWindow::closeEvent(event);
    Q_EMIT closed();
}

bool TFrmMain::eventFilter(QObject* watched, QEvent* event)
{
    // The port panel lights up under the mouse to show that a click opens the port dialog.
    if (watched == pnlComm && (event->type() == QEvent::Enter || event->type() == QEvent::Leave)) {
        const bool in = event->type() == QEvent::Enter;
        pnlComm->setFrameStyle(in ? (QFrame::Panel | QFrame::Raised) : QFrame::NoFrame);
        QFont f = lblCommName->font();
        f.setBold(in);
        lblCommName->setFont(f);
        QPalette pal = lblCommName->palette();
        pal.setColor(QPalette::WindowText, in ? QColor(Qt::blue) : palette().color(QPalette::WindowText));
        lblCommName->setPalette(pal);
    }
    return QMainWindow::eventFilter(watched, event);
}

void TFrmMain::aplctnvnts1Message(QObject*, QEvent* event)
{
    if (event->type() == QEvent::Wheel && lstMd && lstMd->hasFocus()) WheelHold = 1;
}

void TFrmMain::SyncDevAddr()
{
    if (cbbSelectZYR->currentIndex() < 0) cbbSelectZYR->setCurrentIndex(0);
}
