#pragma once

#include "inet/ftpwaiter.h"
#include "inet/tlscertificate.h"

#include <QString>

#include <memory>

class CTlsContext;
typedef struct ssl_st SSL;

// TLS over a connected non-blocking socket that someone else owns and closes (the
// CFtpSocket it was made for). Receive and Send keep the socket's shape: bytes moved,
// kWouldBlock, kFailed, and Receive's 0 at the end; after kWouldBlock, WaitEvents says
// whether to wait for reading or writing, and buffered plain text (HasBuffered) must be
// read before waiting at all.
class CTlsStream
{
public:
    enum class Role { Control, Data };

    // `host` is the server's name as the user gave it: sent as SNI (names only) and the
    // name the certificate must carry. A data stream resumes the context's newest session.
    CTlsStream(std::shared_ptr<CTlsContext> context, int fd, const QString& host, Role role);
    ~CTlsStream();
    CTlsStream(const CTlsStream&) = delete;
    CTlsStream& operator=(const CTlsStream&) = delete;

    // Runs the handshake. Throws Security (no TLS, garbage, refused), Timeout or Cancelled.
    void Handshake(CFtpWaiter& waiter, CFtpWaiter::Clock::time_point deadline,
                   const QString& what);

    static constexpr qint64 kWouldBlock = -1;
    static constexpr qint64 kFailed = -2;
    qint64 Receive(char* buffer, qint64 count);
    qint64 Send(const char* data, qint64 count);
    short WaitEvents() const { return wanted; }
    bool HasBuffered() const;
    // After Receive returned 0: whether the server ended with a close_notify (true) or
    // just dropped the connection, which may have cut the data short.
    bool EndedCleanly() const { return cleanEnd; }
    // Why the last call failed.
    const QString& ErrorText() const { return error; }

    // Sends close_notify, so that the server knows the data is complete. Does not wait
    // for the server's own. False when it could not be sent before `deadline`.
    bool Shutdown(CFtpWaiter& waiter, CFtpWaiter::Clock::time_point deadline);

    // "TLS 1.3", "TLS 1.2".
    QString ProtocolName() const;
    bool SessionReused() const;
    // The server's certificate; `problem` says why the system store does not vouch for it.
    TlsCertificateInfo PeerCertificate() const;

private:
    qint64 Failure(int result);

    std::shared_ptr<CTlsContext> context;
    SSL* ssl = nullptr;
    int fd;
    short wanted = 0;
    bool cleanEnd = false;
    QString error;
};
