#include "app/uDemoCabinet.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QThread>

#ifdef Q_OS_LINUX
#include <csignal>

#include <sys/prctl.h>
#endif

TDemoCabinet::~TDemoCabinet() { Stop(); }

bool TDemoCabinet::Start(QString& error, const QString& simulator)
{
    const QString sim = simulator.isEmpty()
                            ? QCoreApplication::applicationDirPath() + QStringLiteral("/cabinet-sim")
                            : simulator;
    if (!QFileInfo(sim).isExecutable()) {
        error = QStringLiteral("The simulated cabinet %1 was not found beside the program.").arg(sim);
        return false;
    }
    // A short folder name keeps the port name readable in the main window.
    dir_ = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/zyr-XXXXXX"));
    if (!dir_->isValid()) {
        error = QStringLiteral("No temporary folder for the simulated cabinet: %1").arg(dir_->errorString());
        dir_.reset();
        return false;
    }
    portPath_ = dir_->filePath(QStringLiteral("ttyZYR"));
    process_ = std::make_unique<QProcess>();
    process_->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_->setStandardOutputFile(QProcess::nullDevice());
#ifdef Q_OS_LINUX
    // Should this program be killed outright, with no chance to stop it, the cabinet ends too.
    process_->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
#endif
    // The runtime counters advance one hour a minute and the mains fails now and then, so the
    // demonstration shows them move; the cabinet hears only its own speed, so that the port
    // dialog's Find finds it there alone.
    process_->start(sim, {QStringLiteral("--pty"), portPath_, QStringLiteral("--baud"),
                          QString::number(DemoBaud), QStringLiteral("--run-hours"),
                          QStringLiteral("--mains-failures"), QStringLiteral("150"),
                          QStringLiteral("--strict-speed")});
    if (!process_->waitForStarted(5000)) {
        error = QStringLiteral("The simulated cabinet did not start: %1").arg(process_->errorString());
        Stop();
        return false;
    }
    const QDeadlineTimer deadline(10000);
    while (!QFileInfo::exists(portPath_)) {
        if (process_->state() == QProcess::NotRunning || deadline.hasExpired()) {
            error = QStringLiteral("The simulated cabinet did not open its line %1.").arg(portPath_);
            Stop();
            return false;
        }
        process_->waitForFinished(20);
    }
    return true;
}

void TDemoCabinet::Stop()
{
    if (process_) {
        if (process_->state() != QProcess::NotRunning) {
            process_->terminate();
            if (!process_->waitForFinished(3000)) {
                process_->kill();
                process_->waitForFinished(3000);
            }
        }
        process_.reset();
    }
    dir_.reset();
}
