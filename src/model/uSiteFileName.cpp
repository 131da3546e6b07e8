#include "model/uSiteFileName.h"

#include "model/uSettingsBackup.h"

#include <QStringList>

namespace {

// Letters, digits, '.' and '-' only: a name that any file system and any shell takes as it is.
QString fileSafe(const QString& text)
{
    QString out;
    for (const QChar c : text.trimmed()) {
        const bool plain = (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
                           (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) ||
                           (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('.') ||
                           c == QLatin1Char('-');
        if (plain)
            out += c;
        else if (!out.endsWith(QLatin1Char('-')))
            out += QLatin1Char('-');
    }
    while (out.startsWith(QLatin1Char('-')) || out.startsWith(QLatin1Char('.'))) out.remove(0, 1);
    while (out.endsWith(QLatin1Char('-'))) out.chop(1);
    return out;
}

} // namespace

QString SiteFileName(const QString& stem, const QString& suffix, const TSiteFileParts& parts)
{
    QStringList name{stem};
    if (parts.address > 0) name << QString::number(parts.address);
    const QString id = fileSafe(parts.identification);
    if (!id.isEmpty()) name << id;
    if (parts.day.isValid()) name << parts.day.toString(QStringLiteral("yyyyMMdd"));
    return name.join(QLatin1Char('_')) + QLatin1Char('.') + suffix;
}

QString CabinetIdentificationText(const TCabinetValues& values)
{
    TSettingsBackup id;
    ReadIdentification(values, id);
    if (id.type.trimmed().isEmpty()) return {};
    return fileSafe(id.type) + (id.rating > 0 ? QStringLiteral("-%1kVA").arg(id.rating) : QString());
}
