#include "comm/uOpenFailure.h"

#include "model/uDataFunc.h"

#include <QFile>

#if defined(Q_OS_LINUX)
#include <grp.h>
#include <sys/stat.h>
#endif

namespace {
#if defined(Q_OS_LINUX)
// The group that may open the device, as the system names it; Debian's is dialout.
QString deviceGroup(const QString& device)
{
    struct stat st {};
    if (::stat(QFile::encodeName(device).constData(), &st) == 0 && st.st_gid != 0)
        if (const group* g = ::getgrgid(st.st_gid)) return QString::fromLocal8Bit(g->gr_name);
    return QStringLiteral("dialout");
}
#endif
} // namespace

QString OpenFailureText(const ECommsError& error)
{
    QString text = QString::fromLocal8Bit(error.what());
    if (error.Port.isEmpty()) return text;
    text += QLatin1Char('\n');
    if (error.InUse)
        text += LangText("Port %1: in use by another program (%2)", "端口 %1：已被其他程序占用（%2）")
                    .arg(error.Port, error.Reason);
    else if (error.Reason.isEmpty())
        text += LangText("Port %1", "端口 %1").arg(error.Port);
    else
        text += LangText("Port %1: %2", "端口 %1：%2").arg(error.Port, error.Reason);
#if defined(Q_OS_LINUX)
    if (error.PermissionDenied) {
        const QString group = deviceGroup(error.Port);
        text += QLatin1Char('\n');
        text +=
            LangText("Your user may not open serial ports: add it to the group %1 "
                     "(sudo usermod -aG %1 $USER), then log out and in again.",
                     "当前用户无权打开串口：请把用户加入 %1 组（sudo usermod -aG %1 $USER），然后重新登录。")
                .arg(group);
    }
#endif
    return text;
}
