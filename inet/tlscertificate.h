#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

// What the user is shown of a server's certificate before trusting it.
struct TlsCertificateInfo
{
    QString host; // the server as the profile names it
    quint16 port = 0;
    QString subject;
    QString issuer;
    QDateTime notBefore;
    QDateTime notAfter;
    QByteArray fingerprint; // SHA-256 of the DER form, hex in lower case
    // Why the system's certificate store does not vouch for it; empty when it does.
    QString problem;
    // The fingerprint trusted for this server before, when it was a different one.
    QByteArray previousFingerprint;

    bool Changed() const { return !previousFingerprint.isEmpty(); }
};

// "ab:cd:..." in upper case, the form certificate viewers show.
QString FormatFingerprint(const QByteArray& hex);

// The user's answer to an untrusted certificate.
enum class TlsTrustAnswer { TrustAlways, TrustOnce, Refuse };
