#include "inet/tlstruststore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QSaveFile>
#include <QStandardPaths>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>

namespace {

// Logins run on worker threads; the lock on the file beside the store covers the other
// running copies of the program, this one the threads of this copy.
std::mutex storeMutex;

constexpr qint64 kMaxFileSize = 1024 * 1024;
const QByteArray kTlsMark = "tls";

bool IsFingerprint(const QByteArray& text)
{
    if (text.isEmpty())
        return false;
    for (const char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    }
    return true;
}

// Holds an exclusive lock on `path` + ".lock" for as long as it lives.
class CFileLock
{
public:
    explicit CFileLock(const QString& path)
    {
        descriptor = ::open(QFile::encodeName(path + QStringLiteral(".lock")).constData(),
                            O_RDWR | O_CREAT | O_CLOEXEC, S_IRUSR | S_IWUSR);
        if (descriptor < 0)
            return;
        int result;
        do
            result = ::flock(descriptor, LOCK_EX);
        while (result != 0 && errno == EINTR);
        if (result != 0) {
            ::close(descriptor);
            descriptor = -1;
        }
    }
    ~CFileLock()
    {
        if (descriptor >= 0)
            ::close(descriptor); // closing releases the lock
    }
    CFileLock(const CFileLock&) = delete;
    CFileLock& operator=(const CFileLock&) = delete;
    bool Held() const { return descriptor >= 0; }

private:
    int descriptor = -1;
};

} // namespace

struct CTlsTrustStore::Entries
{
    struct Pin
    {
        QByteArray server;
        QByteArray fingerprint;
    };
    QList<Pin> pins;       // in file order; the last line for a server wins
    QList<QByteArray> tls; // servers a TLS login succeeded with
};

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

bool CTlsTrustStore::Read(Entries& entries) const
{
    error.clear();
    QFile file(path);
    if (!file.exists())
        return true; // nothing trusted yet
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("The file of trusted certificates %1 cannot be read (%2).")
                    .arg(QDir::toNativeSeparators(path), file.errorString());
        return false;
    }
    if (file.size() > kMaxFileSize) {
        error = QStringLiteral("The file of trusted certificates %1 is too large to be ours; "
                               "it was left as it is.")
                    .arg(QDir::toNativeSeparators(path));
        return false;
    }
    int number = 0;
    int damagedLine = 0;
    for (const QByteArray& raw : file.readAll().split('\n')) {
        ++number;
        const QByteArray line = raw.trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() == 2 && fields[0] == kTlsMark && fields[1].contains(':')) {
            entries.tls.append(fields[1]);
        } else if (fields.size() == 2 && fields[0].contains(':') &&
                   IsFingerprint(fields[1].toLower())) {
            entries.pins.append({fields[0], fields[1].toLower()});
        } else if (damagedLine == 0) {
            damagedLine = number;
        }
    }
    // What could be read stands; but a pin may have been lost in the damage, so the file
    // counts as damaged all the same.
    if (damagedLine != 0) {
        error = QStringLiteral("The file of trusted certificates %1 is damaged (line %2); it "
                               "was left as it is.")
                    .arg(QDir::toNativeSeparators(path))
                    .arg(damagedLine);
        return false;
    }
    return true;
}

std::optional<QByteArray> CTlsTrustStore::Fingerprint(const QString& host, quint16 port) const
{
    const QByteArray key = ServerKey(host, port).toUtf8();
    std::lock_guard lock(storeMutex);
    Entries entries;
    Read(entries); // what a damaged file still holds is answered, with Error() set
    std::optional<QByteArray> found;
    for (const Entries::Pin& pin : entries.pins) {
        if (pin.server == key)
            found = pin.fingerprint;
    }
    return found;
}

bool CTlsTrustStore::UsedTls(const QString& host, quint16 port) const
{
    const QByteArray key = ServerKey(host, port).toUtf8();
    std::lock_guard lock(storeMutex);
    Entries entries;
    Read(entries);
    if (entries.tls.contains(key))
        return true;
    for (const Entries::Pin& pin : entries.pins) {
        if (pin.server == key)
            return true;
    }
    return false;
}

bool CTlsTrustStore::Trust(const QString& host, quint16 port, const QByteArray& fingerprint)
{
    return Change(ServerKey(host, port).toUtf8(), fingerprint.toLower(), true, false);
}

bool CTlsTrustStore::RememberTls(const QString& host, quint16 port)
{
    return Change(ServerKey(host, port).toUtf8(), {}, true, false);
}

bool CTlsTrustStore::Forget(const QString& host, quint16 port)
{
    return Change(ServerKey(host, port).toUtf8(), {}, false, true);
}

bool CTlsTrustStore::Change(const QByteArray& key, const QByteArray& fingerprint, bool tls,
                            bool remove)
{
    std::lock_guard lock(storeMutex);
    error.clear();
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        error = QStringLiteral("The file of trusted certificates %1 cannot be written (its "
                               "folder cannot be made).")
                    .arg(QDir::toNativeSeparators(path));
        return false;
    }
    const CFileLock fileLock(path);
    if (!fileLock.Held()) {
        error =
            QStringLiteral("The file of trusted certificates %1 cannot be locked (%2).")
                .arg(QDir::toNativeSeparators(path), QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    // Read under the lock: what another copy wrote a moment ago is kept.
    Entries entries;
    if (!Read(entries))
        return false;
    bool pinned = false;
    for (const Entries::Pin& pin : entries.pins)
        pinned = pinned || (pin.server == key && pin.fingerprint == fingerprint);
    if (!remove && fingerprint.isEmpty() && (entries.tls.contains(key) || pinned))
        return true;
    if (!remove && !fingerprint.isEmpty() && pinned && entries.tls.contains(key))
        return true;

    QByteArray text = "# Server certificates trusted in Vantor: server and SHA-256 fingerprint;\n"
                      "# \"tls server\": a server that must not be logged in to without TLS\n";
    for (const QByteArray& server : entries.tls) {
        if (server != key)
            text += kTlsMark + ' ' + server + '\n';
    }
    for (const Entries::Pin& pin : entries.pins) {
        if (pin.server != key || (fingerprint.isEmpty() && !remove))
            text += pin.server + ' ' + pin.fingerprint + '\n';
    }
    if (!remove && tls)
        text += kTlsMark + ' ' + key + '\n';
    if (!remove && !fingerprint.isEmpty())
        text += key + ' ' + fingerprint + '\n';

    QSaveFile file(path);
    // Nobody else on the machine reads whom the user trusts; set before the first byte.
    if (!file.open(QIODevice::WriteOnly) || ::fchmod(file.handle(), S_IRUSR | S_IWUSR) != 0 ||
        file.write(text) != text.size() || !file.commit()) {
        error = QStringLiteral("The file of trusted certificates %1 cannot be written (%2).")
                    .arg(QDir::toNativeSeparators(path), file.errorString());
        file.cancelWriting();
        return false;
    }
    return true;
}
