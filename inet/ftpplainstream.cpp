#include "inet/ftpplainstream.h"

#include <cerrno>

CFtpPlainStream::CFtpPlainStream(CFtpSocket connected)
    : socket(std::move(connected))
{}

std::unique_ptr<CFtpStream> CFtpPlainStream::Over(CFtpSocket socket)
{
    return std::make_unique<CFtpPlainStream>(std::move(socket));
}

qint64 CFtpPlainStream::Read(char* buffer, qint64 count, CFtpWaiter& waiter, FtpDeadline deadline)
{
    for (;;) {
        const qint64 got = socket.Receive(buffer, count);
        if (got >= 0)
            return got;
        if (got == CFtpSocket::kFailed) {
            lastError = errno;
            return kFailed;
        }
        if (!waiter.Wait(socket.Fd(), POLLIN, deadline))
            return kTimedOut;
    }
}

qint64 CFtpPlainStream::Write(const char* data, qint64 count, CFtpWaiter& waiter,
                              FtpDeadline deadline)
{
    for (;;) {
        const qint64 sent = socket.Send(data, count);
        if (sent > 0)
            return sent;
        if (sent == CFtpSocket::kFailed) {
            lastError = errno;
            return kFailed;
        }
        if (!waiter.Wait(socket.Fd(), POLLOUT, deadline))
            return kTimedOut;
    }
}

bool CFtpPlainStream::Shutdown(CFtpWaiter&, FtpDeadline)
{
    socket.ShutdownSend();
    return true;
}

void CFtpPlainStream::Reset()
{
    socket.Reset();
}

void CFtpPlainStream::Close()
{
    socket.Close();
}

QString CFtpPlainStream::ErrorText() const
{
    return SystemErrorText(lastError);
}
