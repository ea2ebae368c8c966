#include "panes/localfolder.h"

#include <QDir>
#include <QFile>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Attribute bits as the panes know them.
constexpr std::uint32_t kReadOnlyAttribute = 0x01;
constexpr std::uint32_t kHiddenAttribute = 0x02;
constexpr std::uint32_t kNormalAttribute = 0x80;

bool IsPseudoFileSystem(const QByteArray& type)
{
    static const char* const pseudo[] = {
        "proc",       "sysfs",    "devtmpfs", "devpts",      "tmpfs",    "cgroup",     "cgroup2",
        "securityfs", "pstore",   "debugfs",  "tracefs",     "configfs", "fusectl",    "mqueue",
        "hugetlbfs",  "bpf",      "autofs",   "binfmt_misc", "efivarfs", "rpc_pipefs", "nsfs",
        "ramfs",      "squashfs", "overlay",  "selinuxfs",   "devfs",    "none"};
    for (const char* name : pseudo) {
        if (type == name)
            return true;
    }
    return false;
}

bool IsRemoteFileSystem(const QByteArray& type)
{
    static const char* const remote[] = {"nfs", "nfs4", "cifs", "smb3",      "smbfs", "ncpfs",
                                         "afs", "9p",   "ceph", "glusterfs", "davfs", "sshfs"};
    for (const char* name : remote) {
        if (type == name)
            return true;
    }
    return type.startsWith("fuse");
}

// "/mnt/my\040disk" -> "/mnt/my disk": the mount table escapes blanks and the like.
QByteArray UnescapeMountPath(const QByteArray& field)
{
    QByteArray path;
    for (qsizetype at = 0; at < field.size(); ++at) {
        if (field[at] == '\\' && at + 3 < field.size()) {
            bool ok = false;
            const int code = field.mid(at + 1, 3).toInt(&ok, 8);
            if (ok && code < 256) {
                path += static_cast<char>(code);
                at += 3;
                continue;
            }
        }
        path += field[at];
    }
    return path;
}

} // namespace

QList<DirEntry> ReadLocalEntries(const QString& folderPath)
{
    QList<DirEntry> entries;
    const QByteArray encoded = QFile::encodeName(folderPath);
    DIR* folder = opendir(encoded.constData());
    if (!folder)
        return entries;
    const int folderFd = dirfd(folder);
    while (dirent* item = readdir(folder)) {
        DirEntry entry;
        entry.name = QFile::decodeName(item->d_name);
        struct stat info
        {};
        // A link counts as what it points to; a dangling one as what it is.
        if (fstatat(folderFd, item->d_name, &info, 0) != 0 &&
            fstatat(folderFd, item->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
            entries.append(entry);
            continue;
        }
        if (S_ISDIR(info.st_mode))
            entry.attributes |= kFolderAttribute;
        else if (S_ISFIFO(info.st_mode))
            entry.attributes |= kPipeAttribute;
        else if (S_ISSOCK(info.st_mode))
            entry.attributes |= kSocketAttribute;
        else if (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode))
            entry.attributes |= kDeviceAttribute;
        if (!(info.st_mode & S_IWUSR))
            entry.attributes |= kReadOnlyAttribute;
        if (item->d_name[0] == '.')
            entry.attributes |= kHiddenAttribute;
        if (entry.attributes == 0)
            entry.attributes = kNormalAttribute;
        entry.size = S_ISREG(info.st_mode) ? static_cast<quint64>(info.st_size) : 0;
        entry.writeTime = info.st_mtim.tv_sec;
        entry.accessTime = info.st_atim.tv_sec;
        entry.createTime = info.st_ctim.tv_sec;
        entries.append(entry);
    }
    closedir(folder);
    return entries;
}

QStringList LocalDrives(bool includeRemote)
{
    QStringList drives;
    auto add = [&](const QString& path) {
        if (path.isEmpty() || drives.contains(path))
            return;
        // Like a drive without a medium: a folder we cannot list is left out.
        const QByteArray encoded = QFile::encodeName(path);
        struct stat info
        {};
        if (stat(encoded.constData(), &info) != 0 || !S_ISDIR(info.st_mode) ||
            access(encoded.constData(), R_OK | X_OK) != 0)
            return;
        drives.append(path);
    };
    add(QDir::homePath());
    add(QStringLiteral("/"));
    // The mount table is read directly: asking the volumes themselves would probe remote
    // ones, which may hang, before they could be left out.
    QFile mounts(QStringLiteral("/proc/self/mounts"));
    if (mounts.open(QIODevice::ReadOnly)) {
        const QList<QByteArray> lines = mounts.readAll().split('\n');
        for (const QByteArray& line : lines) {
            const QList<QByteArray> fields = line.split(' ');
            if (fields.size() < 3)
                continue;
            const QByteArray& type = fields[2];
            if (IsPseudoFileSystem(type) || (IsRemoteFileSystem(type) && !includeRemote))
                continue;
            add(QFile::decodeName(UnescapeMountPath(fields[1])));
        }
    }
    return drives;
}
