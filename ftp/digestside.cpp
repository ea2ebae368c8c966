#include "ftp/digestside.h"

#include "inet/ftpconnection.h"
#include "inet/internetexception.h"
#include "inet/internetsession.h"

#include <chrono>
#include <system_error>

std::atomic<int> CDigestSide::runningThreads{0};

std::unique_ptr<CDigestSide> CDigestSide::Start(const Login& login, const CServerChecks& checks)
{
    auto side = std::make_unique<CDigestSide>(login, checks);
    CDigestSide* self = side.get();
    ++runningThreads;
    try {
        side->thread = std::thread([self] {
            self->Run();
            --runningThreads;
        });
    } catch (const std::system_error&) {
        --runningThreads;
        return nullptr;
    }
    return side;
}

CDigestSide::CDigestSide(const Login& sideLogin, const CServerChecks& serverChecks)
    : login(sideLogin)
    , checks(serverChecks)
{}

CDigestSide::~CDigestSide()
{
    Stop();
    if (thread.joinable())
        thread.join();
}

void CDigestSide::Stop()
{
    {
        const std::lock_guard lock(mutex);
        stopRequested = true;
    }
    asked.notify_all();
    answered.notify_all();
}

int CDigestSide::RunningThreads()
{
    return runningThreads;
}

quint64 CDigestSide::Ask(const QString& path)
{
    const std::lock_guard lock(mutex);
    const quint64 ticket = nextTicket++;
    if (stopRequested)
        answers[ticket] = Answer{{}, true};
    else
        questions.emplace_back(ticket, path);
    asked.notify_all();
    return ticket;
}

std::optional<CDigestSide::Answer> CDigestSide::Take(quint64 ticket)
{
    const std::lock_guard lock(mutex);
    const auto found = answers.find(ticket);
    if (found == answers.end())
        return std::nullopt;
    Answer answer = std::move(found->second);
    answers.erase(found);
    return answer;
}

std::optional<CDigestSide::Answer> CDigestSide::Wait(quint64 ticket,
                                                     const std::function<void()>& whileWaiting,
                                                     const std::function<bool()>& giveUp)
{
    for (;;) {
        {
            std::unique_lock lock(mutex);
            if (answered.wait_for(lock, std::chrono::milliseconds(50),
                                  [&] { return answers.count(ticket) != 0; })) {
                Answer answer = std::move(answers[ticket]);
                answers.erase(ticket);
                return answer;
            }
        }
        whileWaiting();
        if (giveUp()) {
            Stop();
            return std::nullopt;
        }
    }
}

void CDigestSide::Drop(quint64 ticket)
{
    const std::lock_guard lock(mutex);
    if (answers.erase(ticket) == 0)
        dropped.insert(ticket);
}

void CDigestSide::Run()
{
    // A session of its own: the engine's session is used on the other thread meanwhile.
    std::unique_ptr<CInternetSession> session;
    std::unique_ptr<CFtpConnection> connection;
    bool unavailable = false;
    for (;;) {
        std::pair<quint64, QString> question;
        {
            std::unique_lock lock(mutex);
            asked.wait(lock, [this] { return stopRequested || !questions.empty(); });
            if (stopRequested)
                break;
            question = std::move(questions.front());
            questions.pop_front();
            if (dropped.erase(question.first) != 0)
                continue;
        }
        Answer answer;
        if (!unavailable) {
            try {
                if (!connection) {
                    InternetOptions options;
                    options.tlsMemory = login.tlsMemory;
                    session = std::make_unique<CInternetSession>(options);
                    // Every wait of this thread on the network asks whether it is still wanted.
                    session->SetWaitHook([this] { return !stopRequested; });
                    connection = session->GetFtpConnection(login.address, login.user,
                                                           login.password, 0, login.passive);
                }
                FtpCommandReply reply;
                for (const QString& command : checks.DigestCommands(question.second)) {
                    reply = connection->Query(command);
                    // The algorithm is chosen once for the connection, not before each file.
                    if (command.startsWith(QLatin1String("OPTS ")) && reply.code / 100 == 2)
                        checks.NoteHashChosen();
                }
                answer.digest = checks.DigestFromReply(reply.code, reply.text);
            } catch (const std::exception&) {
                // No login, or the connection broke: the engine asks over its own from now.
                unavailable = true;
            }
        }
        answer.unavailable = unavailable;
        const std::lock_guard lock(mutex);
        if (dropped.erase(question.first) == 0)
            answers[question.first] = std::move(answer);
        answered.notify_all();
    }
    // Whatever is still queued is answered, so that no wait is left without one.
    {
        const std::lock_guard lock(mutex);
        for (const auto& [ticket, path] : questions)
            answers[ticket] = Answer{{}, true};
        questions.clear();
        answered.notify_all();
    }
    try {
        if (connection)
            connection->Close();
    } catch (const std::exception&) {
    }
}
