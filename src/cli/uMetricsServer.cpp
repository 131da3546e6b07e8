#include "cli/uMetricsServer.h"

#include "cli/uMetricsText.h"

#include <QHttpServer>
#include <QHttpServerRequest>
#include <QHttpServerResponse>
#include <QTcpServer>

namespace {

using TStatus = QHttpServerResponse::StatusCode;

// Prometheus scrapes many targets at once, and a dashboard may open many tabs: the queue of
// connections not yet accepted holds a burst of a few hundred.
constexpr int ConnectionBacklog = 512;

const char* const indexPage = "<!DOCTYPE html>\n"
                              "<html><head><meta charset=\"utf-8\"><title>zyrtool metrics</title></head>\n"
                              "<body><h1>zyrtool metrics</h1>\n"
                              "<p><a href=\"/metrics\">Metrics</a></p>\n"
                              "</body></html>\n";

QHttpServerResponse plain(const char* text, TStatus status)
{
    return QHttpServerResponse(QByteArrayLiteral("text/plain; charset=utf-8"), QByteArray(text), status);
}

// Each path answers GET only; anything else is told which method it may use.
template <typename Reply> auto getOnly(Reply reply)
{
    return [reply](const QHttpServerRequest& request) {
        if (request.method() != QHttpServerRequest::Method::Get) {
            QHttpServerResponse refused = plain("Method Not Allowed\n", TStatus::MethodNotAllowed);
            refused.setHeader(QByteArrayLiteral("Allow"), QByteArrayLiteral("GET"));
            return refused;
        }
        return reply();
    };
}

bool parsePort(const QString& text, quint16& port)
{
    bool ok = false;
    const uint n = text.toUInt(&ok, 10);
    // toUInt takes a sign and blanks; a port is digits only.
    for (QChar ch : text)
        if (!ch.isDigit()) ok = false;
    if (!ok || n < 1 || n > 65535) return false;
    port = static_cast<quint16>(n);
    return true;
}

} // namespace

bool ParseListenAddress(const QString& text, TListenAddress& address, QString& error)
{
    QString host;
    QString port = text;
    if (text.startsWith(QLatin1Char('['))) {
        const int close = text.indexOf(QLatin1Char(']'));
        if (close < 0 || text.mid(close + 1, 1) != QLatin1String(":")) {
            error = QStringLiteral("\"%1\" is not [HOST:]PORT: an IPv6 address is written in brackets and "
                                   "followed by a colon and the port, as in [::1]:9100")
                        .arg(text);
            return false;
        }
        host = text.mid(1, close - 1);
        port = text.mid(close + 2);
    } else if (text.count(QLatin1Char(':')) > 1) {
        error = QStringLiteral("\"%1\" is not [HOST:]PORT: put an IPv6 address in brackets, as in [::1]:9100")
                    .arg(text);
        return false;
    } else if (text.contains(QLatin1Char(':'))) {
        host = text.section(QLatin1Char(':'), 0, 0);
        port = text.section(QLatin1Char(':'), 1);
    }

    TListenAddress parsed;
    if (!parsePort(port, parsed.Port)) {
        error = QStringLiteral("\"%1\" is not [HOST:]PORT: the port \"%2\" is not a number from 1 to 65535")
                    .arg(text, port);
        return false;
    }
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0) {
        parsed.Host = QHostAddress(QHostAddress::LocalHost);
    } else if (!host.isEmpty() || text.startsWith(QLatin1Char('['))) {
        const bool bracketed = text.startsWith(QLatin1Char('['));
        QHostAddress ip;
        const bool valid = ip.setAddress(host);
        const bool isV6 = valid && ip.protocol() == QAbstractSocket::IPv6Protocol;
        if (!valid || isV6 != bracketed) {
            error =
                QStringLiteral("\"%1\" is not [HOST:]PORT: \"%2\" is not an IPv4 address, an IPv6 address "
                               "in brackets or localhost")
                    .arg(text, host);
            return false;
        }
        parsed.Host = ip;
    }
    address = parsed;
    return true;
}

TMetricsServer::TMetricsServer(SnapshotProvider snapshot, HealthProvider linkRuns, QObject* parent)
    : QObject(parent), snapshot_(std::move(snapshot)), linkRuns_(std::move(linkRuns)),
      http_(std::make_unique<QHttpServer>())
{
    http_->route(QStringLiteral("/metrics"), getOnly([this] {
                     return QHttpServerResponse(QByteArray(MetricsContentType), MetricsText(snapshot_()));
                 }));
    http_->route(QStringLiteral("/healthz"), getOnly([this] {
                     return linkRuns_() ? plain("ok\n", TStatus::Ok)
                                        : plain("the link is not running\n", TStatus::ServiceUnavailable);
                 }));
    http_->route(QStringLiteral("/"), getOnly([] {
                     return QHttpServerResponse(QByteArrayLiteral("text/html; charset=utf-8"),
                                                QByteArray(indexPage));
                 }));
    http_->setMissingHandler([](const QHttpServerRequest&, QHttpServerResponder&& responder) {
        plain("Not Found\n", TStatus::NotFound).write(std::move(responder));
    });
}

TMetricsServer::~TMetricsServer() = default;

bool TMetricsServer::Listen(const TListenAddress& address, QString& error)
{
    auto* tcp = new QTcpServer(http_.get());
    tcp->setListenBacklogSize(ConnectionBacklog);
    tcp->setMaxPendingConnections(ConnectionBacklog);
    if (!tcp->listen(address.Host, address.Port)) {
        const QString host = address.Host.protocol() == QAbstractSocket::IPv6Protocol
                                 ? QStringLiteral("[%1]").arg(address.Host.toString())
                                 : address.Host.toString();
        error =
            QStringLiteral("cannot listen on %1:%2: %3").arg(host).arg(address.Port).arg(tcp->errorString());
        delete tcp;
        return false;
    }
    http_->bind(tcp);
    tcp_ = tcp;
    return true;
}

quint16 TMetricsServer::Port() const { return tcp_ ? tcp_->serverPort() : 0; }
