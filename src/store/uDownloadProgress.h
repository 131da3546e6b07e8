// The figures of a running download: records stored out of those to fetch, the rate and the
// time left. Pure arithmetic over the clock readings the caller hands in; it changes no timing.
#pragma once

#include <QString>

#include <cstdint>

class TDownloadProgress {
public:
    // A download from record first up to record last (the cabinet's record count) starts at
    // the clock reading nowMs.
    void Start(int32_t first, int32_t last, int64_t nowMs);
    // The cabinet's record count as read later.
    void SetLast(int32_t last) { last_ = last; }
    // One record stored at nowMs.
    void Stored(int64_t nowMs);
    // The operator stopped the download; Text tells how many records were stored.
    void Stop() { stopped_ = true; }
    bool Stopped() const { return stopped_; }

    bool Started() const { return started_; }
    int32_t Done() const { return done_; }
    // Records to fetch in all (never fewer than those already stored).
    int32_t Total() const;
    // Percent of Total stored, 0 to 100.
    int Percent() const;
    // Records per second since the start, up to the last stored record; 0 before the first.
    double Rate() const;
    // Seconds still needed at that rate; -1 while no rate is known.
    int64_t SecondsLeft() const;
    // "37 of 200 records, 3.2 rec/s, 0:51 left" in the current language; after a stop
    // "Stopped: 37 of 200 records stored".
    QString Text() const;

private:
    bool started_ = false;
    bool stopped_ = false;
    int32_t first_ = 1;
    int32_t last_ = 0;
    int32_t done_ = 0;
    int64_t startMs_ = 0;
    int64_t lastMs_ = 0;
};
