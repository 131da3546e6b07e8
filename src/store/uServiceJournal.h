// The service journal "data/journal.db": one row for every register the tool writes to a
// cabinet, with the value it held before, the value sent and, once it has been read again,
// the read-back and its verdict. It watches the link, so every window's writes land here
// without the windows knowing; a journal that cannot be written is told once and never holds
// a write back. Its rows are written on a thread of their own, so a file another program
// holds locked delays the rows, never the window.
#pragma once

#include "comm/uLinkConnections.h"
#include "comm/uLinkRequest.h"
#include "model/uWriteVerdict.h"
#include "store/uJournalWriter.h"

#include <QDate>
#include <QDateTime>
#include <QObject>
#include <QString>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

using TJournalVerdict = TWriteVerdict;
inline QString JournalVerdictText(int verdict) { return WriteVerdictText(verdict); }

struct TJournalEntry {
    qint64 id = 0;
    QDateTime writtenAt;
    int address = 0;
    QString cabinetType;
    int cabinetRating = 0;
    QString cabinetVersion;
    QString source; // the window or command
    int func = 0;
    int reg = 0;
    std::optional<int> valueBefore;
    int valueSent = 0;
    std::optional<int> readBack;
    int verdict = 0;
};

class TServiceJournal {
public:
    TServiceJournal();
    ~TServiceJournal();
    TServiceJournal(const TServiceJournal&) = delete;
    TServiceJournal& operator=(const TServiceJournal&) = delete;

    // Starts watching the link and hands the file to the journal's thread, which opens or
    // creates it (WAL, schema version 1) without the caller waiting for a lock. A folder that
    // cannot be used is told through the failure handler at once and false answered; a file
    // that turns out broken is told when the thread finds out. The link is watched anyway, so
    // the values read are known, and nothing is written.
    bool Open(const QString& path);
    void Close();
    bool IsOpen() const { return open_; }
    QString FilePath() const { return path_; }
    // Told once, with the reason, when the journal cannot be written; always on the thread
    // that made the journal.
    void SetFailureHandler(std::function<void(const QString&)> handler) { onFailure_ = std::move(handler); }
    bool Failed() const { return failed_; }

    // Entries newest first; address 0 for every cabinet, an invalid day for every day. The
    // rows handed to the journal's thread are waited for a short while; a file held locked is
    // read as far as it can be, and LastReadError says why the list may lack rows.
    std::vector<TJournalEntry> Entries(int address = 0, const QDate& day = QDate()) const;
    // Addresses that have entries, ascending.
    std::vector<int> Addresses() const;
    // Why the last Entries or Addresses may be incomplete; empty when it was whole.
    QString LastReadError() const { return readError_; }
    // Waits at most ms for the rows handed over to be on the disk, through a lock if need be;
    // false when they are not (or the file is broken).
    bool WaitWritten(int ms) const;

    static constexpr int SchemaVersion = 1;
    static const char* const CreateTableSql;

    // What the link tells (connected while it follows the link).
    void RequestBuilt(const TLinkRequest& request);
    void ReplyAccepted(const TLinkRequest& request, const uint16_t* regs, int count);
    void RequestDropped(const TLinkRequest& request);

private:
    void listen();
    TLinkConnections links_;
    struct TPending {
        qint64 token; // the row, as the journal's thread knows it
        int reg;
        int sent;
    };
    void fail(const QString& why);
    void setVerdict(qint64 token, TJournalVerdict verdict, std::optional<int> readBack = std::nullopt);
    bool openReader() const;
    static qint64 key(int address, int reg) { return qint64(address) * 65536 + reg; }

    QString name_;
    QString path_;
    bool open_ = false;
    std::atomic<bool> failed_{false};
    std::atomic<bool> told_{false};
    std::function<void(const QString&)> onFailure_;
    QObject home_; // lives on the thread that made the journal: failures are told there
    std::unique_ptr<TJournalWriter> writer_;
    qint64 nextToken_ = 1;
    mutable QString readError_;
    std::map<qint64, uint16_t> lastRead_;   // (address, register) -> the value last read
    std::vector<TPending> outstanding_;     // entries of the write in flight
    int outstandingAddr_ = 0;
    std::map<qint64, TPending> awaitingReadBack_; // (address, register) -> its entry
};

// The journal of the run (installed at start-up); nullptr when there is none.
TServiceJournal* ServiceJournal();
void SetServiceJournal(TServiceJournal* journal);
