// The connections of one listener to the link's signals, dropped together: when the listener
// stops following the link, at the latest when it goes.
#pragma once

#include "comm/uFrmCom.h"

#include <QMetaObject>
#include <QObject>

#include <vector>

class TLinkConnections {
public:
    TLinkConnections() = default;
    TLinkConnections(const TLinkConnections&) = delete;
    TLinkConnections& operator=(const TLinkConnections&) = delete;
    ~TLinkConnections() { Disconnect(); }

    TLinkConnections& operator<<(const QMetaObject::Connection& connection)
    {
        list_.push_back(connection);
        return *this;
    }
    void Disconnect()
    {
        for (const QMetaObject::Connection& c : list_) QObject::disconnect(c);
        list_.clear();
    }
    bool Connected() const { return !list_.empty(); }

private:
    std::vector<QMetaObject::Connection> list_;
};

// Drops what links follows and, when the run has a link, follows its requests: listener's
// RequestBuilt, ReplyAccepted and RequestDropped hear the link's signals of those names (the
// listeners that follow every request of a window: the journal, a backup, a restore).
template <typename TListener> void FollowRequests(TLinkConnections& links, TListener* listener)
{
    links.Disconnect();
    if (!FrmCom) return;
    links << QObject::connect(FrmCom, &TFrmCom::RequestBuilt,
                              [listener](const TLinkRequest& r) { listener->RequestBuilt(r); })
          << QObject::connect(FrmCom, &TFrmCom::ReplyAccepted,
                              [listener](const TLinkRequest& r, const uint16_t* regs, int count) {
                                  listener->ReplyAccepted(r, regs, count);
                              })
          << QObject::connect(FrmCom, &TFrmCom::RequestDropped,
                              [listener](const TLinkRequest& r) { listener->RequestDropped(r); });
}
