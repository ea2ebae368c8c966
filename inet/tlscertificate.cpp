#include "inet/tlscertificate.h"

#include <QStringList>

QString FormatFingerprint(const QByteArray& hex)
{
    QStringList pairs;
    for (qsizetype at = 0; at + 1 < hex.size(); at += 2)
        pairs.append(QString::fromLatin1(hex.mid(at, 2)).toUpper());
    return pairs.join(QLatin1Char(':'));
}
