#include "launcher/httpconnection.h"

#include <cerrno>
#include <cstring>
#include <memory>

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// How often a wait looks up from the socket to let the hook run.
constexpr std::chrono::milliseconds kSlice(20);

QString SystemError(const char* what, int code)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what),
                                        QString::fromLocal8Bit(strerror(code)));
}

} // namespace

CHttpConnection::CHttpConnection(WaitHook waitHook)
    : hook(std::move(waitHook))
{}

CHttpConnection::~CHttpConnection()
{
    Close();
}

void CHttpConnection::Close()
{
    if (socketFd >= 0) {
        ::close(socketFd);
        socketFd = -1;
    }
}

CHttpConnection::Status CHttpConnection::Wait(short events, Clock::time_point deadline)
{
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return Status::TimedOut;
        pollfd entry{socketFd, events, 0};
        const int ready = ::poll(&entry, 1, static_cast<int>(std::min(left, kSlice).count()));
        if (ready < 0 && errno != EINTR) {
            error = SystemError("poll", errno);
            return Status::Failed;
        }
        // Errors and hang-ups are reported by the call that follows.
        if (ready > 0)
            return Status::Ok;
        if (hook && !hook())
            return Status::Stopped;
    }
}

CHttpConnection::Status CHttpConnection::Connect(const QString& host, quint16 port,
                                                 std::chrono::milliseconds timeout)
{
    Close();
    const Clock::time_point deadline = Clock::now() + timeout;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const QByteArray service = QByteArray::number(port);
    const int resolved =
        ::getaddrinfo(host.toUtf8().constData(), service.constData(), &hints, &found);
    if (resolved != 0) {
        error = QStringLiteral("%1: %2").arg(host, QString::fromLocal8Bit(gai_strerror(resolved)));
        return Status::Failed;
    }
    const std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> addresses(found, &freeaddrinfo);
    Status last = Status::Failed;
    for (const addrinfo* entry = found; entry; entry = entry->ai_next) {
        last = ConnectTo(entry->ai_addr, entry->ai_addrlen, entry->ai_family, deadline);
        if (last == Status::Ok || last == Status::Stopped || last == Status::TimedOut)
            return last;
    }
    return last;
}

CHttpConnection::Status CHttpConnection::ConnectTo(const void* address, unsigned length, int family,
                                                   Clock::time_point deadline)
{
    socketFd = ::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (socketFd < 0) {
        error = SystemError("socket", errno);
        return Status::Failed;
    }
    if (::connect(socketFd, static_cast<const sockaddr*>(address), length) != 0) {
        if (errno != EINPROGRESS) {
            error = SystemError("connect", errno);
            Close();
            return Status::Failed;
        }
        const Status waited = Wait(POLLOUT, deadline);
        if (waited != Status::Ok) {
            if (waited == Status::TimedOut)
                error = QStringLiteral("connect: no answer in time");
            Close();
            return waited;
        }
        int pending = 0;
        socklen_t size = sizeof pending;
        if (::getsockopt(socketFd, SOL_SOCKET, SO_ERROR, &pending, &size) != 0)
            pending = errno;
        if (pending != 0) {
            error = SystemError("connect", pending);
            Close();
            return Status::Failed;
        }
    }
    // The request is one small write; send it at once.
    const int on = 1;
    ::setsockopt(socketFd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return Status::Ok;
}

CHttpConnection::Status CHttpConnection::Send(QByteArrayView bytes,
                                              std::chrono::milliseconds timeout)
{
    if (socketFd < 0) {
        error = QStringLiteral("send: not connected");
        return Status::Failed;
    }
    const Clock::time_point deadline = Clock::now() + timeout;
    while (!bytes.isEmpty()) {
        const ssize_t sent = ::send(socketFd, bytes.data(), size_t(bytes.size()), MSG_NOSIGNAL);
        if (sent > 0) {
            bytes = bytes.sliced(sent);
            continue;
        }
        if (sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            error = SystemError("send", errno);
            return Status::Failed;
        }
        const Status waited = Wait(POLLOUT, deadline);
        if (waited != Status::Ok)
            return waited;
    }
    return Status::Ok;
}

CHttpConnection::Received CHttpConnection::Receive(char* buffer, qsizetype capacity,
                                                   std::chrono::milliseconds timeout)
{
    if (socketFd < 0) {
        error = QStringLiteral("receive: not connected");
        return {Status::Failed, 0};
    }
    const Clock::time_point deadline = Clock::now() + timeout;
    for (;;) {
        const ssize_t got = ::recv(socketFd, buffer, size_t(capacity), 0);
        if (got > 0)
            return {Status::Ok, qsizetype(got)};
        if (got == 0)
            return {Status::Closed, 0};
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            error = SystemError("receive", errno);
            return {Status::Failed, 0};
        }
        const Status waited = Wait(POLLIN, deadline);
        if (waited == Status::TimedOut)
            error = QStringLiteral("receive: no answer in time");
        if (waited != Status::Ok)
            return {waited, 0};
    }
}
