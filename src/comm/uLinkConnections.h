// The connections of one listener to the link's signals, dropped together: when the listener
// stops following the link, at the latest when it goes.
#pragma once

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
