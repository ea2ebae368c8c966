#pragma once

#include "ftp/skippeditems.h"
#include "ftp/transferreport.h"
#include "inet/internetexception.h"
#include "inet/internetsession.h"

#include <QDialog>
#include <QPointer>
#include <QString>

#include <chrono>
#include <memory>
#include <optional>
#include <vector>

class CConnectAttempt;
class CFileTransfer;
struct FileJob;
namespace Ui {
class CommStatusDialog;
}

// The communication object of one user action that reads from the server or copies files
// to, from or on it. Created on the heap by the action (usually through CCommOperation),
// deleted by it at the end whatever the outcome. It owns a small modeless window that shows
// the direction, the current file's source and destination, the bytes copied, the rate, the
// time and a progress bar, with the buttons Cancel Communication, Hide Program and Help. It
// connects to the active profile's server, and is the view and the report of the transfer
// engine (CFileTransfer) that copies the action's files over that connection.
//
// While any communication object exists, the Internet session's wait hook keeps the windows
// painted and ends a network call that waits on the server once the user has cancelled.
class CCommStatusDialog : public QDialog, public CTransferReport
{
    Q_OBJECT

public:
    // Binds to the application state and the main window; does not show anything yet.
    explicit CCommStatusDialog(QWidget* mainWindow);
    ~CCommStatusDialog() override;

    // Creates and shows the window, centred over the main window; clears cancelRequested.
    void Create();

    void SetTitleLine(const QString& text) override;
    void SetStatusLine(const QString& text) override;
    void SetConnectLine(const QString& text);
    void SetFrom(const QString& text) override;
    void SetTo(const QString& text) override;
    void ShowTransferControls() override;
    // Pane 0 of the status bar: "Copying Files - Please Wait", then "Ready"; painted in the
    // window's rhythm, as a folder of small files would otherwise paint twice a file.
    void ShowCopying(bool copying) override;
    // Once per block: "3000 of 10240", the rate and the elapsed time of the current file.
    void ShowTransferProgress(quint64 bytesDone, const QString& totalText,
                              qint64 elapsedSeconds) override;
    // Moves the bar for block `blockIndex` (from 0) of a file of `totalBytes`, then polls.
    bool UpdateProgress(quint64 blockIndex, quint64 totalBytes) override;
    // A folder copy's files and bytes of the total, its rate and the time left, in a line of
    // its own under the bar (FolderProgressText).
    void ShowFolderProgress(const FolderProgress& progress) override;
    // The files running on helper connections, a line each under the folder line; the
    // window grows to hold them and shrinks back once they have ended.
    void ShowRunningFiles(const QStringList& lines) override;
    // RefreshUi, unless the window was painted less than kDisplayIntervalMs ago: what changed
    // since is painted with the next block or wait.
    void RefreshAtRhythm() override;
    // Lets waiting input run; false (after the cancel message) once the user has cancelled.
    bool PollCancel() override;
    bool CancelRequested() const override { return cancelRequested; }
    void WhileWaiting() override;

    // The fixed messages; given the failure, the box adds what most likely happened and the
    // server's replies (ShowNetworkError). Boxes go over the main window, and the window
    // shows the figures of the last block while one is open.
    void ReportCopyError(const CInternetException& error) override;
    void ReportCopyError() override;
    MsgAnswer ShowMessage(const QString& text, const QString& caption, MsgIcon icon,
                          MsgButtons buttons = MsgButtons::Ok) override;
    // Noted in `skipped`.
    void Skip(const QString& path, const QString& reason) override;
    void ReportConnectError();
    // A failed login: `error` where the login ended with one, none when the wait for it
    // ran out.
    void ReportConnectError(const std::optional<CInternetException>& error);
    // False (after its message, owned by this window) when `destination` starts with
    // `source`; both end with their separator.
    bool CheckNotInsideSource(const QString& source, const QString& destination) override;

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

    // The transfers of the action, carried out by its engine (CFileTransfer, which says what
    // they do) over the main connection as it is when each is called.
    bool UploadFile(QString localPath, QString ftpPath);
    bool DownloadFile(QString ftpPath, QString localPath);
    bool CopyFtpFile(QString sourcePath, QString destinationPath);
    bool UploadFolder(QString localFolder, QString ftpFolder);
    bool DownloadFolder(QString ftpFolder, QString localFolder);
    bool CopyFtpFolder(QString sourceFolder, QString destinationFolder);
    // A file of a selection, copied side by side with the next ones where the settings let
    // several files run at once; FinishFiles waits for them and tells whether all were
    // copied. False once a file has failed or the user has cancelled (shown).
    bool StartFile(const FileJob& job);
    bool FinishFiles();

    // The values of the last block, whether or not the window has been repainted since:
    // the window takes them over at most every kDisplayInterval.
    int ProgressPosition() const { return position; }
    QString BytesCopiedText() const;
    QString BytesPerSecondText() const;
    QString ElapsedText() const;
    QString FolderProgressText() const;

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

    bool WaitForLogin(const std::shared_ptr<CConnectAttempt>& attempt);
    bool EnterStartFolder();
    static bool WaitHook();
    static void InstallWaitHook();

    // The action's engine, bound to the main connection as it is now.
    CFileTransfer& Transfer();
    // After an engine call: a connection the engine logged in afresh, when the main one broke
    // under it, becomes the main connection. Returns `result`.
    bool Adopting(bool result);

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
    std::optional<FolderProgress> folderProgress; // set by a folder copy of this action
    quint64 folderFileBytes = 0; // of the file under way, not yet in folderProgress
    std::unique_ptr<CFileTransfer> transfer;
};

// Lets waiting paint events run so that a status text just set is painted before a
// blocking step, and puts the cursor in step with the current wait state. User input waits
// in its queue until the step is over.
void RefreshUi();
