#pragma once

#include "inet/ftpwaiter.h"
#include "inet/socketaddress.h"

#include <QString>

#include <vector>

// A non-blocking TCP socket that it owns and closes.
class CFtpSocket
{
public:
    CFtpSocket() = default;
    explicit CFtpSocket(int fd);
    ~CFtpSocket();
    CFtpSocket(CFtpSocket&& other) noexcept;
    CFtpSocket& operator=(CFtpSocket&& other) noexcept;
    CFtpSocket(const CFtpSocket&) = delete;
    CFtpSocket& operator=(const CFtpSocket&) = delete;

    // Connects to one of `addresses` before `deadline`: they are tried in order, the next
    // one starting while the one before is still pending after 250 ms, and the first to
    // accept wins. Throws Connect (all refused or unreachable) or Timeout, naming `what`.
    static CFtpSocket Connect(const std::vector<CSocketAddress>& addresses, FtpDeadline deadline,
                              CFtpWaiter& waiter, const QString& what);
    // Listens on `local`'s host with a port of the system's choice; invalid on failure.
    static CFtpSocket Listen(const CSocketAddress& local);
    // Takes a pending connection; invalid when none is there.
    CFtpSocket Accept(CSocketAddress& peer) const;

    bool IsValid() const { return fd >= 0; }
    int Fd() const { return fd; }
    void Close();
    // Closes with a reset (linger 0): the peer sees the connection broken off, not ended.
    void Reset();
    // Ends the sending direction, so that the peer reads the end of the data.
    void ShutdownSend();

    CSocketAddress LocalAddress() const;
    CSocketAddress PeerAddress() const;

    // > 0 bytes moved; 0 the peer ended (Receive only); kWouldBlock; kFailed (errno set).
    static constexpr qint64 kWouldBlock = -1;
    static constexpr qint64 kFailed = -2;
    qint64 Receive(char* buffer, qint64 count) const;
    qint64 Send(const char* data, qint64 count) const;

private:
    int fd = -1;
};

// The text of the last system error.
QString SystemErrorText(int error);
