#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The certificates the user chose to trust, one SHA-256 fingerprint per server
// ("host:port", the host in lower case). Kept in a small text file of ours, one
// "server fingerprint" line each, readable by the user only and replaced in one step, so
// that a crash never leaves half a file. Every call reads the file anew: logins on other
// threads and other running copies of the program see each other's decisions.
class CTlsTrustStore
{
public:
    // `path` empty: "VantorCertificates" in the XDG configuration folder.
    explicit CTlsTrustStore(QString path = {});

    static QString DefaultPath();
    static QString ServerKey(const QString& host, quint16 port);

    // The fingerprint trusted for the server (hex, lower case), if any.
    std::optional<QByteArray> Fingerprint(const QString& host, quint16 port) const;
    // Trusts `fingerprint` for the server, replacing an earlier one. False when the file
    // cannot be written.
    bool Trust(const QString& host, quint16 port, const QByteArray& fingerprint);

    const QString& Path() const { return path; }

private:
    QString path;
};
