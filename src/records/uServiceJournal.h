// The service journal "data/journal.db": one row for every register the tool writes to a
// cabinet, with the value it held before, the value sent and, once it has been read again,
// the read-back and its verdict. It watches the link, so every window's writes land here
// without the windows knowing; a journal that cannot be written is told once and never holds
// a write back.
#pragma once

#include "comm/uLinkWatch.h"
#include "model/uWriteVerdict.h"

#include <QDate>
#include <QDateTime>
#include <QString>

#include <functional>
#include <map>
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

class TServiceJournal : public TLinkWatcher {
public:
    TServiceJournal();
    ~TServiceJournal() override;
    TServiceJournal(const TServiceJournal&) = delete;
    TServiceJournal& operator=(const TServiceJournal&) = delete;

    // Opens or creates the file (WAL, schema version 1) and starts watching the link. A file
    // that cannot be opened is told through the failure handler; the link is watched anyway,
    // so the values read are known, and nothing is written.
    bool Open(const QString& path);
    void Close();
    bool IsOpen() const { return open_; }
    QString FilePath() const { return path_; }
    // Told once, with the reason, when the journal cannot be written.
    void SetFailureHandler(std::function<void(const QString&)> handler) { onFailure_ = std::move(handler); }
    bool Failed() const { return failed_; }

    // Entries newest first; address 0 for every cabinet, an invalid day for every day.
    std::vector<TJournalEntry> Entries(int address = 0, const QDate& day = QDate()) const;
    // Addresses that have entries, ascending.
    std::vector<int> Addresses() const;

    static constexpr int SchemaVersion = 1;
    static const char* const CreateTableSql;

    // TLinkWatcher
    void RequestBuilt(const TLinkRequest& request) override;
    void ReplyAccepted(const TLinkRequest& request, const uint16_t* regs, int count) override;
    void RequestDropped(const TLinkRequest& request) override;

private:
    void fail(const QString& why);
    bool exec(const QString& sql, const std::vector<QVariant>& values = {}, qint64* insertId = nullptr);
    void setVerdict(qint64 id, TJournalVerdict verdict, std::optional<int> readBack = std::nullopt);
    static qint64 key(int address, int reg) { return qint64(address) * 65536 + reg; }

    QString name_;
    QString path_;
    bool open_ = false;
    bool failed_ = false;
    bool told_ = false;
    std::function<void(const QString&)> onFailure_;
    std::map<qint64, uint16_t> lastRead_;   // (address, register) -> the value last read
    std::vector<std::pair<qint64, int>> outstanding_; // entries of the write in flight: id, register
    int outstandingAddr_ = 0;
    std::map<qint64, qint64> awaitingReadBack_; // (address, register) -> entry id
};

// The journal of the run (installed at start-up); nullptr when there is none.
TServiceJournal* ServiceJournal();
void SetServiceJournal(TServiceJournal* journal);
