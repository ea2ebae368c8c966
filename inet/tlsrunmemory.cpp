#include "inet/tlsrunmemory.h"

void CTlsRunMemory::AcceptOnce(const QString& server, const QByteArray& fingerprint)
{
    std::lock_guard lock(mutex);
    acceptedOnce.insert(server + QLatin1Char(' ') + QString::fromLatin1(fingerprint));
}

bool CTlsRunMemory::AcceptedOnce(const QString& server, const QByteArray& fingerprint) const
{
    std::lock_guard lock(mutex);
    return acceptedOnce.contains(server + QLatin1Char(' ') + QString::fromLatin1(fingerprint));
}

void CTlsRunMemory::RememberTls(const QString& server)
{
    std::lock_guard lock(mutex);
    tlsServers.insert(server);
}

bool CTlsRunMemory::UsedTls(const QString& server) const
{
    std::lock_guard lock(mutex);
    return tlsServers.contains(server);
}

void CTlsRunMemory::Forget(const QString& server)
{
    std::lock_guard lock(mutex);
    tlsServers.remove(server);
    const QString prefix = server + QLatin1Char(' ');
    for (auto it = acceptedOnce.begin(); it != acceptedOnce.end();) {
        if (it->startsWith(prefix))
            it = acceptedOnce.erase(it);
        else
            ++it;
    }
}
