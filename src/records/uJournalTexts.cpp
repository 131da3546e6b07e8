#include "records/uJournalTexts.h"

#include "model/uDataFunc.h"
#include "model/uRegisters.h"
#include "model/uSettingsBackup.h"
#include "ui/uWindowCaptions.h"

namespace {
// Writing 10 here unlocks the writes that follow it.
} // namespace

QString JournalSourceText(const QString& source)
{
    if (source == QLatin1String("headless")) return LangText("command line", "命令行");
    const QString caption = WindowCaptionText(source);
    return caption.isEmpty() ? source : caption;
}

QString JournalRegisterText(int reg)
{
    if (reg == RegWriteEnable) return LangText("write enable", "写使能");
    return BackupRegisterCaption(reg);
}
