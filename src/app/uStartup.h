// Program start and end: the always-present windows in their order, the run's options
// (another port, connect at start, the demonstration cabinet, a timed end with a picture),
// and the end of the run when the main window closes.
#pragma once

#include "cli/uCmdLine.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QPointer>

#include <memory>

class TDemoCabinet;
class TFrmCom;
class TFrmMain;
class TServiceJournal;
class QWidget;

class TStartup : public QObject {
    Q_OBJECT
public:
    explicit TStartup(const TCmdLine& options, QObject* parent = nullptr);
    ~TStartup() override;

    // Starts the demonstration cabinet when asked for, then creates the always-present
    // windows in their order: the main window (which loads the settings), the port dialog,
    // the trace window, the link form. False with a message when the run cannot start.
    bool CreateWindows(QString& error);
    // Shows the main window, presses the link button when asked for and arms the timed end.
    void Start();
    // Ends the run as the main window's own close does (a signal from the desktop): the boxes
    // still open are closed, then the main window. A run not yet started is not started.
    void End();
    // The windows in the order they were created.
    QList<QObject*> Created() const { return created_; }
    TFrmMain* Main() const { return main_; }
    // The port of this run when it is not the settings file's.
    bool PortOverridden() const { return overridePort_; }
    // The simulated cabinet a --demo run starts, when not the one beside the executable (tests).
    void SetDemoSimulator(const QString& path) { demoSimulator_ = path; }

Q_SIGNALS:
    // The main window has closed: port closed, settings saved. The program ends.
    void finished();

private:
    void applyOverrides();
    void restoreFileValues();
    void timedEnd();
    void closeModals();
    void openView();
    // The view of --window VIEW or VIEW:BUTTON.
    QString viewName() const;
    // VIEW:BUTTON presses the button this long after the view was asked for.
    static constexpr int ViewButtonDelayMs = 300;
    void onViewRefreshed();
    void printCounters();
    void openJournal();

    TCmdLine options_;
    QString demoSimulator_;
    std::unique_ptr<TDemoCabinet> demo_;
    TFrmMain* main_ = nullptr;
    QWidget* portDialog_ = nullptr;
    QWidget* about_ = nullptr;
    QPointer<QWidget> track_;
    TFrmCom* com_ = nullptr;
    QWidget* password_ = nullptr;
    std::unique_ptr<TServiceJournal> journal_;
    QList<QObject*> created_;
    QElapsedTimer sinceStart_;
    bool firstValuesTimed_ = false;
    bool endDue_ = false; // the timed end came before the main window was shown
    bool ended_ = false;  // End() has closed the run

    // The settings file's own port, kept while this run uses another one.
    bool overridePort_ = false;
    bool overrideBaud_ = false;
    bool overrideProtocol_ = false;
    QString fileComName_;
    int fileBaud_ = 0;
    int fileProtocol_ = 0;
};
