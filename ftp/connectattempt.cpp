#include "ftp/connectattempt.h"

#include "inet/ftpconnection.h"
#include "inet/internetexception.h"
#include "inet/internetsession.h"

#include <system_error>
#include <thread>
#include <vector>

std::atomic<int> CConnectAttempt::runningWorkers{0};

namespace {

// Every worker thread launched and not yet joined, with whether its body has returned.
struct Worker
{
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> ended;
};
// Joined at the latest when the program's statics go: a joinable thread must never be
// destroyed (that ends the program on the spot).
struct WorkerList
{
    std::vector<Worker> list;
    ~WorkerList()
    {
        for (Worker& worker : list)
            worker.thread.join();
    }
};
std::mutex workersMutex;
WorkerList workers;

} // namespace

bool CConnectAttempt::Launch(const std::shared_ptr<CConnectAttempt>& attempt)
{
    std::lock_guard lock(workersMutex);
    // The ones that are over are joined now, so that the list stays short.
    for (auto it = workers.list.begin(); it != workers.list.end();) {
        if (*it->ended) {
            it->thread.join();
            it = workers.list.erase(it);
        } else {
            ++it;
        }
    }
    auto ended = std::make_shared<std::atomic<bool>>(false);
    try {
        workers.list.push_back({std::thread([attempt, ended] {
                                    attempt->Run();
                                    *ended = true;
                                }),
                                ended});
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void CConnectAttempt::EndAll()
{
    std::vector<Worker> all;
    {
        std::lock_guard lock(workersMutex);
        all.swap(workers.list);
    }
    for (Worker& worker : all)
        worker.thread.join();
}

CConnectAttempt::CConnectAttempt(CInternetSession& loginSession, const QString& serverText,
                                 const QString& userName, const QString& userPassword)
    : session(loginSession)
    , server(serverText)
    , user(userName)
    , password(userPassword)
{}

CConnectAttempt::~CConnectAttempt()
{
    if (connection)
        connection->Close();
}

void CConnectAttempt::Run()
{
    ++runningWorkers;
    std::unique_ptr<CFtpConnection> made;
    bool loginFailed = false;
    // This thread's waits on the network end as soon as nobody waits for the login.
    session.SetWaitHook([this] {
        std::lock_guard lock(mutex);
        return !abandoned;
    });
    try {
        made = session.GetFtpConnection(server, user, password, 0, false);
    } catch (const CInternetException& e) {
        loginFailed = true;
        std::lock_guard lock(mutex);
        error = e;
    } catch (const std::exception&) {
        // Nothing may leave a thread's body; any failure is a failed login.
        loginFailed = true;
    }
    if (!made)
        loginFailed = true;
    session.SetWaitHook({});

    std::unique_ptr<CInternetSession> orphan;
    {
        std::lock_guard lock(mutex);
        if (!abandoned) {
            connection = std::move(made);
            failed = loginFailed;
            done = true;
            --runningWorkers;
            finished.notify_all();
            return;
        }
        orphan = std::move(abandonedSession);
    }
    // Nobody waits for this login any more: it must never be used.
    if (made)
        made->Close();
    made.reset();
    orphan.reset();
    --runningWorkers;
}

bool CConnectAttempt::Wait(std::chrono::milliseconds limit, std::chrono::milliseconds slice,
                           const std::function<void()>& whileWaiting, const AnswerFunction& answer,
                           const StepFunction& showStep)
{
    using Clock = std::chrono::steady_clock;
    Clock::time_point deadline = Clock::now() + limit;
    std::unique_lock lock(mutex);
    while (!done) {
        if (!stepShown) {
            stepShown = true;
            const QString text = step;
            if (showStep) {
                lock.unlock();
                showStep(text);
                lock.lock();
            }
            continue;
        }
        if (question && !answered) {
            const TlsCertificateInfo asked = *question;
            const Clock::time_point askedAt = Clock::now();
            lock.unlock();
            const TlsTrustAnswer reply = answer ? answer(asked) : TlsTrustAnswer::Refuse;
            lock.lock();
            // The user's time is not the server's.
            deadline += Clock::now() - askedAt;
            answered = reply;
            finished.notify_all();
            continue;
        }
        const Clock::time_point now = Clock::now();
        if (now >= deadline)
            return false;
        finished.wait_until(lock, std::min(deadline, now + slice));
        if (!done && whileWaiting) {
            lock.unlock();
            whileWaiting();
            lock.lock();
        }
    }
    return true;
}

TlsTrustAnswer CConnectAttempt::Ask(const TlsCertificateInfo& certificate)
{
    std::unique_lock lock(mutex);
    if (abandoned)
        return TlsTrustAnswer::Refuse;
    question = certificate;
    answered.reset();
    finished.notify_all();
    finished.wait(lock, [this] { return answered.has_value() || abandoned; });
    const TlsTrustAnswer reply = abandoned ? TlsTrustAnswer::Refuse : *answered;
    question.reset();
    answered.reset();
    return reply;
}

void CConnectAttempt::SetStep(const QString& text)
{
    std::lock_guard lock(mutex);
    step = text;
    stepShown = false;
    finished.notify_all();
}

std::optional<CInternetException> CConnectAttempt::Error() const
{
    std::lock_guard lock(mutex);
    return error;
}

std::unique_ptr<CFtpConnection> CConnectAttempt::TakeConnection()
{
    std::lock_guard lock(mutex);
    return std::move(connection);
}

bool CConnectAttempt::Failed() const
{
    std::lock_guard lock(mutex);
    return failed;
}

void CConnectAttempt::Abandon(std::unique_ptr<CInternetSession> loginSession)
{
    std::unique_ptr<CFtpConnection> late;
    {
        std::lock_guard lock(mutex);
        if (!done) {
            abandoned = true;
            abandonedSession = std::move(loginSession);
            finished.notify_all(); // a worker waiting for an answer gets a refusal
            return;
        }
        // The login ended between the wait's last look and now: too late all the same.
        late = std::move(connection);
    }
    if (late)
        late->Close();
    late.reset();
    loginSession.reset();
}

int CConnectAttempt::RunningWorkers()
{
    return runningWorkers;
}
