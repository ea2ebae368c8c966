#pragma once

#include <mutex>

typedef struct ssl_ctx_st SSL_CTX;
typedef struct ssl_st SSL;
typedef struct ssl_session_st SSL_SESSION;

// The TLS settings of one control connection and the data connections it opens: TLS 1.2
// and 1.3 only, the system's certificate store, and the newest session the server gave
// any of them. Data connections resume that session: many servers refuse a data
// connection that does not. Under TLS 1.3 a session comes as a ticket after the handshake,
// and servers may take each ticket only once, so every new ticket (the control
// connection's first, then those each data connection brings) replaces the one before.
class CTlsContext
{
public:
    CTlsContext(); // throws CInternetException (Security) when OpenSSL cannot set up
    ~CTlsContext();
    CTlsContext(const CTlsContext&) = delete;
    CTlsContext& operator=(const CTlsContext&) = delete;

    SSL_CTX* Handle() const { return context; }

    // Puts `ssl` over the socket `fd` and keeps the sessions it is given. False when
    // OpenSSL cannot.
    bool Attach(SSL* ssl, int fd);
    // A copy of the newest resumable session, owned by the caller, or null.
    SSL_SESSION* TakeNewestSession() const;
    // Sessions received so far.
    int SessionsReceived() const;

private:
    static int OnNewSession(SSL* ssl, SSL_SESSION* session);

    SSL_CTX* context = nullptr;
    mutable std::mutex mutex;
    SSL_SESSION* newest = nullptr;
    int received = 0;
};
