// Runs the built program as the run command does: offscreen, against the simulated cabinet,
// with a settings file of the test's own, and returns what it left behind.
#pragma once

#include <QFile>
#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

struct TProgramRun {
    int exitCode = -1;
    bool ended = false;
    QImage picture;
    QString errors; // standard error
};

// Starts zyrtool -platform offscreen --demo with "[LocalPara] Language=language" in a private
// settings folder, opens the view windowName (when not empty) with --window, and saves the
// picture after seconds.
inline TProgramRun RunViewScreenshot(const QString& windowName, int language, double seconds = 4,
                                     const QStringList& extra = {})
{
    TProgramRun run;
    QTemporaryDir dir;
    if (!dir.isValid()) return run;
    {
        QFile ini(dir.filePath(QStringLiteral("UserParaIni.ini")));
        if (!ini.open(QIODevice::WriteOnly)) return run;
        ini.write(QStringLiteral("[LocalPara]\nLanguage=%1\n").arg(language).toUtf8());
    }
    const QString png = dir.filePath(QStringLiteral("view.png"));
    QStringList args{"-platform",
                     "offscreen",
                     "--demo",
                     "--settings-dir",
                     dir.path(),
                     "--quit-after",
                     QString::number(seconds),
                     "--screenshot",
                     png};
    if (!windowName.isEmpty()) args << "--window" << windowName;
    args << extra;
    QProcess tool;
    tool.start(QStringLiteral(ZYR_BINARY_DIR "/zyrtool"), args);
    if (!tool.waitForStarted(10000)) return run;
    run.ended = tool.waitForFinished(120000);
    if (!run.ended) {
        tool.kill();
        tool.waitForFinished(5000);
    }
    run.exitCode = tool.exitCode();
    run.errors = QString::fromLocal8Bit(tool.readAllStandardError());
    run.picture = QImage(png);
    return run;
}

// A headless command of the built program, run with no display named.
struct TToolRun {
    int exitCode = -1; // -1 when it did not end normally within the time
    QByteArray out;
    QString errors;
};

// With a platform named (xcb), the run has that window system and no display for it: one
// that needed a window system would end there.
inline TToolRun RunHeadlessTool(const QStringList& args, int timeoutMs = 240000, const QString& platform = {})
{
    TToolRun r;
    QProcess tool;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("QT_QPA_PLATFORM")); // the command needs no display of its own
    if (!platform.isEmpty()) env.insert(QStringLiteral("QT_QPA_PLATFORM"), platform);
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    tool.setProcessEnvironment(env);
    tool.start(QStringLiteral(ZYR_BINARY_DIR "/zyrtool"), args);
    if (!tool.waitForStarted(10000)) return r;
    if (!tool.waitForFinished(timeoutMs)) {
        tool.kill();
        tool.waitForFinished(5000);
        return r;
    }
    r.exitCode = tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1;
    r.out = tool.readAllStandardOutput();
    r.errors = QString::fromLocal8Bit(tool.readAllStandardError());
    return r;
}
