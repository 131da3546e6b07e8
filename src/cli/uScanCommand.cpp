#include "cli/uScanCommand.h"

#include "comm/SPComm.h"
#include "comm/uCabinetScan.h"

#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include <cstdio>

namespace {

void note(const QString& text)
{
    std::fprintf(stderr, "zyrtool: %s\n", qPrintable(text));
    std::fflush(stderr);
}

QJsonObject cabinetObject(const TScanFound& f)
{
    return QJsonObject{{"address", f.Address},
                       {"baud", f.Baud},
                       {"port", f.Port},
                       {"type", f.Identified ? QJsonValue(f.Type) : QJsonValue()},
                       {"rating", f.Identified ? QJsonValue(f.Rating) : QJsonValue()},
                       {"version", f.Version}};
}

// The ports to scan: the one named, else every serial port of this machine, as the port dialog
// names them.
QStringList portsToScan(const TCmdLine& options)
{
    if (!options.Port.isEmpty()) return {options.Port};
    return SystemSerialPorts();
}

// Scans one port; false when it cannot be opened.
bool scanPort(const QString& port, QJsonArray& cabinets)
{
    TCabinetScan scan;
    QEventLoop loop;
    int lastBaud = 0;
    QObject::connect(&scan, &TCabinetScan::Progress, &loop, [&](int, int, int baud, int) {
        if (baud == 0 || baud == lastBaud) return;
        lastBaud = baud;
        note(QStringLiteral("scanning %1 at %2 bit/s, addresses %3 to %4")
                 .arg(port)
                 .arg(baud)
                 .arg(TCabinetScan::FirstAddress)
                 .arg(TCabinetScan::LastAddress));
    });
    QObject::connect(&scan, &TCabinetScan::CabinetFound, &loop, [&](const TScanFound& f) {
        QString what = f.Version.isEmpty() ? QStringLiteral("no version text") : f.Version;
        if (f.Identified) what = QStringLiteral("%1 %2, %3").arg(f.Type).arg(f.Rating).arg(what);
        note(QStringLiteral("found cabinet %1 at %2 bit/s on %3: %4").arg(f.Address).arg(f.Baud).arg(port, what));
        cabinets.append(cabinetObject(f));
    });
    QObject::connect(&scan, &TCabinetScan::GarbledAnswer, &loop, [&](int baud, int address) {
        note(QStringLiteral("address %1 at %2 bit/s answered twice with a frame that could not be read")
                 .arg(address)
                 .arg(baud));
    });
    QObject::connect(&scan, &TCabinetScan::Finished, &loop, &QEventLoop::quit);
    try {
        scan.Start(port);
    } catch (const ECommsError& e) {
        QString text = QStringLiteral("cannot open %1: %2").arg(port, QString::fromLocal8Bit(e.what()));
        if (!e.Reason.isEmpty()) text += QStringLiteral(" (%1)").arg(e.Reason);
        note(text);
        return false;
    }
    loop.exec();
    return true;
}

} // namespace

int RunScanCommand(const TCmdLine& options)
{
    const QStringList ports = portsToScan(options);
    if (ports.isEmpty()) {
        note(QStringLiteral("the system lists no serial port; name one with --port"));
        return 1;
    }
    QJsonArray cabinets;
    int opened = 0;
    for (const QString& port : ports)
        if (scanPort(port, cabinets)) ++opened;
    const QByteArray json = QJsonDocument(cabinets).toJson(QJsonDocument::Indented);
    std::fwrite(json.constData(), 1, size_t(json.size()), stdout);
    std::fflush(stdout);
    if (!cabinets.isEmpty()) {
        note(QStringLiteral("%1 cabinet(s) found").arg(cabinets.size()));
        return 0;
    }
    if (opened == 0) return 1;
    note(QStringLiteral("no cabinet answered on %1").arg(ports.join(QStringLiteral(", "))));
    return 2;
}
