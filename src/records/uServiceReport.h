// The one-page service report of a visit: the cabinet's identification and present state,
// its active alarms by name, and the writes of the chosen day with their verdicts, as PDF.
#pragma once

#include "store/uServiceJournal.h"

#include <QDate>
#include <QString>
#include <QStringList>

#include <vector>

struct TServiceReport {
    int address = 1;
    QDate day;
    QString type, version, company, model;
    int rating = 0;
    QString state;          // the running-state text
    QStringList values;     // present values, one "name: value" a line
    QStringList alarms;     // active alarms by name
    std::vector<TJournalEntry> writes; // newest first
};

// The report of a cabinet as the tool knows it now, with the journal's writes of that day.
TServiceReport CollectServiceReport(int address, const QDate& day, const TServiceJournal* journal);
// Writes the report as a one-page PDF (A4), in the current language, whole or not at all.
bool WriteServiceReportPdf(const QString& path, const TServiceReport& report, QString* error);
