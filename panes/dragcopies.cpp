#include "panes/dragcopies.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Whether process `pid` still runs (or exists under another user). A process that was
// killed stays a zombie until its parent collects it: it runs no more.
bool ProcessRuns(qint64 pid)
{
    if (pid <= 0)
        return false;
    if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno != EPERM)
        return false;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return true;
    // "pid (name) state ...": the name may hold anything, the state follows its last ")".
    const QByteArray line = stat.readAll();
    const qsizetype close = line.lastIndexOf(')');
    return close < 0 || line.mid(close + 2, 1) != "Z";
}

void RemoveFolder(const QString& path)
{
    // Links inside are removed as links; nothing outside the copy is touched.
    QDir(path).removeRecursively();
}

} // namespace

CDragCopies& CDragCopies::Instance()
{
    static CDragCopies* instance = new CDragCopies;
    return *instance;
}

CDragCopies::CDragCopies()
{
    // Parented to the application, so that the copies go when it ends.
    if (QCoreApplication::instance())
        setParent(QCoreApplication::instance());
    inotifyFd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (inotifyFd >= 0) {
        notifier = new QSocketNotifier(inotifyFd, QSocketNotifier::Read, this);
        connect(notifier, &QSocketNotifier::activated, this, [this] { OnEvents(); });
    }
}

CDragCopies::~CDragCopies()
{
    for (const Copy& copy : copies)
        RemoveFolder(copy.path);
    if (inotifyFd >= 0)
        ::close(inotifyFd);
}

QString CDragCopies::Root()
{
    const QString root =
        QDir::tempPath() + QStringLiteral("/vantor-drag-") + QString::number(::getuid());
    const QByteArray encoded = QFile::encodeName(root);
    if (::mkdir(encoded.constData(), 0700) != 0 && errno != EEXIST)
        return {};
    // Another user may have made the name first in a shared temporary folder.
    struct stat info = {};
    if (::lstat(encoded.constData(), &info) != 0 || !S_ISDIR(info.st_mode) ||
        info.st_uid != ::getuid() || (info.st_mode & 0077) != 0)
        return {};
    return root;
}

void CDragCopies::RemoveLeftovers()
{
    const QString root = Root();
    if (root.isEmpty())
        return;
    for (const QString& name : QDir(root).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool isNumber = false;
        const qint64 pid = name.section(QLatin1Char('-'), 0, 0).toLongLong(&isNumber);
        if (isNumber && pid != QCoreApplication::applicationPid() && !ProcessRuns(pid))
            RemoveFolder(root + QLatin1Char('/') + name);
    }
}

QString CDragCopies::NewCopy()
{
    const QString root = Root();
    if (root.isEmpty())
        return {};
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString path = root + QLatin1Char('/') +
                             QString::number(QCoreApplication::applicationPid()) +
                             QLatin1Char('-') + QString::number(++serial);
        if (::mkdir(QFile::encodeName(path).constData(), 0700) == 0)
            return path;
        if (errno != EEXIST)
            return {};
    }
    return {};
}

void CDragCopies::Keep(const QString& path)
{
    Copy copy;
    copy.path = path;
    // The whole copy is read first and watched afterwards: this reading is none of the
    // receiving program's.
    QStringList folders{path};
    QDirIterator walk(path, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                      QDirIterator::Subdirectories);
    while (walk.hasNext()) {
        const QString entry = walk.next();
        const QFileInfo info = walk.fileInfo();
        if (info.isSymLink())
            continue;
        copy.unread.insert(entry);
        if (info.isDir())
            folders.append(entry);
        else
            copy.bytes += info.size();
    }
    if (inotifyFd >= 0) {
        for (const QString& folder : folders) {
            const int watch =
                ::inotify_add_watch(inotifyFd, QFile::encodeName(folder).constData(),
                                    IN_OPEN | IN_CLOSE_NOWRITE | IN_ONLYDIR | IN_DONT_FOLLOW);
            if (watch >= 0)
                copy.folders.insert(watch, folder);
        }
    }
    copies.push_back(std::move(copy));
    KeepWithinLimit();
}

void CDragCopies::Discard(const QString& path)
{
    for (size_t at = 0; at < copies.size(); ++at) {
        if (copies[at].path == path) {
            Remove(at);
            return;
        }
    }
    RemoveFolder(path);
}

QStringList CDragCopies::Kept() const
{
    QStringList paths;
    for (const Copy& copy : copies)
        paths.append(copy.path);
    return paths;
}

void CDragCopies::OnEvents()
{
    alignas(inotify_event) char buffer[16384];
    for (;;) {
        const ssize_t got = ::read(inotifyFd, buffer, sizeof buffer);
        if (got <= 0)
            break;
        for (ssize_t at = 0; at < got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            for (size_t index = 0; index < copies.size(); ++index) {
                Copy& copy = copies[index];
                const auto folder = copy.folders.constFind(event->wd);
                if (folder == copy.folders.cend())
                    continue;
                // A folder read reports itself without a name; a file or folder read inside
                // it reports with its name.
                const QString path =
                    event->len > 0 && event->name[0] != '\0'
                        ? *folder + QLatin1Char('/') + QFile::decodeName(event->name)
                        : *folder;
                if (event->mask & IN_CLOSE_NOWRITE)
                    copy.unread.remove(path);
                if (copy.unread.isEmpty()) {
                    // Any look into the copy starts the wait again.
                    if (!copy.grace) {
                        copy.grace = new QTimer(this);
                        copy.grace->setSingleShot(true);
                        const QString taken = copy.path;
                        connect(copy.grace, &QTimer::timeout, this,
                                [this, taken] { RemoveTaken(taken); });
                    }
                    copy.grace->start(takenGraceMs);
                }
                break;
            }
        }
    }
}

void CDragCopies::RemoveTaken(const QString& path)
{
    for (size_t at = 0; at < copies.size(); ++at) {
        if (copies[at].path == path && copies[at].unread.isEmpty()) {
            Remove(at);
            return;
        }
    }
}

void CDragCopies::Remove(size_t at)
{
    Copy& copy = copies[at];
    if (copy.grace)
        copy.grace->deleteLater();
    for (auto watch = copy.folders.cbegin(); watch != copy.folders.cend(); ++watch)
        ::inotify_rm_watch(inotifyFd, watch.key());
    RemoveFolder(copy.path);
    copies.erase(copies.begin() + static_cast<std::ptrdiff_t>(at));
}

void CDragCopies::KeepWithinLimit()
{
    qint64 total = 0;
    for (const Copy& copy : copies)
        total += copy.bytes;
    while (copies.size() > 1 && total > keepLimit) {
        total -= copies.front().bytes;
        Remove(0);
    }
}
