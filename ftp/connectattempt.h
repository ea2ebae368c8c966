#pragma once

#include "inet/internetexception.h"
#include "inet/tlscertificate.h"

#include <QString>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

class CFtpConnection;
class CInternetSession;

// The hand-over between Connect on the user-interface thread and the login on its worker
// thread. Both hold it by shared pointer, and nothing else passes between them: the worker
// never touches the application state, so a login that ends after Connect has given up
// cannot install anything there.
//
// The session stays owned by the application while Connect waits. When the wait gives up,
// Abandon hands the session over to this object and stops the login at its next wait on the
// network; the worker then closes what it has and lets the session go. The threads are kept
// (Launch) so that EndAll can wait for them before the program ends.
//
// The login may need the user: a server certificate nobody vouches for is asked about on
// the user-interface thread (Ask blocks the worker until Wait has the answer), and the
// worker names its current step (SetStep) for the status window.
class CConnectAttempt
{
public:
    CConnectAttempt(CInternetSession& session, const QString& server, const QString& user,
                    const QString& password);
    ~CConnectAttempt();
    CConnectAttempt(const CConnectAttempt&) = delete;
    CConnectAttempt& operator=(const CConnectAttempt&) = delete;

    // The worker's body: logs in and hands the connection (or the failure) over, or closes
    // it when nobody waits for it any more.
    void Run();

    // Waits at most `limit` for the login to end, calling `whileWaiting` every `slice`
    // meanwhile (without the lock held). True when the worker has handed its result over.
    // A question of the worker goes to `answer` and a new step to `showStep`; the time the
    // user takes to answer does not count against `limit`.
    using AnswerFunction = std::function<TlsTrustAnswer(const TlsCertificateInfo&)>;
    using StepFunction = std::function<void(const QString&)>;
    bool Wait(std::chrono::milliseconds limit, std::chrono::milliseconds slice,
              const std::function<void()>& whileWaiting, const AnswerFunction& answer = {},
              const StepFunction& showStep = {});

    // Worker side: asks the waiting thread about `certificate`; Refuse when nobody waits.
    TlsTrustAnswer Ask(const TlsCertificateInfo& certificate);
    void SetStep(const QString& text);
    // After a failed login: why, when the library said so.
    std::optional<CInternetException> Error() const;
    // After a successful Wait: the logged-in connection, or null when the login failed.
    std::unique_ptr<CFtpConnection> TakeConnection();
    bool Failed() const;
    // Gives up on the login. A login that has ended meanwhile is closed here; one still
    // running is closed by the worker, which also releases `session`.
    void Abandon(std::unique_ptr<CInternetSession> session);

    // Runs `attempt` on a worker thread of its own; false when no thread could be started.
    static bool Launch(const std::shared_ptr<CConnectAttempt>& attempt);
    // Waits for every worker ever launched to end (an abandoned one stops at its next wait
    // on the network): nothing of a login may run while the program ends.
    static void EndAll();

    // Workers whose login has not ended yet (tests wait for a discarded login to go).
    static int RunningWorkers();

private:
    mutable std::mutex mutex;
    std::condition_variable finished;
    CInternetSession& session; // alive until Run has returned (see Abandon)
    const QString server;
    const QString user;
    const QString password;

    bool done = false;
    bool failed = false;
    bool abandoned = false;
    std::unique_ptr<CFtpConnection> connection;
    std::unique_ptr<CInternetSession> abandonedSession;
    std::optional<CInternetException> error;
    std::optional<TlsCertificateInfo> question;
    std::optional<TlsTrustAnswer> answered;
    QString step;
    bool stepShown = true;

    static std::atomic<int> runningWorkers;
};
