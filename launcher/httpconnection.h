#pragma once

#include <QByteArrayView>
#include <QString>

#include <chrono>
#include <functional>

// One TCP connection to the update server over a non-blocking socket. Every wait is bounded
// by a time-out and calls the wait hook about every 20 ms, so that the windows stay painted
// and a Cancel is seen even while the server says nothing. The connection is closed by
// Close() or the destructor.
class CHttpConnection
{
public:
    enum class Status {
        Ok,
        Closed,   // the peer ended the connection (Receive only)
        TimedOut, // nothing happened within the time-out
        Failed,   // resolving, connecting, sending or receiving failed (see ErrorText)
        Stopped,  // the wait hook asked to stop
    };

    struct Received
    {
        Status status = Status::Failed;
        qsizetype count = 0;
    };

    // Returns false to stop the wait at once.
    using WaitHook = std::function<bool()>;

    explicit CHttpConnection(WaitHook hook = {});
    ~CHttpConnection();
    CHttpConnection(const CHttpConnection&) = delete;
    CHttpConnection& operator=(const CHttpConnection&) = delete;

    // Tries each address of `host` in turn within one time-out for all of them.
    Status Connect(const QString& host, quint16 port, std::chrono::milliseconds timeout);
    Status Send(QByteArrayView bytes, std::chrono::milliseconds timeout);
    // Waits for data and reads at most `capacity` bytes of it.
    Received Receive(char* buffer, qsizetype capacity, std::chrono::milliseconds timeout);
    void Close();

    QString ErrorText() const { return error; }

private:
    using Clock = std::chrono::steady_clock;
    Status Wait(short events, Clock::time_point deadline);
    Status ConnectTo(const void* address, unsigned length, int family, Clock::time_point deadline);

    WaitHook hook;
    int socketFd = -1;
    QString error;
};
