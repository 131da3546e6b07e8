// The main window: live view of the selected cabinet and of one power module, the link
// state, the periodic requests that are not part of the link's own poll, and the menu that
// opens every other window.
#pragma once

#include "comm/uLinkConnections.h"
#include "model/uUpsInfo.h"
#include "ui/uStatusWordFields.h"
#include "ui/uWidgets.h"

#include <QIcon>
#include <QMainWindow>
#include <QPalette>
#include <QPointer>

#include <cstdint>
#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

class QAction;
class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QMenuBar;
class QPushButton;
class QTabWidget;
class QTableWidget;
class QTimer;
class QToolButton;
class QWidget;
class TFrmMain;
class TfrmTrack;
class TfrmUpsPara;
class TfrmMdbCfg;
class TfrmRunTime;
class TfrmUpsRec;
class TfrmJournal;
class TBackupReader;
class TFrmCom;
struct TLinkRequest;
class TfrmTrend;

// Counters set after each frame the link sends (3) and each chunk it receives (2); the LEDs
// stay lit while they are above 0.
extern int32_t TxLedHold;
extern int32_t RxLedHold;

// The one main window of the run.
extern TFrmMain* FrmMain;

// Application-wide hook: a mouse wheel turned while the module list has the focus holds the
// next list rebuild for one period, so the list does not jump under the operator's hand.
class TApplicationEvents : public QObject {
    Q_OBJECT
public:
    explicit TApplicationEvents(TFrmMain* owner);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    TFrmMain* owner_;
};

class TFrmMain : public QMainWindow {
    Q_OBJECT
public:
    explicit TFrmMain(QWidget* parent = nullptr);
    ~TFrmMain() override;

    // Fields.
    uint8_t DevAddr = 1;
    uint8_t TickCount = 0;
    uint8_t SecCount = 0;
    uint8_t CurModule = 1;
    // The link accepted a reply since the last repaint: the next tick repaints the view.
    bool NeedsRepaint = false;
    int32_t PswGraceCount = 0;
    uint8_t ModListDirty = 0;
    uint8_t ModScanIdx = 0;
    uint8_t WheelHold = 0;

    // Interfaces for the link and the other windows.
    int GetDevAddr() const { return DevAddr; }
    void SyncDevAddr();
    // Follows link's signals (the LEDs, new values, a lost device) and tells it the selected
    // cabinet and module; a window made before the link follows it once it is there.
    void FollowLink(TFrmCom* link);
    void ApplyCaptions();
    void ApplyMenuVisibility();
    void RefreshView();
    void BuildModuleList();
    void RequestModule(int m);
    void ScanNextModule();
    void ClearModuleValues(int m);
    // The device of the open port went away: the live values and state texts are emptied, so
    // that nothing old reads as current; the next accepted reply fills them again.
    void ClearLiveView(const QString& port);
    // The password grace rule of one period.
    void UpdatePswGrace();
    // An accepted reply from the link: the values shown are live again from the next tick.
    void NoteReply();
    // True while the values shown are not live: the port is closed or lost and no reply has
    // come since. They are drawn grey meanwhile and lblStatus names the time of the last reply.
    bool ValuesStale() const { return stale_; }

    // Form events.
    void FormCreate();
    void FormShow();
    void FormClose();

    // Event handlers.
    void tmr1Timer();
    void cbbSelectZYRChange();
    // Selects cabinet address addr (1..15) as the operator would in cbbSelectZYR.
    void SelectDevAddr(int addr);
    void lstMdClick();
    void chkMdStaClick();
    void btnReCntClick();
    void btnReadClick();
    void btnZyrCodeClick();
    void btnMdCodeClick();
    void btnViewMDBuffClick();
    void spbComLinkClick();
    void lblCommNameClick();
    void lblErrRateDblClick();
    void iLedTxDblClick();
    void rgLanguageClick();
    void aplctnvnts1Message(QObject* watched, QEvent* event);
    void mni1001Click();
    void mni1002Click();
    void mni2001Click();
    void mni2002Click();
    void mni2003Click();
    void mni2004Click();
    void mni2005Click();
    void mni2006Click();
    void mni2007Click(); // "Save settings…"
    void mni2008Click(); // "Restore settings…"
    void mni3001Click();
    void mni3002Click();
    void mni3003Click();
    void mni3004Click();
    void mni3006Click(); // "Journal"
    void mni3005Click();
    void mni4001Click();
    void mni4002Click();
    void mni4003Click();

    // Components: top strip.
    TLed* iLedTx = nullptr;
    TLed* iLedRx = nullptr;
    TClickLabel* lblErrRate = nullptr;
    QLabel* lbDevID = nullptr;
    QComboBox* cbbSelectZYR = nullptr;
    QGroupBox* grpUpsVer = nullptr;
    QLineEdit* edtUpsVer = nullptr;
    QLabel* pnlVer = nullptr;
    TRadioGroup* rgLanguage = nullptr;
    QToolButton* spbComLink = nullptr;
    QFrame* pnlComm = nullptr;
    TClickLabel* lblCommName = nullptr;
    // The status line beside the page tabs: a saved port that is not there, the last reply.
    TClickLabel* lblStatus = nullptr;
    QIcon Img_On;
    QIcon Img_Off;
    QIcon Img_Lost; // the port's device went away while the link was on
    QTabWidget* PageControl1 = nullptr;

    // System page.
    QWidget* TabSheet1 = nullptr;
    QTableWidget* sgrdUPS_AC = nullptr;
    QTableWidget* sgrdUPS_DC = nullptr;
    QLineEdit* edtSysState = nullptr;
    QGroupBox* grp1 = nullptr;
    QLineEdit* mdtCmmStaH = nullptr;
    QLineEdit* mdtCmmStaL = nullptr;
    QLineEdit* mdtInvStaH = nullptr;
    QLineEdit* mdtInvStaL = nullptr;
    QLineEdit* mdtSysSta = nullptr;
    QLineEdit* mdtCmmAlmH = nullptr;
    QLineEdit* mdtCmmAlmL = nullptr;
    QLineEdit* mdtInvAlmH = nullptr;
    QLineEdit* mdtInvAlmL = nullptr;
    QLineEdit* mdtSysAlm = nullptr;
    QPushButton* btnZyrCode = nullptr;
    QGroupBox* grpTypeInfo = nullptr;
    QLineEdit* edtTypeInfo = nullptr;
    QLineEdit* edtMdRate = nullptr;
    QPushButton* btnRead = nullptr;

    // Module page.
    QWidget* TabSheet2 = nullptr;
    QLabel* lbModuleIdx = nullptr;
    QCheckBox* chkMdSta = nullptr;
    QListWidget* lstMd = nullptr;
    QLineEdit* edtMdState = nullptr;
    QTableWidget* sgrdModule = nullptr;
    QGroupBox* grp2 = nullptr;
    QLineEdit* mdt_MdCMMStatusH = nullptr;
    QLineEdit* mdt_MdCMMStatusL = nullptr;
    QLineEdit* mdt_MdINVStatusH = nullptr;
    QLineEdit* mdt_MdINVStatusL = nullptr;
    QLineEdit* mdt_MdCMMAlarmH = nullptr;
    QLineEdit* mdt_MdCMMAlarmL = nullptr;
    QLineEdit* mdt_MdINVAlarmH = nullptr;
    QLineEdit* mdt_MdINVAlarmL = nullptr;
    QPushButton* btnMdCode = nullptr;
    QGroupBox* grp3 = nullptr;
    QLineEdit* edtErrRate = nullptr;
    QLineEdit* edtSend = nullptr;
    QLineEdit* edtAcpt = nullptr;
    QLineEdit* edtAckOk = nullptr;
    QPushButton* btnReCnt = nullptr;
    QPushButton* btnViewMDBuff = nullptr;
    QLabel* lblTest01 = nullptr;

    // Menu.
    QMenuBar* MainMenu1 = nullptr;
    QMenu* mni1000 = nullptr;
    QAction* mni1001 = nullptr;
    QAction* mni1002 = nullptr;
    QMenu* mni2000 = nullptr;
    QAction* mni2001 = nullptr;
    QAction* mni2002 = nullptr;
    QAction* mni2003 = nullptr;
    QAction* mni2004 = nullptr;
    QAction* mni2005 = nullptr;
    QAction* mni2006 = nullptr;
    QAction* mni2007 = nullptr; // shown whatever the visibility strings say
    QAction* mni2008 = nullptr; // likewise
    QMenu* mni3000 = nullptr;
    QAction* mni3001 = nullptr;
    QAction* mni3002 = nullptr;
    QAction* mni3003 = nullptr;
    QAction* mni3004 = nullptr;
    QAction* mni3006 = nullptr; // shown whatever the visibility strings say
    QAction* mni3005 = nullptr;
    QMenu* mni4000 = nullptr;
    QAction* mni4001 = nullptr;
    QAction* mni4002 = nullptr;
    QAction* mni4003 = nullptr;

    // Non-visual.
    QTimer* tmr1 = nullptr;
    TApplicationEvents* aplctnvnts1 = nullptr;

    // The trace window; made on first use when the start-up code has not made it.
    QPointer<TfrmTrack> TrackWindow;
    // The UPS parameters window, made on first use.
    QPointer<TfrmUpsPara> frmUpsPara;
    QPointer<TfrmMdbCfg> MdbCfgWindow;   // the OPTION-port view; made at start-up or on first use
    QPointer<TfrmRunTime> RunTimeWindow; // the runtime window shown last (one at start-up)
    QPointer<TfrmUpsRec> frmUpsRec;      // the event-record window, made on first use
    QPointer<TfrmJournal> frmJournal;    // the service journal window, made on first use
    QPointer<TBackupReader> BackupReader; // the "Save settings…" reading in progress
    QPointer<TfrmTrend> frmTrend;        // the trend window, made on first use

    // Run before the settings are written when the window closes (the start-up code uses it
    // to keep the settings file's own port when this run was pointed at another one).
    std::function<void()> BeforeSave;
    // Told whether the port dialog opened from this window was confirmed.
    std::function<void(bool confirmed)> PortDialogDone;

Q_SIGNALS:
    // The window has closed: port closed, settings saved.
    void closed();
    // RefreshView has copied the records into the view.
    void viewRefreshed();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createTopStrip(QWidget* central);
    void createSystemPage();
    void createModulePage();
    void createMenu();
    void connectHandlers();
    void shapeGrids();
    void placePageContents();
    void showLinkState();
    void showFreshness();
    void setStale(bool stale);
    void showStatus();
    void checkSavedPort();
    QList<QWidget*> valueWidgets() const;
    void periodWork();
    void fillSlot(int slot, uint8_t func, int32_t startReg, int32_t count, uint16_t value = 0);
    void openPortDialog();
    void registerViews();
    void showTrack();
    void bringToFront(QWidget* w);

    void replyAccepted(const TLinkRequest& request);
    // Tells the link the selected cabinet and module.
    void pushSelection();
    TLinkConnections links_;
    class ViewHooks;
    std::unique_ptr<ViewHooks> viewHooks_;
    bool buildingModuleList_ = false;
    double shownErrRate_ = -1; // the rate lblErrRate shows
    // What the port label and the link button show.
    struct TShownLink {
        bool lost = false, fast = false, open = false, chinese = false;
        QString port;
        qint64 baud = -1;
        int protocol = -1;
        bool operator==(const TShownLink& o) const
        {
            return lost == o.lost && fast == o.fast && open == o.open && chinese == o.chinese && port == o.port &&
                   baud == o.baud && protocol == o.protocol;
        }
    };
    TShownLink shownLink_{};
    // The values the live grids show, cell by cell (NaN where a cell shows none): a refresh
    // formats and writes only the values that changed.
    std::unordered_map<const QTableWidget*, std::vector<double>> shownValues_;
    bool ownsTrackWindow_ = false;
    // Freshness of the values shown.
    bool stale_ = false;
    bool replySinceTick_ = false;
    qint64 lastReplyMs_ = 0; // since the epoch; 0 while no reply has come
    std::unordered_map<QWidget*, QPalette> livePalettes_;
    // The code fields of the system page's and the module page's status words.
    TStatusWordFields cabinetWords_;
    TStatusWordFields moduleWords_;
    // The port the run started with, when its device is not there; told in lblStatus until
    // the port opens or another is chosen.
    QString missingPort_;
    bool savedPortChecked_ = false;
};
