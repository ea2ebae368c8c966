#pragma once

#include "inet/ftpconnectionpool.h"
#include "inet/ftpnamecodec.h"
#include "inet/internetsession.h"
#include "inet/tlssessionstate.h"

#include <QHash>

#include <atomic>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

// What a session shares with the connections it made: options, wait hook, name codec and
// pool. Held by shared pointer from the session and from every connection, so that a
// connection may outlive its session. Thread-safe: the program logs in on a worker thread.
struct FtpSessionShared
{
    InternetOptions Options() const;
    void SetOptions(const InternetOptions& value);
    // Installs the hook for the calling thread only; each thread has its own (an empty hook
    // removes the calling thread's).
    void SetWaitHook(CInternetSession::WaitHook value);
    void ClearWaitHooks();
    // Calls the hook when the calling thread installed it; false means stop. A hook that
    // throws counts as stop; a hook is never entered again from inside itself.
    bool CallWaitHook();

    // What the session learned of a server ("host:port") that later connections need not
    // find out again.
    struct ServerFacts
    {
        std::optional<bool> passive;          // the data connection mode that last worked
        std::optional<bool> listsHiddenWithA; // "LIST -a" lists names beginning with "."
    };
    ServerFacts Facts(const QString& server) const;
    void SetPassive(const QString& server, bool passive);
    void SetListsHiddenWithA(const QString& server, bool takesIt);

    CFtpNameCodec codec;
    CFtpConnectionPool pool;
    CTlsSessionState tls;
    std::atomic<bool> closed{false}; // the session is gone: nothing more goes to the pool

private:
    mutable std::mutex mutex;
    InternetOptions options;
    std::map<std::thread::id, CInternetSession::WaitHook> hooks;
    QHash<QString, ServerFacts> servers;
};
