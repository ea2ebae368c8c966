#pragma once

#include <chrono>

#include <poll.h>

struct FtpSessionShared;

// The waits of one call on the network: each is bounded by a deadline and keeps the
// session's wait hook called about every 50 ms, so that the user interface stays painted
// and can stop the call (CInternetException of kind Cancelled).
class CFtpWaiter
{
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kHookInterval{50};

    // Without `stoppable` the hook is still called, so that the windows stay painted, but
    // its answer is not heeded (the clean-up after a stop, which is short and bounded).
    explicit CFtpWaiter(FtpSessionShared* shared, bool stoppable = true);

    // Until one of `fds` reports an event (true) or `deadline` passes (false).
    bool Wait(pollfd* fds, nfds_t count, Clock::time_point deadline);
    bool Wait(int fd, short events, Clock::time_point deadline);
    // Calls the hook when its interval has passed; throws Cancelled when it says stop and
    // the wait is stoppable.
    void CheckHook();

private:
    FtpSessionShared* shared;
    bool stoppable;
    Clock::time_point lastHook;
};

using FtpDeadline = CFtpWaiter::Clock::time_point;

// A deadline `limit` from now.
FtpDeadline DeadlineIn(std::chrono::milliseconds limit);
