#include "ftp/digestrequest.h"

#include "inet/ftpconnection.h"
#include "inet/internetexception.h"
#include "inet/internetsession.h"

#include <chrono>
#include <system_error>

std::atomic<int> CDigestRequest::runningThreads{0};

std::unique_ptr<CDigestRequest>
CDigestRequest::Start(const Login& login, const CServerChecks& checks, const QString& path)
{
    auto request = std::make_unique<CDigestRequest>();
    CDigestRequest* self = request.get();
    ++runningThreads;
    try {
        request->thread = std::thread([self, login, checks, path] {
            self->Run(login, checks, path);
            --runningThreads;
        });
    } catch (const std::system_error&) {
        --runningThreads;
        return nullptr;
    }
    return request;
}

CDigestRequest::~CDigestRequest()
{
    Stop();
    if (thread.joinable())
        thread.join();
}

void CDigestRequest::Stop()
{
    stopRequested = true;
}

int CDigestRequest::RunningThreads()
{
    return runningThreads;
}

void CDigestRequest::Run(const Login& login, const CServerChecks& checks, const QString& path)
{
    QByteArray answer;
    try {
        // A session of its own: the program's session is used on the other thread meanwhile.
        InternetOptions options;
        options.tlsMemory = login.tlsMemory;
        CInternetSession session(options);
        // Every wait of this thread on the network asks whether the copy still wants it.
        session.SetWaitHook([this] { return !stopRequested; });
        const std::unique_ptr<CFtpConnection> connection =
            session.GetFtpConnection(login.address, login.user, login.password, 0, login.passive);
        FtpCommandReply reply;
        for (const QString& command : checks.DigestCommands(path))
            reply = connection->Query(command);
        answer = checks.DigestFromReply(reply.code, reply.text);
        connection->Close();
    } catch (const CInternetException&) {
    } catch (const std::exception&) {
    }
    const std::lock_guard lock(mutex);
    digest = answer;
    done = true;
    finished.notify_all();
}

QByteArray CDigestRequest::Wait(const std::function<void()>& whileWaiting,
                                const std::function<bool()>& giveUp)
{
    std::unique_lock lock(mutex);
    while (!done) {
        if (finished.wait_for(lock, std::chrono::milliseconds(50), [this] { return done; }))
            break;
        lock.unlock();
        whileWaiting();
        const bool stop = giveUp();
        lock.lock();
        if (stop) {
            Stop();
            return {};
        }
    }
    return digest;
}
