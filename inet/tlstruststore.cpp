#include "inet/tlstruststore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QSaveFile>
#include <QStandardPaths>

#include <sys/stat.h>

#include <mutex>

namespace {

// Logins run on worker threads; two of them trusting at once must not lose either entry.
std::mutex storeMutex;

constexpr qint64 kMaxFileSize = 1024 * 1024;

struct Entry
{
    QByteArray server;
    QByteArray fingerprint;
};

QList<Entry> ReadEntries(const QString& path)
{
    QList<Entry> entries;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxFileSize)
        return entries;
    for (const QByteArray& raw : file.readAll().split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const qsizetype space = line.lastIndexOf(' ');
        if (space <= 0)
            continue;
        entries.append({line.left(space).trimmed(), line.mid(space + 1).toLower()});
    }
    return entries;
}

} // namespace

CTlsTrustStore::CTlsTrustStore(QString file)
    : path(file.isEmpty() ? DefaultPath() : std::move(file))
{}

QString CTlsTrustStore::DefaultPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/VantorCertificates");
}

QString CTlsTrustStore::ServerKey(const QString& host, quint16 port)
{
    const QString lower = host.toLower();
    return lower.contains(QLatin1Char(':')) ? QStringLiteral("[%1]:%2").arg(lower).arg(port)
                                            : QStringLiteral("%1:%2").arg(lower).arg(port);
}

std::optional<QByteArray> CTlsTrustStore::Fingerprint(const QString& host, quint16 port) const
{
    const QByteArray key = ServerKey(host, port).toUtf8();
    std::lock_guard lock(storeMutex);
    std::optional<QByteArray> found;
    for (const Entry& entry : ReadEntries(path)) {
        if (entry.server == key)
            found = entry.fingerprint; // the last line for a server wins
    }
    return found;
}

bool CTlsTrustStore::Trust(const QString& host, quint16 port, const QByteArray& fingerprint)
{
    const QByteArray key = ServerKey(host, port).toUtf8();
    std::lock_guard lock(storeMutex);
    QByteArray text = "# Server certificates trusted in Vantor: server and SHA-256 fingerprint\n";
    for (const Entry& entry : ReadEntries(path)) {
        if (entry.server != key)
            text += entry.server + ' ' + entry.fingerprint + '\n';
    }
    text += key + ' ' + fingerprint.toLower() + '\n';

    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    // Nobody else on the machine reads whom the user trusts; set before the first byte.
    if (::fchmod(file.handle(), S_IRUSR | S_IWUSR) != 0) {
        file.cancelWriting();
        return false;
    }
    if (file.write(text) != text.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}
