#pragma once

#include "inet/ftpsocket.h"
#include "inet/ftpstream.h"

#include <memory>

// The stream of a plain TCP connection: the socket as it is.
class CFtpPlainStream : public CFtpStream
{
public:
    explicit CFtpPlainStream(CFtpSocket socket);
    static std::unique_ptr<CFtpStream> Over(CFtpSocket socket);

    int Fd() const override { return socket.Fd(); }
    bool IsOpen() const override { return socket.IsValid(); }
    bool HasBufferedInput() const override { return false; }
    qint64 Read(char* buffer, qint64 count, CFtpWaiter& waiter, FtpDeadline deadline) override;
    qint64 Write(const char* data, qint64 count, CFtpWaiter& waiter, FtpDeadline deadline) override;
    bool Shutdown(CFtpWaiter& waiter, FtpDeadline deadline) override;
    void Reset() override;
    void Close() override;
    QString ErrorText() const override;
    CSocketAddress LocalAddress() const override { return socket.LocalAddress(); }
    CSocketAddress PeerAddress() const override { return socket.PeerAddress(); }

private:
    CFtpSocket socket;
    int lastError = 0;
};
