#include "inet/ftpsessionshared.h"

InternetOptions FtpSessionShared::Options() const
{
    std::lock_guard lock(mutex);
    return options;
}

void FtpSessionShared::SetOptions(const InternetOptions& value)
{
    std::lock_guard lock(mutex);
    options = value;
}

void FtpSessionShared::SetWaitHook(CInternetSession::WaitHook value)
{
    std::lock_guard lock(mutex);
    if (value)
        hooks[std::this_thread::get_id()] = std::move(value);
    else
        hooks.erase(std::this_thread::get_id());
}

void FtpSessionShared::ClearWaitHooks()
{
    std::lock_guard lock(mutex);
    hooks.clear();
}

bool FtpSessionShared::CallWaitHook()
{
    thread_local bool inside = false;
    if (inside)
        return true;
    CInternetSession::WaitHook current;
    {
        std::lock_guard lock(mutex);
        const auto found = hooks.find(std::this_thread::get_id());
        if (found == hooks.end())
            return true;
        current = found->second;
    }
    inside = true;
    bool goOn = false;
    try {
        goOn = current();
    } catch (...) {
        goOn = false;
    }
    inside = false;
    return goOn;
}

FtpSessionShared::ServerFacts FtpSessionShared::Facts(const QString& server) const
{
    std::lock_guard lock(mutex);
    return servers.value(server);
}

void FtpSessionShared::SetPassive(const QString& server, bool passive)
{
    std::lock_guard lock(mutex);
    servers[server].passive = passive;
}

void FtpSessionShared::SetListsHiddenWithA(const QString& server, bool takesIt)
{
    std::lock_guard lock(mutex);
    servers[server].listsHiddenWithA = takesIt;
}
