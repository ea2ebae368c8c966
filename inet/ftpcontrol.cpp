#include "inet/ftpcontrol.h"

#include "inet/ftpdatachannel.h"
#include "inet/ftpplainstream.h"
#include "inet/ftpsessionshared.h"
#include "inet/ftptext.h"

#include <algorithm>

namespace {

using namespace std::chrono_literals;

// Replies after a stop or a QUIT are waited for no longer than this, so that giving up
// stays quick even on a stalled server.
constexpr std::chrono::milliseconds kCleanupLimit = 3000ms;
constexpr std::chrono::milliseconds kQuitLimit = 1000ms;
// How long the replies to ABOR are let come in before NOOP is sent, and how long a reply
// close behind NOOP's is looked for.
constexpr std::chrono::milliseconds kAbortSettle = 250ms;
// Reads of what a server sent unasked before a command goes out (16 KiB each).
constexpr int kMaxStrayReads = 64;

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

CFtpControl::CFtpControl(std::shared_ptr<FtpSessionShared> session)
    : shared(std::move(session))
    , link(std::make_shared<FtpControlLink>(FtpControlLink{this}))
{}

CFtpControl::~CFtpControl()
{
    link->control = nullptr;
}

std::unique_ptr<CFtpControl> CFtpControl::Open(std::shared_ptr<FtpSessionShared> session,
                                               const FtpServerAddress& server, const QString& user,
                                               const QString& password, bool passive,
                                               FtpSecurity security)
{
    auto control = std::make_unique<CFtpControl>(session);
    control->server = server;
    control->security = security;
    control->loginUser = user;
    control->loginPassword = password;
    control->modeKey = QStringLiteral("%1:%2").arg(server.host.toLower()).arg(server.port);
    const InternetOptions options = session->Options();
    CFtpWaiter waiter(session.get());
    const auto deadline = DeadlineIn(options.connectTimeout);
    const std::vector<CSocketAddress> addresses = ResolveHost(server, deadline, waiter);
    CFtpSocket socket = CFtpSocket::Connect(addresses, deadline, waiter, ServerName(server));
    control->line.peer = socket.PeerAddress();
    control->line.local = socket.LocalAddress();
    control->passive = control->StartMode(passive);
    if (security == FtpSecurity::Implicit)
        control->StartTls(std::move(socket), waiter);
    else
        control->line.stream = CFtpPlainStream::Over(std::move(socket));

    FtpReply greeting = control->line.ReadReply(waiter, DeadlineIn(options.replyTimeout));
    if (greeting.code == 120) // "ready in a moment"
        greeting = control->line.ReadReply(waiter, DeadlineIn(options.replyTimeout));
    if (greeting.Class() != 2)
        throw ReplyError(
            InetErrorKind::Connect,
            QStringLiteral("The server %1 turned the connection down").arg(ServerName(server)),
            greeting);
    control->NegotiateTls(security, waiter);
    control->Login(user, password);
    control->ProtectData();

    const FtpReply feat = control->Execute("FEAT");
    control->line.features = ParseFeatReply(feat);
    if (control->line.features.utf8)
        control->Execute("OPTS UTF8 ON"); // some servers want it, others ignore it: not checked
    control->SelectMlstFacts();
    const FtpReply pwd = control->Execute("PWD");
    if (pwd.code == 257)
        control->loginDirectory = ParsePwdReply(pwd.FirstLineText()).value_or(QByteArray());
    return control;
}

void CFtpControl::Login(const QString& user, const QString& password)
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

void CFtpControl::SelectMlstFacts()
{
    if (!line.features.mlst || line.features.mlstFacts.isEmpty())
        return;
    // The facts the parser reads, where offered; a server that shows only some of them by
    // default (the permissions are often left out) is asked for all.
    QByteArray wanted;
    bool missing = false;
    for (const QByteArray& fact : line.features.mlstFacts.split(';')) {
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

void CFtpControl::EnsureNoOpenFile() const
{
    if (IsClaimed() && claimForFile)
        throw CInternetException(InetErrorKind::Busy,
                                 QStringLiteral("A file transfer is running on this connection."));
}

void CFtpControl::EnsureFree() const
{
    if (IsClaimed())
        throw CInternetException(InetErrorKind::Busy,
                                 claimForFile
                                     ? QStringLiteral("A file is open on this connection.")
                                     : QStringLiteral("A search is open on this connection."));
}

CFtpClaim CFtpControl::Claim(bool forFile)
{
    EnsureFree();
    claimId = ++lastClaimId;
    claimForFile = forFile;
    return CFtpClaim(link, claimId);
}

void CFtpControl::EndClaim(quint64 id)
{
    if (id != 0 && id == claimId)
        claimId = 0;
}

QByteArray CFtpControl::Argument(const QString& path) const
{
    if (path.isEmpty())
        throw CInternetException(InetErrorKind::Protocol, QStringLiteral("The name is empty."));
    if (path.contains(QLatin1Char('\r')) || path.contains(QLatin1Char('\n')) ||
        path.contains(QChar(0)))
        throw CInternetException(InetErrorKind::Protocol,
                                 QStringLiteral("The name holds a line break or NUL."));
    return shared->codec.EncodePath(path);
}

QByteArray CFtpControl::SafePathArgument(const QByteArray& argument)
{
    // ls-based servers read a leading "-" as options.
    return argument.startsWith('-') ? "./" + argument : argument;
}

void CFtpControl::SendLine(const QByteArray& command, CFtpWaiter& waiter)
{
    line.Send(command, waiter, DeadlineIn(shared->Options().replyTimeout));
}

void CFtpControl::DiscardStrayReplies(CFtpWaiter& waiter)
{
    EnsureUsable();
    // Bounded, so that a server that never stops talking cannot keep the command back.
    for (int round = 0; round < kMaxStrayReads; ++round) {
        while (line.TakeReply()) {
        }
        EnsureUsable(); // a stray 421 means the server has gone
        // The rest of a reply already begun is close behind it.
        const auto deadline =
            DeadlineIn(line.HasPartialReply() ? kAbortSettle : std::chrono::milliseconds(0));
        if (!line.Receive(waiter, deadline))
            return;
    }
}

FtpReply CFtpControl::Execute(const QByteArray& command)
{
    CFtpWaiter waiter(shared.get());
    DiscardStrayReplies(waiter);
    SendLine(command, waiter);
    return line.ReadFinalReply(waiter, DeadlineIn(shared->Options().replyTimeout));
}

std::vector<FtpReply> CFtpControl::ExecuteTogether(const QList<QByteArray>& commands)
{
    std::vector<FtpReply> replies;
    if (commands.isEmpty())
        return replies;
    CFtpWaiter waiter(shared.get());
    DiscardStrayReplies(waiter);
    SendLine(commands.join("\r\n"), waiter);
    for (qsizetype i = 0; i < commands.size(); ++i)
        replies.push_back(line.ReadFinalReply(waiter, DeadlineIn(shared->Options().replyTimeout)));
    return replies;
}

FtpReply CFtpControl::FinalReply()
{
    CFtpWaiter waiter(shared.get());
    return line.ReadFinalReply(waiter, DeadlineIn(shared->Options().replyTimeout));
}

void CFtpControl::SetType(TransferType type)
{
    if (line.currentType == type)
        return;
    const FtpReply reply = Execute(type == TransferType::Binary ? "TYPE I" : "TYPE A");
    if (reply.Class() != 2)
        throw ReplyError(InetErrorKind::Reply,
                         QStringLiteral("The server refused the transfer type"), reply);
    line.currentType = type;
}

void CFtpControl::AbortTransfer(bool finalReplyPending,
                                const std::function<void(CFtpWaiter&)>& afterAbor)
{
    if (line.IsLost())
        return;
    // A stop has been asked for already, or the transfer is over: the clean-up keeps the
    // windows painted but does not stop halfway.
    CFtpWaiter waiter(shared.get(), false);
    const auto limit = std::min(shared->Options().replyTimeout, kCleanupLimit);
    try {
        // A transfer still running ends with 426 and then ABOR's 226; one that had ended has
        // its 226 and then ABOR's 225 or 226 (RFC 959). Servers differ: some answer once for
        // both, some send a 426 alone, and some throw away what arrived together with ABOR.
        // So the replies are let settle first, and NOOP's 200 then marks the point where
        // the connection is in step again.
        SendLine("ABOR", waiter);
        if (afterAbor)
            afterAbor(waiter);
        const int expected = finalReplyPending ? 2 : 1;
        int seen = 0;
        line.ReadReply(waiter, DeadlineIn(limit));
        for (seen = 1; seen < expected; ++seen) {
            if (!line.PollReply(waiter, DeadlineIn(kAbortSettle)))
                break;
        }
        SendLine("NOOP", waiter);
        const auto deadline = DeadlineIn(limit);
        FtpReply reply = line.ReadReply(waiter, deadline);
        for (int late = 0; late < expected + 2; ++late) {
            if (reply.code == 200) {
                // Every reply of the abort came before NOOP: this 200 is NOOP's. Else a
                // reply close behind it means it was the abort's.
                if (seen >= expected)
                    return;
                std::optional<FtpReply> next =
                    line.PollReply(waiter, std::min(DeadlineIn(kAbortSettle), deadline));
                if (!next)
                    return;
                reply = std::move(*next);
            } else {
                reply = line.ReadReply(waiter, deadline);
            }
        }
        line.MarkLost(QStringLiteral("out of step after an abort"));
    } catch (const CInternetException&) {
        line.MarkLost(QStringLiteral("no answer to an abort"));
    }
}

bool CFtpControl::StartMode(bool requestedPassive) const
{
    return shared->Facts(modeKey).passive.value_or(requestedPassive ||
                                                   !shared->Options().preferActive);
}

void CFtpControl::Reconnect(const QByteArray& directory)
{
    std::unique_ptr<CFtpControl> fresh =
        Open(shared, server, loginUser, loginPassword, passive, security);
    // Everything of the lost line goes with it: the fresh one brings its own stream and
    // replies, its TLS session (which the data connections resume), its certificate and
    // features, and no transfer type yet.
    line = std::move(fresh->line);
    if (!directory.isEmpty()) {
        const FtpReply reply = Execute("CWD " + directory);
        if (reply.Class() != 2)
            throw ReplyError(InetErrorKind::Reply,
                             QStringLiteral("A fresh connection could not go back to the folder"),
                             reply);
    }
}

bool CFtpControl::CanBePooled() const
{
    return !line.IsLost() && !IsClaimed() && !loginDirectory.isEmpty() && !poolKey.isEmpty();
}

bool CFtpControl::Revive(bool requestedPassive)
{
    try {
        if (line.IsLost() || loginDirectory.isEmpty())
            return false;
        // The CWD back to the login folder proves the connection alive as well as a NOOP.
        if (Execute("CWD " + loginDirectory).Class() != 2)
            return false;
        if (!modeSwitched)
            passive = StartMode(requestedPassive);
        return true;
    } catch (const CInternetException&) {
        return false;
    }
}

void CFtpControl::Quit()
{
    if (line.IsLost())
        return;
    try {
        CFtpWaiter waiter(shared.get(), false);
        SendLine("QUIT", waiter);
        line.ReadReply(waiter, DeadlineIn(std::min(shared->Options().replyTimeout, kQuitLimit)));
    } catch (const CInternetException&) {
    }
    line.MarkLost(QStringLiteral("closed"));
}
