#include "inet/tlsstream.h"

#include "inet/internetexception.h"
#include "inet/tlscontext.h"

#include <QStringList>

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <arpa/inet.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>

namespace {

QString OpenSslErrorText()
{
    const unsigned long code = ERR_peek_last_error();
    if (code == 0)
        return {};
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    const char* reason = ERR_reason_error_string(code);
    return QString::fromLatin1(reason ? reason : text);
}

QString NameText(const X509_NAME* name)
{
    if (!name)
        return {};
    BIO* bio = BIO_new(BIO_s_mem());
    if (!bio)
        return {};
    X509_NAME_print_ex(bio, name, 0, XN_FLAG_RFC2253 & ~ASN1_STRFLGS_ESC_MSB);
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    const QString text = QString::fromUtf8(data, size);
    BIO_free(bio);
    return text;
}

QDateTime TimeOf(const ASN1_TIME* time)
{
    std::tm parts{};
    if (!time || ASN1_TIME_to_tm(time, &parts) != 1)
        return {};
    return QDateTime(QDate(parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday),
                     QTime(parts.tm_hour, parts.tm_min, parts.tm_sec), Qt::UTC);
}

// The reasons a user meets, in words; the rest as OpenSSL names them.
QString VerifyProblem(long result)
{
    switch (result) {
    case X509_V_OK:
        return {};
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
        return QStringLiteral("The certificate is self-signed: no authority vouches for it.");
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
        return QStringLiteral("The certificate was issued by an authority this computer does "
                              "not know.");
    case X509_V_ERR_CERT_HAS_EXPIRED:
        return QStringLiteral("The certificate has expired.");
    case X509_V_ERR_CERT_NOT_YET_VALID:
        return QStringLiteral("The certificate is not valid yet.");
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
        return QStringLiteral("The certificate was made for another server name.");
    default:
        return QStringLiteral("The certificate cannot be verified: %1.")
            .arg(QString::fromLatin1(X509_verify_cert_error_string(result)));
    }
}

int ProblemsIndex()
{
    static const int index = SSL_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
    return index;
}

// Notes every problem of the chain and lets the check go on, so that the user hears of all
// of them at once (expired and made for another name), not only of the last one met.
int CollectVerifyProblem(int ok, X509_STORE_CTX* store)
{
    if (ok)
        return 1;
    auto* ssl =
        static_cast<SSL*>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
    if (auto* problems =
            ssl ? static_cast<std::vector<long>*>(SSL_get_ex_data(ssl, ProblemsIndex()))
                : nullptr) {
        const long error = X509_STORE_CTX_get_error(store);
        if (std::find(problems->begin(), problems->end(), error) == problems->end())
            problems->push_back(error);
    }
    return 1;
}

} // namespace

CTlsStream::CTlsStream(std::shared_ptr<CTlsContext> shared, CFtpSocket connected,
                       const QString& host, Role role)
    : context(std::move(shared))
    , socket(std::move(connected))
    , ssl(SSL_new(context->Handle()))
{
    if (!ssl || !context->Attach(ssl, socket.Fd())) {
        SSL_free(ssl);
        ssl = nullptr;
        throw CInternetException(InetErrorKind::Security,
                                 QStringLiteral("TLS could not be set up on this computer."));
    }
    SSL_set_ex_data(ssl, ProblemsIndex(), &verifyErrors);
    SSL_set_verify(ssl, SSL_VERIFY_NONE, &CollectVerifyProblem);
    const QByteArray name = host.toUtf8();
    unsigned char address[16];
    const bool isAddress = inet_pton(AF_INET, name.constData(), address) == 1 ||
                           inet_pton(AF_INET6, name.constData(), address) == 1;
    if (!isAddress) {
        SSL_set_tlsext_host_name(ssl, name.constData());
        SSL_set1_host(ssl, name.constData());
    } else {
        X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), name.constData());
    }
    if (role == Role::Data) {
        // The server gave tickets before: this connection is meant to resume.
        ticketsSeen = context->SessionsReceived() > 0;
        if (SSL_SESSION* session = context->TakeNewestSession()) {
            SSL_set_session(ssl, session);
            SSL_SESSION_free(session);
        }
    }
}

CTlsStream::~CTlsStream()
{
    SSL_free(ssl);
}

void CTlsStream::Handshake(CFtpWaiter& waiter, FtpDeadline deadline, const QString& what)
{
    for (;;) {
        ERR_clear_error();
        errno = 0;
        const qint64 outcome = Outcome(SSL_connect(ssl));
        if (outcome > 0) {
            established = true;
            return;
        }
        if (outcome == kWouldBlock) {
            if (!waiter.Wait(socket.Fd(), wanted, deadline))
                throw CInternetException(
                    InetErrorKind::Timeout,
                    QStringLiteral("No TLS handshake with %1 in time.").arg(what));
            continue;
        }
        if (error.isEmpty())
            error = QStringLiteral("the server closed the connection");
        throw CInternetException(
            InetErrorKind::Security,
            QStringLiteral("No TLS connection could be made with %1: %2.").arg(what, error));
    }
}

qint64 CTlsStream::Outcome(int result)
{
    if (result == 1)
        return 1;
    const int kind = SSL_get_error(ssl, result);
    switch (kind) {
    case SSL_ERROR_WANT_READ:
        wanted = POLLIN;
        return kWouldBlock;
    case SSL_ERROR_WANT_WRITE:
        wanted = POLLOUT;
        return kWouldBlock;
    case SSL_ERROR_ZERO_RETURN:
        cleanEnd = true;
        return 0;
    case SSL_ERROR_SYSCALL:
        if (errno == 0 || ERR_peek_last_error() != 0) {
            error = QStringLiteral("the server closed the connection");
            return 0;
        }
        error = SystemErrorText(errno);
        broken = true;
        return kFailed;
    default:
        if (ERR_GET_REASON(ERR_peek_last_error()) == SSL_R_UNEXPECTED_EOF_WHILE_READING) {
            error = QStringLiteral("the server closed the connection without ending TLS");
            return 0;
        }
        error = OpenSslErrorText();
        if (error.isEmpty())
            error = QStringLiteral("TLS error %1").arg(kind);
        broken = true;
        return kFailed;
    }
}

qint64 CTlsStream::Read(char* buffer, qint64 count, CFtpWaiter& waiter, FtpDeadline deadline)
{
    for (;;) {
        if (cleanEnd)
            return 0;
        ERR_clear_error();
        errno = 0;
        size_t got = 0;
        const int result = SSL_read_ex(ssl, buffer, static_cast<size_t>(count), &got);
        if (result == 1)
            return static_cast<qint64>(got);
        const qint64 outcome = Outcome(result);
        if (outcome != kWouldBlock)
            return outcome;
        if (!waiter.Wait(socket.Fd(), wanted, deadline))
            return kTimedOut;
    }
}

qint64 CTlsStream::Write(const char* data, qint64 count, CFtpWaiter& waiter, FtpDeadline deadline)
{
    for (;;) {
        ERR_clear_error();
        errno = 0;
        size_t sent = 0;
        const int result = SSL_write_ex(ssl, data, static_cast<size_t>(count), &sent);
        if (result == 1)
            return static_cast<qint64>(sent);
        const qint64 outcome = Outcome(result);
        if (outcome == 0) {
            error = QStringLiteral("the server ended the connection");
            return kFailed; // an ended stream takes nothing more
        }
        if (outcome != kWouldBlock)
            return outcome;
        if (!waiter.Wait(socket.Fd(), wanted, deadline))
            return kTimedOut;
    }
}

void CTlsStream::Reset()
{
    // Broken off on purpose (an abort, a failure outside TLS): nothing goes to the server,
    // but OpenSSL must not take the session this connection resumed for a bad one. Freed
    // without a shutdown, it would mark it unresumable, and every later data connection of
    // a server that requires reuse would be refused. A TLS failure of its own has spoiled
    // the session already, at its alert.
    if (ssl && established && !broken)
        SSL_set_shutdown(ssl, SSL_SENT_SHUTDOWN | SSL_RECEIVED_SHUTDOWN);
    socket.Reset();
}

void CTlsStream::Close()
{
    // Only an answer to the server's own: a close_notify of ours on its own would tell the
    // server that an upload given up had ended well.
    if (established && !broken && cleanEnd && socket.IsValid()) {
        ERR_clear_error();
        SSL_shutdown(ssl); // once: a socket that cannot take it now is closed all the same
    }
    socket.Close();
}

bool CTlsStream::HasBufferedInput() const
{
    // Read-ahead bytes count too: they sit where a poll on the socket cannot see them.
    return SSL_has_pending(ssl) == 1;
}

bool CTlsStream::Shutdown(CFtpWaiter& waiter, FtpDeadline deadline)
{
    for (;;) {
        ERR_clear_error();
        const int result = SSL_shutdown(ssl);
        if (result >= 0)
            break; // ours is sent; the server's is not awaited
        const int kind = SSL_get_error(ssl, result);
        if (kind != SSL_ERROR_WANT_WRITE && kind != SSL_ERROR_WANT_READ)
            return false;
        if (!waiter.Wait(socket.Fd(), kind == SSL_ERROR_WANT_WRITE ? POLLOUT : POLLIN, deadline))
            return false;
    }
    socket.ShutdownSend();
    // The server may have sent something we never read (TLS 1.3 session tickets come on
    // every connection). Closing over unread input resets the connection, and a reset can
    // throw away data the server has not read yet: so read on until the server ends too,
    // which it does once it has all of ours.
    Discard(waiter, std::min(deadline, DeadlineIn(std::chrono::milliseconds(kDrainLimitMs))),
            [] { return false; });
    return true;
}

void CTlsStream::Discard(CFtpWaiter& waiter, FtpDeadline until, const std::function<bool()>& done)
{
    char scratch[4096];
    while (!done()) {
        ERR_clear_error();
        errno = 0;
        size_t got = 0;
        const int result = SSL_read_ex(ssl, scratch, sizeof scratch, &got);
        if (result == 1)
            continue;
        if (Outcome(result) != kWouldBlock || !waiter.Wait(socket.Fd(), wanted, until))
            return;
    }
}
QString CTlsStream::ProtocolName() const
{
    switch (SSL_version(ssl)) {
    case TLS1_3_VERSION:
        return QStringLiteral("TLS 1.3");
    case TLS1_2_VERSION:
        return QStringLiteral("TLS 1.2");
    default:
        return QString::fromLatin1(SSL_get_version(ssl));
    }
}

bool CTlsStream::SessionReused() const
{
    return SSL_session_reused(ssl) == 1;
}

bool CTlsStream::SpentSessionOffered() const
{
    return established && ticketsSeen && SSL_version(ssl) == TLS1_3_VERSION && !SessionReused();
}

void CTlsStream::AwaitTicket(CFtpWaiter& waiter, FtpDeadline deadline)
{
    // A server that refuses the connection ends it at once, one that keeps it sends its
    // tickets at once: a few seconds are plenty either way.
    const int before = context->SessionsReceived();
    Discard(waiter, std::min(deadline, DeadlineIn(std::chrono::milliseconds(kDrainLimitMs))),
            [this, before] { return context->SessionsReceived() != before; });
}

TlsCertificateInfo CTlsStream::PeerCertificate() const
{
    TlsCertificateInfo info;
    X509* certificate = SSL_get1_peer_certificate(ssl);
    if (!certificate) {
        info.problem = QStringLiteral("The server showed no certificate.");
        return info;
    }
    info.subject = NameText(X509_get_subject_name(certificate));
    info.issuer = NameText(X509_get_issuer_name(certificate));
    info.notBefore = TimeOf(X509_get0_notBefore(certificate));
    info.notAfter = TimeOf(X509_get0_notAfter(certificate));
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (X509_digest(certificate, EVP_sha256(), digest, &length) == 1)
        info.fingerprint =
            QByteArray(reinterpret_cast<const char*>(digest), static_cast<qsizetype>(length))
                .toHex();
    X509_free(certificate);
    QStringList problems;
    for (const long problem : verifyErrors) {
        const QString text = VerifyProblem(problem);
        if (!text.isEmpty() && !problems.contains(text))
            problems.append(text);
    }
    if (problems.isEmpty()) // a check that failed without telling the callback
        problems.append(VerifyProblem(SSL_get_verify_result(ssl)));
    info.problem = problems.join(QLatin1Char('\n')).trimmed();
    return info;
}
