#include "cli/uCmdLine.h"

#include <QCommandLineParser>

#include <climits>
#include <cmath>
#include <utility>

namespace {

// Stores an option's value in the run's options; false with a message for a value that cannot
// be taken. A flag's value is empty.
using TTake = bool (*)(const QString& value, TCmdLine& out, QString& error);

struct TOptionRow {
    const char* name;
    const char* valueName; // nullptr: a flag
    const char* help;
    TTake take;
};

// A whole or fractional number of seconds within [least, most], in milliseconds.
bool takeSeconds(const QString& value, double least, double most, int& ms)
{
    bool ok = false;
    const double s = value.toDouble(&ok);
    if (!ok || !std::isfinite(s) || s < least || s > most) return false;
    ms = static_cast<int>(std::lround(s * 1000));
    return true;
}

bool takeWhole(const QString& value, int least, int most, int& target)
{
    bool ok = false;
    const int n = value.toInt(&ok);
    if (!ok || n < least || n > most) return false;
    target = n;
    return true;
}

// A command's output file; an empty name is refused with the message given.
bool takeFile(const QString& value, QString& target, QString& error, const QString& message)
{
    target = value;
    if (!value.isEmpty()) return true;
    error = message;
    return false;
}

// The options in the order --help lists them.
const TOptionRow optionRows[] = {
    {"port", "NAME",
     "Use serial port NAME (COM1, /dev/ttyUSB0, ...) for this run instead of the settings file's; the file "
     "keeps its own.",
     [](const QString& v, TCmdLine& o, QString& e) {
         o.Port = v.trimmed();
         if (!o.Port.isEmpty()) return true;
         e = QStringLiteral("--port needs a port name");
         return false;
     }},
    {"baud", "N", "Use N bit/s for this run instead of the settings file's speed.",
     [](const QString& v, TCmdLine& o, QString& e) {
         if (takeWhole(v, 1, INT_MAX, o.Baud)) return true;
         e = QStringLiteral("--baud needs a positive whole number, not \"%1\"").arg(v);
         return false;
     }},
    {"connect", nullptr, "Open the port at start, as the link button does.",
     [](const QString&, TCmdLine& o, QString&) { return o.Connect = true; }},
    {"demo", nullptr,
     "Start the simulated cabinet (cabinet-sim beside the executable) on a private pseudo-terminal, connect "
     "to it, stop it on exit.",
     [](const QString&, TCmdLine& o, QString&) { return o.Demo = true; }},
    {"quit-after", "SECONDS", "End the program normally after SECONDS (port closed, settings saved).",
     [](const QString& v, TCmdLine& o, QString& e) {
         if (takeSeconds(v, 0, 24 * 3600, o.QuitAfterMs)) return true;
         e = QStringLiteral("--quit-after needs a number of seconds, not \"%1\"").arg(v);
         return false;
     }},
    {"screenshot", "FILE",
     "With --quit-after: save a PNG of the main window (or of the view --window opened) to FILE just before "
     "the end (works with -platform offscreen).",
     [](const QString& v, TCmdLine& o, QString&) {
         o.Screenshot = v; // checked with --quit-after below
         return true;
     }},
    {"window", "OBJECTNAME",
     "Open the view OBJECTNAME after start-up, as its menu item or button does (frmTrack, frmUpsPara, ...); "
     "OBJECTNAME:BUTTON also presses that button of the view (FrmCommInterface:btnFind).",
     [](const QString& v, TCmdLine& o, QString& e) {
         o.Window = v.trimmed();
         if (!o.Window.isEmpty()) return true;
         e = QStringLiteral("--window needs the object name of a view");
         return false;
     }},
    {"snapshot", "FILE",
     "With --port: read one whole poll cycle, the identification and every module of the cabinet, write "
     "them as JSON to FILE (\"-\": standard output) and end, with no window. Exit status 0, 1 for a port "
     "that cannot be opened or a file that cannot be written, 2 when the cabinet did not answer.",
     [](const QString& v, TCmdLine& o, QString& e) {
         return takeFile(v, o.Snapshot, e,
                         QStringLiteral("--snapshot needs a file name (\"-\" for standard output)"));
     }},
    {"download-log", "FILE",
     "With --port: download the cabinet's event log, from record 1 or --from, into a database of its own "
     "and write it to FILE (\"-\": standard output, as CSV): a CSV record file, or a copy of the database "
     "when FILE ends in .mdb. No window; the local records are not touched. Exit status 0, 1 for a port or "
     "a file that cannot be used, 2 when the cabinet stopped answering (what was stored is still written).",
     [](const QString& v, TCmdLine& o, QString& e) {
         return takeFile(v, o.DownloadLog, e, QStringLiteral("--download-log needs a file name"));
     }},
    {"backup", "FILE",
     "With --port: read the settings the windows can write (UPS parameters, cabinet configuration, alarm "
     "masks, OPTION port, runtime counters, identification) and write them as a JSON backup to FILE (\"-\": "
     "standard output), with no window. Exit status 0, 1 for a port or a file that cannot be used, 2 when a "
     "block did not answer (no file is written).",
     [](const QString& v, TCmdLine& o, QString& e) {
         return takeFile(v, o.Backup, e, QStringLiteral("--backup needs a file name"));
     }},
    {"from", "N", "The first record --download-log asks for; default 1.",
     [](const QString& v, TCmdLine& o, QString& e) {
         if (takeWhole(v, 1, 65535, o.From)) return true;
         e = QStringLiteral("--from needs a record number from 1 to 65535, not \"%1\"").arg(v);
         return false;
     }},
    {"analysis", nullptr,
     "With --download-log: the CSV file carries the texts of the state, event and alarm codes.",
     [](const QString&, TCmdLine& o, QString&) { return o.Analysis = true; }},
    {"language", "en|zh", "The language of those texts: en (default) or zh.",
     [](const QString& v, TCmdLine& o, QString& e) {
         const QString l = v.trimmed().toLower();
         if (l != QLatin1String("en") && l != QLatin1String("zh")) {
             e = QStringLiteral("--language needs en or zh, not \"%1\"").arg(v);
             return false;
         }
         o.Language = l == QLatin1String("zh") ? 1 : 0;
         return true;
     }},
    {"address", "N", "The cabinet address (1 to 15) a headless command reads; default 1.",
     [](const QString& v, TCmdLine& o, QString& e) {
         if (takeWhole(v, 1, 15, o.Address)) return true;
         e = QStringLiteral("--address needs a cabinet address from 1 to 15, not \"%1\"").arg(v);
         return false;
     }},
    {"scan", nullptr,
     "Find the cabinets on --port, or on every serial port the system lists: every address from 1 to 15 at "
     "19200, 9600, 4800, 2400 and 1200 bit/s. Writes a JSON array (address, baud, port, type, rating, "
     "version) to standard output and progress to standard error, with no window. Exit status 0 when a "
     "cabinet was found, 2 when none answered, 1 when the port cannot be opened.",
     [](const QString&, TCmdLine& o, QString&) { return o.Scan = true; }},
    {"settings-dir", "DIR",
     "Keep UserParaIni.ini and the folder data (the local records) in DIR instead of their usual folders.",
     [](const QString& v, TCmdLine& o, QString&) {
         o.SettingsDir = v;
         return true;
     }},
    {"time-first-values", nullptr, "Print the time from start to the first values shown.",
     [](const QString&, TCmdLine& o, QString&) { return o.TimeFirstValues = true; }},
    {"print-counters", nullptr,
     "At the end, print the link's counters (frames sent, chunks received, replies accepted, error rate, "
     "devices lost and reopened) to standard output.",
     [](const QString&, TCmdLine& o, QString&) { return o.PrintCounters = true; }},
    {"log-values", "FILE",
     "With --port: write the cabinet's values, as the background poll reads them, to the CSV file FILE "
     "(\"-\": standard output), one line per --interval, until --duration has passed or Ctrl-C/SIGTERM "
     "(exit status 0 after the last line). A file with the same header is appended to; one with another "
     "header is refused with status 1 and left alone. Status 2 when nothing answered within the first three "
     "poll cycles.",
     [](const QString& v, TCmdLine& o, QString& e) {
         return takeFile(v, o.LogValues, e, QStringLiteral("--log-values needs a file name"));
     }},
    {"interval", "SECONDS",
     "With --log-values: seconds between two lines, 0.5 at least; default 1. An interval shorter than a "
     "poll cycle is raised to the cycle.",
     [](const QString& v, TCmdLine& o, QString& e) {
         if (takeSeconds(v, 0.5, 2.0e6, o.LogIntervalMs)) return true;
         e = QStringLiteral("--interval needs a number of seconds from 0.5 on, not \"%1\"").arg(v);
         return false;
     }},
    {"duration", "SECONDS", "With --log-values: end after SECONDS.",
     [](const QString& v, TCmdLine& o, QString& e) {
         if (takeSeconds(v, 0, 2.0e6, o.LogDurationMs)) return true;
         e = QStringLiteral("--duration needs a number of seconds, not \"%1\"").arg(v);
         return false;
     }},
    {"fast", nullptr,
     "Line-speed mode for this run (windows and headless commands): a reply ends as soon as it is whole, "
     "the next request follows at once. The settings file keeps its own.",
     [](const QString&, TCmdLine& o, QString&) { return o.Fast = true; }},
    {"restore", "FILE",
     "With --port: compare the settings backup FILE with the cabinet, print the registers that differ "
     "(cabinet and file value), and write back those a window writes, each with the write-enable command "
     "and a read-back, printing each one's verdict; no window. A file from another cabinet (type, rating, "
     "address) is refused unless --force. Exit status 0 when every register reads back equal, 1 for a bad "
     "or refused file, a port that cannot be opened, 2 when one did not or the cabinet stopped answering "
     "(the rest are not sent).",
     [](const QString& v, TCmdLine& o, QString& e) {
         return takeFile(v, o.Restore, e, QStringLiteral("--restore needs a file name"));
     }},
    {"dry-run", nullptr, "With --restore: print what differs and write nothing.",
     [](const QString&, TCmdLine& o, QString&) { return o.DryRun = true; }},
    {"force", nullptr, "With --restore: write a file from another cabinet type, rating or address too.",
     [](const QString&, TCmdLine& o, QString&) { return o.Force = true; }},
};

// The commands that run without a window, each a run of its own; a later one refuses the
// earlier ones with its message.
struct TCommandRow {
    TCommand command;
    const char* option;
    bool needsPort;
    const char* alone;
};

const TCommandRow commandRows[] = {
    {TCommand::Snapshot, "snapshot", true, nullptr},
    {TCommand::DownloadLog, "download-log", true, "--download-log and --snapshot are separate runs"},
    {TCommand::Backup, "backup", true, "--backup, --snapshot and --download-log are separate runs"},
    {TCommand::LogValues, "log-values", true,
     "--log-values, --snapshot, --download-log and --backup are separate runs"},
    {TCommand::Scan, "scan", false,
     "--scan is a run of its own; leave out --snapshot, --download-log, --backup and --log-values"},
    {TCommand::Restore, "restore", true,
     "--restore is a run of its own; leave out --snapshot, --download-log, --backup, --log-values and "
     "--scan"},
};

// Options that mean something only beside another one.
const std::pair<const char*, const char*> companions[] = {
    {"interval", "log-values"}, {"duration", "log-values"}, {"dry-run", "restore"}, {"force", "restore"}};

void addOptionTable(QCommandLineParser& p)
{
    p.setApplicationDescription(QStringLiteral(
        "Engineering tool for ZYR modular UPS cabinets: a Modbus RTU master on a serial line.\n"
        "Without options it starts with the port and speed of UserParaIni.ini, port closed."));
    p.addHelpOption();
    p.addVersionOption();
    for (const TOptionRow& row : optionRows) {
        const QString name = QString::fromLatin1(row.name);
        const QString help = QString::fromLatin1(row.help);
        p.addOption(row.valueName ? QCommandLineOption(name, help, QString::fromLatin1(row.valueName))
                                  : QCommandLineOption(name, help));
    }
}

// What one option asks of the others, checked once every value is taken.
bool checkRelations(const QCommandLineParser& p, TCmdLine& out, QString& error)
{
    if (p.isSet(QStringLiteral("screenshot")) && (out.Screenshot.isEmpty() || out.QuitAfterMs < 0)) {
        error = QStringLiteral("--screenshot needs a file name and --quit-after");
        return false;
    }
    bool earlier = false;
    for (const TCommandRow& row : commandRows) {
        const QString name = QString::fromLatin1(row.option);
        if (!p.isSet(name)) continue;
        if (row.needsPort && out.Port.isEmpty()) {
            error = QStringLiteral("--%1 needs --port").arg(name);
            return false;
        }
        if (earlier) {
            error = QString::fromLatin1(row.alone);
            return false;
        }
        earlier = true;
        out.Command = row.command;
    }
    if (out.Scan) {
        if (p.isSet(QStringLiteral("baud")) || p.isSet(QStringLiteral("address"))) {
            error = QStringLiteral("--scan tries every speed and address; leave out --baud and --address");
            return false;
        }
        if (out.Demo) {
            error = QStringLiteral("--scan needs a real port (or none, for every port); leave out --demo");
            return false;
        }
    }
    for (const auto& [option, partner] : companions) {
        if (p.isSet(QString::fromLatin1(option)) && !p.isSet(QString::fromLatin1(partner))) {
            error = QStringLiteral("--%1 goes with --%2").arg(QLatin1String(option), QLatin1String(partner));
            return false;
        }
    }
    if (out.Demo && !out.Port.isEmpty()) {
        error = QStringLiteral("--demo chooses its own port; leave out --port");
        return false;
    }
    return true;
}

} // namespace

bool ParseCmdLine(const QStringList& arguments, TCmdLine& out, QString& error)
{
    QCommandLineParser p;
    addOptionTable(p);
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
    if (!p.positionalArguments().isEmpty()) {
        error = QStringLiteral("Unexpected argument: %1").arg(p.positionalArguments().constFirst());
        return false;
    }
    for (const TOptionRow& row : optionRows) {
        const QString name = QString::fromLatin1(row.name);
        if (p.isSet(name) && !row.take(p.value(name), out, error)) return false;
    }
    if (!checkRelations(p, out, error)) return false;
    // --help-all is the parser's own second help option; it must not start the windows.
    out.Help = p.isSet(QStringLiteral("help")) || p.isSet(QStringLiteral("help-all"));
    out.Version = p.isSet(QStringLiteral("version"));
    if (out.Version) out.Command = TCommand::Version;
    if (out.Help) out.Command = TCommand::Help;
    return true;
}

QStringList WithoutToolkitOptions(const QStringList& arguments)
{
    // The options the application object takes out of the arguments, with and without a value;
    // it takes them with one dash or two.
    static const QStringList withValue{
        "platform",    "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry",
        "qwindowicon", "qwindowtitle",       "session",       "style",  "stylesheet",
        "display",     "geometry",           "title",         "name",   "icon",
        "fontengine"};
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
    QCommandLineParser p;
    addOptionTable(p);
    return p.helpText();
}

QString UsageErrorLine(const QString& error)
{
    QString text = error.simplified();
    while (text.endsWith(QLatin1Char('.'))) text.chop(1);
    return QStringLiteral("zyrtool: %1; see --help").arg(text);
}
