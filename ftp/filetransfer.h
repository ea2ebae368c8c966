#pragma once

#include "ftp/folderwalk.h"
#include "ftp/serverchecks.h"
#include "ftp/transferreport.h"
#include "ftp/transferresume.h"
#include "profiles/profilerecord.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

class CDigestSide;
class CFtpConnection;
class CInternetException;
class CInternetFile;
class CInternetSession;
class CPartFile;
class CStreamDigest;
class CTlsRunMemory;

// The connection a transfer engine works over, and what it needs to open the further
// connections of a copy (a server-to-server source, the listing of each folder level). The
// engine owns none of it: the one who hands it keeps it alive while the engine runs.
struct TransferLink
{
    CFtpConnection* connection = nullptr; // logged in; its current folder is `currentDir`
    CInternetSession* session = nullptr;  // the session `connection` belongs to
    ProfileRecord profile;                // its name is shown, its login opens the others
    std::shared_ptr<CTlsRunMemory> tlsMemory;
    QString currentDir; // what a server path without a leading "/" is relative to
};

// A file an upload stored whose size is still to be held against the server's word.
struct StoredSize
{
    QString ftpPath;
    quint64 size = 0;
};

// One file of a copy, as the engine that walks the folders hands it to be copied (over its
// own connection or one of its helpers', CTransferPool).
struct FileJob
{
    enum class Kind { Upload, Download, CopyOnServer };
    // A file copied by itself: nothing listed of it.
    static FileJob Of(Kind kind, const QString& source, const QString& destination)
    {
        return {kind, source, destination, std::nullopt, std::nullopt, false};
    }
    Kind kind = Kind::Download;
    QString source;
    QString destination;
    // What the source folder's listing said of a server file, where it was listed.
    std::optional<quint64> listedSize;
    std::optional<qint64> listedTime;
    // An upload in a folder: its size is checked by the folder's listing and its time set
    // together with the others', once every file is in (FileJobOutcome).
    bool inFolder = false;
};

// What a copied file leaves to the engine that walks the folders.
struct FileJobOutcome
{
    quint64 bytes = 0; // the file's length, for the folder tally
    std::vector<StoredSize> sizesToCheck;
    std::vector<std::pair<QString, qint64>> timesToSet; // server path, UTC seconds
};

class CTransferPool;

// The transfer engine: copies one file or one folder tree over the connection it is given,
// from the local computer to the server, back, or from one server path to another. It shows
// nothing itself: progress, the user's Cancel, questions and failures go through the report.
// The bytes move in blocks of 1000; each whole block is reported and polls for Cancel.
// Every copy is held against what the server says of it (its size, a digest where offered);
// a download writes beside the local file and replaces it only when it is whole.
//
// Within a batch of files (a folder, or the file routines run one after another by the one
// who owns the engine) the server's digest is asked on a side connection of the engine's
// own while the next file moves. Until its answer is in, a file's check is pending: a
// download stays in its part file, and nothing is reported as copied before SettleChecks.
//
// One engine serves one action: what the server offers to check a file with is asked once
// (FEAT) and kept. Nothing is shared between engines, so several may run side by side, each
// over a connection of its own.
class CFileTransfer
{
public:
    explicit CFileTransfer(CTransferReport& report);
    ~CFileTransfer();
    CFileTransfer(const CFileTransfer&) = delete;
    CFileTransfer& operator=(const CFileTransfer&) = delete;

    // The connection the next copies run over; kept until it is set again.
    void SetLink(TransferLink newLink);
    // Whether copies keep their source's modification time (on by default).
    void SetKeepTimes(bool keep) { keepTimes = keep; }
    // How many files a folder copy or a selection moves at once, each over a connection of
    // its own (1 to 10; 1 copies over the link's connection alone, one file after another).
    void SetParallel(int count);
    // What the server offers to check files with, where another engine asked already.
    void SetServerChecks(const CServerChecks& checks) { serverChecks = checks; }

    // The connection logged in afresh after a break, which the link now points at, for the
    // one who owns the link's connection to take in place of the lost one; null if none.
    std::unique_ptr<CFtpConnection> TakeFreshConnection() { return resume.TakeConnection(); }

    // One file. True only when every byte arrived and the checks held; a false result has
    // been reported. Each settles its checks before it returns.
    bool UploadFile(const QString& localPath, const QString& ftpPath);
    bool DownloadFile(const QString& ftpPath, const QString& localPath);
    bool CopyFtpFile(const QString& sourcePath, const QString& destinationPath);

    // One folder with all its files and folders, depth first in the order the source lists
    // them, each file through the file routine of the direction. Paths come without a
    // trailing "/"; the destination folder must not exist yet. Links to folders are
    // followed; a folder that leads back into one being copied, or lies more than
    // CFolderWalkGuard::kMaxDepth levels down, ends the copy with a message. Each level of
    // a server source holds a connection of its own for its listing while it runs. What is
    // left out (devices, pipes, names no command can carry) goes to the report's Skip.
    bool UploadFolder(const QString& localFolder, const QString& ftpFolder);
    bool DownloadFolder(const QString& ftpFolder, const QString& localFolder);
    bool CopyFtpFolder(const QString& sourceFolder, const QString& destinationFolder);

    // One file of a selection: handed to a helper connection where files run side by side
    // (FinishFiles then tells how it went), otherwise copied at once. False once a file
    // has failed or the user has cancelled; the failure or the cancel has been shown.
    bool StartFile(const FileJob& job);
    // Waits for the files StartFile handed over; true when every one was copied.
    bool FinishFiles();

    // Copies one file as its job says, over the link's connection; what the walking engine
    // still has to do for it goes to `outcome`. The file routines' result.
    bool RunFileJob(const FileJob& job, FileJobOutcome& outcome);

    // Waits for the answer of every pending check (polling the report for Cancel meanwhile),
    // puts each download that held in its target's place and reports the first file that
    // did not hold as a copy error. True when every pending file held. After a cancel the
    // pending checks are dropped (no download takes its target's place) and the side
    // connection is ended. The side connection ends here in any case: the next batch logs
    // in afresh. Runs on the thread that runs the engine's copies.
    bool SettleChecks();

private:
    // A copied file whose digest check is still to be settled. The file routines settle the
    // checks whose answers are in after each file, so that their false result may stand for
    // an earlier file of the batch that did not hold (reported under that file's names).
    struct PendingCheck
    {
        QString from; // as the report shows the file's two ends
        QString to;
        QByteArray ours;                  // the digest of the bytes that moved; empty: none
        std::optional<quint64> ticket;    // the side connection's question
        std::optional<QByteArray> theirs; // the server's digest, once known (empty: none)
        std::unique_ptr<CPartFile> part;  // a download's part file, to commit if it holds
        QString serverPath;               // to ask over the engine's own connection instead
        quint64 serial = 0;
    };

    // UploadFile; with `sizesToCheck` the stored file's size is not asked for at once but
    // noted there, for the caller to check (CheckStoredSizes) before it reports success.
    bool UploadOneFile(const QString& localPath, const QString& ftpPath,
                       std::vector<StoredSize>* sizesToCheck);
    // Whether every noted file in `ftpFolder` has its size on the server, by one listing of
    // the folder; a file the listing does not show as sent is asked for by itself. A false
    // result has been reported.
    bool CheckStoredSizes(const QString& ftpFolder, const std::vector<StoredSize>& stored);
    // DownloadFile; `listedSize` is the size the folder's listing gave, which stands for the
    // server's word on the file unless the bytes that came disagree with it; `listedTime`
    // the time it gave, which saves asking for it.
    bool DownloadListedFile(const QString& ftpPath, const QString& localPath,
                            std::optional<quint64> listedSize,
                            std::optional<qint64> listedTime = std::nullopt);
    // CopyFtpFile, with the time the source folder's listing gave.
    bool CopyListedFtpFile(const QString& sourcePath, const QString& destinationPath,
                           std::optional<qint64> listedTime);
    // False, after its message, when `localPath` cannot take a download: its name is too
    // long for the file system, or it is a pipe, socket or device.
    bool CheckDownloadTarget(const QString& localPath, const QString& target);
    // "profile:/path", as the view shows a server file.
    QString ServerDisplayPath(const QString& path) const;
    // The same server file under two spellings ("/a//b", "/a/./b", "b" in the current folder).
    bool SameServerFile(const QString& first, const QString& second) const;
    // A network failure outside the block loop: the cancel message when the user's Cancel
    // ended the call, else the copy error.
    void ReportNetworkFailure(const CInternetException& error);
    // Ends a file's data with the server's final reply. False when that failed: with
    // `broken` set where a fresh login may carry on (the connection broke), otherwise
    // after showing the failure.
    bool CloseAfterData(CInternetFile& remote, std::optional<CInternetException>& broken);

    enum class LevelResult { Copied, Failed, NotAFolder };
    bool UploadLevel(const QString& localFolder, const QString& ftpFolder, CFolderWalkGuard& guard);
    LevelResult FtpSourceLevel(const QString& source, const QString& destination, bool toFtp,
                               bool mayBeFile, CFolderWalkGuard& guard);
    bool CopyFtpSourceFile(const QString& source, const QString& destination, bool toFtp,
                           std::optional<quint64> listedSize, std::optional<qint64> listedTime);
    bool RefuseStep(CFolderWalkGuard::Step step, const QString& folder);
    // A file of a folder copy: copied at once, or handed to a helper connection. False after
    // a failure or a cancel (shown).
    bool CopyTreeFile(FileJob job);
    // What a copied file leaves: the folder tally, and the size and time still to be set.
    void FileCopied(const FileJob& job, const FileJobOutcome& outcome);
    // The end of a folder copy: waits for the files still running, then holds the uploaded
    // files to the server's listing and sets their times. `walked`: the walk itself ended well.
    bool EndTreeFiles(bool walked);
    // The helper connections, made on first use; null where files run one at a time.
    CTransferPool* Pool();
    // The folder tally: begun by a folder routine (`folders` of a server source still to be
    // listed), told after each file and each listing, ended when the routine returns.
    void BeginFolder(quint64 files, quint64 bytes, quint64 folders);
    void FileDone(quint64 bytes);
    void FolderListed(quint64 files, quint64 bytes, quint64 folders);
    void EndFolder();
    void ReportCreateFolderError();

    // What the server offers to check a transferred file, asked once per engine (FEAT).
    const CServerChecks& ServerChecks(CFtpConnection& connection);

    // The pending checks. A file routine asks for the server's digest of `serverPath` on the
    // side connection where the engine runs a batch or `large` is set (the server then
    // computes it while the bytes stream); nothing where there is no side connection.
    std::optional<quint64> AskAside(const QString& serverPath, bool large);
    void DropTicket(std::optional<quint64> ticket);
    // Notes a copied file's check, and settles the checks whose answer is in already: false
    // after reporting a file that did not hold.
    bool AddCheck(PendingCheck check);
    // Settles the pending checks in order, oldest first and at most `most` of them: waiting
    // for the answers, or up to the first whose answer is not in yet. `quiet` after a failure that
    // has been reported: downloads that hold are still committed, nothing more is shown.
    bool Settle(bool wait, bool quiet, std::size_t most = SIZE_MAX);
    // Settles one check whose answer is known; false after reporting it (unless `quiet`).
    bool Resolve(PendingCheck& check, const QByteArray& theirs, bool quiet);
    // The end of a public routine: its checks settled, quietly where it failed.
    bool Finish(bool copied);
    // The check of a copied file: the digest of its bytes against the server's, asked on the
    // side connection where the engine runs a batch (or already asked there: `ticket`), else
    // at once over the engine's own connection.
    PendingCheck CheckOf(const QString& from, const QString& to, const QString& serverPath,
                         CStreamDigest* digest, std::optional<quint64> ticket = std::nullopt);

    CTransferReport& report;
    TransferLink link;
    CTransferResume resume; // past a broken connection; may replace link.connection
    std::optional<CServerChecks> serverChecks;
    bool keepTimes = true;
    // Files uploaded by the file routine and their local times, for the server to set
    // together once the sizes have been checked.
    std::vector<std::pair<QString, qint64>> serverTimesLater;
    // Of a folder upload: files stored whose sizes and times are still to be settled.
    std::vector<StoredSize> treeSizesToCheck;
    std::vector<std::pair<QString, qint64>> treeTimesToSet;
    int parallel = 1;
    std::unique_ptr<CTransferPool> pool;
    std::optional<FolderProgress> folderTally;
    quint64 unlistedFolders = 0;
    // The bytes of the last file a file routine copied (a download's part file may not be
    // in its place yet).
    quint64 lastFileBytes = 0;
    // Off while a public single-file routine runs: it has no next file to overlap the
    // digest with, so it asks over its own connection unless the file is large.
    bool batch = true;
    std::unique_ptr<CDigestSide> digestSide;
    std::vector<PendingCheck> pendingChecks; // oldest first
    quint64 checkSerial = 0;                 // of the last check noted
};
