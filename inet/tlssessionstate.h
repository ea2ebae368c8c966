#pragma once

#include "inet/tlscertificate.h"

#include <QSet>
#include <QString>

#include <functional>
#include <mutex>

// What a session knows about the security of its servers beyond one connection: the
// certificates the user accepted for this session only, and the servers that spoke TLS,
// so that the next connection to the same server (a pooled one, the second of a copy, a
// folder level) is neither asked again nor allowed to go without. Thread-safe: logins run
// on worker threads.
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

    void AcceptOnce(const QString& server, const QByteArray& fingerprint);
    bool AcceptedOnce(const QString& server, const QByteArray& fingerprint) const;
    void RememberTls(const QString& server);
    bool UsedTls(const QString& server) const;

private:
    mutable std::mutex mutex;
    CertificateHook certificateHook;
    StepHook stepHook;
    QSet<QString> acceptedOnce; // "server fingerprint"
    QSet<QString> tlsServers;
};
