#pragma once

#include "inet/tlscertificate.h"
#include "inet/tlsrunmemory.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <mutex>

// What a session knows about the security of its servers beyond one connection: the
// certificates the user accepted for this run only, and the servers that spoke TLS, so
// that the next connection to the same server (a pooled one, the second of a copy, a
// folder level, a later session given the same run memory) is neither asked again nor
// allowed to go without. Also collects what went wrong beside the login (a trust file that
// could not be written) for the program to tell the user. Thread-safe: logins run on
// worker threads.
class CTlsSessionState
{
public:
    // Asked on the login's thread when a certificate is not trusted; blocks for the answer.
    using CertificateHook = std::function<TlsTrustAnswer(const TlsCertificateInfo&)>;
    // Told on the login's thread what the login is doing ("Setting up TLS ...").
    using StepHook = std::function<void(const QString&)>;

    void SetCertificateHook(CertificateHook hook);
    void SetStepHook(StepHook hook);
    // Refuse when no hook is installed: nobody can be asked.
    TlsTrustAnswer Ask(const TlsCertificateInfo& certificate) const;
    void Step(const QString& text) const;

    // The decisions of the run; a session's own until SetMemory shares one.
    std::shared_ptr<CTlsRunMemory> Memory() const;
    void SetMemory(std::shared_ptr<CTlsRunMemory> shared);

    void Warn(const QString& text);
    QStringList TakeWarnings();

private:
    mutable std::mutex mutex;
    CertificateHook certificateHook;
    StepHook stepHook;
    std::shared_ptr<CTlsRunMemory> memory = std::make_shared<CTlsRunMemory>();
    QStringList warnings;
};
