// The name a file of one site visit is offered under: what it holds, then the cabinet's
// address, its identification and the day, so that the files of many sites never share a name
// in one folder ("ServiceReport_3_ZYR-50kVA_20240518.pdf").
#pragma once

class TCabinetValues;

#include <QDate>
#include <QString>

struct TSiteFileParts {
    int address = 0;        // 1 to 15; 0 when no cabinet is known
    QString identification; // type and rating as the cabinet told them; empty when not read
    QDate day;              // invalid when not to be named
};

// stem_address_identification_yyyyMMdd.suffix, each unknown part left out; with none known the
// plain stem.suffix (the defined "UpsRecord.csv").
QString SiteFileName(const QString& stem, const QString& suffix, const TSiteFileParts& parts);

// Type and rating from the identification the cabinet answered ("ZYR-50kVA"), made safe for a
// file name; empty while no identification was read.
QString CabinetIdentificationText(const TCabinetValues& values);
