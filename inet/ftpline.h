#pragma once

#include "inet/ftpconnection.h"
#include "inet/ftpreplyparsers.h"
#include "inet/ftpreplyreader.h"
#include "inet/ftpstream.h"
#include "inet/ftpwaiter.h"
#include "inet/socketaddress.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>

class CTlsContext;

// One physical control connection and everything that belongs to it alone: the byte
// stream (plain, or TLS once negotiated), the replies read from it, what its TLS handshake
// and its login showed, the transfer type set on it, and whether it is lost. A reconnect
// replaces the whole value, so nothing of the old connection lingers and nothing of the
// new one is left out. What the control connection learned of the server (its data modes,
// the login folder) lives beside it, in CFtpControl.
//
// A line that times out, is cancelled in the middle of a command or a reply, breaks or
// hears garbage is lost: its replies can no longer be matched to its commands, so every
// later call fails at once with InetErrorKind::Closed.
class CFtpLine
{
public:
    CFtpLine();
    ~CFtpLine();
    CFtpLine(CFtpLine&&) noexcept;
    CFtpLine& operator=(CFtpLine&&) noexcept;

    bool IsLost() const { return lost; }
    void EnsureUsable() const; // throws Closed
    // Marks the line lost (the first reason is kept) and closes the stream.
    void MarkLost(const QString& reason);

    // Writes `line` and its CRLF; throws Timeout, Closed or Cancelled (and the line is lost).
    void Send(const QByteArray& line, CFtpWaiter& waiter, FtpDeadline deadline);
    // Takes what has arrived, waiting until `deadline` for something; false when nothing
    // came. Throws when the connection broke.
    bool Receive(CFtpWaiter& waiter, FtpDeadline deadline);
    // A reply already received, if any.
    std::optional<FtpReply> TakeReply();
    // The next reply, preliminary ones included.
    FtpReply ReadReply(CFtpWaiter& waiter, FtpDeadline deadline);
    // Replies until the first that is not preliminary.
    FtpReply ReadFinalReply(CFtpWaiter& waiter, FtpDeadline deadline);
    // The next reply if one comes before `deadline`; a time-out here loses nothing.
    std::optional<FtpReply> PollReply(CFtpWaiter& waiter, FtpDeadline deadline);
    bool HasBufferedReply() const;
    bool HasPartialReply() const { return reader.HasPartialReply(); }

    // The stream under the line; TLS replaces it once after AUTH TLS.
    std::unique_ptr<CFtpStream> stream;
    CSocketAddress peer;
    CSocketAddress local;
    // Set once the line is TLS: the data connections resume its session and must show
    // the same certificate.
    std::shared_ptr<CTlsContext> tlsContext;
    QByteArray certificateFingerprint;
    QString securityName; // "TLS 1.3", "TLS 1.2"; empty on a plain line
    FtpFeatures features; // FEAT of the login on this line
    std::optional<TransferType> currentType;

private:
    CFtpReplyReader reader;
    bool lost = false;
    QString lostReason;
};
