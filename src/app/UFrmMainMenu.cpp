// The main window's menu: visibility from the settings strings, the menu handlers, the link
// button and the windows the main window opens.
#include "app/UFrmMain.h"

#include "app/UFrmCommInterface.h"
#include "comm/uCabinet.h"
#include "comm/uFrmCom.h"
#include "comm/uOpenFailure.h"
#include "diag/UFrmAbout.h"
#include "diag/uFrmDict.h"
#include "diag/uFrmTrack.h"
#include "diag/uFrmTrend.h"
#include "diag/uInCode.h"
#include "diag/uViewMdBuff.h"
#include "diag/uViewMdb.h"
#include "model/UShareData.h"
#include "records/uUpsRec.h"
#include "settings/uFrmMask.h"
#include "settings/uFrmUpsPara.h"
#include "settings/uModbusConfig.h"
#include "settings/uRunTime.h"
#include "settings/uZyrCfg.h"
#include "ui/uGuard.h"
#include "ui/uMenuFlags.h"
#include "ui/uShowView.h"
#include "ui/uUiSeam.h"
#include "ui/uViewRegistry.h"

#include <QAction>
#include <QMenu>
#include <QPointer>
#include <QTabWidget>

namespace {
bool shown(const QString& flags, int n) { return FlagCharOn(flags, n); }
} // namespace

// Shows a view that is not modal over this window and brings it to the front.
void TFrmMain::bringToFront(QWidget* w) { ShowViewOver(w, this); }

void TFrmMain::ApplyMenuVisibility()
{
    const QString& m2 = LocalPara.Menu02;
    mni2000->menuAction()->setVisible(shown(m2, 1));
    mni2001->setVisible(shown(m2, 2));
    mni2002->setVisible(shown(m2, 3));
    mni2003->setVisible(shown(m2, 4));
    mni2004->setVisible(shown(m2, 5));
    mni2005->setVisible(shown(m2, 6));
    const QString& m3 = LocalPara.Menu03;
    mni3000->menuAction()->setVisible(shown(m3, 1));
    mni3001->setVisible(shown(m3, 2));
    mni3002->setVisible(shown(m3, 3));
    mni3003->setVisible(shown(m3, 4));
    mni3004->setVisible(shown(m3, 5));
    mni4003->setVisible(false);
    const int page = PageControl1->indexOf(TabSheet2);
    if (shown(LocalPara.PageSheet, 2))
        PageControl1->setTabVisible(page, true);
    else if (PageControl1->isTabVisible(page))
        PageControl1->setTabVisible(page, false);
}

void TFrmMain::rgLanguageClick()
{
    const int index = rgLanguage->ItemIndex();
    if (index < 0) return;
    LocalPara.Language = static_cast<uint8_t>(index);
    ApplyCaptions();
}

void TFrmMain::spbComLinkClick()
{
    if (!FrmCom) return;
    // The button is on while the port is open or its lost device is awaited; off ends both.
    if (FrmCom->PortOpen() || FrmCom->PortLost()) {
        FrmCom->ClosePort();
        return;
    }
    try {
        FrmCom->OpenPort(LocalPara.ComName, LocalPara.BaudRate);
        FrmCom->SetPaused(false);
    } catch (const ECommsError& e) {
        TMessageBoxRequest r;
        r.parent = this;
        r.icon = QMessageBox::Critical;
        r.title = windowTitle();
        r.text = OpenFailureText(e);
        ShowMessageBox(r);
    }
}

void TFrmMain::openPortDialog()
{
    auto* dlg = new TFrmCommInterface(this);
    const int result = ExecModal(dlg);
    delete dlg;
    if (PortDialogDone) PortDialogDone(result == QDialog::Accepted);
}

void TFrmMain::showTrack()
{
    if (!TrackWindow) {
        TrackWindow = new TfrmTrack;
        ownsTrackWindow_ = true;
    }
    bringToFront(TrackWindow);
}

void TFrmMain::lblCommNameClick() { openPortDialog(); }
void TFrmMain::iLedTxDblClick() { showTrack(); }
void TFrmMain::mni1001Click() { openPortDialog(); }
void TFrmMain::mni1002Click() { close(); }
void TFrmMain::mni4002Click() { showTrack(); }

// The views `--window OBJECTNAME` opens, each as its menu item or button does.
void TFrmMain::registerViews()
{
    RegisterView(QStringLiteral("frmTrack"), [this] { mni4002Click(); });
    RegisterView(QStringLiteral("FrmCommInterface"), [this] { mni1001Click(); });

    RegisterView(QStringLiteral("frmUpsPara"), [this] { mni2001Click(); });

    RegisterView(QStringLiteral("frmZyrCfg"), [this] { mni2002Click(); });
    RegisterView(QStringLiteral("frmMask"), [this] { mni2003Click(); });

    RegisterView(QStringLiteral("frmMdbCfg"), [this] { mni2004Click(); });
    RegisterView(QStringLiteral("frmRunTime"), [this] { mni2006Click(); });

    RegisterView(QStringLiteral("frmUpsRec"), [this] { mni3001Click(); });
    // frmRecDetail: as a double click on the event-record grid shows it.
    RegisterView(QStringLiteral("frmTrend"), [this] { mni3005Click(); });
    RegisterView(QStringLiteral("frmRecDetail"), [this] {
        mni3001Click();
        frmUpsRec->DBGrd1DblClick();
    });

    RegisterView(QStringLiteral("frmMdbView"), [this] { mni2005Click(); });
    RegisterView(QStringLiteral("frmViewMdbuff"), [this] { btnViewMDBuffClick(); });
    RegisterView(QStringLiteral("frmDict"), [this] { mni4003Click(); });
    RegisterView(QStringLiteral("frmInCode"), [this] { btnZyrCodeClick(); });
    RegisterView(QStringLiteral("FrmAbout"), [this] { mni4001Click(); });
    RegisterView(QStringLiteral("frmJournal"), [this] { mni3006Click(); });
}

// Each window's handlers stand in a block of their own below.

// UPS parameters window: made once (a window of its own, freed with this one), then shown
// again and brought to the front.
void TFrmMain::mni2001Click()
{
    if (!frmUpsPara) frmUpsPara = new TfrmUpsPara(this);
    bringToFront(frmUpsPara);
}

// Cabinet configuration view: a new one shown modally, then freed.
void TFrmMain::mni2002Click()
{
    auto* view = new TfrmZyrCfg(this);
    ExecModal(view);
    delete view;
}

// Alarm mask maintenance, behind the password prompt.
void TFrmMain::mni2003Click()
{
    if (!GuardAction(this, TGuardKind::AlarmMaskMenu)) return;
    auto* mask = new TfrmMask(this);
    ExecModal(mask);
    delete mask;
}

// OPTION-port configuration view: one instance, shown and brought to the front.
void TFrmMain::mni2004Click()
{
    if (!MdbCfgWindow) MdbCfgWindow = new TfrmMdbCfg(this);
    bringToFront(MdbCfgWindow);
}

// Runtime counters: the window shown last is closed and freed; a new one is shown modally
// and freed when it closes.
void TFrmMain::mni2006Click()
{
    if (RunTimeWindow) {
        RunTimeWindow->close();
        delete RunTimeWindow.data();
    }
    auto* w = new TfrmRunTime(this);
    RunTimeWindow = w;
    ExecModal(w);
    delete w;
}

// Event record window: made on first use, then shown and brought to the front; closing it
// only hides it, so a download goes on.
void TFrmMain::mni3001Click()
{
    if (!frmUpsRec) frmUpsRec = new TfrmUpsRec(this);
    bringToFront(frmUpsRec);
}

// "IAP", "Correct" and "Test" do nothing.
void TFrmMain::mni3002Click() {}
void TFrmMain::mni3003Click() {}
void TFrmMain::mni3004Click() {}

// Trend window: made on first use, then shown and brought to the front; the ring behind it
// records from start-up either way.
void TFrmMain::mni3005Click()
{
    if (!frmTrend) frmTrend = new TfrmTrend(this);
    bringToFront(frmTrend);
}

// Status code viewer of the cabinet's and of the module's status block.
namespace {
QPointer<TfrmInCode> codeViewer;

// A fresh viewer for each click, with the captions of the language of that moment; an earlier
// one still open is closed and freed first.
void showCodeViewer()
{
    if (codeViewer) {
        codeViewer->close();
        delete codeViewer.data();
    }
    auto* viewer = new TfrmInCode;
    codeViewer = viewer;
    ExecModal(viewer);
    delete codeViewer.data(); // gone already when a later click replaced it
}
} // namespace

void TFrmMain::btnZyrCodeClick()
{
    Cabinet().CodeSource = &Cabinet().UpsData[DevAddr].Status;
    Cabinet().CodeIsSystem = 1;
    showCodeViewer();
}

void TFrmMain::btnMdCodeClick()
{
    Cabinet().CodeSource = &Cabinet().ModuleData[CurModule].Status;
    Cabinet().CodeIsSystem = 0;
    showCodeViewer();
}

// Register viewer: one at a time; closing it frees it.
void TFrmMain::mni2005Click() { bringToFront(frmMdbView ? frmMdbView : new TfrmMdbView(this)); }

// Module receive-buffer viewer (made at start-up; made here when it is not there).
void TFrmMain::btnViewMDBuffClick()
{
    bringToFront(frmViewMdbuff ? frmViewMdbuff : new TfrmViewMdbuff(this));
}

// About box.
void TFrmMain::mni4001Click()
{
    auto* about = new TFrmAbout(this);
    ExecModal(about);
    delete about;
}

// Dictionary (its item is always hidden).
void TFrmMain::mni4003Click() { bringToFront(frmDict ? frmDict : new TfrmDict(this)); }
