#pragma once

#include <QSet>
#include <QString>

#include <mutex>

// The security decisions that hold for one run of the program, whatever session or thread
// makes the next connection: the certificates the user accepted for this run only, and the
// servers ("host:port") that spoke TLS. The program keeps one for its whole run and hands it
// to every session it opens (the main login, its reconnects, the digest session); a session
// given none keeps its own. Thread-safe: logins run on worker threads.
class CTlsRunMemory
{
public:
    void AcceptOnce(const QString& server, const QByteArray& fingerprint);
    bool AcceptedOnce(const QString& server, const QByteArray& fingerprint) const;
    void RememberTls(const QString& server);
    bool UsedTls(const QString& server) const;
    // Drops both kinds of decision for the server (the user asked to forget it).
    void Forget(const QString& server);

private:
    mutable std::mutex mutex;
    QSet<QString> acceptedOnce; // "server fingerprint"
    QSet<QString> tlsServers;
};
