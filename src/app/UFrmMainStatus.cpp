// The main window's status line and the freshness of its values: values that no longer come
// from the cabinet (the port closed by the operator or by Find, a device pulled) are drawn grey
// with the time of the last reply until the next reply; a saved port whose device is not on
// this machine is told once, at start.
#include "app/UFrmMain.h"

#include "comm/uFrmCom.h"
#include "model/uDataFunc.h"
#include "model/uLocalPara.h"

#include <QApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QLineEdit>
#include <QTableWidget>

void TFrmMain::NoteReply()
{
    replySinceTick_ = true;
    lastReplyMs_ = QDateTime::currentMSecsSinceEpoch();
}

// Once a tick: grey while the port is down, live again at the first reply after it.
void TFrmMain::showFreshness()
{
    const bool down = !(FrmCom && FrmCom->PortOpen());
    if (down && !stale_)
        setStale(true);
    else if (!down && stale_ && replySinceTick_)
        setStale(false);
    replySinceTick_ = false;
}

QList<QWidget*> TFrmMain::valueWidgets() const
{
    return {sgrdUPS_AC,       sgrdUPS_DC,       sgrdModule,       edtSysState,      edtMdState,
            mdtCmmStaH,       mdtCmmStaL,       mdtInvStaH,       mdtInvStaL,       mdtCmmAlmH,
            mdtCmmAlmL,       mdtInvAlmH,       mdtInvAlmL,       mdtSysSta,        mdtSysAlm,
            mdt_MdCMMStatusH, mdt_MdCMMStatusL, mdt_MdINVStatusH, mdt_MdINVStatusL, mdt_MdCMMAlarmH,
            mdt_MdCMMAlarmL,  mdt_MdINVAlarmH,  mdt_MdINVAlarmL,  edtSend,          edtAcpt,
            edtAckOk,         edtErrRate,       edtUpsVer,        edtTypeInfo,      edtMdRate};
}

void TFrmMain::setStale(bool stale)
{
    stale_ = stale;
    // The values stay readable and selectable; only their colour says they are not live.
    const QColor grey = QApplication::palette().color(QPalette::Disabled, QPalette::Text);
    for (QWidget* w : valueWidgets()) {
        if (stale) {
            livePalettes_.emplace(w, w->palette());
            QPalette pal = w->palette();
            for (QPalette::ColorGroup g : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
                pal.setColor(g, QPalette::Text, grey);
            w->setPalette(pal);
        } else if (auto it = livePalettes_.find(w); it != livePalettes_.end()) {
            w->setPalette(it->second);
        }
    }
    if (!stale) livePalettes_.clear();
    showStatus();
}

void TFrmMain::showStatus()
{
    QString text;
    if (!missingPort_.isEmpty()) {
        const QString device = TFrmCom::DeviceName(missingPort_);
        const QString name =
            device == missingPort_ ? missingPort_ : QStringLiteral("%1 (%2)").arg(missingPort_, device);
        text = LangText("Port %1 is not on this machine", "本机没有端口 %1").arg(name);
    } else if (stale_ && lastReplyMs_ > 0) {
        const QString at = QDateTime::fromMSecsSinceEpoch(lastReplyMs_).toString(QStringLiteral("HH:mm:ss"));
        text = LangText("Not live: last reply at %1", "数据未更新：最后应答 %1").arg(at);
    }
    if (lblStatus->text() == text) return;
    lblStatus->setText(text);
    lblStatus->setToolTip(text);
}

// A saved port is a device path or a COM name; a network endpoint is not checked here.
void TFrmMain::checkSavedPort()
{
    if (savedPortChecked_) return;
    savedPortChecked_ = true;
#ifndef Q_OS_WIN
    const QString name = LocalPara.ComName.trimmed();
    if (name.isEmpty() || name.contains(QLatin1String("://"))) return;
    if (QFileInfo::exists(TFrmCom::DeviceName(name))) return;
    missingPort_ = LocalPara.ComName;
    showStatus();
#endif
}
