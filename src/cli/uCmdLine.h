// The tool's own command-line options, from one table parsed once. None of them changes
// anything when absent.
#pragma once

#include <QString>
#include <QStringList>

// What the run does: the windows, or one thing without a window.
enum class TCommand { Window, Help, Version, Snapshot, DownloadLog, Backup, LogValues, Scan, Restore };

struct TCmdLine {
    TCommand Command = TCommand::Window;
    QString Port;                 // --port NAME: this port instead of the settings file's, for this run
    int Baud = 0;                 // --baud N: this speed instead of the settings file's, for this run
    bool Connect = false;         // --connect: press the link button at start
    bool Fast = false;            // --fast: line-speed mode for this run
    bool Demo = false;            // --demo: run against the simulated cabinet on a private pty
    int QuitAfterMs = -1;         // --quit-after SECONDS: end normally after that time
    QString Screenshot;           // --screenshot FILE: PNG of the main window just before the end
    QString Window;               // --window OBJECTNAME: open that view after start-up
    QString Snapshot;             // --snapshot FILE: write one cabinet's values as JSON and end
    QString DownloadLog;          // --download-log FILE: download the event log to FILE and end
    QString Backup;               // --backup FILE: write the cabinet's settings as a backup file and end
    QString Restore;              // --restore FILE: write the backup's differing registers back and end
    bool DryRun = false;          // --dry-run: with --restore, only list what differs
    bool Force = false;           // --force: with --restore, write another cabinet's file too
    int From = 1;                 // --from N: the first record of --download-log
    bool Analysis = false;        // --analysis: the CSV carries the texts of the codes
    int Language = 0;             // --language en|zh: the language of those texts (1 Chinese)
    QString LogValues;            // --log-values FILE: log the cabinet's values as CSV lines
    int LogIntervalMs = 1000;     // --interval SECONDS: between two lines (0.5 s at least)
    int LogDurationMs = -1;       // --duration SECONDS: end after that time; else at Ctrl-C/SIGTERM
    int Address = 1;              // --address N: the cabinet address of a headless command
    bool Scan = false;            // --scan: find the cabinets on --port (or every port) and end
    QString SettingsDir;          // --settings-dir DIR: where "UserParaIni.ini" lives
    bool TimeFirstValues = false; // --time-first-values: print when the first values show
    bool PrintCounters = false;   // --print-counters: print the link's counters at the end
    bool Help = false;
    bool Version = false;
    QString HelpText;             // the options' help; its usage line names the program only once
                                  // the application object exists (see CmdLineHelpText)
};

// Parses the arguments (program name first; the toolkit's own options such as -platform are
// taken out by the application object before). Returns false with a message for a bad value.
bool ParseCmdLine(const QStringList& arguments, TCmdLine& out, QString& error);

// The arguments without the toolkit's own options (-platform NAME, -style NAME, -reverse ...),
// as the application object would leave them; for checking the options before it exists.
QStringList WithoutToolkitOptions(const QStringList& arguments);

// The help of the option table, its usage line naming the running program; needs the
// application object (the table is the parse's own; nothing is parsed again).
QString CmdLineHelpText();

// The one line that reports a usage error: the error and where to look.
QString UsageErrorLine(const QString& error);
