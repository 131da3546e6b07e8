// A bare HTTP/1.1 client over QTcpSocket on 127.0.0.1, for the metrics server's tests: many
// requests at once, each on a connection of its own, answered or not by a deadline.
#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QMap>
#include <QTcpSocket>
#include <QThread>

#include <memory>
#include <vector>

struct THttpReply {
    bool complete = false;
    int status = 0;
    QMap<QByteArray, QByteArray> headers; // names in lower case
    QByteArray body;
};

// Parses what came so far; complete once the headers and Content-Length bytes of body arrived.
inline THttpReply ParseHttpReply(const QByteArray& raw)
{
    THttpReply reply;
    const int end = raw.indexOf("\r\n\r\n");
    if (end < 0) return reply;
    const QList<QByteArray> lines = raw.left(end).split('\n');
    const QList<QByteArray> statusLine = lines.value(0).trimmed().split(' ');
    if (statusLine.size() < 2 || !statusLine[0].startsWith("HTTP/1.")) return reply;
    reply.status = statusLine[1].toInt();
    for (int i = 1; i < lines.size(); ++i) {
        const int colon = lines[i].indexOf(':');
        if (colon > 0)
            reply.headers.insert(lines[i].left(colon).trimmed().toLower(), lines[i].mid(colon + 1).trimmed());
    }
    bool ok = false;
    const int length = reply.headers.value("content-length").toInt(&ok);
    if (!ok) return reply;
    const QByteArray body = raw.mid(end + 4);
    if (body.size() < length) return reply;
    reply.body = body.left(length);
    reply.complete = true;
    return reply;
}

// Opens one connection per request, all at once, sends each request whole and waits until
// every reply is complete or the deadline passes. A request is "METHOD PATH".
inline std::vector<THttpReply> HttpRequests(quint16 port, const std::vector<QByteArray>& requests,
                                            int deadlineMs = 60000)
{
    struct Client {
        std::unique_ptr<QTcpSocket> socket;
        QByteArray received;
        bool done = false;
    };
    std::vector<Client> clients(requests.size());
    for (size_t i = 0; i < requests.size(); ++i) {
        clients[i].socket = std::make_unique<QTcpSocket>();
        clients[i].socket->connectToHost(QHostAddress(QHostAddress::LocalHost), port);
        // Written while connecting: the socket sends it once connected.
        clients[i].socket->write(requests[i] + " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 0\r\n\r\n");
    }
    QDeadlineTimer deadline(deadlineMs);
    size_t open = clients.size();
    while (open > 0 && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        for (Client& c : clients) {
            if (c.done) continue;
            c.received += c.socket->readAll();
            if (ParseHttpReply(c.received).complete ||
                c.socket->state() == QAbstractSocket::UnconnectedState) {
                c.done = true;
                c.socket->abort();
                --open;
            }
        }
    }
    std::vector<THttpReply> replies;
    for (Client& c : clients) replies.push_back(ParseHttpReply(c.received));
    return replies;
}

inline THttpReply HttpRequest(quint16 port, const QByteArray& request)
{
    return HttpRequests(port, {request}).front();
}
