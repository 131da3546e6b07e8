#include "cli/uCommandOutput.h"

#include "cli/uSignalWatch.h"
#include "model/uFileWriter.h"

#include <cstdio>

namespace {
bool isStandardOutput(const QString& file) { return file == QLatin1String("-"); }
} // namespace

void Say(const QString& text)
{
    std::fprintf(stderr, "zyrtool: %s\n", qPrintable(text));
    std::fflush(stderr);
}

int Fail(int status, const QString& text)
{
    Say(text);
    return status;
}

bool OutputWritable(const QString& file)
{
    QString error;
    if (isStandardOutput(file) || CheckOutputPath(file, &error)) return true;
    Say(error);
    return false;
}

bool WriteOutput(const QString& file, const QByteArray& bytes, QString* error)
{
    if (isStandardOutput(file)) return WriteStandardOutput(bytes, error);
    return TFileWriter::WriteWhole(file, bytes, error);
}

int OutputFailed(const QString& error)
{
    Say(error);
    if (const int signal = TSignalWatch::Caught()) return TSignalWatch::ExitStatus(signal);
    return 1;
}
