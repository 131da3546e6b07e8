// The main window's menu: visibility from the settings strings, the menu handlers, the link
// button and the windows the main window opens.
#include "app/UFrmMain.h"

#include "app/UFrmCommInterface.h"
#include "comm/uFrmCom.h"
#include "comm/uFrmTrack.h"
#include "model/UShareData.h"
#include "ui/uOpenFailure.h"
#include "ui/uUiSeam.h"
#include "ui/uViewRegistry.h"

#include <QAction>
#include <QMenu>
#include <QTabWidget>

namespace {
// Character n (from 1) of a visibility string shows its item only when it is "1".
bool shown(const QString& flags, int n) { return n <= flags.size() && flags.at(n - 1) == QLatin1Char('1'); }
} // namespace

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
        FrmCom->OpenPort();
        LinkState.CommPaused = false;
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
    TrackWindow->show();
    TrackWindow->raise();
    TrackWindow->activateWindow();
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

    // frmUpsPara

    // frmZyrCfg, frmMask

    // frmMdbCfg, frmRunTime

    // frmUpsRec

    // frmInCode, frmMdbView, frmViewMdbuff, FrmAbout, frmDict
}

// Each window's handlers stand in a block of their own below.

// UPS parameters window.
void TFrmMain::mni2001Click() {}

// Cabinet configuration view.
void TFrmMain::mni2002Click() {}

// Alarm mask maintenance, behind the password prompt.
void TFrmMain::mni2003Click() {}

// OPTION-port configuration view.
void TFrmMain::mni2004Click() {}

// Runtime counters.
void TFrmMain::mni2006Click() {}

// Event record window.
void TFrmMain::mni3001Click() {}

// "IAP", "Correct" and "Test" do nothing.
void TFrmMain::mni3002Click() {}
void TFrmMain::mni3003Click() {}
void TFrmMain::mni3004Click() {}

// Status code viewer of the cabinet's and of the module's status block.
void TFrmMain::btnZyrCodeClick()
{
    CodeSource = &UpsData[DevAddr].Status;
    CodeIsSystem = 1;
}

void TFrmMain::btnMdCodeClick()
{
    CodeSource = &ModuleData[CurModule].Status;
    CodeIsSystem = 0;
}

// Register viewer.
void TFrmMain::mni2005Click() {}

// Module receive-buffer viewer.
void TFrmMain::btnViewMDBuffClick() {}

// About box.
void TFrmMain::mni4001Click() {}

// Dictionary (its item is always hidden).
void TFrmMain::mni4003Click() {}
