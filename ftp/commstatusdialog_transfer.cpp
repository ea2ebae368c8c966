// Copying one file: from the local computer to the server, back, and from one server path
// to another. Each routine moves the bytes through one block loop, then holds the result
// against what the server says of the file (its size, and a digest where it offers one).
#include "ftp/commstatusdialog.h"

#include "app/paneframe.h"
#include "app/vantorapp.h"
#include "framework/messagebox.h"
#include "framework/messagepump.h"
#include "ftp/digestrequest.h"
#include "ftp/filemessages.h"
#include "ftp/folderwalk.h"
#include "ftp/partfile.h"
#include "ftp/serverchecks.h"
#include "ftp/streamdigest.h"
#include "inet/ftpconnection.h"
#include "inet/internetexception.h"
#include "inet/internetfile.h"
#include "inet/internetsession.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <ctime>
#include <functional>
#include <unistd.h>

namespace {

const QString kCopyingText = QStringLiteral("Copying Files - Please Wait");
const QString kReadyText = QStringLiteral("Ready");
const QString kRetrievingLengthText = QStringLiteral("Retrieving Length of FTP File");
const QString kTransferringText = QStringLiteral("Transferring Data");
const QString kServerToServerTitle =
    QStringLiteral("Copying files from FTP Server to FTP Server - Please Wait");

constexpr qint64 kBlockSize = 1000;
// From this size on, a download's digest is asked for on a connection of its own while the
// data streams, so that the server's hashing does not follow the transfer; below it, a login
// would cost more than the wait.
constexpr quint64 kParallelDigestBytes = 16 * 1024 * 1024;

// Pane 0 of the status bar while a file routine runs, and "Ready" when it ends, however.
// Painted in the window's rhythm: a folder of small files would otherwise paint twice a file.
class CCopyingStatus
{
public:
    explicit CCopyingStatus(CCommStatusDialog& statusDialog)
        : dialog(statusDialog)
    {
        Show(kCopyingText);
    }
    ~CCopyingStatus() { Show(kReadyText); }
    CCopyingStatus(const CCopyingStatus&) = delete;
    CCopyingStatus& operator=(const CCopyingStatus&) = delete;

private:
    void Show(const QString& text)
    {
        if (CPaneFrame* frame = theApp().PaneFrame())
            frame->SetStatusText(0, text);
        dialog.RefreshAtRhythm();
    }

    CCommStatusDialog& dialog;
};

QString ServerDisplayPath(const QString& path)
{
    return theApp().activeProfile.name + QLatin1Char(':') + FileMessages::ShownServerPath(path);
}

// Where the bytes of one transfer come from and go to. `read` gives the bytes read, 0 at the
// end of the data and -1 for a local failure; `write` gives false for a local failure. A
// network failure arrives as CInternetException from either.
struct BlockEnds
{
    std::function<qint64(char*, qint64)> read;
    std::function<bool(const char*, qint64)> write;
};

// A network failure outside the block loop: the cancel message when the user's Cancel
// ended the call, else the copy error.
void ReportNetworkFailure(CCommStatusDialog& dialog, const CInternetException& error)
{
    if (error.Kind() == InetErrorKind::Cancelled && dialog.cancelRequested)
        dialog.PollCancel();
    else
        dialog.ReportCopyError(error);
}

// Moves the data in blocks of 1000 bytes until the source ends. Each whole block shows its
// progress and polls for Cancel; the last, partial block does not. `total` is the length
// the progress is measured against, where one is known. False after a failure (shown) or
// a cancel; `moved` holds the bytes written either way.
bool MoveBlocks(CCommStatusDialog& dialog, const BlockEnds& ends, std::optional<quint64> total,
                CStreamDigest* digest, quint64& moved)
{
    const QString totalText = total ? QString::number(*total) : QString();
    const std::time_t start = std::time(nullptr);
    char buffer[kBlockSize];
    quint64 blockIndex = 0;
    bool failed = false;
    moved = 0;
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
                dialog.ReportCopyError();
                break;
            }
            if (digest)
                digest->Add(buffer, filled);
            moved += static_cast<quint64>(filled);
            if (filled < kBlockSize)
                break; // the data ended inside this block
            dialog.ShowTransferProgress(moved, totalText, std::time(nullptr) - start);
            if (!dialog.UpdateProgress(blockIndex, total.value_or(0))) {
                failed = true;
                break;
            }
            ++blockIndex;
        }
    } catch (const CInternetException& error) {
        // A call ended by Cancel gets its message from the poll below.
        if (error.Kind() != InetErrorKind::Cancelled)
            dialog.ReportCopyError(error);
        failed = true;
    }
    if (!dialog.PollCancel())
        failed = true;
    return !failed;
}

// The server's digest of `path`, empty when it cannot tell (no digest, a refusal, a reply
// too late); only the user's Cancel ends the wait with an exception.
QByteArray ServerDigestOf(CFtpConnection& connection, const CServerChecks& checks,
                          const QString& path)
{
    FtpCommandReply reply;
    try {
        for (const QString& command : checks.DigestCommands(path))
            reply = connection.Query(command);
    } catch (const CInternetException& error) {
        if (error.Kind() == InetErrorKind::Cancelled)
            throw;
        return {};
    }
    return checks.DigestFromReply(reply.code, reply.text);
}

// What comparing the two digests of a copy showed. Only two equal digests are a match; a
// digest missing on either side (none offered, refused, failed, too late) leaves the size
// as the only check.
enum class DigestCheck { Match, Mismatch, NotVerified };

DigestCheck CompareDigests(const QByteArray& ours, const QByteArray& theirs)
{
    if (ours.isEmpty() || theirs.isEmpty())
        return DigestCheck::NotVerified;
    return ours == theirs ? DigestCheck::Match : DigestCheck::Mismatch;
}

DigestCheck CheckDigest(CFtpConnection& connection, const CServerChecks& checks,
                        const QString& path, CStreamDigest* digest)
{
    if (!digest)
        return DigestCheck::NotVerified;
    return CompareDigests(digest->HexResult(), ServerDigestOf(connection, checks, path));
}

// Whether the server's digest of `path` differs from the one computed while the bytes
// streamed: false only for a proven mismatch.
bool DigestMatches(CFtpConnection& connection, const CServerChecks& checks, const QString& path,
                   CStreamDigest* digest)
{
    return CheckDigest(connection, checks, path, digest) != DigestCheck::Mismatch;
}

// The digest the server computed beside the transfer against the one computed here. A wait
// ended by Cancel is no verdict: the caller's poll reports the cancel.
DigestCheck CheckParallelDigest(CCommStatusDialog& dialog, CDigestRequest& request,
                                CStreamDigest& digest)
{
    const QByteArray theirs =
        request.Wait(PumpPendingMessages, [&dialog] { return dialog.cancelRequested; });
    return CompareDigests(digest.HexResult(), theirs);
}

std::unique_ptr<CStreamDigest> DigestFor(const CServerChecks& checks)
{
    if (const std::optional<DigestAlgorithm> algorithm = checks.Algorithm())
        return std::make_unique<CStreamDigest>(*algorithm);
    return nullptr;
}

// The length of a server file for the progress, and the size a complete copy must have:
// only where the server tells sizes exactly, not from a listing that may round them.
struct ServerLength
{
    std::optional<quint64> length;
    std::optional<quint64> announced;
};

ServerLength LengthOf(CFtpConnection& connection, const CServerChecks& checks, const QString& path)
{
    ServerLength result;
    if (const std::optional<FtpStat> stat = connection.Stat(path); stat && !stat->isDirectory) {
        result.length = stat->size;
        if (checks.HasExactSize())
            result.announced = stat->size;
    }
    return result;
}

// Whether the file the server stored holds the `moved` bytes that were sent, by its size
// (unless the caller checks it later) and its digest where the server tells them.
bool StoredFileMatches(CFtpConnection& connection, const CServerChecks& checks, const QString& path,
                       quint64 moved, CStreamDigest* digest, bool sizeLater = false)
{
    if (checks.HasExactSize() && !sizeLater) {
        const std::optional<FtpStat> stored = connection.Stat(path);
        if (!stored || stored->size != moved)
            return false;
    }
    return DigestMatches(connection, checks, path, digest);
}

// Lets a server that copies files by itself (SITE CPFR, SITE CPTO) make the copy, so that
// the bytes need not cross the network twice. Nothing when it will not, and the program
// copies the bytes itself; else whether the copy is whole, by its size and, where the
// server tells digests, by the digests of both files.
std::optional<bool> CopyOnServer(CFtpConnection& connection, const CServerChecks& checks,
                                 const QString& source, const QString& destination,
                                 std::optional<quint64> announced)
{
    if (!checks.CopiesFiles() || !announced ||
        connection.Query(QStringLiteral("SITE CPFR ") + source).code != 350 ||
        connection.Query(QStringLiteral("SITE CPTO ") + destination).code / 100 != 2)
        return std::nullopt;
    const std::optional<FtpStat> stored = connection.Stat(destination);
    if (!stored || stored->size != *announced)
        return false;
    if (!checks.Algorithm())
        return true;
    const QByteArray original = ServerDigestOf(connection, checks, source);
    const QByteArray copy = ServerDigestOf(connection, checks, destination);
    return original.isEmpty() || copy.isEmpty() || original == copy;
}

// The file a download replaces: a link is followed, so that the file it names is updated
// and the link stays.
QString DownloadTarget(const QString& localPath)
{
    const QFileInfo info(localPath);
    return info.isSymLink() ? info.symLinkTarget() : localPath;
}

// The same server file under two spellings ("/a//b", "/a/./b", "b" in the current folder).
bool SameServerFile(const QString& first, const QString& second)
{
    const auto normal = [](const QString& path) {
        const QString absolute = path.startsWith(QLatin1Char('/'))
                                     ? path
                                     : theApp().ftpCurrentDir + QLatin1Char('/') + path;
        return QDir::cleanPath(absolute);
    };
    return normal(first) == normal(second);
}

} // namespace

const CServerChecks& CCommStatusDialog::ServerChecks(CFtpConnection& connection)
{
    if (!serverChecks) {
        const FtpCommandReply features = connection.Query(QStringLiteral("FEAT"));
        serverChecks = CServerChecks::FromFeatures(features.code, features.text);
    }
    return *serverChecks;
}

bool CCommStatusDialog::UploadFile(QString localPath, QString ftpPath)
{
    return UploadOneFile(localPath, ftpPath, nullptr);
}

bool CCommStatusDialog::UploadOneFile(const QString& localPath, const QString& ftpPath,
                                      std::vector<StoredSize>* sizesToCheck)
{
    CCopyingStatus status(*this);
    ShowTransferControls();
    SetFrom(localPath);
    SetTo(ServerDisplayPath(ftpPath));

    // Only a regular file is read: a pipe or a device would keep the window waiting.
    QString kind;
    const int fd = OpenRegularFile(localPath, kind);
    if (!kind.isEmpty()) {
        ShowMessageBox(MessageOwner(), FileMessages::CannotCopyKindText(localPath, kind),
                       FileMessages::CopyFileCaption(), MsgIcon::Stop);
        return false;
    }
    QFile local;
    CFtpConnection* connection = theApp().ftpConnection.get();
    if (fd >= 0 && !local.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        ::close(fd);
    if (!connection || !local.isOpen()) {
        ReportCopyError();
        return false;
    }
    const quint64 total = static_cast<quint64>(local.size());

    std::unique_ptr<CInternetFile> remote;
    std::unique_ptr<CStreamDigest> digest;
    try {
        digest = DigestFor(ServerChecks(*connection));
        remote = connection->OpenFile(ftpPath, FileAccess::Write);
    } catch (const CInternetException& error) {
        ReportNetworkFailure(*this, error);
        return false;
    }

    SetStatusLine(kTransferringText);
    quint64 moved = 0;
    const BlockEnds ends{[&local](char* bytes, qint64 count) { return local.read(bytes, count); },
                         [&remote](const char* bytes, qint64 count) {
                             remote->Write(bytes, count);
                             return true;
                         }};
    // A transfer given up is not closed: the server is told it is incomplete.
    if (!MoveBlocks(*this, ends, total, digest.get(), moved))
        return false;
    if (moved < total) {
        // The file shrank while it was read: what went out is not the file.
        ReportCopyError();
        return false;
    }
    try {
        remote->Close();
        const CServerChecks& checks = ServerChecks(*connection);
        const bool sizeLater = sizesToCheck && checks.HasExactSize();
        if (!StoredFileMatches(*connection, checks, ftpPath, moved, digest.get(), sizeLater)) {
            ReportCopyError();
            return false;
        }
        if (sizeLater)
            sizesToCheck->push_back({ftpPath, moved});
    } catch (const CInternetException& error) {
        ReportNetworkFailure(*this, error);
        return false;
    }
    return true;
}

bool CCommStatusDialog::DownloadFile(QString ftpPath, QString localPath)
{
    return DownloadListedFile(ftpPath, localPath, std::nullopt);
}

bool CCommStatusDialog::DownloadListedFile(const QString& ftpPath, const QString& localPath,
                                           std::optional<quint64> listedSize)
{
    CCopyingStatus status(*this);
    SetStatusLine(kRetrievingLengthText);
    SetFrom(ServerDisplayPath(ftpPath));
    SetTo(localPath);
    ShowTransferControls();

    const QString target = DownloadTarget(localPath);
    if (!CheckDownloadTarget(localPath, target))
        return false;
    CFtpConnection* connection = theApp().ftpConnection.get();
    if (!connection || QFileInfo(target).isDir()) {
        ReportCopyError();
        return false;
    }

    // The server file is opened before anything local is touched: should it be missing or
    // refused, the user's file stays as it was.
    ServerLength length;
    std::unique_ptr<CStreamDigest> digest;
    std::unique_ptr<CInternetFile> remote;
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
        remote = connection->OpenFile(ftpPath, FileAccess::Read);
    } catch (const CInternetException& error) {
        ReportNetworkFailure(*this, error);
        return false;
    }
    std::unique_ptr<CDigestRequest> parallelDigest;
    if (digest && length.length.value_or(0) >= kParallelDigestBytes) {
        const ProfileRecord& profile = theApp().activeProfile;
        parallelDigest = CDigestRequest::Start({profile.address, profile.userId, profile.password,
                                                connection->IsPassive(), theApp().tlsMemory},
                                               *serverChecks, ftpPath);
    }

    CPartFile part(target);
    if (!part.Create()) {
        ReportCopyError();
        return false;
    }

    SetStatusLine(kTransferringText);
    quint64 moved = 0;
    const BlockEnds ends{
        [&remote](char* bytes, qint64 count) { return remote->Read(bytes, count); },
        [&part](const char* bytes, qint64 count) {
            return part.File().write(bytes, count) == count;
        }};
    // On failure the part file keeps what arrived, and the user's file is not touched.
    if (!MoveBlocks(*this, ends, length.length, digest.get(), moved))
        return false;
    // Without a size to hold the bytes to, only a clean end of the data (over TLS, the
    // server's close_notify) tells a whole file from one cut short on the way.
    const bool endedCleanly = remote->EndedCleanly();
    try {
        remote->Close();
        const bool written = part.File().flush();
        part.File().close();
        bool sizeMatches = length.announced ? moved == *length.announced : endedCleanly;
        if (!sizeMatches && listedSize) {
            // The listing may be older than the file, or round its sizes: the server's
            // answer for the file itself decides, and a file it cannot size is not whole.
            const std::optional<quint64> now =
                LengthOf(*connection, *serverChecks, ftpPath).announced;
            sizeMatches = now && *now == moved;
        }
        bool whole = written && part.File().error() == QFileDevice::NoError && sizeMatches;
        if (whole) {
            const DigestCheck check =
                parallelDigest ? CheckParallelDigest(*this, *parallelDigest, *digest)
                               : CheckDigest(*connection, *serverChecks, ftpPath, digest.get());
            whole = check != DigestCheck::Mismatch;
            // Which checks held the copy to the server's file, for the user to see.
            SetStatusLine(check == DigestCheck::Match ? FileMessages::CheckedByDigestText()
                                                      : FileMessages::CheckedBySizeText());
        }
        if (cancelRequested) {
            PollCancel();
            return false;
        }
        if (!whole || !part.Commit()) {
            ReportCopyError();
            return false;
        }
    } catch (const CInternetException& error) {
        ReportNetworkFailure(*this, error);
        return false;
    }
    return true;
}

bool CCommStatusDialog::CheckDownloadTarget(const QString& localPath, const QString& target)
{
    const QFileInfo info(localPath);
    if (!LocalNameFits(info.path(), info.fileName())) {
        ShowMessageBox(MessageOwner(), FileMessages::NameTooLongText(info.fileName()),
                       FileMessages::CopyFileCaption(), MsgIcon::Stop);
        return false;
    }
    // A download replaces the file by renaming over it: a pipe or a device of the user's
    // would go without a word.
    if (const QString kind = SpecialFileKind(target); !kind.isEmpty()) {
        ShowMessageBox(MessageOwner(), FileMessages::CannotCopyKindText(localPath, kind),
                       FileMessages::CopyFileCaption(), MsgIcon::Stop);
        return false;
    }
    return true;
}

bool CCommStatusDialog::CopyFtpFile(QString sourcePath, QString destinationPath)
{
    CCopyingStatus status(*this);
    // Opening the destination would empty it before the source is read.
    if (SameServerFile(sourcePath, destinationPath)) {
        ShowMessageBox(MessageOwner(), FileMessages::SameFileText(),
                       FileMessages::CopyFileCaption(), MsgIcon::Stop);
        return false;
    }
    SetTitleLine(kServerToServerTitle);
    SetStatusLine(kRetrievingLengthText);
    ShowTransferControls();
    SetFrom(ServerDisplayPath(sourcePath));
    SetTo(ServerDisplayPath(destinationPath));

    CVantorApp& app = theApp();
    CFtpConnection* connection = app.ftpConnection.get();
    if (!connection || !app.internetSession) {
        ReportCopyError();
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
        SetStatusLine(kTransferringText);
        if (const std::optional<bool> copied =
                CopyOnServer(*connection, checks, sourcePath, destinationPath, length.announced)) {
            if (!*copied)
                ReportCopyError();
            return *copied;
        }
        digest = DigestFor(checks);
        const ProfileRecord& profile = app.activeProfile;
        // In the mode that works for the main connection.
        second = app.internetSession->GetFtpConnection(
            profile.address, profile.userId, profile.password, 0, connection->IsPassive());
        source = second->OpenFile(sourcePath, FileAccess::Read);
        destination = connection->OpenFile(destinationPath, FileAccess::Write);
    } catch (const CInternetException& error) {
        closeSecond();
        ReportNetworkFailure(*this, error);
        return false;
    }

    quint64 moved = 0;
    const BlockEnds ends{
        [&source](char* bytes, qint64 count) { return source->Read(bytes, count); },
        [&destination](const char* bytes, qint64 count) {
            destination->Write(bytes, count);
            return true;
        }};
    if (!MoveBlocks(*this, ends, length.length, digest.get(), moved)) {
        destination.reset();
        closeSecond();
        return false;
    }
    if (!length.announced && !source->EndedCleanly()) {
        // A source of unknown size that was cut short must not be stored as whole: the
        // destination is abandoned, never closed cleanly.
        destination.reset();
        closeSecond();
        ReportCopyError();
        return false;
    }
    try {
        destination->Close();
        // The source's own final reply tells whether all of it was sent.
        source->Close();
        closeSecond();
        if ((length.announced && moved != *length.announced) ||
            !StoredFileMatches(*connection, ServerChecks(*connection), destinationPath, moved,
                               digest.get())) {
            ReportCopyError();
            return false;
        }
    } catch (const CInternetException& error) {
        closeSecond();
        ReportNetworkFailure(*this, error);
        return false;
    }
    return true;
}
