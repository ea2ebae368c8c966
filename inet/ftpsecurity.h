#pragma once

#include <QString>

#include <optional>

// How a connection protects itself, chosen by the form of the profile's address.
enum class FtpSecurity {
    Opportunistic, // a bare "host[:port]": explicit TLS when the server offers it, else plain
    Explicit,      // "ftpes://": AUTH TLS after the greeting, or no login at all
    Implicit,      // "ftps://": TLS from the first byte, port 990 unless given
    Plain          // "ftp://": TLS is never attempted
};

// A profile address split into its security and the server part that ParseServerAddress
// reads ("host", "host:port", "[v6]:port"). The scheme is case-insensitive; one trailing
// "/" is allowed, a path is not (the start folder has a field of its own).
struct FtpSecureAddress
{
    FtpSecurity security = FtpSecurity::Opportunistic;
    QString server;
    quint16 defaultPort = 21; // the port when `server` names none
};

std::optional<FtpSecureAddress> ParseSecureAddress(const QString& address);

// The security an address asks for by its scheme alone, whatever follows the scheme.
FtpSecurity SecurityOfAddress(const QString& address);
// `address` with its scheme made the one that asks for `security` (no scheme for
// Opportunistic); every other character stays as it was. A scheme of another service is
// replaced as well.
QString AddressWithSecurity(const QString& address, FtpSecurity security);

// Whether a failed AUTH TLS may fall back to plain FTP.
inline bool AllowsPlain(FtpSecurity security)
{
    return security == FtpSecurity::Opportunistic || security == FtpSecurity::Plain;
}
