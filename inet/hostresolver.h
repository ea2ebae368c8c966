#pragma once

#include "inet/ftpwaiter.h"
#include "inet/socketaddress.h"

#include <QString>

#include <optional>
#include <vector>

struct FtpServerAddress
{
    QString host; // without brackets
    quint16 port = 21;
};

// "host", "host:port", "[v6]", "[v6]:port" (or a bare IPv6 address). A port in the text
// wins over `port`; port 0 means 21. Nothing for text that names no server.
std::optional<FtpServerAddress> ParseServerAddress(const QString& server, quint16 port);

// The addresses of `host` (IPv4 and IPv6), resolved on a helper thread so that the wait
// stays bounded and keeps the wait hook called. Throws Resolve or Timeout.
std::vector<CSocketAddress> ResolveHost(const FtpServerAddress& server,
                                        CFtpWaiter::Clock::time_point deadline, CFtpWaiter& waiter);
