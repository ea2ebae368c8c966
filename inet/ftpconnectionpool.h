#pragma once

#include <QString>

#include <chrono>
#include <memory>
#include <mutex>
#include <vector>

class CFtpControl;

// The idle, logged-in control connections of a session, by server and user. It owns what
// it holds; what it gives back (taken, evicted or expired) belongs to the caller, who
// closes it outside the pool's lock. Thread-safe.
class CFtpConnectionPool
{
public:
    using Controls = std::vector<std::unique_ptr<CFtpControl>>;

    CFtpConnectionPool();
    ~CFtpConnectionPool();
    CFtpConnectionPool(const CFtpConnectionPool&) = delete;
    CFtpConnectionPool& operator=(const CFtpConnectionPool&) = delete;

    // Keeps `control` under `key`; gives back the oldest of that key beyond `limit` and
    // every connection idle longer than `idleLimit`.
    Controls Put(const QString& key, std::unique_ptr<CFtpControl> control, int limit,
                 std::chrono::milliseconds idleLimit);
    // The connection of `key` idle the shortest time, if any; those idle too long go to
    // `expired`.
    std::unique_ptr<CFtpControl> Take(const QString& key, std::chrono::milliseconds idleLimit,
                                      Controls& expired);
    Controls TakeAll();
    // Connections that have not idled longer than `idleLimit`.
    int Count(std::chrono::milliseconds idleLimit) const;

private:
    using Clock = std::chrono::steady_clock;
    struct Idle
    {
        QString key;
        std::unique_ptr<CFtpControl> control;
        Clock::time_point since;
    };
    void TakeExpired(std::chrono::milliseconds idleLimit, Controls& expired);

    mutable std::mutex mutex;
    std::vector<Idle> idle; // oldest first
};
