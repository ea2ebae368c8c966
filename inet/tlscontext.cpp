#include "inet/tlscontext.h"

#include "inet/internetexception.h"

#include <openssl/err.h>
#include <openssl/ssl.h>

namespace {

int ControlIndex()
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
    SSL_CTX_set_session_cache_mode(context,
                                   SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL_STORE);
    SSL_CTX_sess_set_new_cb(context, &CTlsContext::OnNewSession);
}

CTlsContext::~CTlsContext()
{
    SSL_SESSION_free(newest);
    SSL_CTX_free(context);
}

void CTlsContext::KeepSessionsOf(SSL* ssl)
{
    SSL_set_ex_data(ssl, ControlIndex(), this);
}

int CTlsContext::OnNewSession(SSL* ssl, SSL_SESSION* session)
{
    auto* self = static_cast<CTlsContext*>(SSL_get_ex_data(ssl, ControlIndex()));
    if (!self)
        return 0; // a data connection's own tickets are not what the server wants back
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
    SSL_SESSION_up_ref(newest);
    return newest;
}

int CTlsContext::SessionsReceived() const
{
    std::lock_guard lock(mutex);
    return received;
}
