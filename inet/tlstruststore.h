#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The certificates the user chose to trust, one SHA-256 fingerprint per server
// ("host:port", the host in lower case), and the servers a TLS login succeeded with, which
// must never be logged in to in plain text again. Kept in a small text file of ours, one
// "server fingerprint" or "tls server" line each, readable by the user only and replaced
// in one step, so that a crash never leaves half a file. Every call reads the file anew:
// logins on other threads and other running copies of the program see each other's
// decisions. Changes are made under a lock on a file beside it, shared with the other
// copies, and merged into what the file holds at that moment.
//
// A file that cannot be read, is too large or holds lines that are none of ours is
// damaged: it is never rewritten (the user's pins stay as they are) and Error() says why.
class CTlsTrustStore
{
public:
    // `path` empty: "VantorCertificates" in the XDG configuration folder.
    explicit CTlsTrustStore(QString path = {});

    static QString DefaultPath();
    static QString ServerKey(const QString& host, quint16 port);

    // The fingerprint trusted for the server (hex, lower case), if any. From a damaged file,
    // what can still be read, with Error() set.
    std::optional<QByteArray> Fingerprint(const QString& host, quint16 port) const;
    // Whether a TLS login succeeded with the server, or a certificate is pinned for it. From
    // a damaged file, what can still be read, with Error() set.
    bool UsedTls(const QString& host, quint16 port) const;
    // Trusts `fingerprint` for the server, replacing an earlier one. False (with Error())
    // when the file is damaged or cannot be written.
    bool Trust(const QString& host, quint16 port, const QByteArray& fingerprint);
    // Marks the server as one that spoke TLS; nothing is written when it is marked already.
    bool RememberTls(const QString& host, quint16 port);
    // Drops the server's pin and its TLS mark, on the user's explicit wish.
    bool Forget(const QString& host, quint16 port);

    // Why the last call failed (empty after a call that succeeded).
    const QString& Error() const { return error; }
    const QString& Path() const { return path; }

private:
    struct Entries;
    bool Read(Entries& entries) const;
    bool Change(const QByteArray& server, const QByteArray& fingerprint, bool tls, bool remove);

    QString path;
    mutable QString error;
};
