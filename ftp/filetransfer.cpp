// Copying one file: from the local computer to the server, back, and from one server path
// to another. Each routine moves the bytes through one block loop, then holds the result
// against what the server says of the file (its size, and a digest where it offers one).
#include "ftp/filetransfer.h"

#include "framework/messagebox.h"
#include "ftp/digestside.h"
#include "ftp/filemessages.h"
#include "ftp/filetimes.h"
#include "ftp/folderwalk.h"
#include "ftp/partfile.h"
#include "ftp/serverchecks.h"
#include "ftp/streamdigest.h"
#include "ftp/transferchecks.h"
#include "ftp/transferpool.h"
#include "ftp/transferreport.h"
#include "ftp/transferresume.h"
#include "inet/ftpconnection.h"
#include "inet/internetexception.h"
#include "inet/internetfile.h"
#include "inet/internetsession.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <ctime>
#include <functional>
#include <unistd.h>
#include <utility>

namespace {

const QString kRetrievingLengthText = QStringLiteral("Retrieving Length of FTP File");
const QString kServerToServerTitle =
    QStringLiteral("Copying files from FTP Server to FTP Server - Please Wait");

constexpr qint64 kBlockSize = 1000;
// From this size on, a download's digest is asked for on the side connection even for a
// single file, so that the server hashes while the data streams; below it, a login would
// cost more than the wait.
constexpr quint64 kParallelDigestBytes = 16 * 1024 * 1024;

// Runs `action` when the scope ends, unless released.
class CScopeExit
{
public:
    explicit CScopeExit(std::function<void()> onExit)
        : action(std::move(onExit))
    {}
    ~CScopeExit()
    {
        if (action)
            action();
    }
    CScopeExit(const CScopeExit&) = delete;
    CScopeExit& operator=(const CScopeExit&) = delete;
    void Release() { action = nullptr; }

private:
    std::function<void()> action;
};

// The report's "copying" state while a file routine runs, ended however the routine ends.
class CCopyingStatus
{
public:
    explicit CCopyingStatus(CTransferReport& transferReport)
        : report(transferReport)
    {
        report.ShowCopying(true);
    }
    ~CCopyingStatus() { report.ShowCopying(false); }
    CCopyingStatus(const CCopyingStatus&) = delete;
    CCopyingStatus& operator=(const CCopyingStatus&) = delete;

private:
    CTransferReport& report;
};

// Where the bytes of one transfer come from and go to. `read` gives the bytes read, 0 at the
// end of the data and -1 for a local failure; `write` gives false for a local failure. A
// network failure arrives as CInternetException from either.
struct BlockEnds
{
    std::function<qint64(char*, qint64)> read;
    std::function<bool(const char*, qint64)> write;
};

// Moves the data in blocks of 1000 bytes until the source ends. Each whole block shows its
// progress and polls for Cancel; the last, partial block does not. `total` is the length
// the progress is measured against, where one is known. False after a failure (shown) or
// a cancel; `moved` counts on from where it stood (the bytes a resumed file already has),
// and holds the bytes written either way. With `broken`, a network failure a fresh login
// may get past is put there instead of being shown.
bool MoveBlocks(CTransferReport& report, const BlockEnds& ends, std::optional<quint64> total,
                CStreamDigest* digest, quint64& moved,
                std::optional<CInternetException>* broken = nullptr)
{
    const QString totalText = total ? QString::number(*total) : QString();
    const std::time_t start = std::time(nullptr);
    char buffer[kBlockSize];
    const quint64 startedAt = moved;
    quint64 blockIndex = moved / kBlockSize;
    bool failed = false;
    if (broken)
        broken->reset(); // only a break of this pass may be resumed
    try {
        for (;;) {
            qint64 filled = 0;
            while (filled < kBlockSize) {
                const qint64 got = ends.read(buffer + filled, kBlockSize - filled);
                if (got <= 0) {
                    failed = got < 0;
                    break;
                }
                filled += got;
            }
            if (!failed && filled > 0 && !ends.write(buffer, filled))
                failed = true;
            if (failed) {
                report.ReportCopyError();
                break;
            }
            if (digest)
                digest->Add(buffer, filled);
            moved += static_cast<quint64>(filled);
            if (filled < kBlockSize)
                break; // the data ended inside this block
            report.ShowTransferProgress(moved, totalText, std::time(nullptr) - start);
            if (!report.UpdateProgress(blockIndex, total.value_or(0))) {
                failed = true;
                break;
            }
            ++blockIndex;
        }
    } catch (const CInternetException& error) {
        // A call ended by Cancel gets its message from the poll below.
        if (broken && CTransferResume::IsBreak(error, moved > startedAt))
            *broken = error;
        else if (error.Kind() != InetErrorKind::Cancelled)
            report.ReportCopyError(error);
        failed = true;
    }
    if (!report.PollCancel()) {
        failed = true;
        if (broken)
            broken->reset(); // a cancelled copy is never resumed
    }
    return !failed;
}

} // namespace

CFileTransfer::CFileTransfer(CTransferReport& transferReport)
    : report(transferReport)
    , resume(transferReport)
{}

CFileTransfer::~CFileTransfer() = default;

void CFileTransfer::SetLink(TransferLink newLink)
{
    link = std::move(newLink);
}

void CFileTransfer::SetParallel(int count)
{
    const int wanted = std::clamp(count, 1, 10);
    if (wanted != parallel)
        pool.reset(); // its helpers are idle between two calls of the engine
    parallel = wanted;
}

bool CFileTransfer::StartFile(const FileJob& job)
{
    if (CTransferPool* helpers = Pool())
        return helpers->Submit(job);
    FileJobOutcome outcome;
    return RunFileJob(job, outcome);
}

bool CFileTransfer::FinishFiles()
{
    // The helpers settle their own files' checks (on the session as it is now); this engine
    // those it copied itself.
    if (pool)
        pool->SetLink(link, keepTimes, serverChecks);
    return Finish(!pool || pool->Finish());
}

bool CFileTransfer::RunFileJob(const FileJob& job, FileJobOutcome& outcome)
{
    bool copied = false;
    switch (job.kind) {
    case FileJob::Kind::Upload:
        copied = UploadOneFile(job.source, job.destination,
                               job.inFolder ? &outcome.sizesToCheck : nullptr);
        outcome.timesToSet = std::exchange(serverTimesLater, {});
        outcome.bytes = static_cast<quint64>(QFileInfo(job.source).size());
        break;
    case FileJob::Kind::Download:
        copied = DownloadListedFile(job.source, job.destination, job.listedSize, job.listedTime);
        // The file may still wait in its part file for its check.
        outcome.bytes = lastFileBytes;
        break;
    case FileJob::Kind::CopyOnServer:
        copied = CopyListedFtpFile(job.source, job.destination, job.listedTime);
        outcome.bytes = job.listedSize.value_or(0);
        break;
    }
    return copied;
}

QString CFileTransfer::ServerDisplayPath(const QString& path) const
{
    return link.profile.name + QLatin1Char(':') + FileMessages::ShownServerPath(path);
}

bool CFileTransfer::SameServerFile(const QString& first, const QString& second) const
{
    const auto normal = [this](const QString& path) {
        const QString absolute =
            path.startsWith(QLatin1Char('/')) ? path : link.currentDir + QLatin1Char('/') + path;
        return QDir::cleanPath(absolute);
    };
    return normal(first) == normal(second);
}

void CFileTransfer::ReportNetworkFailure(const CInternetException& error)
{
    if (error.Kind() == InetErrorKind::Cancelled && report.CancelRequested())
        report.PollCancel();
    else
        report.ReportCopyError(error);
}

const CServerChecks& CFileTransfer::ServerChecks(CFtpConnection& connection)
{
    if (!serverChecks) {
        const FtpCommandReply features = connection.Query(QStringLiteral("FEAT"));
        serverChecks = CServerChecks::FromFeatures(features.code, features.text);
    }
    return *serverChecks;
}

bool CFileTransfer::UploadFile(const QString& localPath, const QString& ftpPath)
{
    const bool wasBatch = std::exchange(batch, false);
    const bool copied = UploadOneFile(localPath, ftpPath, nullptr);
    batch = wasBatch;
    return Finish(copied);
}

bool CFileTransfer::UploadOneFile(const QString& localPath, const QString& ftpPath,
                                  std::vector<StoredSize>* sizesToCheck)
{
    CCopyingStatus status(report);
    report.ShowTransferControls();
    report.SetFrom(localPath);
    report.SetTo(ServerDisplayPath(ftpPath));

    // Only a regular file is read: a pipe or a device would keep the window waiting.
    QString kind;
    const int fd = OpenRegularFile(localPath, kind);
    if (!kind.isEmpty()) {
        report.ShowMessage(FileMessages::CannotCopyKindText(localPath, kind),
                           FileMessages::CopyFileCaption(), MsgIcon::Stop);
        return false;
    }
    QFile local;
    CFtpConnection* connection = link.connection;
    if (fd >= 0 && !local.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        ::close(fd);
    if (!connection || !local.isOpen()) {
        report.ReportCopyError();
        return false;
    }
    const quint64 total = static_cast<quint64>(local.size());

    std::unique_ptr<CInternetFile> remote;
    std::unique_ptr<CStreamDigest> digest;
    try {
        digest = DigestFor(ServerChecks(*connection));
        remote = connection->OpenFile(ftpPath, FileAccess::Write);
    } catch (const CInternetException& error) {
        ReportNetworkFailure(error);
        return false;
    }

    report.SetStatusLine(FileMessages::TransferringText());
    quint64 moved = 0;
    const BlockEnds ends{[&local](char* bytes, qint64 count) { return local.read(bytes, count); },
                         [&remote](const char* bytes, qint64 count) {
                             remote->Write(bytes, count);
                             return true;
                         }};
    // A transfer given up is not closed: the server is told it is incomplete. One cut off
    // by a break goes on over a fresh login from what the server stored.
    resume.BeginFile();
    for (std::optional<CInternetException> broken;;) {
        if (MoveBlocks(report, ends, total, digest.get(), moved, &broken)) {
            if (moved < total) {
                // The file shrank while it was read: what went out is not the file.
                report.ReportCopyError();
                return false;
            }
            if (CloseAfterData(*remote, broken))
                break;
        }
        if (!broken)
            return false;
        remote.reset();
        quint64 offset = moved;
        remote = resume.Reopen(link, *broken, ftpPath, FileAccess::Write, *serverChecks, offset);
        if (!remote)
            return false;
        connection = link.connection;
        // The block cut off was read but not all sent: the local file goes back in any case.
        if (offset != moved ? !CTransferResume::Rewind(local, offset, *serverChecks, digest)
                            : !local.seek(static_cast<qint64>(offset))) {
            report.ReportCopyError();
            return false;
        }
        moved = offset;
    }
    PendingCheck check;
    try {
        const CServerChecks& checks = ServerChecks(*connection);
        const bool sizeLater = sizesToCheck && checks.HasExactSize();
        if (checks.HasExactSize() && !sizeLater) {
            const std::optional<FtpStat> stored = connection->Stat(ftpPath);
            if (!stored || stored->size != moved) {
                report.ReportCopyError();
                return false;
            }
        }
        check = CheckOf(localPath, ServerDisplayPath(ftpPath), ftpPath, digest.get());
        if (sizeLater)
            sizesToCheck->push_back({ftpPath, moved});
        if (keepTimes) {
            const std::optional<qint64> time = OpenFileTime(local.handle());
            // In a folder the times go together at the level's end, saving a round trip each.
            if (sizesToCheck && time)
                serverTimesLater.emplace_back(ftpPath, *time);
            else
                SetServerFileTime(*connection, ftpPath, time);
        }
    } catch (const CInternetException& error) {
        DropTicket(check.ticket);
        ReportNetworkFailure(error);
        return false;
    }
    lastFileBytes = moved;
    return AddCheck(std::move(check));
}

bool CFileTransfer::CloseAfterData(CInternetFile& remote, std::optional<CInternetException>& broken)
{
    try {
        remote.Close();
        return true;
    } catch (const CInternetException& error) {
        if (CTransferResume::IsBreak(error, true))
            broken = error;
        else
            ReportNetworkFailure(error);
        return false;
    }
}

bool CFileTransfer::DownloadFile(const QString& ftpPath, const QString& localPath)
{
    const bool wasBatch = std::exchange(batch, false);
    const bool copied = DownloadListedFile(ftpPath, localPath, std::nullopt);
    batch = wasBatch;
    return Finish(copied);
}

bool CFileTransfer::DownloadListedFile(const QString& ftpPath, const QString& localPath,
                                       std::optional<quint64> listedSize,
                                       std::optional<qint64> listedTime)
{
    CCopyingStatus status(report);
    report.SetStatusLine(kRetrievingLengthText);
    report.SetFrom(ServerDisplayPath(ftpPath));
    report.SetTo(localPath);
    report.ShowTransferControls();

    const QString target = DownloadTarget(localPath);
    if (!CheckDownloadTarget(localPath, target))
        return false;
    CFtpConnection* connection = link.connection;
    if (!connection || QFileInfo(target).isDir()) {
        report.ReportCopyError();
        return false;
    }

    // The server file is opened before anything local is touched: should it be missing or
    // refused, the user's file stays as it was.
    ServerLength length;
    std::unique_ptr<CStreamDigest> digest;
    std::unique_ptr<CInternetFile> remote;
    auto part = std::make_unique<CPartFile>(target);
    quint64 moved = 0;
    try {
        const CServerChecks& checks = ServerChecks(*connection);
        if (listedSize) {
            length.length = listedSize;
            if (checks.HasExactSize())
                length.announced = listedSize;
        } else {
            length = LengthOf(*connection, checks, ftpPath);
        }
        digest = DigestFor(checks);
        // A part file an earlier run left of this very server file is offered to go on with.
        const std::optional<qint64> time = listedTime ? listedTime : length.time;
        if (length.announced && time)
            part->SetSource({link.profile.address, link.profile.userId,
                             QDir::cleanPath(ftpPath.startsWith(QLatin1Char('/'))
                                                 ? ftpPath
                                                 : link.currentDir + QLatin1Char('/') + ftpPath),
                             *length.announced, *time});
        moved = OfferEarlierPart(*part, report);
        remote = moved ? connection->OpenFileAt(ftpPath, FileAccess::Read, moved) : nullptr;
        if (!remote) { // REST refused: a fresh part file, the earlier one left as it is
            part->LeaveEarlier();
            moved = 0;
            remote = connection->OpenFile(ftpPath, FileAccess::Read);
        }
    } catch (const CInternetException& error) {
        ReportNetworkFailure(error);
        return false;
    }
    // The digest covers the whole file, the bytes the part file holds too.
    if (moved && digest && !CTransferResume::Rewind(part->File(), moved, *serverChecks, digest)) {
        report.ReportCopyError();
        return false;
    }
    // The server's digest is asked at once: the server may compute it while the data streams.
    std::optional<quint64> ticket;
    if (digest)
        ticket = AskAside(ftpPath, length.length.value_or(0) >= kParallelDigestBytes);
    CScopeExit dropTicket([this, &ticket] { DropTicket(ticket); });

    if (!part->File().isOpen() && !part->Create()) {
        report.ReportCopyError();
        return false;
    }

    report.SetStatusLine(FileMessages::TransferringText());
    const BlockEnds ends{
        [&remote](char* bytes, qint64 count) { return remote->Read(bytes, count); },
        [&part](const char* bytes, qint64 count) {
            return part->File().write(bytes, count) == count;
        }};
    // On failure the part file keeps what arrived, and the user's file is not touched. A
    // break goes on over a fresh login from the end of the part file.
    // Without a size to hold the bytes to, only a clean end of the data (over TLS, the
    // server's close_notify) tells a whole file from one cut short on the way.
    bool endedCleanly = false;
    PendingCheck check;
    resume.BeginFile();
    for (std::optional<CInternetException> broken;;) {
        if (MoveBlocks(report, ends, length.length, digest.get(), moved, &broken)) {
            endedCleanly = remote->EndedCleanly();
            if (CloseAfterData(*remote, broken))
                break;
        }
        if (!broken)
            return false;
        remote.reset();
        if (!part->File().flush()) {
            report.ReportCopyError();
            return false;
        }
        quint64 offset = moved;
        remote = resume.Reopen(link, *broken, ftpPath, FileAccess::Read, *serverChecks, offset);
        if (!remote)
            return false;
        connection = link.connection;
        if (offset != moved) { // the server will not start part-way: so neither does the file
            if (!part->File().resize(0) || !part->File().seek(0)) {
                report.ReportCopyError();
                return false;
            }
            digest = DigestFor(*serverChecks);
        }
        moved = offset;
    }
    try {
        const bool written = part->File().flush();
        part->File().close();
        bool sizeMatches = length.announced ? moved == *length.announced : endedCleanly;
        if (!sizeMatches && listedSize) {
            // The listing may be older than the file, or round its sizes: the server's
            // answer for the file itself decides, and a file it cannot size is not whole.
            const std::optional<quint64> now =
                LengthOf(*connection, *serverChecks, ftpPath).announced;
            sizeMatches = now && *now == moved;
        }
        const bool whole = written && part->File().error() == QFileDevice::NoError && sizeMatches;
        if (report.CancelRequested()) {
            report.PollCancel();
            return false;
        }
        if (!whole) {
            if (moved == length.announced)
                part->Forget(); // its bytes are not the file's: never to be gone on with
            report.ReportCopyError();
            return false;
        }
        // On the part file, which is this download's own, before it takes the target's place.
        if (keepTimes)
            KeepServerTime(*connection, ftpPath, part->Path(),
                           listedTime ? listedTime : length.time);
        // The part file takes the target's place once the digest check is settled.
        dropTicket.Release();
        check = CheckOf(ServerDisplayPath(ftpPath), localPath, ftpPath, digest.get(), ticket);
        check.part = std::move(part);
    } catch (const CInternetException& error) {
        DropTicket(ticket);
        ReportNetworkFailure(error);
        return false;
    }
    lastFileBytes = moved;
    return AddCheck(std::move(check));
}

bool CFileTransfer::CheckDownloadTarget(const QString& localPath, const QString& target)
{
    const QFileInfo info(localPath);
    if (!LocalNameFits(info.path(), info.fileName())) {
        report.ShowMessage(FileMessages::NameTooLongText(info.fileName()),
                           FileMessages::CopyFileCaption(), MsgIcon::Stop);
        return false;
    }
    // A download replaces the file by renaming over it: a pipe or a device of the user's
    // would go without a word.
    if (const QString kind = SpecialFileKind(target); !kind.isEmpty()) {
        report.ShowMessage(FileMessages::CannotCopyKindText(localPath, kind),
                           FileMessages::CopyFileCaption(), MsgIcon::Stop);
        return false;
    }
    return true;
}

bool CFileTransfer::CopyFtpFile(const QString& sourcePath, const QString& destinationPath)
{
    const bool wasBatch = std::exchange(batch, false);
    const bool copied = CopyListedFtpFile(sourcePath, destinationPath, std::nullopt);
    batch = wasBatch;
    return Finish(copied);
}

bool CFileTransfer::CopyListedFtpFile(const QString& sourcePath, const QString& destinationPath,
                                      std::optional<qint64> listedTime)
{
    CCopyingStatus status(report);
    // Opening the destination would empty it before the source is read.
    if (SameServerFile(sourcePath, destinationPath)) {
        report.ShowMessage(FileMessages::SameFileText(), FileMessages::CopyFileCaption(),
                           MsgIcon::Stop);
        return false;
    }
    report.SetTitleLine(kServerToServerTitle);
    report.SetStatusLine(kRetrievingLengthText);
    report.ShowTransferControls();
    report.SetFrom(ServerDisplayPath(sourcePath));
    report.SetTo(ServerDisplayPath(destinationPath));

    CFtpConnection* connection = link.connection;
    if (!connection || !link.session) {
        report.ReportCopyError();
        return false;
    }

    // The source is read over a second connection, since this one carries the destination.
    // It is opened first: should it be missing or refused, the destination is not touched.
    ServerLength length;
    std::unique_ptr<CStreamDigest> digest;
    std::unique_ptr<CFtpConnection> second;
    std::unique_ptr<CInternetFile> source;
    std::unique_ptr<CInternetFile> destination;
    const auto closeSecond = [&] {
        source.reset();
        if (second)
            second->Close();
    };
    try {
        const CServerChecks& checks = ServerChecks(*connection);
        length = LengthOf(*connection, checks, sourcePath);
        report.SetStatusLine(FileMessages::TransferringText());
        if (const std::optional<bool> copied =
                CopyOnServer(*connection, checks, sourcePath, destinationPath, length.announced)) {
            if (!*copied)
                report.ReportCopyError();
            else if (keepTimes)
                SetServerFileTime(
                    *connection, destinationPath,
                    ServerFileTime(*connection, sourcePath, listedTime ? listedTime : length.time));
            return *copied;
        }
        digest = DigestFor(checks);
        const ProfileRecord& profile = link.profile;
        // In the mode that works for the main connection.
        second = link.session->GetFtpConnection(profile.address, profile.userId, profile.password,
                                                0, connection->IsPassive());
        source = second->OpenFile(sourcePath, FileAccess::Read);
        destination = connection->OpenFile(destinationPath, FileAccess::Write);
    } catch (const CInternetException& error) {
        closeSecond();
        ReportNetworkFailure(error);
        return false;
    }

    quint64 moved = 0;
    const BlockEnds ends{
        [&source](char* bytes, qint64 count) { return source->Read(bytes, count); },
        [&destination](const char* bytes, qint64 count) {
            destination->Write(bytes, count);
            return true;
        }};
    if (!MoveBlocks(report, ends, length.length, digest.get(), moved)) {
        destination.reset();
        closeSecond();
        return false;
    }
    if (!length.announced && !source->EndedCleanly()) {
        // A source of unknown size that was cut short must not be stored as whole: the
        // destination is abandoned, never closed cleanly.
        destination.reset();
        closeSecond();
        report.ReportCopyError();
        return false;
    }
    PendingCheck check;
    try {
        destination->Close();
        // The source's own final reply tells whether all of it was sent.
        source->Close();
        closeSecond();
        std::optional<FtpStat> stored;
        if (serverChecks->HasExactSize())
            stored = connection->Stat(destinationPath);
        if ((length.announced && moved != *length.announced) ||
            (serverChecks->HasExactSize() && (!stored || stored->size != moved))) {
            report.ReportCopyError();
            return false;
        }
        check = CheckOf(ServerDisplayPath(sourcePath), ServerDisplayPath(destinationPath),
                        destinationPath, digest.get());
        if (keepTimes)
            SetServerFileTime(
                *connection, destinationPath,
                ServerFileTime(*connection, sourcePath, listedTime ? listedTime : length.time));
    } catch (const CInternetException& error) {
        DropTicket(check.ticket);
        closeSecond();
        ReportNetworkFailure(error);
        return false;
    }
    lastFileBytes = moved;
    return AddCheck(std::move(check));
}
