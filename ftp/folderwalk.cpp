#include "ftp/folderwalk.h"

#include "ftp/filemessages.h"

#include <QFile>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

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
                children.append(child); // leads nowhere
                continue;
            }
        }
        if (S_ISDIR(info.st_mode))
            child.kind = LocalEntryKind::Folder;
        else if (S_ISREG(info.st_mode))
            child.kind = LocalEntryKind::File;
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
