#include "inet/ftpdatachannel.h"

#include "inet/ftpcontrol.h"
#include "inet/ftpsessionshared.h"

#include <algorithm>
#include <chrono>

namespace {

constexpr std::chrono::milliseconds kEndLook{100};

} // namespace
#include <cstring>

CFtpDataChannel::CFtpDataChannel(std::shared_ptr<FtpSessionShared> session,
                                 std::shared_ptr<FtpControlLink> controlLink,
                                 std::unique_ptr<CFtpStream> dataStream, FileAccess access,
                                 std::optional<FtpReply> reply)
    : shared(std::move(session))
    , link(std::move(controlLink))
    , stream(std::move(dataStream))
    , direction(access)
    , finalReply(std::move(reply))
    , buffer(new char[kBufferSize])
    , waiter(shared.get())
{
    // A server that finished without connecting had nothing to send.
    atEnd = !stream && finalReply.has_value();
}

CFtpDataChannel::~CFtpDataChannel()
{
    CloseQuietly();
}

CFtpControl* CFtpDataChannel::Control() const
{
    return link ? link->control : nullptr;
}

void CFtpDataChannel::EnsureOpen() const
{
    if (closed)
        throw CInternetException(InetErrorKind::Closed, QStringLiteral("The file is closed."));
    if (!Control())
        throw CInternetException(InetErrorKind::Closed,
                                 QStringLiteral("The connection of this file is closed."));
}

void CFtpDataChannel::Release()
{
    claim.Release();
    link.reset();
}

void CFtpDataChannel::AbortSending(CFtpControl& control)
{
    if (!stream || direction != FileAccess::Read || stream->EndedCleanly() || atEnd) {
        // Broken off, never ended: the server must not take what it has for the whole.
        if (stream)
            stream->Reset();
        control.AbortTransfer(true);
        return;
    }
    // A download is let end as the server ends it after ABOR: a reset would make the
    // server drop its TLS session without its close_notify, and servers that require
    // reuse then refuse every later data connection of this control connection. What
    // still comes is read and thrown away, for a short while at most.
    control.AbortTransfer(true, [this](CFtpWaiter& abortWaiter) {
        const FtpDeadline until = DeadlineIn(std::chrono::milliseconds(kAbortDrainMs));
        char scratch[16 * 1024];
        qint64 got = 0;
        do
            got = stream->Read(scratch, sizeof scratch, abortWaiter, until);
        while (got > 0);
        if (got == 0 && stream->EndedCleanly())
            stream->Close(); // answers the server's close_notify
        else
            stream->Reset();
    });
    if (stream->IsOpen()) // the abort never got as far as the data
        stream->Reset();
}

void CFtpDataChannel::Fail(const CInternetException& failure, bool serverStillSending)
{
    closed = true;
    CInternetException reason = failure;
    CFtpControl* control = Control();
    if (!control || finalReply || !serverStillSending) {
        // Broken off, never ended: the server must not take what it has for the whole.
        if (stream)
            stream->Reset();
    }
    if (control && !finalReply) {
        if (serverStillSending) {
            AbortSending(*control);
        } else {
            // The server ended the data connection itself: its reply says why.
            try {
                const FtpReply reply = control->FinalReply();
                if (reply.Class() != 2)
                    reason = ReplyError(failure.Kind(), failure.Message(), reply);
            } catch (const CInternetException&) {
            }
        }
    }
    Release();
    throw reason;
}

void CFtpDataChannel::CloseStream()
{
    if (stream)
        stream->Close();
}

qint64 CFtpDataChannel::ReceiveSome(char* target, qint64 count)
{
    const auto idle = shared->Options().dataTimeout;
    try {
        const qint64 got = stream->Read(target, count, waiter, DeadlineIn(idle));
        if (got > 0) {
            waiter.CheckHook();
            return got;
        }
        if (got == 0) {
            atEnd = true;
            endedCleanly = stream->EndedCleanly();
            CloseStream();
            return 0;
        }
        if (got == CFtpStream::kTimedOut)
            Fail(
                CInternetException(
                    InetErrorKind::Timeout,
                    QStringLiteral("The server sent no data for %1 s.").arg(idle.count() / 1000.0)),
                true);
    } catch (const CInternetException& e) {
        if (e.Kind() != InetErrorKind::Cancelled || closed)
            throw;
        Fail(e, true);
    }
    Fail(CInternetException(
             InetErrorKind::DataConnection,
             QStringLiteral("The data connection broke: %1.").arg(stream->ErrorText())),
         false);
}

qint64 CFtpDataChannel::Read(void* target, qint64 count)
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

void CFtpDataChannel::Abort(const CInternetException& reason)
{
    Fail(reason, true);
}

void CFtpDataChannel::Write(const void* data, qint64 count)
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

void CFtpDataChannel::Flush()
{
    const auto idle = shared->Options().dataTimeout;
    if (begin < end && !stream)
        Fail(CInternetException(InetErrorKind::DataConnection,
                                QStringLiteral("The server made no data connection.")),
             false);
    while (begin < end) {
        qint64 sent = 0;
        try {
            sent = stream->Write(buffer.get() + begin, end - begin, waiter, DeadlineIn(idle));
            if (sent > 0) {
                begin += sent;
                waiter.CheckHook();
                continue;
            }
        } catch (const CInternetException& e) {
            if (e.Kind() != InetErrorKind::Cancelled || closed)
                throw;
            Fail(e, true);
        }
        if (sent == CFtpStream::kTimedOut)
            Fail(
                CInternetException(
                    InetErrorKind::Timeout,
                    QStringLiteral("The server took no data for %1 s.").arg(idle.count() / 1000.0)),
                true);
        Fail(CInternetException(
                 InetErrorKind::DataConnection,
                 QStringLiteral("The server broke off the upload: %1.").arg(stream->ErrorText())),
             false);
    }
    begin = end = 0;
}

void CFtpDataChannel::Close()
{
    if (closed)
        return;
    CFtpControl* control = Control();
    if (!control) {
        closed = true;
        CloseStream();
        Release();
        throw CInternetException(
            InetErrorKind::Closed,
            QStringLiteral("The connection closed before the transfer ended."));
    }
    if (direction == FileAccess::Read && !atEnd && !AtEndOfData()) {
        // Closed before the end: the server is told to stop, and the connection stays usable.
        Abandon();
        return;
    }
    if (direction == FileAccess::Write) {
        Flush();
        if (stream)
            stream->Shutdown(waiter, DeadlineIn(shared->Options().dataTimeout));
    }
    closed = true;
    CloseStream();
    std::optional<FtpReply> reply = std::move(finalReply);
    try {
        if (!reply)
            reply = control->FinalReply();
    } catch (const CInternetException&) {
        Release();
        throw;
    }
    Release();
    if (reply->Class() != 2)
        throw ReplyError(InetErrorKind::Reply,
                         QStringLiteral("The server reports a failed transfer"), *reply);
}

bool CFtpDataChannel::AtEndOfData()
{
    // All that was announced has been read when nothing is left but the end of the data,
    // which the server sends at once; then the transfer ends well and needs no ABOR.
    if (begin < end || !stream)
        return false;
    char probe[1];
    try {
        const qint64 got = stream->Read(probe, 1, waiter, DeadlineIn(kEndLook));
        if (got != 0)
            return false;
    } catch (const CInternetException&) {
        return false;
    }
    atEnd = true;
    endedCleanly = stream->EndedCleanly();
    return true;
}

void CFtpDataChannel::Abandon() noexcept
{
    if (closed)
        return;
    closed = true;
    if (CFtpControl* control = Control(); control && !finalReply) {
        AbortSending(*control);
    } else if (stream) {
        stream->Reset();
    }
    Release();
}

void CFtpDataChannel::CloseQuietly() noexcept
{
    if (direction == FileAccess::Write) {
        // An upload that was not closed did not end well: it must not be stored as whole.
        Abandon();
        return;
    }
    try {
        Close();
    } catch (...) {
    }
}
