// What one scrape of the metrics shows: for each polled address the values the poll stored and
// which of them were ever read, its identification and the time of its last reply; and the
// link's counters. A plain value: the server copies one from its provider and formats it, and
// never reaches the link. A value whose block was never answered is absent, never 0.
#pragma once

#include "model/uUpsInfo.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

// The blocks of the poll cycle an address has ever answered.
struct TMetricsBlocks {
    bool Values = false;     // 30001..30044: input, output, bypass, battery, temperatures
    bool Status = false;     // 30061..30091: the ten status and alarm words among them
    bool Parameters = false; // 40001..40035: the module number 40003 among them
};

struct TMetricsAlarm {
    int Code = 0;
    QString Name; // English, whatever the operator's language
};

struct TMetricsModule {
    int Number = 0; // 1..32
    TModuleData Data;
};

struct TMetricsCabinet {
    int Address = 0;
    // The last poll cycle of this address was answered.
    bool Up = false;
    // Milliseconds since 1970 (UTC) of the last accepted reply; absent while none came.
    std::optional<int64_t> LastReplyMs;

    // Identification (function 43): object 1 gives the type and the rating, object 2 the version.
    std::optional<QString> Type;
    std::optional<int> Rating;
    std::optional<QString> Version;

    TMetricsBlocks Read;
    TUpsData Data; // only the fields of the blocks in Read hold what the cabinet said

    // Decoded from Data.Status when the status block was read.
    int State = 0;                     // DecodeState of the status words
    std::vector<TMetricsAlarm> Alarms; // the alarms those words report, in code order

    // The module number the cabinet is set for (40003), when the parameter block was read.
    std::optional<int> ModulesPresent;
    // The modules whose block was read, by number, each once.
    std::vector<TMetricsModule> Modules;
};

// The link's counters since it started: frames sent, replies accepted, requests that ended
// without an accepted reply, and times the port was opened again after the device was lost.
struct TMetricsLink {
    uint64_t Requests = 0;
    uint64_t Replies = 0;
    uint64_t Errors = 0;
    uint64_t Reopens = 0;
};

struct TMetricsSnapshot {
    std::vector<TMetricsCabinet> Cabinets; // in address order, each address once
    TMetricsLink Link;
};

// One address's entry from the device record the poll stored for it and the blocks it has
// answered: copies the record, decodes the state and the active alarms from the status words,
// and takes the module number from 40003. Up and the last reply time are the caller's to set.
TMetricsCabinet MetricsCabinet(int address, const TUpsData& data, const TMetricsBlocks& read);

// Adds (or replaces) the values of module number (1..32) as its block was read.
void AddMetricsModule(TMetricsCabinet& cabinet, int number, const TModuleData& data);

// Takes the identification from the configuration bytes function 43 fills (CfgSize bytes):
// the type and rating when object 1 was answered, the version when object 2 was.
void SetMetricsIdentification(TMetricsCabinet& cabinet, const uint8_t* cfg, bool typeRead, bool versionRead);

// The states the metrics name, each once, in this order: those the decoder derives, and ECO.
const std::vector<int>& MetricsStateCodes();
