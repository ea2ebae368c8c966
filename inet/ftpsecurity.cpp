#include "inet/ftpsecurity.h"

namespace {

struct Scheme
{
    const char* prefix;
    FtpSecurity security;
    quint16 port;
};

constexpr Scheme kSchemes[] = {
    {"ftpes://", FtpSecurity::Explicit, 21},
    {"ftps://", FtpSecurity::Implicit, 990},
    {"ftp://", FtpSecurity::Plain, 21},
};

// The length of the scheme ("name://") at `start` of `address`, or 0 when there is none.
qsizetype SchemeLength(const QString& address, qsizetype start)
{
    qsizetype at = start;
    while (at < address.size() &&
           (address[at].isLetterOrNumber() || address[at] == QLatin1Char('+') ||
            address[at] == QLatin1Char('.') || address[at] == QLatin1Char('-')))
        ++at;
    if (at == start || !address[start].isLetter() ||
        QStringView(address).mid(at, 3) != QLatin1String("://"))
        return 0;
    return at + 3 - start;
}

qsizetype LeadingSpaces(const QString& address)
{
    qsizetype at = 0;
    while (at < address.size() && address[at].isSpace())
        ++at;
    return at;
}

} // namespace

std::optional<FtpSecureAddress> ParseSecureAddress(const QString& address)
{
    FtpSecureAddress result;
    QString rest = address.trimmed();
    for (const Scheme& scheme : kSchemes) {
        const QLatin1StringView prefix(scheme.prefix);
        if (rest.startsWith(prefix, Qt::CaseInsensitive)) {
            rest = rest.mid(prefix.size());
            result.security = scheme.security;
            result.defaultPort = scheme.port;
            break;
        }
    }
    if (rest.contains(QLatin1String("://")))
        return std::nullopt; // a scheme of another service (sftp://, http://)
    if (rest.endsWith(QLatin1Char('/')))
        rest.chop(1);
    if (rest.isEmpty() || rest.contains(QLatin1Char('/')))
        return std::nullopt;
    result.server = rest;
    return result;
}

FtpSecurity SecurityOfAddress(const QString& address)
{
    const QString rest = address.mid(LeadingSpaces(address));
    for (const Scheme& scheme : kSchemes) {
        if (rest.startsWith(QLatin1StringView(scheme.prefix), Qt::CaseInsensitive))
            return scheme.security;
    }
    return FtpSecurity::Opportunistic;
}

QString AddressWithSecurity(const QString& address, FtpSecurity security)
{
    if (SecurityOfAddress(address) == security)
        return address; // "FTPES://" stays as it was typed
    const qsizetype start = LeadingSpaces(address);
    const qsizetype schemeLength = SchemeLength(address, start);
    QString prefix;
    for (const Scheme& scheme : kSchemes) {
        if (scheme.security == security)
            prefix = QLatin1String(scheme.prefix);
    }
    return address.left(start) + prefix + address.mid(start + schemeLength);
}
