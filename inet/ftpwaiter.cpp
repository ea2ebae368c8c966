#include "inet/ftpwaiter.h"

#include "inet/ftpsessionshared.h"
#include "inet/internetexception.h"

#include <cerrno>

CFtpWaiter::CFtpWaiter(FtpSessionShared* sessionShared, bool canStop)
    : shared(sessionShared)
    , stoppable(canStop)
    , lastHook(Clock::now())
{}

FtpDeadline DeadlineIn(std::chrono::milliseconds limit)
{
    return CFtpWaiter::Clock::now() + limit;
}

void CFtpWaiter::CheckHook()
{
    if (!shared)
        return;
    const Clock::time_point now = Clock::now();
    if (now - lastHook < kHookInterval)
        return;
    lastHook = now;
    if (!shared->CallWaitHook() && stoppable)
        throw CInternetException(InetErrorKind::Cancelled,
                                 QStringLiteral("The operation was cancelled."));
}

bool CFtpWaiter::Wait(pollfd* fds, nfds_t count, Clock::time_point deadline)
{
    using std::chrono::duration_cast;
    using std::chrono::milliseconds;
    for (;;) {
        const Clock::time_point now = Clock::now();
        const Clock::time_point hookDue = lastHook + kHookInterval;
        const Clock::time_point until = shared && hookDue < deadline ? hookDue : deadline;
        const auto left = until > now ? duration_cast<milliseconds>(until - now) + milliseconds(1)
                                      : milliseconds(0);
        const int ready = poll(fds, count, static_cast<int>(left.count()));
        if (ready > 0)
            return true;
        if (ready < 0 && errno != EINTR)
            return true; // the next read or write on the socket tells what is wrong
        if (Clock::now() >= deadline)
            return false;
        CheckHook();
    }
}

bool CFtpWaiter::Wait(int fd, short events, Clock::time_point deadline)
{
    pollfd item{fd, events, 0};
    return Wait(&item, 1, deadline);
}
