#include "inet/hostresolver.h"

#include "inet/internetexception.h"

#include <QUrl>

#include <netdb.h>
#include <sys/socket.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace {

std::optional<quint16> PortOf(QStringView text)
{
    bool ok = false;
    const uint value = text.toUInt(&ok);
    if (!ok || value > 65535 || text.isEmpty() || !text.front().isDigit())
        return std::nullopt;
    return static_cast<quint16>(value);
}

struct Lookup
{
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    int status = 0;
    std::vector<CSocketAddress> addresses;
};

void RunLookup(Lookup& lookup, const std::string& host, const std::string& service, int flags)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = flags;
    addrinfo* found = nullptr;
    const int status = getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
    std::vector<CSocketAddress> addresses;
    for (addrinfo* item = found; status == 0 && item; item = item->ai_next) {
        CSocketAddress address(item->ai_addr, item->ai_addrlen);
        if (address.IsValid())
            addresses.push_back(address);
    }
    if (found)
        freeaddrinfo(found);
    std::lock_guard lock(lookup.mutex);
    lookup.status = status;
    lookup.addresses = std::move(addresses);
    lookup.finished = true;
    lookup.done.notify_all();
}

} // namespace

std::optional<FtpServerAddress> ParseServerAddress(const QString& server, quint16 port)
{
    const QString text = server.trimmed();
    FtpServerAddress address;
    address.port = port == 0 ? 21 : port;
    std::optional<quint16> textPort;
    if (text.startsWith(QLatin1Char('['))) {
        const qsizetype close = text.indexOf(QLatin1Char(']'));
        if (close < 2)
            return std::nullopt;
        address.host = text.mid(1, close - 1);
        const QStringView rest = QStringView(text).sliced(close + 1);
        if (!rest.isEmpty()) {
            if (!rest.startsWith(QLatin1Char(':')) || !(textPort = PortOf(rest.sliced(1))))
                return std::nullopt;
        }
    } else if (text.count(QLatin1Char(':')) == 1) {
        const qsizetype colon = text.indexOf(QLatin1Char(':'));
        address.host = text.left(colon);
        if (!(textPort = PortOf(QStringView(text).sliced(colon + 1))))
            return std::nullopt;
    } else {
        address.host = text; // a name, an IPv4 address or a bare IPv6 address
    }
    if (textPort)
        address.port = *textPort == 0 ? 21 : *textPort;
    if (address.host.isEmpty())
        return std::nullopt;
    for (const QChar c : address.host) {
        if (c.isSpace() || c.unicode() < 0x20 || c == QLatin1Char('/') || c == QLatin1Char('[') ||
            c == QLatin1Char(']') || c == QLatin1Char('@'))
            return std::nullopt;
    }
    return address;
}

std::vector<CSocketAddress> ResolveHost(const FtpServerAddress& server,
                                        CFtpWaiter::Clock::time_point deadline, CFtpWaiter& waiter)
{
    const QByteArray ace = QUrl::toAce(server.host);
    const QByteArray hostBytes = ace.isEmpty() ? server.host.toUtf8() : ace;
    const std::string host = hostBytes.toStdString();
    const std::string service = std::to_string(server.port);
    auto fail = [&](const QString& why) {
        return CInternetException(
            InetErrorKind::Resolve,
            QStringLiteral("The server name \"%1\" cannot be resolved: %2.").arg(server.host, why));
    };

    // Numeric addresses need no lookup.
    Lookup numeric;
    RunLookup(numeric, host, service, AI_NUMERICHOST | AI_NUMERICSERV);
    if (numeric.status == 0 && !numeric.addresses.empty())
        return numeric.addresses;

    auto lookup = std::make_shared<Lookup>();
    try {
        std::thread([lookup, host, service] {
            RunLookup(*lookup, host, service, AI_NUMERICSERV);
        }).detach();
    } catch (const std::system_error&) {
        RunLookup(*lookup, host, service, AI_NUMERICSERV);
    }
    std::unique_lock lock(lookup->mutex);
    while (!lookup->finished) {
        if (CFtpWaiter::Clock::now() >= deadline)
            throw CInternetException(
                InetErrorKind::Timeout,
                QStringLiteral("The server name \"%1\" did not resolve in time.").arg(server.host));
        lookup->done.wait_for(lock, CFtpWaiter::kHookInterval);
        if (!lookup->finished) {
            lock.unlock();
            waiter.CheckHook();
            lock.lock();
        }
    }
    if (lookup->status != 0)
        throw fail(QString::fromLocal8Bit(gai_strerror(lookup->status)));
    if (lookup->addresses.empty())
        throw fail(QStringLiteral("no address"));
    return lookup->addresses;
}
