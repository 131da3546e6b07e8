// The link of a headless command: the port, the link form and the shared records, driven
// without a window.
#pragma once

#include "cli/uCmdLine.h"
#include "comm/uLinkConnections.h"

#include <QSet>
#include <QString>

#include <functional>
#include <memory>

class TFrmCom;

// The link of a headless command: the link form on the chosen port and address, followed
// through its signals for every accepted reply and every start of a poll cycle. The port and
// speed are the command's own (--port, --baud); the settings record is not asked for them.
class THeadlessLink {
public:
    explicit THeadlessLink(const TCmdLine& options);
    ~THeadlessLink();

    // Opens the port and says what the command does there ("DOING cabinet 3 on PORTAFTER"); false,
    // the reason said, when the port cannot be opened: the run then ends with status 1.
    bool Open(const QString& doing, const QString& after = QString());
    // "the cabinet at address 3 on PORT did not answer WHAT"
    QString NoAnswer(const QString& what) const;
    bool PortOpen() const;
    void Close();
    // Runs the message loop until done() holds or the link has begun maxCycles more poll
    // cycles than when called (a cycle restarts only when no slot is waiting). True when
    // done() held.
    bool RunUntil(const std::function<bool()>& done, int maxCycles);
    // Fills a request slot for the command's address.
    void FillSlot(int slot, uint8_t func, int32_t startReg, int32_t count, uint16_t value = 0);

    // Accepted replies, by function and first register ("4:30001", "43:2").
    bool Answered(int func, int32_t startReg) const;
    // The request in progress came from a slot (not from the poll cycle).
    bool SlotRequestActive() const;
    int CyclesBegun() const { return cycles_; }
    int Address() const { return address_; }
    TFrmCom* Com() const { return com_.get(); }
    QString PortName() const { return port_; }
    int BaudRate() const { return baud_; }

private:
    void replyAccepted();

    int address_ = 1;
    QString port_;
    int baud_ = 0; // --baud, else the settings file's speed
    int cycles_ = 0;
    QSet<QString> answered_;
    std::unique_ptr<TFrmCom> com_;
    TLinkConnections links_;
};
