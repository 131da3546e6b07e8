// The metrics' HTTP server: GET /metrics gives the snapshot its provider hands over, in the
// Prometheus text format; GET / a small page that links to it; GET /healthz 200 while the link
// runs, else 503. Other paths 404, other methods 405. A scrape only reads what the provider
// returns, which is what the last poll stored: it never sends a request to a cabinet.
// Everything runs on the thread that owns the server (the link's), so the providers need no lock.
#pragma once

#include "cli/uMetricsSnapshot.h"

#include <QHostAddress>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class QHttpServer;
class QTcpServer;

struct TListenAddress {
    QHostAddress Host = QHostAddress(QHostAddress::LocalHost);
    quint16 Port = 0;
};

// Parses "[HOST:]PORT": PORT alone listens on 127.0.0.1; HOST is an IPv4 address, an IPv6
// address in brackets ("[::1]:9100") or "localhost". False with a message that says what is
// wrong.
bool ParseListenAddress(const QString& text, TListenAddress& address, QString& error);

class TMetricsServer : public QObject {
    Q_OBJECT
public:
    using SnapshotProvider = std::function<TMetricsSnapshot()>;
    using HealthProvider = std::function<bool()>;

    TMetricsServer(SnapshotProvider snapshot, HealthProvider linkRuns, QObject* parent = nullptr);
    ~TMetricsServer() override;

    // Starts listening; false with a message (the address taken, not on this machine ...).
    // Port 0 takes a free port, which Port() then tells.
    bool Listen(const TListenAddress& address, QString& error);
    quint16 Port() const;

private:
    SnapshotProvider snapshot_;
    HealthProvider linkRuns_;
    std::unique_ptr<QHttpServer> http_;
    QTcpServer* tcp_ = nullptr; // owned by http_
};
