#include "ftp/partrecords.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <mutex>

namespace {

// The lock file keeps the other running copies out, this the other threads of this one.
std::mutex recordsMutex;

constexpr qint64 kMaxFileSize = 1024 * 1024;

using Records = std::vector<CPartRecords::Record>;

QString Number(quint64 value)
{
    return QString::number(value);
}

// 64-bit values are kept as text: a JSON number would round them.
quint64 Unsigned(const QJsonObject& object, const char* key)
{
    return object.value(QLatin1String(key)).toString().toULongLong();
}

Records Parse(const QByteArray& bytes)
{
    Records records;
    const QJsonArray parts = QJsonDocument::fromJson(bytes).object().value("parts").toArray();
    for (const QJsonValue& value : parts) {
        const QJsonObject o = value.toObject();
        CPartRecords::Record r;
        r.part = o.value("part").toString();
        r.target = o.value("target").toString();
        r.source.server = o.value("server").toString();
        r.source.user = o.value("user").toString();
        r.source.path = o.value("path").toString();
        r.source.size = Unsigned(o, "size");
        r.source.time = o.value("time").toString().toLongLong();
        r.device = Unsigned(o, "device");
        r.inode = Unsigned(o, "inode");
        if (!r.part.isEmpty() && !r.target.isEmpty())
            records.push_back(r);
    }
    return records;
}

QByteArray Serialize(const Records& records)
{
    QJsonArray parts;
    for (const CPartRecords::Record& r : records) {
        parts.append(QJsonObject{{"part", r.part},
                                 {"target", r.target},
                                 {"server", r.source.server},
                                 {"user", r.source.user},
                                 {"path", r.source.path},
                                 {"size", Number(r.source.size)},
                                 {"time", QString::number(r.source.time)},
                                 {"device", Number(r.device)},
                                 {"inode", Number(r.inode)}});
    }
    return QJsonDocument(QJsonObject{{"parts", parts}}).toJson(QJsonDocument::Compact);
}

// Whether the record's part file is still the file that was recorded, and how large it is.
// The name is looked at, never what a link there leads to.
bool StillThere(const CPartRecords::Record& record, quint64& size)
{
    struct stat st = {};
    if (::lstat(QFile::encodeName(record.part).constData(), &st) != 0 || !S_ISREG(st.st_mode) ||
        static_cast<quint64>(st.st_dev) != record.device ||
        static_cast<quint64>(st.st_ino) != record.inode)
        return false;
    size = static_cast<quint64>(st.st_size);
    return size <= record.source.size;
}

// Runs `change` over the records under both locks and writes them back when it says they
// changed. False when the file cannot be locked, read or written.
bool Change(const QString& path, const std::function<bool(Records&)>& change)
{
    std::lock_guard lock(recordsMutex);
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    const int lockFile = ::open(QFile::encodeName(path + QStringLiteral(".lock")).constData(),
                                O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, S_IRUSR | S_IWUSR);
    if (lockFile < 0)
        return false;
    struct Closer
    {
        int fd;
        ~Closer() { ::close(fd); } // closing releases the lock
    } closer{lockFile};
    int locked;
    do
        locked = ::flock(lockFile, LOCK_EX);
    while (locked != 0 && errno == EINTR);
    if (locked != 0)
        return false;

    Records records;
    QFile file(path);
    if (file.open(QIODevice::ReadOnly) && file.size() <= kMaxFileSize)
        records = Parse(file.readAll()); // a damaged file only loses its records
    file.close();
    if (!change(records))
        return true;
    if (records.size() > static_cast<size_t>(CPartRecords::kMaxRecords))
        records.erase(records.begin(), records.end() - CPartRecords::kMaxRecords);
    QSaveFile out(path);
    const QByteArray bytes = Serialize(records);
    // The paths of the user's downloads are nobody else's business.
    if (!out.open(QIODevice::WriteOnly) || ::fchmod(out.handle(), S_IRUSR | S_IWUSR) != 0 ||
        out.write(bytes) != bytes.size() || !out.commit()) {
        out.cancelWriting();
        return false;
    }
    return true;
}

} // namespace

CPartRecords::CPartRecords(QString file)
    : path(file.isEmpty() ? DefaultPath() : std::move(file))
{}

QString CPartRecords::DefaultPath()
{
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || QDir::isRelativePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/vantor/partfiles");
}

std::vector<CPartRecords::Record> CPartRecords::Find(const QString& target,
                                                     const PartSource& source) const
{
    Records found;
    Change(path, [&](Records& records) {
        const auto before = records.size();
        std::erase_if(records, [&](const Record& record) {
            quint64 size = 0;
            if (record.target != target)
                return false;
            // Beside the target or nothing: a part file is only ever made there.
            if (!StillThere(record, size) ||
                QFileInfo(record.part).absolutePath() != QFileInfo(target).absolutePath())
                return true;
            if (record.source == source && size > 0 && size < source.size)
                found.push_back(record);
            return false;
        });
        return records.size() != before;
    });
    std::reverse(found.begin(), found.end()); // the latest first
    return found;
}

bool CPartRecords::Add(const Record& record) const
{
    return Change(path, [&](Records& records) {
        // Records of part files gone since (removed by the user) go on the way.
        std::erase_if(records, [&](const Record& r) {
            quint64 size = 0;
            return r.part == record.part || !StillThere(r, size);
        });
        records.push_back(record);
        return true;
    });
}

void CPartRecords::Remove(const QString& part) const
{
    Change(path, [&](Records& records) {
        return std::erase_if(records, [&](const Record& r) { return r.part == part; }) > 0;
    });
}
