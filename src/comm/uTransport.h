// What the link needs of the line to a cabinet, whatever carries it: open a named endpoint,
// hand a frame over without waiting, and hear back the chunks received and the loss of the
// device. The serial port (TComm) is one such line; a network connection can be another.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <cstdint>
#include <stdexcept>

// The open failures, each with its fixed message. Beside it: the device the endpoint stood for
// and the system's reason, for the line a window shows under the message.
class ECommsError : public std::runtime_error {
public:
    ECommsError() : std::runtime_error("") {}
    explicit ECommsError(const char* message) : std::runtime_error(message) {}
    ECommsError(const char* message, QString port, QString reason, bool permissionDenied = false,
                bool inUse = false)
        : std::runtime_error(message), Port(std::move(port)), Reason(std::move(reason)),
          PermissionDenied(permissionDenied), InUse(inUse)
    {
    }
    QString Port;
    QString Reason;
    bool PermissionDenied = false; // the system refused the user access to the device
    bool InUse = false;            // another program holds the port (its lock, or exclusive use)
};

class TTransport : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Opens the endpoint (a device, or an address on the network) at baudRate, which a network
    // line ignores. On failure the line stays closed and failure says why, as the operator is
    // told it.
    virtual bool open(const QString& endpoint, int baudRate, ECommsError& failure) = 0;
    // Does nothing when closed.
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // Hands a copy of the bytes over and returns at once; false when the line cannot take them
    // (closed, or count is 0).
    virtual bool write(const uint8_t* bytes, int count) = 0;

    // Line-speed mode: a reply ends as soon as the length the request last written expects
    // has arrived whole, not at the defined silence. May change while open.
    virtual void setFastLine(bool on) = 0;
    // Microseconds count bytes take on the line (a network line: 0).
    virtual int64_t wireMicros(int count) const = 0;
    // The pause a master leaves between a reply and its next request, in milliseconds.
    virtual int interFrameGapMs() const = 0;
    // True when the line itself holds the next request back for that pause after a reply, so
    // the link may hand it over at once.
    virtual bool keepsFrameGap() const = 0;

Q_SIGNALS:
    // One chunk, as the line cut it (a silence, a complete reply, or its size limit).
    void received(const QByteArray& chunk);
    // The device went away under the open line, which is closed by now; reason is the system's.
    void lost(const QString& reason);
};
