#pragma once

#include "inet/ftpwaiter.h"
#include "inet/socketaddress.h"

#include <QString>
#include <QtGlobal>

// The byte stream under a control or a data connection: a plain TCP socket, or a layer
// over one (TLS). The connections above it only read, write and end it. Reads and writes
// wait up to their deadline and keep the wait hook called; a hook that says stop throws
// CInternetException of kind Cancelled out of them.
class CFtpStream
{
public:
    static constexpr qint64 kTimedOut = -1;
    static constexpr qint64 kFailed = -2;

    virtual ~CFtpStream() = default;

    // The descriptor to poll when the stream is watched beside others.
    virtual int Fd() const = 0;
    virtual bool IsOpen() const = 0;
    // Whether bytes can be read that a poll on Fd() does not show (a layer's own buffer).
    virtual bool HasBufferedInput() const = 0;

    // Up to `count` bytes (> 0); 0 when the peer ended the data; kTimedOut when nothing
    // came before `deadline` (a deadline already past makes it a look without waiting);
    // kFailed when the connection broke (ErrorText says why).
    virtual qint64 Read(char* buffer, qint64 count, CFtpWaiter& waiter, FtpDeadline deadline) = 0;
    // The bytes taken (> 0, perhaps fewer than `count`), kTimedOut or kFailed.
    virtual qint64 Write(const char* data, qint64 count, CFtpWaiter& waiter,
                         FtpDeadline deadline) = 0;
    // Ends the sending direction cleanly, so that the peer reads the end of the data.
    virtual bool Shutdown(CFtpWaiter& waiter, FtpDeadline deadline) = 0;
    // Drops the connection so that the peer sees a reset, never a clean end of the data.
    virtual void Reset() = 0;
    virtual void Close() = 0;
    // Whether the data ended as the protocol ends it, not merely because the connection
    // closed: always for plain TCP, only after a close_notify for TLS.
    virtual bool EndedCleanly() const { return true; }

    virtual QString ErrorText() const = 0;
    virtual CSocketAddress LocalAddress() const = 0;
    virtual CSocketAddress PeerAddress() const = 0;
};
