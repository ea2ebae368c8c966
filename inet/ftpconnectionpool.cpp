#include "inet/ftpconnectionpool.h"

#include "inet/ftpcontrol.h"

CFtpConnectionPool::CFtpConnectionPool() = default;
CFtpConnectionPool::~CFtpConnectionPool() = default;

void CFtpConnectionPool::TakeExpired(std::chrono::milliseconds idleLimit, Controls& expired)
{
    const Clock::time_point now = Clock::now();
    for (auto it = idle.begin(); it != idle.end();) {
        if (now - it->since > idleLimit) {
            expired.push_back(std::move(it->control));
            it = idle.erase(it);
        } else {
            ++it;
        }
    }
}

CFtpConnectionPool::Controls CFtpConnectionPool::Put(const QString& key,
                                                     std::unique_ptr<CFtpControl> control,
                                                     int limit, std::chrono::milliseconds idleLimit)
{
    Controls out;
    std::lock_guard lock(mutex);
    TakeExpired(idleLimit, out);
    idle.push_back(Idle{key, std::move(control), Clock::now()});
    int count = 0;
    for (const Idle& entry : idle)
        count += entry.key == key;
    for (auto it = idle.begin(); count > limit && it != idle.end();) {
        if (it->key == key) {
            out.push_back(std::move(it->control));
            it = idle.erase(it);
            --count;
        } else {
            ++it;
        }
    }
    return out;
}

std::unique_ptr<CFtpControl>
CFtpConnectionPool::Take(const QString& key, std::chrono::milliseconds idleLimit, Controls& expired)
{
    std::lock_guard lock(mutex);
    TakeExpired(idleLimit, expired);
    for (auto it = idle.rbegin(); it != idle.rend(); ++it) {
        if (it->key == key) {
            std::unique_ptr<CFtpControl> control = std::move(it->control);
            idle.erase(std::next(it).base());
            return control;
        }
    }
    return nullptr;
}

CFtpConnectionPool::Controls CFtpConnectionPool::TakeAll()
{
    Controls out;
    std::lock_guard lock(mutex);
    for (Idle& entry : idle)
        out.push_back(std::move(entry.control));
    idle.clear();
    return out;
}

int CFtpConnectionPool::Count(std::chrono::milliseconds idleLimit) const
{
    const Clock::time_point now = Clock::now();
    std::lock_guard lock(mutex);
    int count = 0;
    for (const Idle& entry : idle)
        count += now - entry.since <= idleLimit;
    return count;
}
