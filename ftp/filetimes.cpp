#include "ftp/filetimes.h"

#include "inet/ftpconnection.h"
#include "inet/ftpfilefind.h"
#include "inet/internetexception.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>

std::optional<qint64> ListedTime(const FtpListEntry& entry)
{
    return entry.exactTime ? std::optional<qint64>(entry.writeTime) : std::nullopt;
}

std::optional<qint64> ServerFileTime(CFtpConnection& connection, const QString& ftpPath,
                                     std::optional<qint64> listedTime)
{
    if (listedTime)
        return listedTime;
    try {
        return connection.GetModificationTime(ftpPath);
    } catch (const CInternetException&) {
        // A connection lost here shows itself at the next step that needs it.
        return std::nullopt;
    }
}

std::optional<qint64> OpenFileTime(int fd)
{
    struct stat info = {};
    if (fd < 0 || ::fstat(fd, &info) != 0)
        return std::nullopt;
    return static_cast<qint64>(info.st_mtim.tv_sec);
}

bool SetLocalFileTime(const QString& path, qint64 utc)
{
    struct timespec times[2] = {};
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = static_cast<time_t>(utc);
    return ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, AT_SYMLINK_NOFOLLOW) ==
           0;
}

void KeepServerTime(CFtpConnection& connection, const QString& ftpPath, const QString& localPath,
                    std::optional<qint64> listedTime)
{
    if (const std::optional<qint64> time = ServerFileTime(connection, ftpPath, listedTime))
        SetLocalFileTime(localPath, *time);
}

void SetServerFileTime(CFtpConnection& connection, const QString& ftpPath,
                       std::optional<qint64> utc)
{
    if (utc)
        connection.SetModificationTime(ftpPath, *utc);
}
