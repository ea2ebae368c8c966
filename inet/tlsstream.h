#pragma once

#include "inet/ftpsocket.h"
#include "inet/ftpstream.h"
#include "inet/tlscertificate.h"

#include <QString>

#include <functional>
#include <memory>
#include <vector>

class CTlsContext;
typedef struct ssl_st SSL;

// TLS over a connected TCP socket that it owns: the control connection after AUTH TLS
// (or from the first byte), and every data connection of a protected control connection.
class CTlsStream : public CFtpStream
{
public:
    enum class Role { Control, Data };

    // `host` is the server's name as the user gave it: sent as SNI (names only) and the
    // name the certificate must carry. A data stream resumes the context's newest session.
    CTlsStream(std::shared_ptr<CTlsContext> context, CFtpSocket socket, const QString& host,
               Role role);
    ~CTlsStream() override;

    // Runs the handshake. Throws Security (no TLS, garbage, refused), Timeout or Cancelled.
    void Handshake(CFtpWaiter& waiter, FtpDeadline deadline, const QString& what);

    int Fd() const override { return socket.Fd(); }
    bool IsOpen() const override { return socket.IsValid(); }
    bool HasBufferedInput() const override;
    // 0 at the end of the data: a close_notify, or a connection simply ended (see
    // EndedCleanly).
    qint64 Read(char* buffer, qint64 count, CFtpWaiter& waiter, FtpDeadline deadline) override;
    qint64 Write(const char* data, qint64 count, CFtpWaiter& waiter, FtpDeadline deadline) override;
    // Sends close_notify, so that the server knows the data is complete, ends the sending
    // direction, and reads on until the server ends as well (a few seconds at most).
    bool Shutdown(CFtpWaiter& waiter, FtpDeadline deadline) override;
    void Reset() override;
    // Answers the server's close_notify with ours (without waiting), then closes: some
    // servers keep a session resumable only after a clean end on both sides.
    void Close() override;
    QString ErrorText() const override { return error; }
    CSocketAddress LocalAddress() const override { return socket.LocalAddress(); }
    CSocketAddress PeerAddress() const override { return socket.PeerAddress(); }

    // Whether the server ended the data with a close_notify, rather than just dropping the
    // connection, which may have cut it short.
    bool EndedCleanly() const override { return cleanEnd; }
    // "TLS 1.3", "TLS 1.2".
    QString ProtocolName() const;
    bool SessionReused() const;
    // A data stream under TLS 1.3 that did not resume, though the server had given tickets
    // to resume with (the newest was spent, or refused).
    bool SpentSessionOffered() const;
    // Reads what the server sends after the handshake until a session ticket has come (or
    // the server ends, or `deadline`): the data that comes meanwhile is not kept.
    void AwaitTicket(CFtpWaiter& waiter, FtpDeadline deadline);
    // The server's certificate; `problem` says why the system store does not vouch for it.
    TlsCertificateInfo PeerCertificate() const;

private:
    static constexpr qint64 kWouldBlock = -3;
    static constexpr int kDrainLimitMs = 3000;
    qint64 Outcome(int result);

    std::shared_ptr<CTlsContext> context;
    CFtpSocket socket;
    SSL* ssl = nullptr;
    short wanted = 0;
    // Reads and drops what the server sends until `done` answers true, the server ends the
    // stream, or `until` has come.
    void Discard(CFtpWaiter& waiter, FtpDeadline until, const std::function<bool()>& done);

    bool cleanEnd = false;
    bool ticketsSeen = false;
    bool established = false;
    bool broken = false;
    QString error;
    // Every problem the chain check met, in the order met (not only the last one).
    std::vector<long> verifyErrors;
};
