#include "app/uStartup.h"

#include "app/UFrmCommInterface.h"
#include "app/UFrmMain.h"
#include "app/uDemoCabinet.h"
#include "app/uDemoPrompt.h"
#include "comm/uCabinet.h"
#include "comm/uFrmCom.h"
#include "comm/uTrendRecorder.h"
#include "diag/UFrmAbout.h"
#include "diag/uFrmDict.h"
#include "diag/uFrmTrack.h"
#include "diag/uViewMdBuff.h"
#include "model/UShareData.h"
#include "model/uDataFunc.h"
#include "model/uLocalPara.h"
#include "records/uRecDetail.h"
#include "settings/uEdtMdRegist.h"
#include "settings/uModbusConfig.h"
#include "settings/uRunTime.h"
#include "store/uRecordDb.h"
#include "store/uServiceJournal.h"
#include "ui/uPassword.h"
#include "ui/uStringGrid.h"
#include "ui/uUiSeam.h"
#include "ui/uViewRegistry.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QScreen>
#include <QTableWidget>
#include <QTimer>

#include <cstdio>

TStartup::TStartup(const TCmdLine& options, QObject* parent) : QObject(parent), options_(options)
{
    sinceStart_.start();
}

TStartup::~TStartup()
{
    // The reverse of the creation order: the link form first, so that nothing reaches a
    // window that is gone.
    delete com_;
    journal_.reset();
    delete track_.data();
    delete main_; // owns the port dialog instance
    if (demo_) demo_->Stop();
    SetRunOnlyPort(QString());
}

bool TStartup::CreateWindows(QString& error)
{
    // Armed before anything can raise a message box (the settings file is read below), so that a
    // box left open can never hold off the timed end.
    if (options_.QuitAfterMs >= 0) QTimer::singleShot(options_.QuitAfterMs, this, &TStartup::timedEnd);
    if (!options_.SettingsDir.isEmpty()) SetSettingsFolderOverride(options_.SettingsDir);
    if (options_.Demo) {
        demo_ = std::make_unique<TDemoCabinet>();
        if (!demo_->Start(error, demoSimulator_)) return false;
    }

    main_ = new TFrmMain; // its creation loads the settings
    created_.append(main_);
    main_->BeforeSave = [this] { restoreFileValues(); };
    main_->PortDialogDone = [this](bool confirmed) {
        // The operator chose a port: from now on it is the settings file's own.
        if (confirmed) overridePort_ = overrideBaud_ = overrideProtocol_ = false;
    };
    connect(main_, &TFrmMain::closed, this, &TStartup::printCounters);
    connect(main_, &TFrmMain::closed, this, &TStartup::finished);
    connect(main_, &TFrmMain::viewRefreshed, this, &TStartup::onViewRefreshed);
    applyOverrides();

    portDialog_ = new TFrmCommInterface(main_); // never shown; the menu makes its own
    created_.append(portDialog_);

    // About box.
    about_ = new TFrmAbout(main_); // never shown; the menu makes its own
    created_.append(about_);

    auto* track = new TfrmTrack; // hidden until the operator asks for it
    track_ = track;
    created_.append(track);
    main_->TrackWindow = track;

    com_ = new TFrmCom; // takes curProtocol as the link's active protocol
    com_->SetFastLineForRun(options_.Fast);
    main_->FollowLink(com_);
    track->FollowLink(com_);
    StartTrendRecording(); // the trend keeps every poll cycle from now on, its window open or not
    created_.append(com_);
    openJournal();

    // Every guarded action makes a prompt of its own; this one is never shown.
    password_ = new TfrmPassword(main_);
    created_.append(password_);

    // Module receive-buffer viewer.
    created_.append(new TfrmViewMdbuff(main_)); // hidden until its button shows it

    // Dictionary.
    created_.append(new TfrmDict(main_)); // its menu item is always hidden

    // Record detail view.
    created_.append(new TfrmRecDetail(main_)); // hidden until the grid is double-clicked

    // OPTION-port view. Its creation sets OptBaud and OptProtocol to -1 (nothing read yet);
    // its timer runs from now on and reads only while the view is shown.
    main_->MdbCfgWindow = new TfrmMdbCfg(main_);
    created_.append(main_->MdbCfgWindow);

    // Runtime window.
    main_->RunTimeWindow = new TfrmRunTime(main_);
    created_.append(main_->RunTimeWindow);

    // Register editor.
    created_.append(new TfrmEdtMdRegist(main_));

    return true;
}

// The service journal beside the record database: every write the link sends is noted. A
// journal that cannot be written is told once; the writes go on without it.
void TStartup::openJournal()
{
    journal_ = std::make_unique<TServiceJournal>();
    QPointer<TFrmMain> main = main_;
    journal_->SetFailureHandler([main](const QString& why) {
        const QString text = LangText("The service journal cannot be written (%1). Writes go on without it.",
                                      "服务日志无法写入 (%1)。写操作照常进行，但不再记录。")
                                 .arg(why);
        std::fprintf(stderr, "zyrtool: %s\n", qPrintable(text));
        // Told after the link's tick has ended, never from inside it.
        QTimer::singleShot(0, main, [main, text] {
            if (!main) return;
            TMessageBoxRequest r;
            r.parent = main;
            r.icon = QMessageBox::Warning;
            r.title = main->windowTitle();
            r.text = text;
            ShowMessageBox(r);
        });
    });
    QDir().mkpath(RecordDataFolder());
    journal_->Open(RecordDataFolder() + QStringLiteral("journal.db"));
    SetServiceJournal(journal_.get());
}

void TStartup::applyOverrides()
{
    fileComName_ = LocalPara.ComName;
    fileBaud_ = LocalPara.BaudRate;
    fileProtocol_ = LocalPara.curProtocol;
    if (demo_) {
        // The simulated cabinet's line lives in a folder of this run: whatever the operator
        // confirms on it (the port dialog, a cabinet found there) never reaches the file.
        SetRunOnlyPort(demo_->PortPath());
        LocalPara.ComName = demo_->PortPath();
        LocalPara.BaudRate = TDemoCabinet::DemoBaud;
        LocalPara.curProtocol = 0; // the simulated cabinet speaks Modbus
        overridePort_ = overrideBaud_ = overrideProtocol_ = true;
        return;
    }
    if (!options_.Port.isEmpty()) {
        LocalPara.ComName = options_.Port;
        overridePort_ = true;
    }
    if (options_.Baud > 0) {
        LocalPara.BaudRate = options_.Baud;
        overrideBaud_ = true;
    }
}

void TStartup::restoreFileValues()
{
    if (overridePort_) LocalPara.ComName = fileComName_;
    if (overrideBaud_) LocalPara.BaudRate = fileBaud_;
    if (overrideProtocol_) LocalPara.curProtocol = fileProtocol_;
    overridePort_ = overrideBaud_ = overrideProtocol_ = false;
}

void TStartup::Start()
{
    if (ended_) return;
    if (const QScreen* screen = main_->screen()) // centred on the desktop
        main_->move(screen->availableGeometry().center() - main_->rect().center());
    main_->show();
    if (endDue_) { // the time ran out while the windows were being made
        timedEnd();
        return;
    }
    if (options_.Connect || options_.Demo) main_->spbComLinkClick();
    // From inside the message loop, so that a modal view leaves the timed end free to run.
    if (!options_.Window.isEmpty()) QTimer::singleShot(0, this, &TStartup::openView);
}

QString TStartup::viewName() const { return options_.Window.section(QLatin1Char(':'), 0, 0); }

void TStartup::openView()
{
    const std::unique_ptr<TDemoPromptAnswer> answer(demo_ ? new TDemoPromptAnswer : nullptr);
    // VIEW:BUTTON presses that button of the view once it shows (a modal view runs its own loop
    // inside the opening call, so the press is armed first).
    const QString button = options_.Window.section(QLatin1Char(':'), 1);
    if (!button.isEmpty())
        QTimer::singleShot(ViewButtonDelayMs, this, [this, button] {
            QWidget* shown = FindShownWindow(viewName());
            auto* b = shown ? shown->findChild<QAbstractButton*>(button) : nullptr;
            if (b)
                b->click();
            else
                std::fprintf(stderr, "zyrtool: the view %s has no button %s\n", qPrintable(viewName()),
                             qPrintable(button));
        });
    if (!OpenRegisteredView(viewName()))
        std::fprintf(stderr, "zyrtool: no view is named %s (views: %s)\n", qPrintable(viewName()),
                     qPrintable(RegisteredViews().join(QStringLiteral(", "))));
}

void TStartup::timedEnd()
{
    if (!main_ || !main_->isVisible()) {
        // Still starting: a box shown meanwhile is closed, and the end follows the start.
        endDue_ = true;
        closeModals();
        return;
    }
    if (!options_.Screenshot.isEmpty()) {
        QWidget* shown = options_.Window.isEmpty() ? nullptr : FindShownWindow(viewName());
        if (!options_.Window.isEmpty() && !shown)
            std::fprintf(stderr, "zyrtool: the view %s is not shown; the picture is of the main window\n",
                         qPrintable(viewName()));
        const QPixmap picture = (shown ? shown : static_cast<QWidget*>(main_))->grab();
        if (!picture.save(options_.Screenshot, "PNG"))
            std::fprintf(stderr, "zyrtool: cannot write the picture %s\n", qPrintable(options_.Screenshot));
    }
    closeModals();
    main_->close();
}

void TStartup::End()
{
    if (ended_) return;
    ended_ = true;
    closeModals();
    // Closed whether shown or not: the close saves the settings and ends the run.
    if (main_) main_->close();
}

void TStartup::closeModals()
{
    // A modal view runs its own loop; it ends before the main window closes.
    while (QWidget* modal = QApplication::activeModalWidget()) {
        modal->close();
        if (QApplication::activeModalWidget() == modal) break;
    }
}

void TStartup::printCounters()
{
    if (!options_.PrintCounters || !com_) return;
    std::printf("counters: tx %d rx %d ack %d errrate %.1f%% lost %d reopen-attempts %d reopened %d\n",
                com_->CommDebug.TxCount, com_->CommDebug.RxCount, com_->CommDebug.AckCount, com_->CommDebug.ErrRate,
                com_->LossCount(), com_->ReopenAttempts(), com_->ReopenCount());
    std::fflush(stdout);
}

void TStartup::onViewRefreshed()
{
    if (firstValuesTimed_ || !options_.TimeFirstValues) return;
    // The first reply may be the identification; the values have come when the AC grid
    // shows the cabinet's input voltage.
    if (Cabinet().UpsData[main_->DevAddr].InVolt[0] == 0.0) return;
    firstValuesTimed_ = true;
    std::printf("first values shown after %lld ms\n", static_cast<long long>(sinceStart_.elapsed()));
    std::fflush(stdout);
}
