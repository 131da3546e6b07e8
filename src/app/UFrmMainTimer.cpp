// The main window's 100 ms tick, its period work and the requests it queues.
#include "app/UFrmMain.h"

#include "comm/uCabinet.h"
#include "comm/uFrmCom.h"
#include "model/UShareData.h"
#include "model/uDataFunc.h"
#include "model/uRegisters.h"
#include "ui/uGraceWindows.h"
#include "ui/uReqSlots.h"
#include "ui/uViewFormat.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QScrollBar>
#include <QTabWidget>
#include <QToolButton>

namespace {
constexpr int ModuleReadCount = 30;

bool portOpen() { return FrmCom && FrmCom->PortOpen(); }
} // namespace

void TFrmMain::fillSlot(int slot, uint8_t func, int32_t startReg, int32_t count, uint16_t value)
{
    if (!FrmCom) return;
    TReqSlot s;
    s.Addr = DevAddr;
    s.Func = func;
    s.StartReg = startReg;
    s.Count = count;
    s.Value = value;
    s.Source = objectName();
    FrmCom->Submit(slot, s);
}

void TFrmMain::tmr1Timer()
{
    // The rate changes once a period at most; formatting it every tick was a tenth of the
    // tool's whole work while polling.
    const double errRate = FrmCom ? FrmCom->CommDebug.ErrRate : 0.0;
    if (!(errRate == shownErrRate_)) {
        shownErrRate_ = errRate;
        lblErrRate->setText(QStringLiteral("Err Rate:  ") + FloatText(errRate, 1) +
                            QLatin1Char('%'));
    }

    iLedTx->setLit(TxLedHold > 0);
    if (TxLedHold > 0) --TxLedHold;
    iLedRx->setLit(RxLedHold > 0);
    if (RxLedHold > 0) --RxLedHold;

    showLinkState();

    if (NeedsRepaint) {
        NeedsRepaint = false;
        RefreshView();
    }
    showFreshness();

    ++TickCount;
    if (TickCount <= 10) return;
    TickCount = 0;
    periodWork();
}

void TFrmMain::showLinkState()
{
    const bool lost = FrmCom && FrmCom->PortLost();
    // Built again only when something it shows has changed: it runs every tick.
    const TShownLink shown{lost, FrmCom && FrmCom->FastLine(), portOpen(), IsChinese(), LocalPara.ComName,
                           LocalPara.BaudRate, LocalPara.curProtocol};
    if (shown == shownLink_) return;
    shownLink_ = shown;
    // A missing saved port is told until the port opens or another one is chosen.
    if (!missingPort_.isEmpty() && (shown.open || shown.port != missingPort_)) {
        missingPort_.clear();
        showStatus();
    }
    const QString lostText = lost ? LangText("%1 lost", "%1 已断开").arg(LocalPara.ComName) : QString();
    // The line-speed mode shows beside the speed.
    const QString fast = shown.fast ? LangText(" fast", " 快速") : QString();
    const QString text = (lost ? lostText : LocalPara.ComName) + QLatin1Char('\n') +
                         QString::number(LocalPara.BaudRate) + QStringLiteral(" bps") + fast +
                         QStringLiteral("\nProtocol:") + QString::number(LocalPara.curProtocol);
    if (lblCommName->text() != text) {
        lblCommName->setText(text);
        // The whole port name, however long: the label itself may have to shorten it.
        lblCommName->setToolTip(text);
    }
    // The glyph is replaced only when the port state changes.
    if (shown.open) {
        if (spbComLink->toolTip() != QLatin1String("Trun Off")) {
            spbComLink->setToolTip(QStringLiteral("Trun Off"));
            spbComLink->setIcon(Img_On);
        }
    } else if (lost) {
        if (spbComLink->toolTip() != lostText) {
            spbComLink->setToolTip(lostText);
            spbComLink->setIcon(Img_Lost);
        }
    } else if (spbComLink->toolTip() != QLatin1String("Trun On")) {
        spbComLink->setToolTip(QStringLiteral("Trun On"));
        spbComLink->setIcon(Img_Off);
    }
}

void TFrmMain::periodWork()
{
    ++SecCount;
    if (SecCount > 60) SecCount = 0;

    if (SecCount % 11 == 0 && ReqSlotFree(2)) fillSlot(2, 3, RegTextFirst, CfgTextReadCount);
    if (SecCount % 18 == 0) {
        if (ReqSlotFree(3)) fillSlot(3, 43, 2, 0); // version text
        if (ReqSlotFree(4)) fillSlot(4, 43, 1, 0); // type and rating
    }

    if (chkMdSta->isChecked())
        ScanNextModule();
    else if (PageControl1->currentWidget() == TabSheet2 && SecCount % 5 == 0 && ReqSlotFree(2))
        // A pending slot 2 may hold a write whose write-enable has already gone out: the page
        // refresh waits for the next period rather than overwrite it.
        RequestModule(std::max(lstMd->currentRow(), 0) + 1);

    lblTest01->setText(QString::number(WheelHold));
    if (WheelHold > 0) {
        --WheelHold;
    } else if (ModListDirty) {
        ModListDirty = FlagOff;
        BuildModuleList();
    }

    UpdatePswGrace();
}

void TFrmMain::UpdatePswGrace() { PswGraceCount = NextPswGraceCount(PswGraceCount); }

void TFrmMain::BuildModuleList()
{
    buildingModuleList_ = true;
    const int keepScroll = lstMd->verticalScrollBar() ? lstMd->verticalScrollBar()->value() : 0;
    // The entries are rewritten in place: the list is rebuilt every period while modules are
    // polled, and mostly reads the same as before.
    if (lstMd->count() != ModuleCount) lstMd->clear();
    for (int n = 1; n <= ModuleCount; ++n) {
        QString entry;
        if (chkMdSta->isChecked())
            entry = QStringLiteral("%1  ").arg(n, 2, 10, QLatin1Char('0')) +
                    StateText(Cabinet().ModuleData[n].ModState);
        else
            entry = QStringLiteral("Module %1").arg(n, 2, 10, QLatin1Char('0'));
        if (QListWidgetItem* item = lstMd->item(n - 1)) {
            if (item->text() != entry) item->setText(entry);
        } else {
            lstMd->addItem(entry);
        }
    }
    lstMd->setCurrentRow(CurModule - 1);
    lstMd->verticalScrollBar()->setValue(keepScroll);
    buildingModuleList_ = false;
}

void TFrmMain::RequestModule(int m) { fillSlot(2, 4, ModuleRegister(m, 1), ModuleReadCount); }

void TFrmMain::ScanNextModule()
{
    if (!ReqSlotFree(2)) return;
    ++ModScanIdx;
    if (ModScanIdx > lstMd->count()) ModScanIdx = 1;
    RequestModule(ModScanIdx);
}

void TFrmMain::lstMdClick()
{
    TickCount = 0;
    const int row = lstMd->currentRow();
    if (row < 0 || row + 1 == CurModule) return;
    CurModule = static_cast<uint8_t>(row + 1);
    pushSelection();
    ClearModuleValues(CurModule);
    NeedsRepaint = true;
    if (ReqSlotFree(2)) RequestModule(CurModule);
}

void TFrmMain::ClearModuleValues(int m)
{
    if (m < 1 || m > ModuleCount) return;
    TModuleData& d = Cabinet().ModuleData[m];
    // Battery values and the state stay until the module's reply replaces them.
    for (double& v : d.BusVolt) v = 0;
    for (double& v : d.InvVolt) v = 0;
    for (double& v : d.InvCurr) v = 0;
    d.InvFreq = 0;
    for (double& v : d.Temp) v = 0;
    for (double& v : d.DcBusVolt) v = 0;
    for (int i = 0; i < 8; ++i) d.Status.Word(i) = 0;
    d.MdSend = d.MdAccept = d.MdAckOk = 0;
}

void TFrmMain::cbbSelectZYRChange()
{
    if (cbbSelectZYR->currentIndex() < 0) return;
    const uint8_t before = DevAddr;
    DevAddr = static_cast<uint8_t>(cbbSelectZYR->currentIndex() + 1);
    // The window's own reads still waiting ask about the selected cabinet, so they follow the
    // selection: left as they were, each would cost the old address three timeouts before the
    // new one is polled. A write stays with the cabinet it was confirmed for.
    pushSelection();
    if (!FrmCom) return;
    FrmCom->ReaddressReads(objectName(), before, DevAddr);
    // The link starts a fresh poll cycle for the new address at its next idle turn.
    FrmCom->RestartPollCycle();
}

void TFrmMain::SelectDevAddr(int addr)
{
    if (addr < 1 || addr > cbbSelectZYR->count()) return;
    cbbSelectZYR->setCurrentIndex(addr - 1);
    cbbSelectZYRChange();
}

void TFrmMain::chkMdStaClick() { ModListDirty = FlagOn; }

void TFrmMain::btnReCntClick() { QueueWrite(this, {{2, 6, ModuleRegister(CurModule, PlaceMdSend), 0, 0}}); }

void TFrmMain::btnReadClick()
{
    if (ReqSlotFree(4)) fillSlot(4, 43, 1, 0);
}

void TFrmMain::lblErrRateDblClick()
{
    if (FrmCom) FrmCom->ResetCounters();
}
