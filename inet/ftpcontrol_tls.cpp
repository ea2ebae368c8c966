// TLS on a control connection (explicit after AUTH TLS, or implicit from the first byte)
// and on the data connections it opens.
#include "inet/ftpcontrol.h"

#include "inet/ftpplainstream.h"
#include "inet/ftpsessionshared.h"
#include "inet/tlscontext.h"
#include "inet/tlsrunmemory.h"
#include "inet/tlsstream.h"
#include "inet/tlstruststore.h"

QString CFtpControl::TrustKey() const
{
    return CTlsTrustStore::ServerKey(server.host, server.port);
}

bool CFtpControl::KnownTlsServer() const
{
    if (shared->tls.Memory()->UsedTls(TrustKey()))
        return true;
    const CTlsTrustStore store(shared->Options().trustStorePath);
    if (store.UsedTls(server.host, server.port))
        return true;
    if (!store.Error().isEmpty())
        // Unknown is not "never": without the file nobody can tell, so nothing is sent.
        throw CInternetException(
            InetErrorKind::Security,
            QStringLiteral("%1 Whether the server %2 used TLS before cannot be told, so the "
                           "connection was ended and your password was not sent.")
                .arg(store.Error(), TrustKey()));
    return false;
}

void CFtpControl::RefuseDowngrade(const FtpReply& reply)
{
    CInternetException refusal(
        InetErrorKind::Security,
        QStringLiteral("The server %1 stopped offering encryption, although it used TLS "
                       "before. The connection was refused and your password was not sent.")
            .arg(TrustKey()),
        reply.code, reply.Text());
    refusal.MarkDowngrade();
    throw refusal;
}

void CFtpControl::NegotiateTls(FtpSecurity wanted, CFtpWaiter& waiter)
{
    if (wanted == FtpSecurity::Implicit || wanted == FtpSecurity::Plain)
        return;
    const FtpReply reply = Execute("AUTH TLS");
    if (reply.code == 234 || reply.code == 334) { // 334: older servers' "go ahead"
        if (line.HasBufferedReply()) {
            // Anything after the go-ahead would be taken as coming under TLS.
            line.MarkLost(QStringLiteral("text after AUTH TLS"));
            throw CInternetException(InetErrorKind::Security,
                                     QStringLiteral("The server %1 sent more than it should "
                                                    "before TLS began.")
                                         .arg(TrustKey()));
        }
        StartTls(static_cast<CFtpPlainStream&>(*line.stream).TakeSocket(), waiter);
        return;
    }
    // A server that spoke TLS to us and now refuses is what someone in between would make
    // of it, whatever the address asked for: the user has to hear it in those words.
    if (KnownTlsServer())
        RefuseDowngrade(reply);
    if (wanted == FtpSecurity::Explicit)
        throw ReplyError(
            InetErrorKind::Security,
            QStringLiteral("The server %1 offers no encryption (AUTH TLS)").arg(TrustKey()), reply);
    // A bare address goes plain only with a server that never spoke TLS to us.
}

void CFtpControl::StartTls(CFtpSocket socket, CFtpWaiter& waiter)
{
    shared->tls.Step(QStringLiteral("Setting up TLS Encryption - Please Wait"));
    line.tlsContext = std::make_shared<CTlsContext>();
    auto tls = std::make_unique<CTlsStream>(line.tlsContext, std::move(socket), server.host,
                                            CTlsStream::Role::Control);
    tls->Handshake(waiter, DeadlineIn(shared->Options().connectTimeout),
                   QStringLiteral("the server %1").arg(TrustKey()));
    CheckCertificate(*tls);
    line.securityName = tls->ProtocolName();
    line.stream = std::move(tls);
    // From now on this server is never logged in to in plain text, in this run or a later
    // one; the run keeps it even when the file cannot be written.
    shared->tls.Memory()->RememberTls(TrustKey());
    CTlsTrustStore store(shared->Options().trustStorePath);
    if (!store.RememberTls(server.host, server.port))
        shared->tls.Warn(store.Error());
    shared->tls.Step(QStringLiteral("Connecting to FTP Server - Please Wait"));
}

void CFtpControl::CheckCertificate(const CTlsStream& tls)
{
    TlsCertificateInfo certificate = tls.PeerCertificate();
    certificate.host = server.host;
    certificate.port = server.port;
    if (certificate.fingerprint.isEmpty())
        throw CInternetException(
            InetErrorKind::Security,
            QStringLiteral("The server %1 showed no certificate.").arg(TrustKey()));
    line.certificateFingerprint = certificate.fingerprint;
    if (certificate.problem.isEmpty())
        return; // the system's certificate store vouches for it
    const std::shared_ptr<CTlsRunMemory> memory = shared->tls.Memory();
    if (memory->AcceptedOnce(TrustKey(), certificate.fingerprint))
        return;
    CTlsTrustStore store(shared->Options().trustStorePath);
    const std::optional<QByteArray> trusted = store.Fingerprint(server.host, server.port);
    if (trusted == certificate.fingerprint)
        return;
    if (!store.Error().isEmpty())
        // Without the file, a changed certificate would look merely unknown.
        throw CInternetException(
            InetErrorKind::Security,
            QStringLiteral("%1 The certificate of the server %2 cannot be checked against "
                           "your earlier decisions, so the connection was ended.")
                .arg(store.Error(), TrustKey()));
    if (trusted)
        certificate.previousFingerprint = *trusted;
    switch (shared->tls.Ask(certificate)) {
    case TlsTrustAnswer::TrustAlways:
        // Kept for this run even when the file cannot be written, and the user is told.
        memory->AcceptOnce(TrustKey(), certificate.fingerprint);
        if (!store.Trust(server.host, server.port, certificate.fingerprint))
            shared->tls.Warn(store.Error() +
                             QStringLiteral(" The certificate of %1 is trusted until the "
                                            "program ends.")
                                 .arg(TrustKey()));
        return;
    case TlsTrustAnswer::TrustOnce:
        memory->AcceptOnce(TrustKey(), certificate.fingerprint);
        return;
    case TlsTrustAnswer::Refuse:
        break;
    }
    throw CInternetException(
        InetErrorKind::Security,
        QStringLiteral("The certificate of the server %1 was not accepted.").arg(TrustKey()));
}

void CFtpControl::ProtectData()
{
    if (!line.tlsContext)
        return;
    // PBSZ is a formality under TLS, but PROT is refused without it.
    Execute("PBSZ 0");
    const FtpReply reply = Execute("PROT P");
    if (reply.Class() != 2)
        throw ReplyError(InetErrorKind::Security,
                         QStringLiteral("The server refuses to encrypt the transfers (PROT P)"),
                         reply);
}

std::unique_ptr<CFtpStream> CFtpControl::SecureData(CFtpSocket socket, bool finalReplyPending)
{
    auto tls = std::make_unique<CTlsStream>(line.tlsContext, std::move(socket), server.host,
                                            CTlsStream::Role::Data);
    CFtpWaiter waiter(shared.get());
    try {
        tls->Handshake(waiter, DeadlineIn(shared->Options().connectTimeout),
                       QStringLiteral("the data connection"));
        // The data must come from the server the user trusted, not from whoever reached
        // the data port first.
        if (tls->PeerCertificate().fingerprint != line.certificateFingerprint)
            throw CInternetException(
                InetErrorKind::Security,
                QStringLiteral("The data connection showed another certificate than the server."));
        // A server that takes each TLS 1.3 ticket once gives no fresh one on an upload (it
        // never writes there), so the data connection after an upload offers a spent one.
        // Such a server refuses a data connection that does not resume, once the full
        // handshake has brought fresh tickets: they are taken, the refusal is read, and the
        // command goes again (OpenData). Where that does not resume either, the server gives
        // no tickets to resume with, and nothing is tried again on this connection.
        if (finalReplyPending && tls->SpentSessionOffered() && !dataRedoUseless) {
            if (dataRedoing) {
                dataRedoUseless = true;
            } else {
                const InternetOptions options = shared->Options();
                tls->AwaitTicket(waiter, DeadlineIn(options.replyTimeout));
                tls->Reset();
                line.ReadReply(waiter, DeadlineIn(options.replyTimeout));
                dataRedoPending = true;
                return nullptr;
            }
        }
    } catch (const CInternetException&) {
        tls->Reset();
        if (!line.IsLost())
            AbortTransfer(finalReplyPending);
        throw;
    }
    return tls;
}
