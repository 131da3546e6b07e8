#include "ui/uReqSlots.h"

#include "comm/uFrmCom.h"
#include "model/UShareData.h"
#include "model/uDataFunc.h"
#include "model/uUpsInfo.h"
#include "ui/uGuard.h"

#include <QApplication>
#include <QWidget>

#include <algorithm>
#include <climits>

namespace {
// The name QueueRequest gives the slots it fills while a write of a known window is queued.
QString queueingSource;
// The write group QueueRequest gives the slots it fills while a write is queued.
int32_t queueingGroup = 0;

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

bool ReqSlotFree(int slot)
{
    return FrmCom && slot >= 1 && slot <= ReqSlotCount && FrmCom->ReqSlot[slot].Pending == 0;
}

int SelectedDevAddr() { return FrmCom ? FrmCom->DevAddr() : 1; }

bool QueueRequest(int slot, uint8_t func, int32_t startReg, int32_t count, uint16_t value)
{
    if (!ReqSlotFree(slot)) return false;
    TReqSlot s;
    s.Addr = static_cast<uint8_t>(FrmCom->DevAddr());
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
    s.Group = queueingGroup;
    return FrmCom->Submit(slot, s);
}

QString LinkBusyText() { return LangText("Link busy, please try again", "通讯忙，请重试"); }

QString LinkPausedText()
{
    return LangText("Link paused, please resume it in the trace window", "通讯已暂停，请在通讯跟踪窗口中恢复");
}

namespace {
int lastGroup = 0;
// Windows fill slots 1 to 4; a read that makes way goes to one of those after them, so that
// it never holds a slot a window is about to fill.
constexpr int LastWindowSlot = 4;

// A read a window queued on its own, not part of any write: it can wait for a write and be
// served after it.
bool movableRead(const TReqSlot& s) { return s.Pending != 0 && s.Group == 0 && !IsWriteFunc(s.Func); }
} // namespace

TWriteOutcome QueueWrite(QWidget* parent, const std::vector<TSlotRequest>& requests)
{
    if (!CheckPortOpen(parent)) return TWriteOutcome::PortClosed;
    // A write queued while the link is paused would go out whenever it resumes, long after the
    // operator has stopped expecting it.
    if (FrmCom->LinkState.CommPaused) {
        ShowPlainMessage(parent, LinkPausedText());
        return TWriteOutcome::LinkPaused;
    }
    // The reads in the way, and the free slots after the write's to move them to.
    bool needed[ReqSlotCount + 1] = {};
    int highest = 0;
    for (const TSlotRequest& r : requests) {
        if (r.slot < 1 || r.slot > ReqSlotCount) return TWriteOutcome::LinkBusy;
        needed[r.slot] = true;
        highest = std::max(highest, r.slot);
    }
    std::vector<int> inTheWay, freeAfter;
    for (int i = 1; i <= ReqSlotCount; ++i) {
        if (needed[i] && !ReqSlotFree(i)) {
            if (!movableRead(FrmCom->ReqSlot[i])) {
                ShowPlainMessage(parent, LinkBusyText());
                return TWriteOutcome::LinkBusy;
            }
            inTheWay.push_back(i);
        } else if (!needed[i] && i > std::max(highest, LastWindowSlot) && ReqSlotFree(i)) {
            freeAfter.push_back(i);
        }
    }
    if (inTheWay.size() > freeAfter.size()) {
        ShowPlainMessage(parent, LinkBusyText());
        return TWriteOutcome::LinkBusy;
    }
    // Moved in their order, so the link still serves them in the order they were in.
    for (size_t k = 0; k < inTheWay.size(); ++k) FrmCom->MoveRead(inTheWay[k], freeAfter[k]);
    lastGroup = lastGroup == INT32_MAX ? 1 : lastGroup + 1;
    queueingSource = SlotSourceOf(parent);
    queueingGroup = lastGroup;
    for (const TSlotRequest& r : requests) QueueRequest(r.slot, r.func, r.startReg, r.count, r.value);
    queueingGroup = 0;
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
