// The folder transfers of the transfer engine: upload folder, download folder and copy FTP
// folder.
#include "ftp/filetransfer.h"

#include "framework/messagebox.h"
#include "ftp/filemessages.h"
#include "ftp/filetimes.h"
#include "ftp/folderwalk.h"
#include "ftp/transferpool.h"
#include "ftp/transferreport.h"
#include "inet/ftpconnection.h"
#include "inet/ftpfilefind.h"
#include "inet/internetexception.h"
#include "inet/internetsession.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <algorithm>
#include <ctime>
#include <functional>
#include <utility>

#include <vector>

#include <sys/stat.h>

namespace {

// A child path: the parent, the separator where the parent does not end with it, the name.
QString ChildPath(const QString& parent, const QString& name)
{
    if (parent.endsWith(QLatin1Char('/')))
        return parent + name;
    return parent + QLatin1Char('/') + name;
}

QString ShownPath(const QString& serverPath)
{
    return FileMessages::ShownServerPath(serverPath);
}

QString WithSeparator(const QString& folder)
{
    return folder.endsWith(QLatin1Char('/')) ? folder : QString(folder + QLatin1Char('/'));
}

// Leaves the guard's current folder when the level ends, however it ends.
class CLevelExit
{
public:
    explicit CLevelExit(CFolderWalkGuard& walkGuard)
        : guard(walkGuard)
    {}
    ~CLevelExit() { guard.Leave(); }
    CLevelExit(const CLevelExit&) = delete;
    CLevelExit& operator=(const CLevelExit&) = delete;

private:
    CFolderWalkGuard& guard;
};

// A folder's listing as an identity: names, kinds, sizes and times in the server's order.
// Empty for an empty listing, which has nothing below it to run round.
QString ListingIdentity(const std::vector<FtpListEntry>& entries)
{
    if (entries.empty())
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha1);
    for (const FtpListEntry& entry : entries) {
        hash.addData(entry.rawName);
        const qint64 facts[] = {entry.isNormal, entry.isDirectory, qint64(entry.size),
                                entry.writeTime, entry.permissions};
        hash.addData(QByteArrayView(reinterpret_cast<const char*>(facts), sizeof facts));
    }
    return QStringLiteral("listing:") + QString::fromLatin1(hash.result().toHex());
}

// The files below `folder` as an upload will send them, and their bytes: links followed,
// what is left out not counted, a cycle or a depth the upload refuses not entered.
void CountLocalTree(const QString& folder, CFolderWalkGuard& guard, quint64& files, quint64& bytes)
{
    if (guard.Enter(LocalFolderIdentity(folder)) != CFolderWalkGuard::Step::Entered)
        return;
    const CLevelExit exit(guard);
    const std::optional<QList<LocalChild>> children = ReadLocalChildren(folder, true);
    for (const LocalChild& child : children.value_or(QList<LocalChild>())) {
        const QString path = ChildPath(folder, child.name);
        if (child.kind == LocalEntryKind::Folder) {
            CountLocalTree(path, guard, files, bytes);
        } else if (child.kind == LocalEntryKind::File) {
            ++files;
            bytes += static_cast<quint64>(QFileInfo(path).size());
        }
    }
}

// Ends the engine's folder tally when a folder routine returns, however it returns.
struct CFolderTally
{
    std::function<void()> end;
    ~CFolderTally() { end(); }
};

} // namespace

void CFileTransfer::BeginFolder(quint64 files, quint64 bytes, quint64 folders)
{
    FolderProgress progress;
    progress.filesTotal = files;
    progress.bytesTotal = bytes;
    progress.totalKnown = folders == 0;
    progress.started = std::time(nullptr);
    folderTally = progress;
    unlistedFolders = folders;
    report.ShowFolderProgress(*folderTally);
}

void CFileTransfer::FileDone(quint64 bytes)
{
    if (!folderTally)
        return;
    ++folderTally->filesDone;
    folderTally->bytesDone += bytes;
    // A file the listing could not size, or one that changed, counts as it arrived.
    folderTally->filesTotal = std::max(folderTally->filesTotal, folderTally->filesDone);
    folderTally->bytesTotal = std::max(folderTally->bytesTotal, folderTally->bytesDone);
    report.ShowFolderProgress(*folderTally);
}

void CFileTransfer::FolderListed(quint64 files, quint64 bytes, quint64 folders)
{
    if (!folderTally)
        return;
    folderTally->filesTotal += files;
    folderTally->bytesTotal += bytes;
    unlistedFolders = unlistedFolders + folders - std::min<quint64>(unlistedFolders, 1);
    folderTally->totalKnown = unlistedFolders == 0;
    report.ShowFolderProgress(*folderTally);
}

void CFileTransfer::EndFolder()
{
    folderTally.reset();
    unlistedFolders = 0;
}

void CFileTransfer::ReportCreateFolderError()
{
    report.ShowMessage(FileMessages::CreateFolderText(), FileMessages::CreateFolderCaption(),
                       MsgIcon::Stop);
}

bool CFileTransfer::RefuseStep(CFolderWalkGuard::Step step, const QString& folder)
{
    report.ShowMessage(CFolderWalkGuard::RefusalText(step, ShownPath(folder)),
                       CFolderWalkGuard::RefusalCaption(), MsgIcon::Stop);
    return false;
}

bool CFileTransfer::UploadFolder(const QString& localFolder, const QString& ftpFolder)
{
    // A local path and a server path never lie inside one another, however alike their
    // texts, so the test for a folder copied into itself has nothing to compare here.
    quint64 files = 0;
    quint64 bytes = 0;
    {
        CFolderWalkGuard counting;
        CountLocalTree(localFolder, counting, files, bytes);
    }
    BeginFolder(files, bytes, 0);
    const CFolderTally tally{[this] { EndFolder(); }};
    CFolderWalkGuard guard;
    return Finish(EndTreeFiles(UploadLevel(localFolder, ftpFolder, guard)));
}

bool CFileTransfer::UploadLevel(const QString& localFolder, const QString& ftpFolder,
                                CFolderWalkGuard& guard)
{
    const CFolderWalkGuard::Step step = guard.Enter(LocalFolderIdentity(localFolder));
    if (step != CFolderWalkGuard::Step::Entered)
        return RefuseStep(step, localFolder);
    const CLevelExit exit(guard);

    CFtpConnection* connection = link.connection;
    if (!connection || !connection->CreateDirectory(ftpFolder)) {
        ReportCreateFolderError();
        return false;
    }
    const std::optional<QList<LocalChild>> children = ReadLocalChildren(localFolder, true);
    if (!children) {
        // An unreadable folder copied as an empty one would lose its content unseen.
        report.ReportCopyError();
        return false;
    }
    for (const LocalChild& child : *children) {
        const QString from = ChildPath(localFolder, child.name);
        const QString to = ChildPath(ftpFolder, child.name);
        // Devices, pipes and links that lead nowhere have no content to send (reading a pipe
        // could wait for ever), and no FTP command can carry a line break in a name.
        if (child.kind == LocalEntryKind::Other) {
            report.Skip(from, child.what);
            continue;
        }
        if (child.name.contains(QLatin1Char('\n')) || child.name.contains(QLatin1Char('\r'))) {
            report.Skip(from, FileMessages::LineBreakReason());
            continue;
        }
        if (child.kind == LocalEntryKind::Folder) {
            if (!UploadLevel(from, to, guard))
                return false;
            continue;
        }
        if (!CopyTreeFile({FileJob::Kind::Upload, from, to, std::nullopt, std::nullopt, true}))
            return false;
    }
    return true;
}

CTransferPool* CFileTransfer::Pool()
{
    if (parallel < 2 || !link.connection || !link.session)
        return nullptr;
    if (!pool) {
        // The helpers need not ask the server what it offers: this engine asks once for all.
        try {
            ServerChecks(*link.connection);
        } catch (const CInternetException&) {
        }
        pool = std::make_unique<CTransferPool>(report, parallel,
                                               [this](const FileJob& job, FileJobOutcome& outcome) {
                                                   return RunFileJob(job, outcome);
                                               });
        pool->onCopied = [this](const FileJob& job, const FileJobOutcome& outcome) {
            FileCopied(job, outcome);
        };
    }
    pool->SetLink(link, keepTimes, serverChecks);
    return pool.get();
}

bool CFileTransfer::CopyTreeFile(FileJob job)
{
    if (CTransferPool* helpers = Pool())
        return helpers->Submit(std::move(job));
    FileJobOutcome outcome;
    if (!RunFileJob(job, outcome))
        return false;
    FileCopied(job, outcome);
    return true;
}

void CFileTransfer::FileCopied(const FileJob& job, const FileJobOutcome& outcome)
{
    FileDone(outcome.bytes);
    treeSizesToCheck.insert(treeSizesToCheck.end(), outcome.sizesToCheck.begin(),
                            outcome.sizesToCheck.end());
    treeTimesToSet.insert(treeTimesToSet.end(), outcome.timesToSet.begin(),
                          outcome.timesToSet.end());
    Q_UNUSED(job);
}

bool CFileTransfer::EndTreeFiles(bool walked)
{
    // Files still running end as they would: nothing is left half copied behind the failure.
    bool copied = (!pool || pool->Finish()) && walked;
    const std::vector<StoredSize> sizes = std::exchange(treeSizesToCheck, {});
    std::vector<std::pair<QString, qint64>> times = std::exchange(treeTimesToSet, {});
    if (!copied)
        return false;
    // The sizes of the files stored in each folder are checked together, by its listing.
    QList<QString> folders;
    QHash<QString, std::vector<StoredSize>> byFolder;
    for (const StoredSize& file : sizes) {
        const QString folder = file.ftpPath.left(file.ftpPath.lastIndexOf(QLatin1Char('/')));
        if (!byFolder.contains(folder))
            folders.append(folder);
        byFolder[folder].push_back(file);
    }
    for (const QString& folder : folders) {
        if (!CheckStoredSizes(folder.isEmpty() ? QStringLiteral("/") : folder, byFolder[folder]))
            return false;
    }
    // The modification times, sent together a hundred to a write.
    constexpr std::size_t kTimesPerWrite = 100;
    for (std::size_t first = 0; first < times.size() && link.connection; first += kTimesPerWrite) {
        const auto begin = times.begin() + static_cast<std::ptrdiff_t>(first);
        const auto end = times.begin() + static_cast<std::ptrdiff_t>(
                                             std::min(times.size(), first + kTimesPerWrite));
        try {
            link.connection->SetModificationTimes({begin, end});
        } catch (const CInternetException& error) {
            ReportNetworkFailure(error);
            return false;
        }
    }
    return true;
}

bool CFileTransfer::CheckStoredSizes(const QString& ftpFolder,
                                     const std::vector<StoredSize>& stored)
{
    CFtpConnection* connection = link.connection;
    if (stored.empty())
        return true;
    if (!connection) {
        report.ReportCopyError();
        return false;
    }
    // One file is asked for more cheaply by itself than by a listing.
    QHash<QString, quint64> listed;
    if (stored.size() > 1) {
        CFtpFileFind find(*connection);
        bool more = find.FindFile(ChildPath(ftpFolder, QStringLiteral("*.*")), true);
        while (more) {
            more = find.FindNextFile();
            if (find.IsNormal())
                listed.insert(ChildPath(ftpFolder, find.GetFileName()), find.GetLength());
        }
        find.Close();
    }
    try {
        for (const StoredSize& file : stored) {
            const auto found = listed.constFind(file.ftpPath);
            if (found != listed.constEnd() && *found == file.size)
                continue;
            // Not listed, or listed otherwise (a listing may round sizes or hide names):
            // the server's answer for the file itself decides.
            const std::optional<FtpStat> stat = connection->Stat(file.ftpPath);
            if (!stat || stat->isDirectory || stat->size != file.size) {
                report.ReportCopyError();
                return false;
            }
        }
    } catch (const CInternetException& error) {
        if (error.Kind() == InetErrorKind::Cancelled)
            report.PollCancel();
        else
            report.ReportCopyError(error);
        return false;
    }
    return true;
}

bool CFileTransfer::DownloadFolder(const QString& ftpFolder, const QString& localFolder)
{
    const QFileInfo destination(localFolder);
    if (!LocalNameFits(destination.path(), destination.fileName())) {
        report.ShowMessage(FileMessages::NameTooLongText(destination.fileName()),
                           FileMessages::InsideSourceCaption(), MsgIcon::Stop);
        return false;
    }
    BeginFolder(0, 0, 1);
    const CFolderTally tally{[this] { EndFolder(); }};
    CFolderWalkGuard guard;
    return Finish(EndTreeFiles(FtpSourceLevel(ftpFolder, localFolder, false, false, guard) ==
                               LevelResult::Copied));
}

bool CFileTransfer::CopyFtpFolder(const QString& sourceFolder, const QString& destinationFolder)
{
    if (!report.CheckNotInsideSource(WithSeparator(sourceFolder), WithSeparator(destinationFolder)))
        return false;
    BeginFolder(0, 0, 1);
    const CFolderTally tally{[this] { EndFolder(); }};
    CFolderWalkGuard guard;
    return Finish(EndTreeFiles(FtpSourceLevel(sourceFolder, destinationFolder, true, false,
                                              guard) == LevelResult::Copied));
}

bool CFileTransfer::CopyFtpSourceFile(const QString& source, const QString& destination, bool toFtp,
                                      std::optional<quint64> listedSize,
                                      std::optional<qint64> listedTime)
{
    return CopyTreeFile({toFtp ? FileJob::Kind::CopyOnServer : FileJob::Kind::Download, source,
                         destination, listedSize, listedTime, false});
}

CFileTransfer::LevelResult CFileTransfer::FtpSourceLevel(const QString& source,
                                                         const QString& destination, bool toFtp,
                                                         bool mayBeFile, CFolderWalkGuard& guard)
{
    if (!link.connection || !link.session) {
        report.ReportCopyError();
        return LevelResult::Failed;
    }
    // The level's own connection carries its listing while the levels below run.
    // Where helper connections copy the files, the listings go over this engine's own
    // connection, which the walk otherwise only uses to create folders: a server that allows
    // few connections then keeps them for the copies, and the walk never waits for one.
    const bool listHere = Pool() != nullptr;
    std::unique_ptr<CFtpConnection> ownLevel;
    if (!listHere) {
        try {
            const ProfileRecord& profile = link.profile;
            ownLevel =
                link.session->GetFtpConnection(profile.address, profile.userId, profile.password);
        } catch (const CInternetException& error) {
            if (error.Kind() == InetErrorKind::Cancelled)
                report.PollCancel();
            else
                report.ReportCopyError(error);
            return LevelResult::Failed;
        }
    }
    CFtpConnection* level = listHere ? link.connection : ownLevel.get();
    const struct CloseLevel
    {
        CFtpConnection* connection;
        ~CloseLevel()
        {
            if (connection)
                connection->Close();
        }
    } closeLevel{ownLevel.get()};

    // Entering the folder tells where the server says it really is: a link back to a
    // folder being copied shows as that folder's path on most servers.
    if (!level->SetCurrentDirectory(source)) {
        // A link the listing could not place: when it cannot be entered, it is a file.
        if (mayBeFile)
            return LevelResult::NotAFolder;
        if (report.PollCancel())
            report.ReportCopyError();
        return LevelResult::Failed;
    }
    QString reported;
    if (!level->GetCurrentDirectory(reported) || reported.isEmpty())
        reported = source;
    // Paths without a leading "/" go on meaning what they meant.
    if (listHere && !link.currentDir.isEmpty())
        level->SetCurrentDirectory(link.currentDir);

    // The listing is read whole before the level below starts. Servers that report the
    // path as it was entered still show a cycle by it: a folder listed exactly like one it
    // lies in, folders of the same names included, is that folder again.
    std::vector<FtpListEntry> entries;
    {
        CFtpFileFind find(*level);
        bool more = find.FindFile(ChildPath(source, QStringLiteral("*.*")), true);
        if (!more && find.LastError()) {
            // A listing that failed is not an empty folder: the copy would lack its content.
            if (find.LastError()->Kind() == InetErrorKind::Cancelled)
                report.PollCancel();
            else
                report.ReportCopyError(*find.LastError());
            return LevelResult::Failed;
        }
        while (more) {
            more = find.FindNextFile();
            if (!find.IsDots())
                entries.push_back(find.Current());
        }
        find.Close();
    }
    const CFolderWalkGuard::Step step =
        guard.Enter({QStringLiteral("path:") + reported, ListingIdentity(entries)});
    if (step != CFolderWalkGuard::Step::Entered) {
        RefuseStep(step, source);
        return LevelResult::Failed;
    }
    const CLevelExit exit(guard);

    const bool created = toFtp ? link.connection->CreateDirectory(destination)
                               : ::mkdir(QFile::encodeName(destination).constData(), 0777) == 0;
    if (!created) {
        ReportCreateFolderError();
        return LevelResult::Failed;
    }
    // What this listing adds to the folder tally: the files it will copy, the folders (and
    // links) still to be listed.
    const auto leftOut = [&](const FtpListEntry& entry) {
        return (!entry.isNormal && !entry.isDirectory && !entry.isLink) ||
               (!toFtp && !LocalNameFits(destination, entry.name));
    };
    quint64 files = 0;
    quint64 bytes = 0;
    quint64 folders = 0;
    for (const FtpListEntry& entry : entries) {
        if (leftOut(entry))
            continue;
        if (entry.isNormal) {
            ++files;
            bytes += entry.size;
        } else {
            ++folders;
        }
    }
    FolderListed(files, bytes, folders);
    for (const FtpListEntry& entry : entries) {
        const QString from = ChildPath(source, entry.name);
        const QString to = ChildPath(destination, entry.name);
        // A server pipe or device may never end its data; a link is tried below.
        if (!entry.isNormal && !entry.isDirectory && !entry.isLink) {
            report.Skip(ShownPath(from), FileMessages::NotFileOrFolderReason());
            continue;
        }
        // Found before any byte of it moves.
        if (!toFtp && !LocalNameFits(destination, entry.name)) {
            report.Skip(ShownPath(from), FileMessages::NameTooLongReason());
            continue;
        }
        if (entry.isNormal) {
            if (!CopyFtpSourceFile(from, to, toFtp, entry.size, ListedTime(entry)))
                return LevelResult::Failed;
            continue;
        }
        // Folders, and links the listing cannot tell: a link that cannot be entered is
        // copied as the file it leads to.
        const LevelResult below = FtpSourceLevel(from, to, toFtp, !entry.isDirectory, guard);
        if (below == LevelResult::NotAFolder) {
            FolderListed(1, 0, 0);
            if (!CopyFtpSourceFile(from, to, toFtp, std::nullopt, std::nullopt))
                return LevelResult::Failed;
        } else if (below != LevelResult::Copied) {
            return LevelResult::Failed;
        }
    }
    return LevelResult::Copied;
}
