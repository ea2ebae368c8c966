#pragma once

#include "ftp/serverchecks.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

class CTlsRunMemory;

// Asks the server for the digest of one file on a session and a connection of their own, on
// a thread of its own, so that the server computes it while the same file streams to this
// program on the main connection. The request owns its thread: giving up (a cancel) stops
// the side connection at its next wait, and the destructor stops the thread and waits for
// it, so that none outlives the copy that started it.
class CDigestRequest
{
public:
    struct Login
    {
        QString address;
        QString user;
        QString password;
        bool passive = false;
        // The run's TLS decisions: a certificate accepted for this run holds here too.
        std::shared_ptr<CTlsRunMemory> tlsMemory;
    };

    // Null when no thread could be started (the caller then asks the server itself).
    static std::unique_ptr<CDigestRequest> Start(const Login& login, const CServerChecks& checks,
                                                 const QString& path);
    CDigestRequest() = default;
    ~CDigestRequest();
    CDigestRequest(const CDigestRequest&) = delete;
    CDigestRequest& operator=(const CDigestRequest&) = delete;

    // The server's digest, or empty when it could not tell. Calls `whileWaiting` about every
    // 50 ms meanwhile; gives up (empty, and the side connection is stopped) as soon as
    // `giveUp` answers true.
    QByteArray Wait(const std::function<void()>& whileWaiting, const std::function<bool()>& giveUp);
    // Ends the side connection at its next wait on the network.
    void Stop();

    // Side connections whose thread has not ended yet (tests wait for them to go).
    static int RunningThreads();

private:
    void Run(const Login& login, const CServerChecks& checks, const QString& path);

    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    QByteArray digest;
    std::atomic<bool> stopRequested{false};
    std::thread thread;

    static std::atomic<int> runningThreads;
};
