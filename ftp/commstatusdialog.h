#pragma once

#include "ftp/folderwalk.h"
#include "ftp/serverchecks.h"
#include "ftp/skippeditems.h"
#include "inet/internetexception.h"
#include "inet/internetsession.h"

#include <QDialog>
#include <QPointer>
#include <QString>

#include <chrono>
#include <memory>
#include <optional>
#include <vector>

class CFtpConnection;
class CConnectAttempt;
namespace Ui {
class CommStatusDialog;
}

// The communication object of one user action that reads from the server or copies files
// to, from or on it. Created on the heap by the action (usually through CCommOperation),
// deleted by it at the end whatever the outcome. It owns a small modeless window that shows
// the direction, the current file's source and destination, the bytes copied, the rate, the
// time and a progress bar, with the buttons Cancel Communication, Hide Program and Help; and
// it carries the network operations of the action as its methods.
//
// While any communication object exists, the Internet session's wait hook keeps the windows
// painted and ends a network call that waits on the server once the user has cancelled.
class CCommStatusDialog : public QDialog
{
    Q_OBJECT

public:
    // Binds to the application state and the main window; does not show anything yet.
    explicit CCommStatusDialog(QWidget* mainWindow);
    ~CCommStatusDialog() override;

    // Creates and shows the window, centred over the main window; clears cancelRequested.
    void Create();

    void SetTitleLine(const QString& text);
    void SetStatusLine(const QString& text);
    void SetConnectLine(const QString& text);
    void SetFrom(const QString& text);
    void SetTo(const QString& text);
    void ShowTransferControls();
    // Once per block: "3000 of 10240", the rate and the elapsed time of the current file.
    void ShowTransferProgress(quint64 bytesDone, const QString& totalText, qint64 elapsedSeconds);
    // Moves the bar for block `blockIndex` (from 0) of a file of `totalBytes`, then polls.
    bool UpdateProgress(quint64 blockIndex, quint64 totalBytes);
    // RefreshUi, unless the window was painted less than kDisplayIntervalMs ago: what changed
    // since is painted with the next block or wait.
    void RefreshAtRhythm();
    // Lets waiting input run; false (after the cancel message) once the user has cancelled.
    bool PollCancel();

    // The fixed messages; given the failure, the box adds what most likely happened and the
    // server's replies (ShowNetworkError).
    void ReportCopyError(const CInternetException& error);
    void ReportCopyError();
    void ReportConnectError();
    // A failed login: `error` where the login ended with one, none when the wait for it
    // ran out.
    void ReportConnectError(const std::optional<CInternetException>& error);
    // False (after its message, owned by this window) when `destination` starts with
    // `source`; both end with their separator.
    bool CheckNotInsideSource(const QString& source, const QString& destination);

    // Connecting and reading. Connect opens theApp().internetSession and ftpConnection for
    // the active profile, enters its initial folder and fills ftpCurrentDir. ReadFtpDirectory
    // lists the server's current folder into theApp().ftpEntries.
    bool Connect();
    void ReadFtpDirectory();
    // Makes `path` the server's current folder at the start of a step. When the main
    // connection turns out closed by the server (an idle time-out, 421, the end of the
    // stream) it logs in again once with the active profile and tries once more. False,
    // after its message, when the folder cannot be entered; false without one after a cancel
    // or when there is no connection at all (its failure was shown when it happened).
    bool EnterFtpFolder(const QString& path);
    // Closes and deletes theApp().ftpConnection, then internetSession.
    static void Disconnect();
    // The status bar's security pane: "TLS 1.3" or "Not encrypted".
    static void ShowFtpSecurity(const QString& securityName);

    // Copies one file: local to server, server to local, or from one server path to another
    // over a second connection. True only when every byte arrived; a false result has been
    // shown to the user. A download writes beside the local file and replaces it only when
    // it succeeded, so a failed or cancelled one leaves the user's file as it was.
    bool UploadFile(QString localPath, QString ftpPath);
    bool DownloadFile(QString ftpPath, QString localPath);
    bool CopyFtpFile(QString sourcePath, QString destinationPath);

    // Folder transfers: the folder with all its files and folders, depth first in the order
    // the source lists them, each file through the file transfer of the direction. Paths
    // come without a trailing "/"; the destination folder must not exist yet. Links to
    // folders are followed; a folder that leads back into one being copied, or lies more
    // than CFolderWalkGuard::kMaxDepth levels down, ends the copy with a message. Each level
    // of a server source holds a connection of its own for its listing while it runs.
    bool UploadFolder(QString localFolder, QString ftpFolder);
    bool DownloadFolder(QString ftpFolder, QString localFolder);
    bool CopyFtpFolder(QString sourceFolder, QString destinationFolder);

    // The values of the last block, whether or not the window has been repainted since:
    // the window takes them over at most every kDisplayInterval.
    int ProgressPosition() const { return position; }
    QString BytesCopiedText() const;
    QString BytesPerSecondText() const;
    QString ElapsedText() const;

    // The longest Connect waits for the login. Tests shorten it with SetConnectWaitLimit.
    static constexpr std::chrono::milliseconds kConnectWaitLimit{30000};
    static void SetConnectWaitLimit(std::chrono::milliseconds limit);
    static std::chrono::milliseconds ConnectWaitLimit();
    // The options of every session the program opens: they share the run's TLS decisions.
    static InternetOptions SessionOptions();
    // How often the progress reaches the screen and waiting input runs during a transfer.
    static constexpr int kDisplayIntervalMs = 20;

    // Shows, in one box, what the folder transfers of this action left out, and forgets it.
    // CCommOperation calls it when the action ends.
    void ReportSkipped();

    bool cancelRequested = false;
    // What the folder transfers of this action left out so far.
    CSkippedItems skipped;

protected:
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void OnCancelCommunication();
    void OnHideProgram();
    void OnHelp();

    // Gives the window the values of the last block.
    void FlushDisplay();
    // A step of connecting: in the connect line, or in status pane 0 without the window.
    void ShowConnectStep(const QString& text);
    QWidget* MessageOwner() const;

    // A file an upload stored whose size is still to be held against the server's word.
    struct StoredSize
    {
        QString ftpPath;
        quint64 size = 0;
    };
    // UploadFile; with `sizesToCheck` the stored file's size is not asked for at once but
    // noted there, for the caller to check (CheckStoredSizes) before it reports success.
    bool UploadOneFile(const QString& localPath, const QString& ftpPath,
                       std::vector<StoredSize>* sizesToCheck);
    // Whether every noted file in `ftpFolder` has its size on the server, by one listing of
    // the folder; a file the listing does not show as sent is asked for by itself. A false
    // result has been shown.
    bool CheckStoredSizes(const QString& ftpFolder, const std::vector<StoredSize>& stored);
    // DownloadFile; `listedSize` is the size the folder's listing gave, which stands for the
    // server's word on the file unless the bytes that came disagree with it.
    bool DownloadListedFile(const QString& ftpPath, const QString& localPath,
                            std::optional<quint64> listedSize);

    enum class LevelResult { Copied, Failed, NotAFolder };
    bool UploadLevel(const QString& localFolder, const QString& ftpFolder, CFolderWalkGuard& guard);
    LevelResult FtpSourceLevel(const QString& source, const QString& destination, bool toFtp,
                               bool mayBeFile, CFolderWalkGuard& guard);
    bool CopyFtpSourceFile(const QString& source, const QString& destination, bool toFtp,
                           std::optional<quint64> listedSize);
    bool RefuseStep(CFolderWalkGuard::Step step, const QString& folder);
    void ReportCreateFolderError();
    // False, after its message, when `localPath` cannot take a download: its name is too
    // long for the file system, or it is a pipe, socket or device.
    bool CheckDownloadTarget(const QString& localPath, const QString& target);

    bool WaitForLogin(const std::shared_ptr<CConnectAttempt>& attempt);
    // The box for a server that used TLS before and refuses it now; offers, behind two
    // answers, to forget that memory.
    void ReportDowngrade(const QString& address);
    bool EnterStartFolder();
    static bool WaitHook();
    static void InstallWaitHook();

    // What the server offers to check a transferred file, asked once per action (FEAT).
    const CServerChecks& ServerChecks(CFtpConnection& connection);

    std::unique_ptr<Ui::CommStatusDialog> ui;
    QPointer<QWidget> mainWindow;

    // The last block, as the transfer reported it.
    quint64 bytesDone = 0;
    QString totalText;
    qint64 elapsedSeconds = 0;
    bool valuesSet = false;
    int position = 0;
    bool displayStale = false;
    qint64 lastDisplayMs = -1; // coarse monotonic time of the last repaint; -1 none yet
    std::optional<CServerChecks> serverChecks;
};

// Lets waiting paint events run so that a status text just set is painted before a
// blocking step, and puts the cursor in step with the current wait state. User input waits
// in its queue until the step is over.
void RefreshUi();
