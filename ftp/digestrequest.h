#pragma once

#include "ftp/serverchecks.h"

#include <QByteArray>
#include <QString>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

// Asks the server for the digest of one file on a session and a connection of their own, on
// a thread of its own, so that the server computes it while the same file streams to this
// program on the main connection. Nothing passes between the threads but this object, held
// by both through a shared pointer: a request nobody waits for any more ends on its own.
class CDigestRequest
{
public:
    struct Login
    {
        QString address;
        QString user;
        QString password;
        bool passive = false;
    };

    // Null when no thread could be started (the caller then asks the server itself).
    static std::shared_ptr<CDigestRequest> Start(const Login& login, const CServerChecks& checks,
                                                 const QString& path);

    // The server's digest, or empty when it could not tell. Calls `whileWaiting` about every
    // 50 ms meanwhile; gives up (empty) as soon as `giveUp` answers true.
    QByteArray Wait(const std::function<void()>& whileWaiting, const std::function<bool()>& giveUp);

private:
    void Run(const Login& login, const CServerChecks& checks, const QString& path);

    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    QByteArray digest;
};
