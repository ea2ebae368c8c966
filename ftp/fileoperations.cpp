#include "ftp/fileoperations.h"

#include "app/vantorapp.h"
#include "framework/messagebox.h"
#include "ftp/filemessages.h"
#include "ftp/folderwalk.h"
#include "ftp/skippeditems.h"
#include "inet/ftpconnection.h"
#include "inet/ftpfilefind.h"
#include "inet/internetexception.h"
#include "inet/internetfile.h"
#include "inet/internetsession.h"
#include "inet/listingparser.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A folder that lists more than this is not searched for links left out.
constexpr qint64 kLeftOverListingLimit = 16LL * 1024 * 1024;

QString WithSeparator(const QString& folder)
{
    return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}

// The folder path as a name of its own: without the trailing "/", but "/" stays "/".
QString WithoutSeparator(const QString& folder)
{
    return folder.size() > 1 && folder.endsWith(QLatin1Char('/')) ? folder.chopped(1) : folder;
}

QByteArray Encoded(const QString& path)
{
    return QFile::encodeName(path);
}

class CFileDescriptor
{
public:
    explicit CFileDescriptor(int descriptor = -1)
        : fd(descriptor)
    {}
    ~CFileDescriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
    CFileDescriptor(const CFileDescriptor&) = delete;
    CFileDescriptor& operator=(const CFileDescriptor&) = delete;
    int Get() const { return fd; }
    // Closes now, so that a failure to write back (a full disk, a lost network volume)
    // is seen.
    bool Close()
    {
        const int closing = fd;
        fd = -1;
        return ::close(closing) == 0;
    }

private:
    int fd;
};

bool WriteAll(int fd, const char* data, ssize_t count)
{
    while (count > 0) {
        const ssize_t written = ::write(fd, data, static_cast<size_t>(count));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        count -= written;
    }
    return true;
}

// Copies the regular file `from` (described by `info`) to a new file in the folder of `to`,
// with its permission bits and times, and renames it to `to` once it is complete; on any
// failure the temporary file goes and `to` is untouched.
bool CopyThroughTemporary(const QString& from, const struct stat& info, const QString& to)
{
    QString kind;
    CFileDescriptor in(OpenRegularFile(from, kind));
    if (in.Get() < 0)
        return false;
    const qsizetype slash = to.lastIndexOf(QLatin1Char('/'));
    const QString folder = slash < 0 ? QStringLiteral(".") : to.left(std::max<qsizetype>(slash, 1));
    QByteArray temporary = Encoded(WithSeparator(folder) + QStringLiteral(".vantor-copy-XXXXXX"));
    CFileDescriptor out(::mkostemp(temporary.data(), O_CLOEXEC));
    if (out.Get() < 0)
        return false;

    bool ok = true;
    char block[65536];
    while (ok) {
        const ssize_t got = ::read(in.Get(), block, sizeof block);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            ok = got == 0;
            break;
        }
        ok = WriteAll(out.Get(), block, got);
    }
    if (ok) {
        const struct timespec times[2] = {info.st_atim, info.st_mtim};
        ok = ::fchmod(out.Get(), info.st_mode & 0777) == 0 && ::futimens(out.Get(), times) == 0;
    }
    ok = out.Close() && ok;
    if (ok)
        ok = ::rename(temporary.constData(), Encoded(to).constData()) == 0;
    if (!ok)
        ::unlink(temporary.constData());
    return ok;
}

// A machine listing may leave out links that lead nowhere, and a folder that held one is
// not empty once everything listed has gone. The plain listing shows them: they go as
// themselves. True when any went.
bool RemoveLinksLeftOut(CFtpConnection& level, CFtpConnection& main, const QString& folder)
{
    try {
        if (!level.SetCurrentDirectory(folder))
            return false;
        QByteArray listing;
        std::unique_ptr<CInternetFile> data = level.Command(QStringLiteral("LIST"), true);
        char block[16384];
        qint64 got = 0;
        while (listing.size() < kLeftOverListingLimit &&
               (got = data->Read(block, sizeof block)) > 0)
            listing.append(block, got);
        if (got == 0)
            data->Close();
        data.reset();
        bool any = false;
        for (const FtpListEntry& entry :
             ParseListing(listing, ListingFormat::List, QDateTime::currentSecsSinceEpoch())) {
            if (entry.isLink && main.Remove(WithSeparator(folder) + entry.name))
                any = true;
        }
        return any;
    } catch (const CInternetException&) {
        return false;
    }
}

} // namespace

CFileOperations::CFileOperations(QWidget* ownerWidget, int paneSide, bool forceLocal, bool forceFtp)
    : owner(ownerWidget)
    , side(paneSide)
    , forceLocalDelete(forceLocal)
    , forceFtpDelete(forceFtp)
{}

bool CFileOperations::DeletesOnFtp() const
{
    return (side == 1 && !forceLocalDelete) || forceFtpDelete;
}

void CFileOperations::ShowError(const QString& text, const QString& caption) const
{
    ShowMessageBox(owner, text, caption, MsgIcon::Stop);
}

bool CFileOperations::DeleteFile(const QString& path)
{
    bool deleted = false;
    if (DeletesOnFtp()) {
        CFtpConnection* connection = theApp().ftpConnection.get();
        deleted = connection && connection->Remove(path);
    } else {
        // unlink: a link goes as itself, and a folder is refused.
        deleted = ::unlink(Encoded(path).constData()) == 0;
    }
    if (!deleted)
        ShowError(FileMessages::DeleteFileText(), FileMessages::DeleteFileCaption());
    return deleted;
}

bool CFileOperations::CreateFolder(const QString& path)
{
    bool created = false;
    if (side == 1) {
        CFtpConnection* connection = theApp().ftpConnection.get();
        created = connection && connection->CreateDirectory(path);
    } else {
        created = ::mkdir(Encoded(path).constData(), 0777) == 0;
    }
    if (!created)
        ShowError(FileMessages::CreateFolderText(), FileMessages::CreateFolderCaption());
    return created;
}

bool CFileOperations::CopyLocalFile(const QString& source, const QString& destination)
{
    struct stat sourceInfo
    {};
    // Only a regular file has content to copy: reading a pipe could wait for ever.
    if (const QString kind = SpecialFileKind(source); !kind.isEmpty()) {
        ShowError(FileMessages::CannotCopyKindText(source, kind), FileMessages::CopyFileCaption());
        return false;
    }
    if (::stat(Encoded(source).constData(), &sourceInfo) != 0 || !S_ISREG(sourceInfo.st_mode)) {
        ShowError(FileMessages::CopyFileText(), FileMessages::CopyFileCaption());
        return false;
    }
    struct stat destinationInfo
    {};
    if (::stat(Encoded(destination).constData(), &destinationInfo) == 0 &&
        destinationInfo.st_dev == sourceInfo.st_dev &&
        destinationInfo.st_ino == sourceInfo.st_ino) {
        ShowError(FileMessages::SameFileText(), FileMessages::CopyFileCaption());
        return false;
    }
    if (!CopyThroughTemporary(source, sourceInfo, destination)) {
        ShowError(FileMessages::CopyFileText(), FileMessages::CopyFileCaption());
        return false;
    }
    return true;
}

bool CFileOperations::DeleteFolder(const QString& folderPath)
{
    return DeletesOnFtp() ? DeleteFtpFolder(folderPath) : DeleteLocalFolder(folderPath);
}

bool CFileOperations::DeleteLocalFolder(const QString& folderPath)
{
    const QString folder = WithoutSeparator(folderPath);
    const QString prefix = WithSeparator(folderPath);
    struct stat info
    {};
    if (::lstat(Encoded(folder).constData(), &info) == 0 && S_ISLNK(info.st_mode)) {
        // A link to a folder: the link goes, what it leads to stays.
        if (::unlink(Encoded(folder).constData()) == 0)
            return true;
        ShowError(FileMessages::DeleteFolderText(), FileMessages::DeleteFolderCaption());
        return false;
    }
    // A folder that cannot be read is left to the removal below, which then fails.
    if (const std::optional<QList<LocalChild>> children = ReadLocalChildren(folder, false)) {
        for (const LocalChild& child : *children) {
            const QString path = prefix + child.name;
            const bool ok = child.kind == LocalEntryKind::Folder
                                ? DeleteFolder(path + QLatin1Char('/'))
                                : DeleteFile(path);
            if (!ok)
                return false;
        }
    }
    if (::rmdir(Encoded(folder).constData()) != 0) {
        ShowError(FileMessages::DeleteFolderText(), FileMessages::DeleteFolderCaption());
        return false;
    }
    return true;
}

bool CFileOperations::DeleteFtpFolder(const QString& folderPath)
{
    CVantorApp& app = theApp();
    const QString folder = WithoutSeparator(folderPath);
    const QString prefix = WithSeparator(folderPath);
    if (!app.ftpConnection || !app.internetSession) {
        ShowError(FileMessages::DeleteFolderText(), FileMessages::DeleteFolderCaption());
        return false;
    }
    // A server removes a link with DELE and refuses DELE for a folder. A listing may show a
    // link to a folder as a folder (a machine listing follows links), so every folder is
    // first offered to DELE: a link then goes as itself, and its target is never entered.
    if (app.ftpConnection->Remove(folder))
        return true;

    std::unique_ptr<CFtpConnection> level;
    try {
        const ProfileRecord& profile = app.activeProfile;
        level = app.internetSession->GetFtpConnection(profile.address, profile.userId,
                                                      profile.password);
    } catch (const CInternetException&) {
        ShowError(FileMessages::DeleteFolderText(), FileMessages::DeleteFolderCaption());
        return false;
    }
    bool ok = true;
    {
        CFtpFileFind find(*level);
        bool more = find.FindFile(prefix + QStringLiteral("*.*"), true);
        while (ok && more) {
            more = find.FindNextFile();
            if (find.IsDots())
                continue;
            const QString path = prefix + find.GetFileName();
            // A link, whatever it leads to, goes as itself; so does anything that is neither a
            // plain file nor a folder.
            if (find.IsLink() || find.IsNormal() || !find.IsDirectory())
                ok = DeleteFile(path);
            else
                ok = DeleteFolder(path + QLatin1Char('/'));
        }
        find.Close();
    }
    bool removed = ok && level->RemoveDirectory(folder);
    if (ok && !removed && RemoveLinksLeftOut(*level, *app.ftpConnection, folder))
        removed = level->RemoveDirectory(folder);
    level->Close();
    if (!ok)
        return false;
    if (!removed) {
        ShowError(FileMessages::DeleteFolderText(), FileMessages::DeleteFolderCaption());
        return false;
    }
    return true;
}

bool LocalFolderInside(const QString& source, const QString& destination)
{
    const QString sourceFolder = WithSeparator(source);
    const QString destinationFolder = WithSeparator(destination);
    if (destinationFolder.startsWith(sourceFolder))
        return true;
    // Links may still make the destination the source or a folder of it: compare where both
    // really are (the destination need not exist yet; its parent does).
    const QString from = QFileInfo(sourceFolder).canonicalFilePath();
    const QString to = WithoutSeparator(destinationFolder);
    const qsizetype slash = to.lastIndexOf(QLatin1Char('/'));
    const QString parent =
        QFileInfo(slash <= 0 ? QStringLiteral("/") : to.left(slash)).canonicalFilePath();
    if (from.isEmpty() || parent.isEmpty())
        return false;
    return WithSeparator(WithSeparator(parent) + to.mid(slash + 1)).startsWith(WithSeparator(from));
}

bool CFileOperations::CopyLocalFolder(const QString& source, const QString& destination,
                                      CSkippedItems* skipped)
{
    if (LocalFolderInside(source, destination)) {
        ShowError(FileMessages::InsideSourceText(), FileMessages::InsideSourceCaption());
        return false;
    }
    CFolderWalkGuard guard;
    CSkippedItems own;
    const bool copied = CopyLocalLevel(WithoutSeparator(source), WithoutSeparator(destination),
                                       guard, skipped ? *skipped : own);
    if (copied)
        own.Report(owner);
    return copied;
}

bool CFileOperations::CopyLocalLevel(const QString& source, const QString& destination,
                                     CFolderWalkGuard& guard, CSkippedItems& skipped)
{
    const CFolderWalkGuard::Step step = guard.Enter(LocalFolderIdentity(source));
    if (step != CFolderWalkGuard::Step::Entered) {
        ShowError(CFolderWalkGuard::RefusalText(step, source), CFolderWalkGuard::RefusalCaption());
        return false;
    }
    const struct Leave
    {
        CFolderWalkGuard& guard;
        ~Leave() { guard.Leave(); }
    } leave{guard};

    if (!CreateFolder(destination))
        return false;
    const std::optional<QList<LocalChild>> children = ReadLocalChildren(source, true);
    if (!children) {
        // Copying an unreadable folder as an empty one would lose its content unseen.
        ShowError(FileMessages::CopyFileText(), FileMessages::CopyFileCaption());
        return false;
    }
    for (const LocalChild& child : *children) {
        const QString from = WithSeparator(source) + child.name;
        const QString to = WithSeparator(destination) + child.name;
        // Devices, pipes and links that lead nowhere carry no content to copy.
        if (child.kind == LocalEntryKind::Other) {
            skipped.Add(from, child.what);
            continue;
        }
        const bool ok = child.kind == LocalEntryKind::Folder
                            ? CopyLocalLevel(from, to, guard, skipped)
                            : CopyLocalFile(from, to);
        if (!ok)
            return false;
    }
    return true;
}
