#pragma once

#include "ftp/serverchecks.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <thread>

class CTlsRunMemory;

// A connection of its own that asks the server for the digests of the files a transfer
// engine copies, on a thread of its own, while the engine's connection moves the next file
// (or, for a large download, the same file). One per engine and batch: it logs in at the first
// question and serves every later one in turn. Questions are tickets; their answers wait
// here until taken or dropped. The object owns its thread: Stop ends the side connection
// at its next wait on the network, and the destructor stops the thread and waits for it,
// so that none outlives the engine.
class CDigestSide
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

    // What the side connection learned of one file. `digest` is empty where the server
    // could not tell; `unavailable` where the side connection could not ask at all (no
    // login, a broken connection), so that the engine asks over its own.
    struct Answer
    {
        QByteArray digest;
        bool unavailable = false;
    };

    // Null when no thread could be started (the engine then asks the server itself).
    static std::unique_ptr<CDigestSide> Start(const Login& login, const CServerChecks& checks);
    CDigestSide(const Login& login, const CServerChecks& checks);
    ~CDigestSide();
    CDigestSide(const CDigestSide&) = delete;
    CDigestSide& operator=(const CDigestSide&) = delete;

    // Queues the question for the digest of `path`; the ticket is for its answer.
    quint64 Ask(const QString& path);
    // The answer to `ticket` once it is in, without waiting; taking it forgets it.
    std::optional<Answer> Take(quint64 ticket);
    // The answer to `ticket`, waiting for it. Calls `whileWaiting` about every 50 ms
    // meanwhile; gives up (nothing, and the side connection is stopped) as soon as `giveUp`
    // answers true.
    std::optional<Answer> Wait(quint64 ticket, const std::function<void()>& whileWaiting,
                               const std::function<bool()>& giveUp);
    // The answer to `ticket` is no longer wanted.
    void Drop(quint64 ticket);
    // Ends the side connection at its next wait on the network; questions still queued are
    // answered as unavailable.
    void Stop();

    // Side connections whose thread has not ended yet (tests wait for them to go).
    static int RunningThreads();

private:
    void Run();

    const Login login;
    CServerChecks checks; // of the side connection: what it has chosen on the server
    std::mutex mutex;
    std::condition_variable asked;
    std::condition_variable answered;
    std::deque<std::pair<quint64, QString>> questions;
    std::map<quint64, Answer> answers;
    std::set<quint64> dropped;
    quint64 nextTicket = 1;
    std::atomic<bool> stopRequested{false};
    std::thread thread;

    static std::atomic<int> runningThreads;
};
