// What every headless command says and writes: its lines on standard error, its output file
// ("-" is standard output), and the exit status of an output that could not be written.
#pragma once

#include <QByteArray>
#include <QString>

// "zyrtool: TEXT" on standard error, flushed at once so that it keeps its place among the
// progress lines.
void Say(const QString& text);
// Says text and gives back status, for a command that ends there.
int Fail(int status, const QString& text);

// Checked before the port opens, so that a run that could not write its result ends before it
// asks the cabinet anything. "-" can always be written. False after saying why.
bool OutputWritable(const QString& file);
// The result written whole: to standard output for "-", else beside the old file and renamed
// over it once it is on the disk.
bool WriteOutput(const QString& file, const QByteArray& bytes, QString* error);
// Says why the output could not be written and gives the run's status: a signal that ended the
// wait for a FIFO's reader ends the run with its own status, anything else with 1.
int OutputFailed(const QString& error);
