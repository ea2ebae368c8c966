#include "ftp/folderwalk.h"

#include "ftp/filemessages.h"

#include <QFile>

#include <climits>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

QString SpecialKindOfMode(unsigned mode)
{
    if (S_ISFIFO(mode))
        return QStringLiteral("named pipe");
    if (S_ISSOCK(mode))
        return QStringLiteral("socket");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return QStringLiteral("device");
    return {};
}

QString SpecialFileKind(const QString& path)
{
    struct stat info
    {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return {};
    return SpecialKindOfMode(info.st_mode);
}

int OpenRegularFile(const QString& path, QString& kind)
{
    // A device is not even opened: opening one may act on it (a tape rewinds, a line
    // hangs up).
    kind = SpecialFileKind(path);
    if (!kind.isEmpty())
        return -1;
    // Non-blocking, so that the open itself does not wait for a pipe's writer should one
    // take the name meanwhile; the mode is then read from what was opened.
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        kind = SpecialFileKind(path);
        return -1;
    }
    struct stat info
    {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        kind = SpecialKindOfMode(info.st_mode);
        ::close(fd);
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

bool LocalNameFits(const QString& folder, const QString& name)
{
    const qsizetype nameBytes = QFile::encodeName(name).size();
    return nameBytes <= NAME_MAX && QFile::encodeName(folder).size() + 1 + nameBytes < PATH_MAX;
}

std::optional<QList<LocalChild>> ReadLocalChildren(const QString& folder, bool followLinks)
{
    const QByteArray encoded = QFile::encodeName(folder);
    DIR* handle = opendir(encoded.constData());
    if (!handle)
        return std::nullopt;
    const int folderFd = dirfd(handle);
    QList<LocalChild> children;
    while (const dirent* item = readdir(handle)) {
        const char* name = item->d_name;
        if (qstrcmp(name, ".") == 0 || qstrcmp(name, "..") == 0)
            continue;
        LocalChild child;
        child.name = QFile::decodeName(name);
        struct stat info
        {};
        if (fstatat(folderFd, name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(info.st_mode)) {
            if (!followLinks) {
                child.kind = LocalEntryKind::Link;
                children.append(child);
                continue;
            }
            if (fstatat(folderFd, name, &info, 0) != 0) {
                child.what = QStringLiteral("link that leads nowhere");
                children.append(child);
                continue;
            }
        }
        if (S_ISDIR(info.st_mode))
            child.kind = LocalEntryKind::Folder;
        else if (S_ISREG(info.st_mode))
            child.kind = LocalEntryKind::File;
        else
            child.what = SpecialKindOfMode(info.st_mode);
        if (child.kind == LocalEntryKind::Other && child.what.isEmpty())
            child.what = QStringLiteral("entry that cannot be read");
        children.append(child);
    }
    closedir(handle);
    return children;
}

QString LocalFolderIdentity(const QString& path)
{
    struct stat info
    {};
    if (stat(QFile::encodeName(path).constData(), &info) != 0)
        return {};
    return QString::number(static_cast<quint64>(info.st_dev)) + QLatin1Char(':') +
           QString::number(static_cast<quint64>(info.st_ino));
}

CFolderWalkGuard::Step CFolderWalkGuard::Enter(const QStringList& identities)
{
    for (const QStringList& level : path) {
        for (const QString& identity : identities) {
            if (!identity.isEmpty() && level.contains(identity))
                return Step::Cycle;
        }
    }
    if (path.size() >= kMaxDepth)
        return Step::TooDeep;
    path.append(identities);
    return Step::Entered;
}

void CFolderWalkGuard::Leave()
{
    if (!path.isEmpty())
        path.removeLast();
}

QString CFolderWalkGuard::RefusalText(Step step, const QString& folder)
{
    if (step == Step::Cycle)
        return QStringLiteral("The folder \"%1\" leads back into a folder that is being copied "
                              "(through a link), so the copy would never end. The copy has been "
                              "stopped.")
            .arg(folder);
    return QStringLiteral("The folder \"%1\" lies more than %2 folders deep. The copy has been "
                          "stopped.")
        .arg(folder)
        .arg(kMaxDepth);
}

QString CFolderWalkGuard::RefusalCaption()
{
    return FileMessages::InsideSourceCaption();
}
