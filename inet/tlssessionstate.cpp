#include "inet/tlssessionstate.h"

void CTlsSessionState::SetCertificateHook(CertificateHook hook)
{
    std::lock_guard lock(mutex);
    certificateHook = std::move(hook);
}

void CTlsSessionState::SetStepHook(StepHook hook)
{
    std::lock_guard lock(mutex);
    stepHook = std::move(hook);
}

TlsTrustAnswer CTlsSessionState::Ask(const TlsCertificateInfo& certificate) const
{
    CertificateHook hook;
    {
        std::lock_guard lock(mutex);
        hook = certificateHook;
    }
    return hook ? hook(certificate) : TlsTrustAnswer::Refuse;
}

void CTlsSessionState::Step(const QString& text) const
{
    StepHook hook;
    {
        std::lock_guard lock(mutex);
        hook = stepHook;
    }
    if (hook)
        hook(text);
}

void CTlsSessionState::AcceptOnce(const QString& server, const QByteArray& fingerprint)
{
    std::lock_guard lock(mutex);
    acceptedOnce.insert(server + QLatin1Char(' ') + QString::fromLatin1(fingerprint));
}

bool CTlsSessionState::AcceptedOnce(const QString& server, const QByteArray& fingerprint) const
{
    std::lock_guard lock(mutex);
    return acceptedOnce.contains(server + QLatin1Char(' ') + QString::fromLatin1(fingerprint));
}

void CTlsSessionState::RememberTls(const QString& server)
{
    std::lock_guard lock(mutex);
    tlsServers.insert(server);
}

bool CTlsSessionState::UsedTls(const QString& server) const
{
    std::lock_guard lock(mutex);
    return tlsServers.contains(server);
}
