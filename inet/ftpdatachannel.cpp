#include "inet/ftpdatachannel.h"

#include "inet/ftpcontrol.h"
#include "inet/ftpsessionshared.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

FtpDataChannel::FtpDataChannel(std::shared_ptr<FtpSessionShared> session, CFtpSocket dataSocket,
                               FileAccess access, std::optional<FtpReply> reply)
    : shared(std::move(session))
    , socket(std::move(dataSocket))
    , direction(access)
    , finalReply(std::move(reply))
    , buffer(new char[kBufferSize])
    , waiter(shared.get())
{
    // A server that finished without connecting had nothing to send.
    atEnd = !socket.IsValid() && finalReply.has_value();
}

FtpDataChannel::~FtpDataChannel()
{
    CloseQuietly();
}

FtpControl* FtpDataChannel::Control() const
{
    return lease ? lease->control : nullptr;
}

void FtpDataChannel::EnsureOpen() const
{
    if (closed)
        throw CInternetException(InetErrorKind::Closed, QStringLiteral("The file is closed."));
    if (!Control())
        throw CInternetException(InetErrorKind::Closed,
                                 QStringLiteral("The connection of this file is closed."));
}

void FtpDataChannel::Release()
{
    FtpControl::ReleaseLease(lease);
    lease.reset();
}

void FtpDataChannel::Fail(const CInternetException& failure, bool serverStillSending)
{
    closed = true;
    socket.Close();
    CInternetException reason = failure;
    if (FtpControl* control = Control(); control && !finalReply) {
        if (serverStillSending) {
            control->AbortTransfer(true);
        } else {
            // The server ended the data connection itself: its reply says why.
            try {
                const FtpReply reply = control->ReadTransferReply();
                if (reply.Class() != 2)
                    reason = ReplyError(failure.Kind(), failure.Message(), reply);
            } catch (const CInternetException&) {
            }
        }
    }
    Release();
    throw reason;
}

qint64 FtpDataChannel::ReceiveSome(char* target, qint64 count)
{
    const auto idle = shared->Options().dataTimeout;
    auto deadline = DeadlineIn(idle);
    for (;;) {
        const qint64 got = socket.Receive(target, count);
        if (got == 0) {
            atEnd = true;
            socket.Close();
            return 0;
        }
        if (got == CFtpSocket::kFailed)
            Fail(CInternetException(
                     InetErrorKind::DataConnection,
                     QStringLiteral("The data connection broke: %1.").arg(SystemErrorText(errno))),
                 false);
        try {
            if (got > 0) {
                waiter.CheckHook();
                return got;
            }
            if (!waiter.Wait(socket.Fd(), POLLIN, deadline))
                Fail(CInternetException(InetErrorKind::Timeout,
                                        QStringLiteral("The server sent no data for %1 s.")
                                            .arg(idle.count() / 1000.0)),
                     true);
        } catch (const CInternetException& e) {
            if (e.Kind() != InetErrorKind::Cancelled || closed)
                throw;
            Fail(e, true);
        }
    }
}

qint64 FtpDataChannel::Read(void* target, qint64 count)
{
    if (direction != FileAccess::Read)
        throw CInternetException(InetErrorKind::Protocol,
                                 QStringLiteral("The file is open for writing."));
    EnsureOpen();
    if (count <= 0)
        return 0;
    if (begin == end) {
        if (atEnd)
            return 0;
        if (count >= kBufferSize)
            return ReceiveSome(static_cast<char*>(target), count);
        const qint64 got = ReceiveSome(buffer.get(), kBufferSize);
        if (got == 0)
            return 0;
        begin = 0;
        end = got;
    }
    const qint64 n = std::min(count, end - begin);
    std::memcpy(target, buffer.get() + begin, static_cast<size_t>(n));
    begin += n;
    return n;
}

QByteArray FtpDataChannel::ReadAll(qint64 limit)
{
    QByteArray data;
    if (begin < end) {
        data.append(buffer.get() + begin, end - begin);
        begin = end = 0;
    }
    while (!atEnd) {
        EnsureOpen();
        const qint64 got = ReceiveSome(buffer.get(), kBufferSize);
        data.append(buffer.get(), got);
        if (data.size() > limit)
            Fail(CInternetException(InetErrorKind::Protocol,
                                    QStringLiteral("The server sent a listing of over %1 MiB.")
                                        .arg(limit / (1024 * 1024))),
                 true);
    }
    return data;
}

void FtpDataChannel::Write(const void* data, qint64 count)
{
    if (direction != FileAccess::Write)
        throw CInternetException(InetErrorKind::Protocol,
                                 QStringLiteral("The file is open for reading."));
    EnsureOpen();
    const char* from = static_cast<const char*>(data);
    while (count > 0) {
        if (end == kBufferSize)
            Flush();
        const qint64 n = std::min(count, kBufferSize - end);
        std::memcpy(buffer.get() + end, from, static_cast<size_t>(n));
        end += n;
        from += n;
        count -= n;
    }
}

void FtpDataChannel::Flush()
{
    const auto idle = shared->Options().dataTimeout;
    auto deadline = DeadlineIn(idle);
    while (begin < end) {
        const qint64 sent = socket.Send(buffer.get() + begin, end - begin);
        if (sent == CFtpSocket::kFailed)
            Fail(CInternetException(InetErrorKind::DataConnection,
                                    QStringLiteral("The server broke off the upload: %1.")
                                        .arg(SystemErrorText(errno))),
                 false);
        try {
            if (sent > 0) {
                begin += sent;
                deadline = DeadlineIn(idle);
                waiter.CheckHook();
            } else if (!waiter.Wait(socket.Fd(), POLLOUT, deadline)) {
                Fail(CInternetException(InetErrorKind::Timeout,
                                        QStringLiteral("The server took no data for %1 s.")
                                            .arg(idle.count() / 1000.0)),
                     true);
            }
        } catch (const CInternetException& e) {
            if (e.Kind() != InetErrorKind::Cancelled || closed)
                throw;
            Fail(e, true);
        }
    }
    begin = end = 0;
}

void FtpDataChannel::Close()
{
    if (closed)
        return;
    FtpControl* control = Control();
    if (!control) {
        closed = true;
        socket.Close();
        Release();
        throw CInternetException(
            InetErrorKind::Closed,
            QStringLiteral("The connection closed before the transfer ended."));
    }
    if (direction == FileAccess::Read && !atEnd) {
        // Closed before the end: the server is told to stop, and the connection stays usable.
        closed = true;
        socket.Close();
        if (!finalReply)
            control->AbortTransfer(true);
        Release();
        return;
    }
    if (direction == FileAccess::Write) {
        Flush();
        socket.ShutdownSend();
    }
    closed = true;
    socket.Close();
    std::optional<FtpReply> reply = std::move(finalReply);
    try {
        if (!reply)
            reply = control->ReadTransferReply();
    } catch (const CInternetException&) {
        Release();
        throw;
    }
    Release();
    if (reply->Class() != 2)
        throw ReplyError(InetErrorKind::Reply,
                         QStringLiteral("The server reports a failed transfer"), *reply);
}

void FtpDataChannel::CloseQuietly() noexcept
{
    try {
        Close();
    } catch (...) {
    }
}
