#include "ftp/partfile.h"

#include "ftp/filemessages.h"
#include "ftp/transferreport.h"

#include <QCryptographicHash>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>

namespace {

const QString kPartSuffix = QStringLiteral(".part");

// A lock that other downloads respect, held until the file is closed.
bool LockForDownload(int fd)
{
    return ::flock(fd, LOCK_EX | LOCK_NB) == 0;
}

} // namespace

CPartFile::CPartFile(const QString& targetPath)
    : target(targetPath)
{}

void CPartFile::SetSource(const PartSource& partSource)
{
    if (partSource.size >= kResumableSize)
        source = partSource;
}

std::optional<quint64> CPartFile::OpenEarlier()
{
    if (!source)
        return std::nullopt;
    for (const CPartRecords::Record& record :
         records.Find(QFileInfo(target).absoluteFilePath(), *source)) {
        // Not through a link, and not held up by anything but a regular file.
        const int fd = ::open(QFile::encodeName(record.part).constData(),
                              O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat st = {};
        // The checks again on what was opened: the name may have changed hands meanwhile.
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
            static_cast<quint64>(st.st_dev) != record.device ||
            static_cast<quint64>(st.st_ino) != record.inode || st.st_size <= 0 ||
            static_cast<quint64>(st.st_size) >= source->size || !LockForDownload(fd)) {
            ::close(fd);
            continue;
        }
        if (!file.open(fd, QIODevice::ReadWrite, QFileDevice::AutoCloseHandle)) {
            ::close(fd);
            continue;
        }
        if (file.seek(st.st_size)) {
            path = record.part;
            return static_cast<quint64>(st.st_size);
        }
        file.close();
    }
    return std::nullopt;
}

void CPartFile::LeaveEarlier()
{
    file.close();
    path.clear();
}

QString CPartFile::NameFor(const QString& target, int attempt)
{
    const QString suffix =
        attempt == 0 ? kPartSuffix : QLatin1Char('~') + QString::number(attempt + 1) + kPartSuffix;
    const QString name = QFileInfo(target).fileName();
    const QString folder = target.left(target.size() - name.size());
    if (QFile::encodeName(name).size() + suffix.size() <= NAME_MAX)
        return target + suffix;
    const QString mark =
        QLatin1Char('~') +
        QString::fromLatin1(
            QCryptographicHash::hash(name.toUtf8(), QCryptographicHash::Sha1).toHex().left(8));
    QString shortened = name;
    while (!shortened.isEmpty() &&
           QFile::encodeName(shortened).size() + mark.size() + suffix.size() > NAME_MAX) {
        shortened.chop(shortened.size() > 1 && shortened.back().isLowSurrogate() ? 2 : 1);
    }
    return folder + shortened + mark + suffix;
}

bool CPartFile::Create()
{
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        file.setFileName(NameFor(target, attempt));
        // NewOnly creates exclusively: an existing file or link of the name is left alone.
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            path = file.fileName();
            LockForDownload(file.handle());
            struct stat st = {};
            if (source && ::fstat(file.handle(), &st) == 0)
                records.Add({QFileInfo(path).absoluteFilePath(),
                             QFileInfo(target).absoluteFilePath(), *source,
                             static_cast<quint64>(st.st_dev), static_cast<quint64>(st.st_ino)});
            return true;
        }
        // Taken (a dangling link too): the next name. Any other failure is final.
        const QFileInfo taken(file.fileName());
        if (!taken.exists() && !taken.isSymLink())
            return false;
    }
    return false;
}

bool CPartFile::Commit()
{
    if (file.isOpen())
        file.close();
    if (QFileInfo::exists(target))
        QFile::setPermissions(path, QFile::permissions(target));
    if (std::rename(QFile::encodeName(path).constData(), QFile::encodeName(target).constData()) !=
        0)
        return false;
    Forget();
    return true;
}

void CPartFile::Forget()
{
    if (source)
        records.Remove(QFileInfo(path).absoluteFilePath());
}

quint64 OfferEarlierPart(CPartFile& part, CTransferReport& report)
{
    const std::optional<quint64> earlier = part.OpenEarlier();
    if (!earlier)
        return 0;
    if (report.ShowMessage(FileMessages::ContinuePartText(part.Path(), *earlier),
                           FileMessages::ContinuePartCaption(), MsgIcon::Question,
                           MsgButtons::YesNo) == MsgAnswer::Yes)
        return *earlier;
    part.LeaveEarlier();
    return 0;
}
