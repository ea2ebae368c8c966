#pragma once

#include <QDialog>
#include <QString>

class CInternetException;

// The communication object of one user action that reads from the server or copies files
// to, from or on it. Created on the heap by the action (usually through CCommOperation),
// deleted by it at the end whatever the outcome. It owns a small modeless window that shows
// the direction, the current file's source and destination, the bytes copied, the rate, the
// time and a progress bar, with the buttons Cancel Communication, Hide Program and Help; and
// it carries the network operations of the action as its methods.
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
    // Lets waiting input run; false (after the cancel message) once the user has cancelled.
    bool PollCancel();

    void ReportCopyError(const CInternetException& error);
    void ReportCopyError();
    void ReportConnectError();
    // False (after its message, owned by this window) when `destination` starts with
    // `source`; both end with their separator.
    bool CheckNotInsideSource(const QString& source, const QString& destination);

    // Connecting and reading. Connect opens theApp().internetSession and ftpConnection for
    // the active profile, enters its initial folder and fills ftpCurrentDir. ReadFtpDirectory
    // lists the server's current folder into theApp().ftpEntries.
    bool Connect();
    void ReadFtpDirectory();
    // Closes and deletes theApp().ftpConnection, then internetSession.
    static void Disconnect();

    bool cancelRequested = false;
};

// Lets waiting messages of the main window run so that a status text just set is painted
// before a blocking step, and puts the cursor in step with the current wait state.
void RefreshUi();
