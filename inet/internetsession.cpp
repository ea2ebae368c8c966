#include "inet/internetsession.h"

#include "inet/ftpconnection.h"
#include "inet/ftpcontrol.h"
#include "inet/ftpsecurity.h"
#include "inet/ftpsessionshared.h"
#include "inet/hostresolver.h"

CInternetSession::CInternetSession(const InternetOptions& initial)
    : shared(std::make_shared<FtpSessionShared>())
    , options(initial)
{
    shared->SetOptions(initial);
    shared->tls.SetMemory(initial.tlsMemory);
}

CInternetSession::~CInternetSession()
{
    shared->closed = true;
    Close();
    // The hook belongs to whoever owns the session; connections that outlive it wait
    // without it.
    shared->ClearWaitHooks();
}

void CInternetSession::SetWaitHook(WaitHook hook)
{
    shared->SetWaitHook(std::move(hook));
}

void CInternetSession::SetCertificateHook(CertificateHook hook)
{
    shared->tls.SetCertificateHook(std::move(hook));
}

void CInternetSession::SetStepHook(StepHook hook)
{
    shared->tls.SetStepHook(std::move(hook));
}

const InternetOptions& CInternetSession::Options() const
{
    return options;
}

void CInternetSession::SetOptions(const InternetOptions& value)
{
    options = value;
    shared->SetOptions(value);
    shared->tls.SetMemory(value.tlsMemory);
}

QStringList CInternetSession::TakeWarnings()
{
    return shared->tls.TakeWarnings();
}

std::unique_ptr<CFtpConnection> CInternetSession::GetFtpConnection(const QString& server,
                                                                   const QString& user,
                                                                   const QString& password,
                                                                   quint16 port, bool passive)
{
    const std::optional<FtpSecureAddress> secure = ParseSecureAddress(server);
    const std::optional<FtpServerAddress> address =
        secure ? ParseServerAddress(secure->server, port != 0 ? port : secure->defaultPort)
               : std::nullopt;
    if (!address)
        throw CInternetException(InetErrorKind::Resolve,
                                 QStringLiteral("\"%1\" is not a server address.").arg(server));
    const bool anonymous = user.isEmpty();
    const QString loginUser = anonymous ? QStringLiteral("anonymous") : user;
    const QString loginPassword = anonymous ? QStringLiteral("anonymous@") : password;
    // The security is part of the key: a connection is reused only as it was asked for.
    const QString key = QStringLiteral("%1\n%2\n%3\n%4\n%5")
                            .arg(address->host.toLower())
                            .arg(address->port)
                            .arg(loginUser, loginPassword)
                            .arg(static_cast<int>(secure->security));

    // Only this copy is used from here on: a login on a worker thread may outlast the
    // session object (a caller that gave up waiting), and its connection then still works.
    const std::shared_ptr<FtpSessionShared> keep = shared;
    const InternetOptions current = keep->Options();
    for (;;) {
        CFtpConnectionPool::Controls expired;
        std::unique_ptr<CFtpControl> pooled = keep->pool.Take(key, current.poolIdleLimit, expired);
        expired.clear(); // idle that long, the server has likely dropped them already
        if (!pooled)
            break;
        if (pooled->Revive(passive))
            return std::unique_ptr<CFtpConnection>(new CFtpConnection(std::move(pooled), keep));
    }
    std::unique_ptr<CFtpControl> control =
        CFtpControl::Open(keep, *address, loginUser, loginPassword, passive, secure->security);
    control->SetPoolKey(key);
    return std::unique_ptr<CFtpConnection>(new CFtpConnection(std::move(control), keep));
}

void CInternetSession::Close()
{
    for (std::unique_ptr<CFtpControl>& control : shared->pool.TakeAll())
        control->Quit();
}

int CInternetSession::PooledConnectionCount() const
{
    return shared->pool.Count(shared->Options().poolIdleLimit);
}
