#include "inet/tlscontext.h"

#include "inet/internetexception.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>

#include <sys/socket.h>

#include <cerrno>
#include <cstdint>

namespace {

// OpenSSL's own socket BIO writes with write(), and a server that went away would end the
// program with SIGPIPE; this one sends with MSG_NOSIGNAL, so it becomes an error to report.
int SocketOf(BIO* bio)
{
    return static_cast<int>(reinterpret_cast<std::intptr_t>(BIO_get_data(bio)));
}

int SocketWrite(BIO* bio, const char* data, int length)
{
    BIO_clear_retry_flags(bio);
    const ssize_t sent = ::send(SocketOf(bio), data, static_cast<size_t>(length), MSG_NOSIGNAL);
    if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        BIO_set_retry_write(bio);
    return static_cast<int>(sent);
}

int SocketRead(BIO* bio, char* buffer, int length)
{
    BIO_clear_retry_flags(bio);
    const ssize_t got = ::recv(SocketOf(bio), buffer, static_cast<size_t>(length), 0);
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        BIO_set_retry_read(bio);
    return static_cast<int>(got);
}

long SocketControl(BIO*, int command, long, void*)
{
    return command == BIO_CTRL_FLUSH ? 1 : 0;
}

BIO_METHOD* SocketMethod()
{
    static BIO_METHOD* const method = [] {
        BIO_METHOD* made =
            BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "vantor socket");
        if (made) {
            BIO_meth_set_write(made, SocketWrite);
            BIO_meth_set_read(made, SocketRead);
            BIO_meth_set_ctrl(made, SocketControl);
        }
        return made;
    }();
    return method;
}

int ContextIndex()
{
    static const int index = SSL_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
    return index;
}

} // namespace

CTlsContext::CTlsContext()
    : context(SSL_CTX_new(TLS_client_method()))
{
    if (!context || !SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION)) {
        SSL_CTX_free(context);
        throw CInternetException(InetErrorKind::Security,
                                 QStringLiteral("TLS could not be set up on this computer."));
    }
    // The chain is checked after the handshake, so that the user can be asked about a
    // certificate the system does not vouch for; no handshake fails on it.
    SSL_CTX_set_verify(context, SSL_VERIFY_NONE, nullptr);
    SSL_CTX_set_default_verify_paths(context);
    SSL_CTX_set_mode(context, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    // Several records per system call on a transfer, rather than two calls per record.
    SSL_CTX_set_read_ahead(context, 1);
    SSL_CTX_set_default_read_buffer_len(context, 64 * 1024);
    SSL_CTX_set_session_cache_mode(context,
                                   SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL_STORE);
    SSL_CTX_sess_set_new_cb(context, &CTlsContext::OnNewSession);
}

CTlsContext::~CTlsContext()
{
    SSL_SESSION_free(newest);
    SSL_CTX_free(context);
}

bool CTlsContext::Attach(SSL* ssl, int fd)
{
    BIO* bio = SocketMethod() ? BIO_new(SocketMethod()) : nullptr;
    if (!bio)
        return false;
    BIO_set_data(bio, reinterpret_cast<void*>(static_cast<std::intptr_t>(fd)));
    BIO_set_init(bio, 1);
    SSL_set_bio(ssl, bio, bio);
    SSL_set_ex_data(ssl, ContextIndex(), this);
    return true;
}

int CTlsContext::OnNewSession(SSL* ssl, SSL_SESSION* session)
{
    auto* self = static_cast<CTlsContext*>(SSL_get_ex_data(ssl, ContextIndex()));
    if (!self)
        return 0;
    std::lock_guard lock(self->mutex);
    SSL_SESSION_free(self->newest);
    self->newest = session;
    ++self->received;
    return 1; // the reference is ours now
}

SSL_SESSION* CTlsContext::TakeNewestSession() const
{
    std::lock_guard lock(mutex);
    if (!newest || !SSL_SESSION_is_resumable(newest))
        return nullptr;
    // A copy: OpenSSL takes a TLS 1.3 session it resumed for used up. A server whose tickets
    // hold for many resumptions may give no new one on a data connection (proftpd does not
    // on an upload's), and the next data connection needs the same ticket again.
    return SSL_SESSION_dup(newest);
}

int CTlsContext::SessionsReceived() const
{
    std::lock_guard lock(mutex);
    return received;
}
