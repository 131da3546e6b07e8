// Feeds arbitrary bytes to the settings-file reader as "UserParaIni.ini", then saves and reads
// it back, so the writer also meets whatever the reader made of the input.
#include "model/UShareData.h"
#include "model/uLocalPara.h"
#include "ui/uUiSeam.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static QTemporaryDir dir;
    static const bool ready = [] {
        SetSettingsFolderOverride(dir.path());
        SetMessageBoxHandler([](const TMessageBoxRequest&) { return QMessageBox::Ok; });
        return dir.isValid();
    }();
    if (!ready) return 0;

    {
        QFile file(dir.filePath(QStringLiteral("UserParaIni.ini")));
        if (!file.open(QIODevice::WriteOnly)) return 0;
        file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    }
    ResetSharedData();
    LoadLocalPara();
    const TLocalPara first = LocalPara;
    SaveLocalPara();
    LoadLocalPara();
    // What was read must survive its own save (line breaks cannot occur in values read).
    if (LocalPara.BaudRate != first.BaudRate || LocalPara.curProtocol != first.curProtocol ||
        LocalPara.Language != first.Language)
        __builtin_trap();
    return 0;
}
