#include "inet/ftpline.h"

#include "inet/internetexception.h"
#include "inet/tlscontext.h"

CFtpLine::CFtpLine() = default;
CFtpLine::~CFtpLine() = default;
CFtpLine::CFtpLine(CFtpLine&&) noexcept = default;
CFtpLine& CFtpLine::operator=(CFtpLine&&) noexcept = default;

void CFtpLine::EnsureUsable() const
{
    if (lost)
        throw CInternetException(
            InetErrorKind::Closed,
            QStringLiteral("The connection to the server is closed (%1).").arg(lostReason));
}

void CFtpLine::MarkLost(const QString& reason)
{
    if (!lost) {
        lost = true;
        lostReason = reason;
    }
    if (stream)
        stream->Close();
}

void CFtpLine::Send(const QByteArray& line, CFtpWaiter& waiter, FtpDeadline deadline)
{
    EnsureUsable();
    const QByteArray bytes = line + "\r\n";
    qint64 at = 0;
    try {
        while (at < bytes.size()) {
            const qint64 sent =
                stream->Write(bytes.constData() + at, bytes.size() - at, waiter, deadline);
            if (sent > 0) {
                at += sent;
                continue;
            }
            if (sent == CFtpStream::kTimedOut) {
                MarkLost(QStringLiteral("time-out"));
                throw CInternetException(InetErrorKind::Timeout,
                                         QStringLiteral("The server takes no more commands."));
            }
            const QString why = stream->ErrorText();
            MarkLost(why);
            throw CInternetException(
                InetErrorKind::Closed,
                QStringLiteral("The connection to the server broke: %1.").arg(why));
        }
    } catch (const CInternetException& e) {
        if (e.Kind() == InetErrorKind::Cancelled)
            MarkLost(QStringLiteral("cancelled in the middle of a command"));
        throw;
    }
}

bool CFtpLine::Receive(CFtpWaiter& waiter, FtpDeadline deadline)
{
    char buffer[16384];
    const qint64 got = stream->Read(buffer, sizeof buffer, waiter, deadline);
    if (got == CFtpStream::kTimedOut)
        return false;
    if (got == 0) {
        MarkLost(QStringLiteral("closed by the server"));
        throw CInternetException(InetErrorKind::Closed,
                                 QStringLiteral("The server closed the connection."));
    }
    if (got < 0) {
        const QString why = stream->ErrorText();
        MarkLost(why);
        throw CInternetException(
            InetErrorKind::Closed,
            QStringLiteral("The connection to the server broke: %1.").arg(why));
    }
    reader.Feed(QByteArrayView(buffer, got));
    if (reader.Failed()) {
        MarkLost(QStringLiteral("not an FTP reply"));
        throw CInternetException(InetErrorKind::Protocol, reader.Error());
    }
    return true;
}

std::optional<FtpReply> CFtpLine::TakeReply()
{
    std::optional<FtpReply> reply = reader.Next();
    if (reply && reply->code == 421) // the server is closing the connection
        MarkLost(QStringLiteral("closed by the server: %1").arg(reply->Text()));
    return reply;
}

bool CFtpLine::HasBufferedReply() const
{
    return reader.HasReply() || reader.HasPartialReply() || stream->HasBufferedInput();
}

FtpReply CFtpLine::ReadReply(CFtpWaiter& waiter, FtpDeadline deadline)
{
    EnsureUsable();
    try {
        for (;;) {
            if (std::optional<FtpReply> reply = TakeReply())
                return std::move(*reply);
            if (!Receive(waiter, deadline)) {
                MarkLost(QStringLiteral("time-out"));
                throw CInternetException(InetErrorKind::Timeout,
                                         QStringLiteral("The server did not answer in time."));
            }
        }
    } catch (const CInternetException& e) {
        if (e.Kind() == InetErrorKind::Cancelled)
            MarkLost(QStringLiteral("cancelled in the middle of a reply"));
        throw;
    }
}

std::optional<FtpReply> CFtpLine::PollReply(CFtpWaiter& waiter, FtpDeadline deadline)
{
    for (;;) {
        if (std::optional<FtpReply> reply = TakeReply())
            return reply;
        if (!Receive(waiter, deadline))
            return std::nullopt;
    }
}

FtpReply CFtpLine::ReadFinalReply(CFtpWaiter& waiter, FtpDeadline deadline)
{
    for (;;) {
        FtpReply reply = ReadReply(waiter, deadline);
        if (reply.Class() != 1)
            return reply;
    }
}
