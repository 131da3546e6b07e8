// Reads the blocks of a settings backup from one cabinet, one request at a time through
// request slot 1 as the windows' own reads go, and tells when every block has answered or
// which one did not. It has no window: the main window's "Save settings…", the restore window
// and the headless --backup all use it.
#pragma once

#include "comm/uLinkConnections.h"
#include "comm/uLinkRequest.h"
#include "model/uSettingsBackup.h"

#include <QObject>
#include <QTimer>

class TBackupReader : public QObject {
    Q_OBJECT
public:
    // source names the reader's requests (the window or command).
    TBackupReader(int address, const QString& source, QObject* parent = nullptr);
    ~TBackupReader() override;

    // Begins with the first block; the slot is filled once it is free.
    void Start();
    // Stops; a request already queued or outstanding is left to the link.
    void Cancel();

    bool Running() const { return running_; }
    bool Succeeded() const { return succeeded_; }
    // Why the reading stopped short: the block that did not answer, or a closed port.
    QString Failure() const { return failure_; }
    int BlocksDone() const { return next_; }
    static int BlockCount();
    // The values read: registers and identification, address and time of the reading.
    const TSettingsBackup& Result() const { return result_; }

    // What the link tells (connected while it follows the link).
    void RequestBuilt(const TLinkRequest& request);
    void ReplyAccepted(const TLinkRequest& request, const uint16_t* regs, int count);
    void RequestDropped(const TLinkRequest& request);

    // Seconds without any answer after which the reading gives up (a link that sends nothing,
    // another protocol chosen): well beyond the three attempts of a request.
    static constexpr int StallSeconds = 30;

Q_SIGNALS:
    // After each block that answered.
    void Progress(int done, int total);
    // Once, at the end: ok when every block answered.
    void Finished(bool ok);

private:
    void listen();
    TLinkConnections links_;
    void step();
    bool isMine(const TLinkRequest& request) const;
    void finish(bool ok, const QString& failure = QString());

    int address_;
    QString source_;
    QTimer timer_;
    int next_ = 0;         // the block being read
    bool queued_ = false;  // its request is in slot 1
    bool taken_ = false;   // the link has built it
    bool running_ = false;
    bool succeeded_ = false;
    int idleTicks_ = 0;
    QString failure_;
    TSettingsBackup result_;
};
