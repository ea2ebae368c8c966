#include "inet/tlssessionstate.h"

#include <utility>

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

std::shared_ptr<CTlsRunMemory> CTlsSessionState::Memory() const
{
    std::lock_guard lock(mutex);
    return memory;
}

void CTlsSessionState::SetMemory(std::shared_ptr<CTlsRunMemory> shared)
{
    std::lock_guard lock(mutex);
    if (shared)
        memory = std::move(shared);
}

void CTlsSessionState::Warn(const QString& text)
{
    std::lock_guard lock(mutex);
    // One failing file is said once, however many of its writes failed.
    for (const QString& earlier : warnings) {
        if (earlier.startsWith(text))
            return;
    }
    warnings.append(text);
}

QStringList CTlsSessionState::TakeWarnings()
{
    std::lock_guard lock(mutex);
    return std::exchange(warnings, {});
}
