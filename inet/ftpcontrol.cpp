#include "inet/ftpcontrol.h"

#include "inet/ftpdatachannel.h"
#include "inet/ftpsessionshared.h"
#include "inet/ftptext.h"

#include <algorithm>

namespace {

using namespace std::chrono_literals;

// Replies after a stop or a QUIT are waited for no longer than this, so that giving up
// stays quick even on a stalled server.
constexpr std::chrono::milliseconds kCleanupLimit = 3000ms;
constexpr std::chrono::milliseconds kQuitLimit = 1000ms;

QString ServerName(const FtpServerAddress& server)
{
    return server.host.contains(QLatin1Char(':'))
               ? QStringLiteral("[%1]:%2").arg(server.host).arg(server.port)
               : QStringLiteral("%1:%2").arg(server.host).arg(server.port);
}

} // namespace

CInternetException ReplyError(InetErrorKind kind, const QString& what, const FtpReply& reply)
{
    const QString text = reply.Text();
    return CInternetException(kind, QStringLiteral("%1: %2 %3").arg(what).arg(reply.code).arg(text),
                              reply.code, text);
}

FtpControl::FtpControl(std::shared_ptr<FtpSessionShared> session)
    : shared(std::move(session))
{}

FtpControl::~FtpControl()
{
    if (lease)
        lease->control = nullptr;
}

std::unique_ptr<FtpControl> FtpControl::Open(std::shared_ptr<FtpSessionShared> session,
                                             const FtpServerAddress& server, const QString& user,
                                             const QString& password, bool passive)
{
    auto control = std::make_unique<FtpControl>(session);
    const InternetOptions options = session->Options();
    CFtpWaiter waiter(session.get());
    const auto deadline = DeadlineIn(options.connectTimeout);
    const std::vector<CSocketAddress> addresses = ResolveHost(server, deadline, waiter);
    control->socket = CFtpSocket::Connect(addresses, deadline, waiter, ServerName(server));
    control->peer = control->socket.PeerAddress();
    control->local = control->socket.LocalAddress();
    control->passive = passive;

    FtpReply greeting = control->ReadReply(waiter, DeadlineIn(options.replyTimeout));
    if (greeting.code == 120) // "ready in a moment"
        greeting = control->ReadReply(waiter, DeadlineIn(options.replyTimeout));
    if (greeting.Class() != 2)
        throw ReplyError(
            InetErrorKind::Connect,
            QStringLiteral("The server %1 turned the connection down").arg(ServerName(server)),
            greeting);
    control->Login(user, password);

    const FtpReply feat = control->Execute("FEAT");
    control->features = ParseFeatReply(feat);
    if (control->features.utf8)
        control->Execute("OPTS UTF8 ON"); // some servers want it, others ignore it: not checked
    control->SelectMlstFacts();
    const FtpReply pwd = control->Execute("PWD");
    if (pwd.code == 257)
        control->loginDirectory = ParsePwdReply(pwd.FirstLineText()).value_or(QByteArray());
    return control;
}

void FtpControl::Login(const QString& user, const QString& password)
{
    const QByteArray userBytes = user.toUtf8();
    const QByteArray passwordBytes = password.toUtf8();
    for (const QByteArray* text : {&userBytes, &passwordBytes}) {
        if (text->contains('\r') || text->contains('\n') || text->contains('\0'))
            throw CInternetException(
                InetErrorKind::Login,
                QStringLiteral("The user name or password holds a line break."));
    }
    const FtpReply userReply = Execute("USER " + userBytes);
    if (userReply.Class() == 2)
        return;
    if (userReply.code != 331)
        throw ReplyError(InetErrorKind::Login, QStringLiteral("The server refused the login"),
                         userReply);
    const FtpReply passReply =
        Execute(passwordBytes.isEmpty() ? QByteArray("PASS") : "PASS " + passwordBytes);
    if (passReply.Class() != 2)
        throw ReplyError(InetErrorKind::Login, QStringLiteral("The server refused the login"),
                         passReply);
}

void FtpControl::SelectMlstFacts()
{
    if (!features.mlst || features.mlstFacts.isEmpty())
        return;
    // The facts the parser reads, where offered; a server that shows only some of them by
    // default (the permissions are often left out) is asked for all.
    QByteArray wanted;
    bool missing = false;
    for (const QByteArray& fact : features.mlstFacts.split(';')) {
        const bool shown = fact.endsWith('*');
        const QByteArray name = (shown ? fact.chopped(1) : fact).toLower();
        if (name == "type" || name == "size" || name == "modify" || name == "unix.mode") {
            wanted += name + ';';
            missing = missing || !shown;
        }
    }
    if (missing)
        Execute("OPTS MLST " + wanted); // a refusal leaves the server's default facts
}

void FtpControl::EnsureUsable() const
{
    if (lost)
        throw CInternetException(
            InetErrorKind::Closed,
            QStringLiteral("The connection to the server is closed (%1).").arg(lostReason));
}

void FtpControl::EnsureNoOpenFile() const
{
    if (lease && lease->forFile)
        throw CInternetException(InetErrorKind::Busy,
                                 QStringLiteral("A file transfer is running on this connection."));
}

std::shared_ptr<FtpLease> FtpControl::AcquireLease(bool forFile)
{
    if (lease)
        throw CInternetException(InetErrorKind::Busy,
                                 lease->forFile
                                     ? QStringLiteral("A file is open on this connection.")
                                     : QStringLiteral("A search is open on this connection."));
    lease = std::make_shared<FtpLease>(FtpLease{this, forFile});
    return lease;
}

void FtpControl::ReleaseLease(const std::shared_ptr<FtpLease>& held)
{
    if (!held)
        return;
    if (held->control && held->control->lease == held)
        held->control->lease.reset();
    held->control = nullptr;
}

QByteArray FtpControl::Argument(const QString& path) const
{
    if (path.isEmpty())
        throw CInternetException(InetErrorKind::Protocol, QStringLiteral("The name is empty."));
    if (path.contains(QLatin1Char('\r')) || path.contains(QLatin1Char('\n')) ||
        path.contains(QChar(0)))
        throw CInternetException(InetErrorKind::Protocol,
                                 QStringLiteral("The name holds a line break or NUL."));
    return shared->codec.EncodePath(path);
}

QByteArray FtpControl::SafePathArgument(const QByteArray& argument)
{
    // ls-based servers read a leading "-" as options.
    return argument.startsWith('-') ? "./" + argument : argument;
}

void FtpControl::MarkLost(const QString& reason)
{
    if (!lost) {
        lost = true;
        lostReason = reason;
    }
    socket.Close();
}

void FtpControl::SendLine(const QByteArray& line, CFtpWaiter& waiter)
{
    EnsureUsable();
    const QByteArray bytes = line + "\r\n";
    const auto deadline = DeadlineIn(shared->Options().replyTimeout);
    qint64 at = 0;
    try {
        while (at < bytes.size()) {
            const qint64 sent = socket.Send(bytes.constData() + at, bytes.size() - at);
            if (sent > 0) {
                at += sent;
            } else if (sent == CFtpSocket::kWouldBlock) {
                if (!waiter.Wait(socket.Fd(), POLLOUT, deadline)) {
                    MarkLost(QStringLiteral("time-out"));
                    throw CInternetException(InetErrorKind::Timeout,
                                             QStringLiteral("The server takes no more commands."));
                }
            } else {
                const QString why = SystemErrorText(errno);
                MarkLost(why);
                throw CInternetException(
                    InetErrorKind::Closed,
                    QStringLiteral("The connection to the server broke: %1.").arg(why));
            }
        }
    } catch (const CInternetException& e) {
        if (e.Kind() == InetErrorKind::Cancelled)
            MarkLost(QStringLiteral("cancelled in the middle of a command"));
        throw;
    }
}

void FtpControl::ReceiveIntoReader()
{
    char buffer[16384];
    const qint64 got = socket.Receive(buffer, sizeof buffer);
    if (got == CFtpSocket::kWouldBlock)
        return;
    if (got == 0) {
        MarkLost(QStringLiteral("closed by the server"));
        throw CInternetException(InetErrorKind::Closed,
                                 QStringLiteral("The server closed the connection."));
    }
    if (got < 0) {
        const QString why = SystemErrorText(errno);
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
}

FtpReply FtpControl::ReadReply(CFtpWaiter& waiter, CFtpWaiter::Clock::time_point deadline)
{
    EnsureUsable();
    try {
        for (;;) {
            if (std::optional<FtpReply> reply = reader.Next()) {
                if (reply->code == 421) // the server is closing the connection
                    MarkLost(QStringLiteral("closed by the server: %1").arg(reply->Text()));
                return std::move(*reply);
            }
            if (!waiter.Wait(socket.Fd(), POLLIN, deadline)) {
                MarkLost(QStringLiteral("time-out"));
                throw CInternetException(InetErrorKind::Timeout,
                                         QStringLiteral("The server did not answer in time."));
            }
            ReceiveIntoReader();
        }
    } catch (const CInternetException& e) {
        if (e.Kind() == InetErrorKind::Cancelled)
            MarkLost(QStringLiteral("cancelled in the middle of a reply"));
        throw;
    }
}

FtpReply FtpControl::Execute(const QByteArray& command)
{
    CFtpWaiter waiter(shared.get());
    SendLine(command, waiter);
    const auto deadline = DeadlineIn(shared->Options().replyTimeout);
    for (;;) {
        FtpReply reply = ReadReply(waiter, deadline);
        if (reply.Class() != 1)
            return reply;
    }
}

void FtpControl::SetType(TransferType type)
{
    if (currentType == type)
        return;
    const FtpReply reply = Execute(type == TransferType::Binary ? "TYPE I" : "TYPE A");
    if (reply.Class() != 2)
        throw ReplyError(InetErrorKind::Reply,
                         QStringLiteral("The server refused the transfer type"), reply);
    currentType = type;
}

FtpReply FtpControl::ReadTransferReply()
{
    CFtpWaiter waiter(shared.get());
    const auto deadline = DeadlineIn(shared->Options().replyTimeout);
    for (;;) {
        FtpReply reply = ReadReply(waiter, deadline);
        if (reply.Class() != 1)
            return reply;
    }
}

void FtpControl::AbortTransfer(bool finalReplyPending)
{
    if (lost)
        return;
    // The stop has been asked for already: the clean-up does not ask again.
    CFtpWaiter waiter(shared.get(), false);
    const auto limit = std::min(shared->Options().replyTimeout, kCleanupLimit);
    const auto deadline = DeadlineIn(limit);
    try {
        SendLine("ABOR", waiter);
        SendLine("NOOP", waiter);
        // Up to the transfer's final reply, ABOR's, and then NOOP's 200. Servers differ in
        // which of the first two they send, so a 200 that comes early gets a short grace
        // for a reply still behind it.
        const int expected = finalReplyPending ? 3 : 2;
        for (int seen = 1; seen <= expected + 2; ++seen) {
            const FtpReply reply = ReadReply(waiter, deadline);
            if (reply.code != 200)
                continue;
            if (seen >= expected)
                return;
            const auto grace = std::min(DeadlineIn(std::chrono::milliseconds(100)), deadline);
            if (!reader.HasReply() && !reader.HasPartialReply() &&
                !waiter.Wait(socket.Fd(), POLLIN, grace))
                return;
        }
        MarkLost(QStringLiteral("out of step after an abort"));
    } catch (const CInternetException&) {
        MarkLost(QStringLiteral("no answer to an abort"));
    }
}

bool FtpControl::Revive(bool requestedPassive)
{
    try {
        if (lost || loginDirectory.isEmpty())
            return false;
        if (Execute("NOOP").Class() != 2)
            return false;
        if (Execute("CWD " + loginDirectory).Class() != 2)
            return false;
        if (!modeSwitched)
            passive = requestedPassive;
        return true;
    } catch (const CInternetException&) {
        return false;
    }
}

void FtpControl::Quit()
{
    if (lost)
        return;
    try {
        CFtpWaiter waiter(shared.get(), false);
        SendLine("QUIT", waiter);
        ReadReply(waiter, DeadlineIn(std::min(shared->Options().replyTimeout, kQuitLimit)));
    } catch (const CInternetException&) {
    }
    MarkLost(QStringLiteral("closed"));
}
