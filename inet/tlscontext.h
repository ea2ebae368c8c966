#pragma once

#include <mutex>

typedef struct ssl_ctx_st SSL_CTX;
typedef struct ssl_st SSL;
typedef struct ssl_session_st SSL_SESSION;

// The TLS settings of one control connection and the data connections it opens: TLS 1.2
// and 1.3 only, the system's certificate store, and the newest session the control
// connection was given. Data connections resume that session: many servers refuse a data
// connection that does not, and under TLS 1.3 only a ticket the server sent after the
// handshake will do, so each new ticket replaces the one before.
class CTlsContext
{
public:
    CTlsContext(); // throws CInternetException (Security) when OpenSSL cannot set up
    ~CTlsContext();
    CTlsContext(const CTlsContext&) = delete;
    CTlsContext& operator=(const CTlsContext&) = delete;

    SSL_CTX* Handle() const { return context; }

    // Marks `ssl` as the control connection, whose new sessions are kept.
    void KeepSessionsOf(SSL* ssl);
    // The newest resumable session with a reference for the caller, or null.
    SSL_SESSION* TakeNewestSession() const;
    // Sessions the control connection has received so far.
    int SessionsReceived() const;

private:
    static int OnNewSession(SSL* ssl, SSL_SESSION* session);

    SSL_CTX* context = nullptr;
    mutable std::mutex mutex;
    SSL_SESSION* newest = nullptr;
    int received = 0;
};
