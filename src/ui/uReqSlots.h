// Filling a request slot from a window: only while the slot is free, always for the cabinet
// the main window has selected. The link takes the slot on one of its next idle ticks.
#pragma once

#include <QString>

#include <cstdint>
#include <vector>

class QWidget;

// True when the link's serial port is open.
bool LinkPortOpen();

// True when slot (1 to 10) of the link is free to be filled.
bool ReqSlotFree(int slot);

// The cabinet the main window has selected, as the link knows it (1 without a link).
int SelectedDevAddr();

// Fills slot for the selected cabinet and marks it pending, when it is free. True when it was
// filled; a busy slot is left as it is. A function-16 request carries the words of its
// registers as they are now.
bool QueueRequest(int slot, uint8_t func, int32_t startReg, int32_t count, uint16_t value = 0);

// The name a slot filled for widget carries: the object name of its window ("FrmDataSet").
QString SlotSourceOf(const QWidget* widget);

// One request of a write: the slot it goes in and what the link is to send from it.
struct TSlotRequest {
    int slot = 0;
    uint8_t func = 0;
    int32_t startReg = 0;
    int32_t count = 0;
    uint16_t value = 0;
};

enum class TWriteOutcome { Queued, PortClosed, LinkPaused, LinkBusy };

// The one way an editor queues a write the operator confirmed: every request or none, as one
// group that the link drops whole. With the port closed it queues nothing and shows "COM Port
// is off !"; with the link paused in the trace window it queues nothing and says so; with a
// slot it needs holding another write, or a request that cannot wait, it queues nothing and
// shows "Link busy, please try again". A window's own read waiting in such a slot does not
// turn the write away: it moves to a free slot after the write's and is served after it. A
// refused write leaves the editor as it was, so pressing again works once the link is free.
TWriteOutcome QueueWrite(QWidget* parent, const std::vector<TSlotRequest>& requests);

// The message of a busy link, in the language of the moment.
QString LinkBusyText();
// The message of a paused link, in the language of the moment.
QString LinkPausedText();

// Reads text as a whole decimal number made of the ASCII digits 0 to 9 only (no sign, no
// blank, no full-width digit). False for anything else, an empty text included, and for a
// number above max.
bool ParseAsciiNumber(const QString& text, long max, long* value);

// The refusal of an entry nobody chose or typed as a number: the row's message, in English
// or, with the Chinese flag, "[row name] 数值无效".
QString RowRefusalText(const QString& english, const QString& chineseRowName);
