#include "cli/uCmdLine.h"

#include <QCommandLineParser>

#include <cmath>
#include <utility>

bool ParseCmdLine(const QStringList& arguments, TCmdLine& out, QString& error)
{
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral(
        "Engineering tool for ZYR modular UPS cabinets: a Modbus RTU master on a serial line.\n"
        "Without options it starts with the port and speed of UserParaIni.ini, port closed."));
    const QCommandLineOption help = p.addHelpOption();
    const QCommandLineOption version = p.addVersionOption();
    const QCommandLineOption port(
        QStringLiteral("port"),
        QStringLiteral("Use serial port NAME (COM1, /dev/ttyUSB0, ...) for this run "
                       "instead of the settings file's; the file keeps its own."),
        QStringLiteral("NAME"));
    const QCommandLineOption baud(
        QStringLiteral("baud"),
        QStringLiteral("Use N bit/s for this run instead of the settings file's speed."),
        QStringLiteral("N"));
    const QCommandLineOption fast(
        QStringLiteral("fast"),
        QStringLiteral("Line-speed mode for this run (windows and headless commands): a reply ends as soon "
                       "as it is whole, the next request follows at once. The settings file keeps its own."));
    const QCommandLineOption connect(QStringLiteral("connect"),
                                     QStringLiteral("Open the port at start, as the link button does."));
    const QCommandLineOption demo(
        QStringLiteral("demo"),
        QStringLiteral("Start the simulated cabinet (cabinet-sim beside the executable) "
                       "on a private pseudo-terminal, connect to it, stop it on exit."));
    const QCommandLineOption quitAfter(QStringLiteral("quit-after"),
                                       QStringLiteral("End the program normally after SECONDS (port closed, "
                                                      "settings saved)."),
                                       QStringLiteral("SECONDS"));
    const QCommandLineOption screenshot(
        QStringLiteral("screenshot"),
        QStringLiteral("With --quit-after: save a PNG of the main window (or of the view "
                       "--window opened) to FILE just before the end (works with -platform offscreen)."),
        QStringLiteral("FILE"));
    const QCommandLineOption window(
        QStringLiteral("window"),
        QStringLiteral("Open the view OBJECTNAME after start-up, as its menu item "
                       "or button does (frmTrack, frmUpsPara, ...); OBJECTNAME:BUTTON also presses "
                       "that button of the view (FrmCommInterface:btnFind)."),
        QStringLiteral("OBJECTNAME"));
    const QCommandLineOption settingsDir(
        QStringLiteral("settings-dir"),
        QStringLiteral("Keep UserParaIni.ini and the folder data (the local records) in DIR "
                       "instead of their usual folders."),
        QStringLiteral("DIR"));
    const QCommandLineOption timeFirst(
        QStringLiteral("time-first-values"),
        QStringLiteral("Print the time from start to the first values shown."));
    const QCommandLineOption printCounters(
        QStringLiteral("print-counters"),
        QStringLiteral("At the end, print the link's counters (frames sent, chunks received, replies "
                       "accepted, error rate, devices lost and reopened) to standard output."));
    const QCommandLineOption snapshot(
        QStringLiteral("snapshot"),
        QStringLiteral("With --port: read one whole poll cycle, the identification and every module of "
                       "the cabinet, write them as JSON to FILE (\"-\": standard output) and end, with no "
                       "window. Exit status 0, 1 for a port that cannot be opened or a file that cannot "
                       "be written, 2 when the cabinet did not answer."),
        QStringLiteral("FILE"));
    const QCommandLineOption address(QStringLiteral("address"),
                                     QStringLiteral("The cabinet address (1 to 15) a headless command reads; "
                                                    "default 1."),
                                     QStringLiteral("N"));
    const QCommandLineOption downloadLog(
        QStringLiteral("download-log"),
        QStringLiteral("With --port: download the cabinet's event log, from record 1 or --from, into a "
                       "database of its own and write it to FILE (\"-\": standard output, as CSV): a CSV "
                       "record file, or a copy of the "
                       "database when FILE ends in .mdb. No window; the local records are not touched. "
                       "Exit status 0, 1 for a port or a file that cannot be used, 2 when the cabinet "
                       "stopped answering (what was stored is still written)."),
        QStringLiteral("FILE"));
    const QCommandLineOption from(QStringLiteral("from"),
                                  QStringLiteral("The first record --download-log asks for; default 1."),
                                  QStringLiteral("N"));
    const QCommandLineOption analysis(
        QStringLiteral("analysis"),
        QStringLiteral("With --download-log: the CSV file carries the texts of the "
                       "state, event and alarm codes."));
    const QCommandLineOption language(QStringLiteral("language"),
                                      QStringLiteral("The language of those texts: en (default) or zh."),
                                      QStringLiteral("en|zh"));
    const QCommandLineOption backup(
        QStringLiteral("backup"),
        QStringLiteral("With --port: read the settings the windows can write (UPS parameters, cabinet "
                       "configuration, alarm masks, OPTION port, runtime counters, identification) and "
                       "write them as a JSON backup to FILE (\"-\": standard output), with no window. Exit "
                       "status 0, 1 for a port or "
                       "a file that cannot be used, 2 when a block did not answer (no file is written)."),
        QStringLiteral("FILE"));
    const QCommandLineOption restore(
        QStringLiteral("restore"),
        QStringLiteral("With --port: compare the settings backup FILE with the cabinet, print the registers "
                       "that differ (cabinet and file value), and write back those a window writes, each with "
                       "the write-enable command and a read-back, printing each one's verdict; no window. A "
                       "file from another cabinet (type, rating, address) is refused unless --force. Exit "
                       "status 0 when every register reads back equal, 1 for a bad or refused file, a port "
                       "that cannot be opened, 2 when one did not or the cabinet stopped answering (the rest "
                       "are not sent)."),
        QStringLiteral("FILE"));
    const QCommandLineOption dryRun(QStringLiteral("dry-run"),
                                    QStringLiteral("With --restore: print what differs and write nothing."));
    const QCommandLineOption force(
        QStringLiteral("force"),
        QStringLiteral("With --restore: write a file from another cabinet type, rating or address too."));
    const QCommandLineOption logValues(
        QStringLiteral("log-values"),
        QStringLiteral("With --port: write the cabinet's values, as the background poll reads them, to the "
                       "CSV file FILE (\"-\": standard output), one line per --interval, until --duration "
                       "has passed or Ctrl-C/SIGTERM "
                       "(exit status 0 after the last line). A file with the same header is appended to; "
                       "one with another header is refused with status 1 and left alone. Status 2 when "
                       "nothing answered within the first three poll cycles."),
        QStringLiteral("FILE"));
    const QCommandLineOption interval(
        QStringLiteral("interval"),
        QStringLiteral("With --log-values: seconds between two lines, 0.5 at least; default 1. An interval "
                       "shorter than a poll cycle is raised to the cycle."),
        QStringLiteral("SECONDS"));
    const QCommandLineOption duration(QStringLiteral("duration"),
                                      QStringLiteral("With --log-values: end after SECONDS."),
                                      QStringLiteral("SECONDS"));
    const QCommandLineOption scan(
        QStringLiteral("scan"),
        QStringLiteral("Find the cabinets on --port, or on every serial port the system lists: every "
                       "address from 1 to 15 at 19200, 9600, 4800, 2400 and 1200 bit/s. Writes a JSON array "
                       "(address, baud, port, type, rating, version) to standard output and progress to "
                       "standard error, with no window. Exit status 0 when a cabinet was found, 2 when "
                       "none answered, 1 when the port cannot be opened."));
    p.addOptions({port, baud, connect, demo, quitAfter, screenshot, window, snapshot, downloadLog, backup, from,
                  analysis, language, address, scan, settingsDir, timeFirst, printCounters, logValues, interval,
                  duration, fast, restore, dryRun, force});

    out = TCmdLine{};
    out.HelpText = p.helpText();
    if (!p.parse(arguments)) {
        error = p.errorText();
        return false;
    }
    // An option given twice would leave one of its values unused without a word: a second
    // --port, a second output file, a second --scan are refused.
    const QStringList found = p.optionNames();
    for (const QString& name : found) {
        if (found.count(name) < 2) continue;
        if (p.values(name).isEmpty() && name != QLatin1String("scan")) continue; // a flag said twice
        error = QStringLiteral("--%1 is given more than once").arg(name);
        return false;
    }
    // --help-all is the parser's own second help option; it must not start the windows.
    out.Help = p.isSet(help) || p.isSet(QStringLiteral("help-all"));
    out.Fast = p.isSet(fast);
    out.Version = p.isSet(version);
    if (!p.positionalArguments().isEmpty()) {
        error = QStringLiteral("Unexpected argument: %1").arg(p.positionalArguments().constFirst());
        return false;
    }
    if (p.isSet(port)) {
        out.Port = p.value(port).trimmed();
        if (out.Port.isEmpty()) {
            error = QStringLiteral("--port needs a port name");
            return false;
        }
    }
    if (p.isSet(baud)) {
        bool ok = false;
        out.Baud = p.value(baud).toInt(&ok);
        if (!ok || out.Baud <= 0) {
            error = QStringLiteral("--baud needs a positive whole number, not \"%1\"").arg(p.value(baud));
            return false;
        }
    }
    out.Connect = p.isSet(connect);
    out.Demo = p.isSet(demo);
    if (p.isSet(quitAfter)) {
        bool ok = false;
        const double s = p.value(quitAfter).toDouble(&ok);
        if (!ok || !std::isfinite(s) || s < 0 || s > 24 * 3600) {
            error =
                QStringLiteral("--quit-after needs a number of seconds, not \"%1\"").arg(p.value(quitAfter));
            return false;
        }
        out.QuitAfterMs = static_cast<int>(std::lround(s * 1000));
    }
    out.Screenshot = p.value(screenshot);
    if (p.isSet(screenshot) && (out.Screenshot.isEmpty() || out.QuitAfterMs < 0)) {
        error = QStringLiteral("--screenshot needs a file name and --quit-after");
        return false;
    }
    out.Window = p.value(window).trimmed();
    if (p.isSet(window) && out.Window.isEmpty()) {
        error = QStringLiteral("--window needs the object name of a view");
        return false;
    }
    out.Snapshot = p.value(snapshot);
    if (p.isSet(snapshot)) {
        if (out.Snapshot.isEmpty()) {
            error = QStringLiteral("--snapshot needs a file name (\"-\" for standard output)");
            return false;
        }
        if (out.Port.isEmpty()) {
            error = QStringLiteral("--snapshot needs --port");
            return false;
        }
    }
    out.DownloadLog = p.value(downloadLog);
    if (p.isSet(downloadLog)) {
        if (out.DownloadLog.isEmpty()) {
            error = QStringLiteral("--download-log needs a file name");
            return false;
        }
        if (out.Port.isEmpty()) {
            error = QStringLiteral("--download-log needs --port");
            return false;
        }
        if (!out.Snapshot.isEmpty()) {
            error = QStringLiteral("--download-log and --snapshot are separate runs");
            return false;
        }
    }
    out.Backup = p.value(backup);
    if (p.isSet(backup)) {
        if (out.Backup.isEmpty()) {
            error = QStringLiteral("--backup needs a file name");
            return false;
        }
        if (out.Port.isEmpty()) {
            error = QStringLiteral("--backup needs --port");
            return false;
        }
        if (!out.Snapshot.isEmpty() || !out.DownloadLog.isEmpty()) {
            error = QStringLiteral("--backup, --snapshot and --download-log are separate runs");
            return false;
        }
    }
    out.LogValues = p.value(logValues);
    if (p.isSet(logValues)) {
        if (out.LogValues.isEmpty()) {
            error = QStringLiteral("--log-values needs a file name");
            return false;
        }
        if (out.Port.isEmpty()) {
            error = QStringLiteral("--log-values needs --port");
            return false;
        }
        if (!out.Snapshot.isEmpty() || !out.DownloadLog.isEmpty() || !out.Backup.isEmpty()) {
            error = QStringLiteral("--log-values, --snapshot, --download-log and --backup are separate runs");
            return false;
        }
    }
    const std::pair<const QCommandLineOption*, int*> times[] = {{&interval, &out.LogIntervalMs},
                                                                {&duration, &out.LogDurationMs}};
    for (const auto& [option, target] : times) {
        if (!p.isSet(*option)) continue;
        const QString name = option->names().constFirst();
        if (out.LogValues.isEmpty()) {
            error = QStringLiteral("--%1 goes with --log-values").arg(name);
            return false;
        }
        bool ok = false;
        const double s = p.value(*option).toDouble(&ok);
        const double least = option == &interval ? 0.5 : 0.0;
        if (!ok || !std::isfinite(s) || s < least || s > 2.0e6) {
            error = QStringLiteral("--%1 needs a number of seconds%2, not \"%3\"")
                        .arg(name, least > 0 ? QStringLiteral(" from 0.5 on") : QString(), p.value(*option));
            return false;
        }
        *target = static_cast<int>(std::lround(s * 1000));
    }
    if (p.isSet(from)) {
        bool ok = false;
        out.From = p.value(from).toInt(&ok);
        if (!ok || out.From < 1 || out.From > 65535) {
            error =
                QStringLiteral("--from needs a record number from 1 to 65535, not \"%1\"").arg(p.value(from));
            return false;
        }
    }
    out.Analysis = p.isSet(analysis);
    if (p.isSet(language)) {
        const QString l = p.value(language).trimmed().toLower();
        if (l != QLatin1String("en") && l != QLatin1String("zh")) {
            error = QStringLiteral("--language needs en or zh, not \"%1\"").arg(p.value(language));
            return false;
        }
        out.Language = l == QLatin1String("zh") ? 1 : 0;
    }
    if (p.isSet(address)) {
        bool ok = false;
        out.Address = p.value(address).toInt(&ok);
        if (!ok || out.Address < 1 || out.Address > 15) {
            error = QStringLiteral("--address needs a cabinet address from 1 to 15, not \"%1\"")
                        .arg(p.value(address));
            return false;
        }
    }
    out.Scan = p.isSet(scan);
    if (out.Scan) {
        if (!out.Snapshot.isEmpty() || !out.DownloadLog.isEmpty() || !out.Backup.isEmpty() ||
            !out.LogValues.isEmpty()) {
            error = QStringLiteral("--scan is a run of its own; leave out --snapshot, --download-log, --backup "
                                   "and --log-values");
            return false;
        }
        if (p.isSet(baud) || p.isSet(address)) {
            error = QStringLiteral("--scan tries every speed and address; leave out --baud and --address");
            return false;
        }
        if (out.Demo) {
            error = QStringLiteral("--scan needs a real port (or none, for every port); leave out --demo");
            return false;
        }
    }
    out.Restore = p.value(restore);
    out.DryRun = p.isSet(dryRun);
    out.Force = p.isSet(force);
    if (p.isSet(restore)) {
        if (out.Restore.isEmpty()) {
            error = QStringLiteral("--restore needs a file name");
            return false;
        }
        if (out.Port.isEmpty()) {
            error = QStringLiteral("--restore needs --port");
            return false;
        }
        if (!out.Snapshot.isEmpty() || !out.DownloadLog.isEmpty() || !out.Backup.isEmpty() ||
            !out.LogValues.isEmpty() || out.Scan) {
            error = QStringLiteral("--restore is a run of its own; leave out --snapshot, --download-log, --backup, "
                                   "--log-values and --scan");
            return false;
        }
    } else if (out.DryRun || out.Force) {
        error = QStringLiteral("--%1 goes with --restore").arg(out.DryRun ? "dry-run" : "force");
        return false;
    }
    out.SettingsDir = p.value(settingsDir);
    out.TimeFirstValues = p.isSet(timeFirst);
    out.PrintCounters = p.isSet(printCounters);
    if (out.Demo && !out.Port.isEmpty()) {
        error = QStringLiteral("--demo chooses its own port; leave out --port");
        return false;
    }
    return true;
}

QStringList WithoutToolkitOptions(const QStringList& arguments)
{
    // The options the application object takes out of the arguments, with and without a value;
    // it takes them with one dash or two.
    static const QStringList withValue{"platform", "platformpluginpath", "platformtheme", "plugin",
                                       "qwindowgeometry", "qwindowicon", "qwindowtitle", "session",
                                       "style", "stylesheet", "display", "geometry", "title", "name",
                                       "icon", "fontengine"};
    static const QStringList flags{"reverse", "widgetcount", "nograb", "dograb", "sync", "testability"};
    QStringList out;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString& a = arguments.at(i);
        if (i > 0 && a.startsWith(QLatin1Char('-')) && a != QLatin1String("--")) {
            const QString name = a.mid(a.startsWith(QLatin1String("--")) ? 2 : 1);
            if (withValue.contains(name)) {
                ++i; // its value goes with it
                continue;
            }
            if (flags.contains(name)) continue;
        }
        out << a;
    }
    return out;
}

QString CmdLineHelpText()
{
    TCmdLine table;
    QString error;
    ParseCmdLine({QStringLiteral("zyrtool")}, table, error);
    return table.HelpText;
}

QString UsageErrorLine(const QString& error)
{
    QString text = error.simplified();
    while (text.endsWith(QLatin1Char('.'))) text.chop(1);
    return QStringLiteral("zyrtool: %1; see --help").arg(text);
}
