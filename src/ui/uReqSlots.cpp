#include "ui/uReqSlots.h"

#include "comm/uFrmCom.h"
#include "comm/uLinkState.h"
#include "model/UShareData.h"
#include "model/uDataFunc.h"
#include "model/uUpsInfo.h"
#include "ui/uGuard.h"

#include <QApplication>
#include <QWidget>

#include <algorithm>

namespace {
// The name QueueRequest gives the slots it fills while a write of a known window is queued.
QString queueingSource;

// Who fills a slot: the window that queues the write, else the window the operator is in.
QString requestSource()
{
    if (!queueingSource.isEmpty()) return queueingSource;
    if (qobject_cast<QApplication*>(QCoreApplication::instance())) {
        if (QWidget* w = QApplication::activeModalWidget()) return w->objectName();
        if (QWidget* w = QApplication::activeWindow()) return w->objectName();
    }
    return {};
}
} // namespace

QString SlotSourceOf(const QWidget* widget)
{
    return widget ? widget->window()->objectName() : QString();
}

bool LinkPortOpen() { return FrmCom && FrmCom->PortOpen(); }

bool ReqSlotFree(int slot) { return slot >= 1 && slot <= ReqSlotCount && ReqSlot[slot].Pending == 0; }

bool QueueRequest(int slot, uint8_t func, int32_t startReg, int32_t count, uint16_t value)
{
    if (!ReqSlotFree(slot)) return false;
    TReqSlot& s = ReqSlot[slot];
    s.Addr = static_cast<uint8_t>(LinkMain().GetDevAddr());
    s.Func = func;
    s.StartReg = startReg;
    s.Count = count;
    s.Value = value;
    // The words confirmed now are the words sent, whatever the edit copy holds when the link
    // takes the slot.
    if (func == 16) {
        const int n = std::clamp(count, 0, MaxSlotWords);
        for (int i = 0; i < n; ++i) s.Words[i] = WriteValue(startReg + i);
    }
    s.Source = requestSource();
    s.Pending = FlagOn;
    return true;
}

QString LinkBusyText() { return LangText("Link busy, please try again", "通讯忙，请重试"); }

TWriteOutcome QueueWrite(QWidget* parent, const std::vector<TSlotRequest>& requests)
{
    if (!CheckPortOpen(parent)) return TWriteOutcome::PortClosed;
    for (const TSlotRequest& r : requests) {
        if (!ReqSlotFree(r.slot)) {
            ShowPlainMessage(parent, LinkBusyText());
            return TWriteOutcome::LinkBusy;
        }
    }
    queueingSource = SlotSourceOf(parent);
    for (const TSlotRequest& r : requests) QueueRequest(r.slot, r.func, r.startReg, r.count, r.value);
    queueingSource.clear();
    return TWriteOutcome::Queued;
}

bool ParseAsciiNumber(const QString& text, long max, long* value)
{
    if (text.isEmpty() || text.size() > 9) return false;
    long v = 0;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < u'0' || u > u'9') return false;
        v = v * 10 + (u - u'0');
    }
    if (v > max) return false;
    if (value) *value = v;
    return true;
}

QString RowRefusalText(const QString& english, const QString& chineseRowName)
{
    return IsChinese() ? QStringLiteral("[%1] 数值无效").arg(chineseRowName) : english;
}
