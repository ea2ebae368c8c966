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
