#include "inet/ftpsocket.h"

#include "inet/internetexception.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <utility>

namespace {

int OpenStreamSocket(int family)
{
    const int fd = socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd >= 0) {
        const int on = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    }
    return fd;
}

} // namespace

QString SystemErrorText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

CFtpSocket::CFtpSocket(int descriptor)
    : fd(descriptor)
{}

CFtpSocket::~CFtpSocket()
{
    Close();
}

CFtpSocket::CFtpSocket(CFtpSocket&& other) noexcept
    : fd(std::exchange(other.fd, -1))
{}

CFtpSocket& CFtpSocket::operator=(CFtpSocket&& other) noexcept
{
    if (this != &other) {
        Close();
        fd = std::exchange(other.fd, -1);
    }
    return *this;
}

void CFtpSocket::Close()
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

void CFtpSocket::Reset()
{
    if (fd < 0)
        return;
    const linger abortive{1, 0};
    setsockopt(fd, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
    Close();
}

void CFtpSocket::ShutdownSend()
{
    if (fd >= 0)
        ::shutdown(fd, SHUT_WR);
}

CFtpSocket CFtpSocket::Connect(const std::vector<CSocketAddress>& addresses, FtpDeadline deadline,
                               CFtpWaiter& waiter, const QString& what)
{
    // An address that does not answer (a broken IPv6 path, a dead server behind a
    // round-robin name) must not use up the time of the others: while it is pending, the
    // next one is tried after a short while, and the first to answer wins.
    using namespace std::chrono_literals;
    constexpr auto kStagger = 250ms;
    int lastError = ECONNREFUSED;
    std::vector<CFtpSocket> pending;
    std::size_t next = 0;
    FtpDeadline nextStart = CFtpWaiter::Clock::now();
    for (;;) {
        if (next < addresses.size() && (pending.empty() || CFtpWaiter::Clock::now() >= nextStart)) {
            const CSocketAddress& address = addresses[next++];
            CFtpSocket candidate(OpenStreamSocket(address.Family()));
            if (!candidate.IsValid()) {
                lastError = errno;
                continue;
            }
            if (::connect(candidate.fd, address.Data(), address.Length()) == 0)
                return candidate;
            if (errno != EINPROGRESS) {
                lastError = errno;
                continue;
            }
            pending.push_back(std::move(candidate));
            nextStart = CFtpWaiter::Clock::now() + kStagger;
        }
        if (pending.empty()) {
            if (next < addresses.size())
                continue;
            throw CInternetException(
                InetErrorKind::Connect,
                QStringLiteral("Cannot connect to %1: %2.").arg(what, SystemErrorText(lastError)));
        }
        std::vector<pollfd> items;
        for (const CFtpSocket& socket : pending)
            items.push_back(pollfd{socket.fd, POLLOUT, 0});
        const FtpDeadline until =
            next < addresses.size() ? std::min(nextStart, deadline) : deadline;
        if (!waiter.Wait(items.data(), items.size(), until)) {
            if (CFtpWaiter::Clock::now() >= deadline)
                throw CInternetException(InetErrorKind::Timeout,
                                         QStringLiteral("No answer from %1 in time.").arg(what));
            continue; // time for the next address
        }
        for (std::size_t i = items.size(); i-- > 0;) {
            if (items[i].revents == 0)
                continue;
            int error = 0;
            socklen_t length = sizeof error;
            getsockopt(items[i].fd, SOL_SOCKET, SO_ERROR, &error, &length);
            if (error == 0)
                return std::move(pending[i]);
            lastError = error;
            pending.erase(pending.begin() + static_cast<std::ptrdiff_t>(i));
        }
    }
}

CFtpSocket CFtpSocket::Listen(const CSocketAddress& local)
{
    CSocketAddress address = local;
    address.SetPort(0);
    CFtpSocket listener(OpenStreamSocket(address.Family()));
    if (!listener.IsValid())
        return {};
    if (::bind(listener.fd, address.Data(), address.Length()) != 0 || ::listen(listener.fd, 4) != 0)
        return {};
    return listener;
}

CFtpSocket CFtpSocket::Accept(CSocketAddress& peer) const
{
    sockaddr_storage storage{};
    socklen_t length = sizeof storage;
    const int accepted =
        ::accept4(fd, reinterpret_cast<sockaddr*>(&storage), &length, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (accepted < 0)
        return {};
    peer = CSocketAddress(reinterpret_cast<sockaddr*>(&storage), length);
    return CFtpSocket(accepted);
}

CSocketAddress CFtpSocket::LocalAddress() const
{
    sockaddr_storage storage{};
    socklen_t length = sizeof storage;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&storage), &length) != 0)
        return {};
    return CSocketAddress(reinterpret_cast<sockaddr*>(&storage), length);
}

CSocketAddress CFtpSocket::PeerAddress() const
{
    sockaddr_storage storage{};
    socklen_t length = sizeof storage;
    if (::getpeername(fd, reinterpret_cast<sockaddr*>(&storage), &length) != 0)
        return {};
    return CSocketAddress(reinterpret_cast<sockaddr*>(&storage), length);
}

qint64 CFtpSocket::Receive(char* buffer, qint64 count) const
{
    for (;;) {
        const ssize_t got = ::recv(fd, buffer, static_cast<size_t>(count), 0);
        if (got >= 0)
            return got;
        if (errno == EINTR)
            continue;
        return errno == EAGAIN || errno == EWOULDBLOCK ? kWouldBlock : kFailed;
    }
}

qint64 CFtpSocket::Send(const char* data, qint64 count) const
{
    for (;;) {
        // MSG_NOSIGNAL: a peer that went away is an error to report, not a SIGPIPE.
        const ssize_t sent = ::send(fd, data, static_cast<size_t>(count), MSG_NOSIGNAL);
        if (sent >= 0)
            return sent;
        if (errno == EINTR)
            continue;
        return errno == EAGAIN || errno == EWOULDBLOCK ? kWouldBlock : kFailed;
    }
}
