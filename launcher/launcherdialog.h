#pragma once

#include "launcher/launcheroptions.h"

#include <QDialog>

#include <memory>
#include <optional>

namespace Ui {
class LauncherDialog;
}

// The launcher's main window. Set-up shows the wait window and asks the update server
// whether a newer main program exists; without one the main program ("v.exe" in the
// program folder) is started at once. With one the dialog offers the download: the
// installer arrives as "vz.cxx", is verified against its signature, renamed to "vz.exe",
// run in the program folder and waited for, and then the main program is started. The old
// "v.exe" is left alone until the installer replaces it, so a cancelled or failed download
// leaves the program as it was.
//
// The download runs on the user-interface thread and lets pending events run while it
// waits and after each block; that is where Cancel is seen.
class CLauncherDialog : public QDialog
{
    Q_OBJECT

public:
    explicit CLauncherDialog(LauncherOptions options, QWidget* parent = nullptr);
    ~CLauncherDialog() override;

    // Set-up, then the dialog modally while there is a download to offer. Returns the
    // launcher's exit code.
    int Run();

    // Shows the wait window, checks for a newer version and closes the wait window again.
    // Returns true in the offer state; false when the main program has been started (or
    // could not be, which has been shown).
    bool SetUp();

    bool IsDownloading() const { return downloading; }

    // The progress bar's position for `received` of `total` bytes:
    // round((received + 1) / total * 100) with halves rounded up, at most 100.
    static int ProgressPosition(qint64 received, qint64 total);

public slots:
    // Cancel during a download stops it; otherwise the dialog closes without starting
    // anything. Esc and the close box do the same.
    void reject() override;

private:
    enum class Outcome { Received, Verified, Cancelled, ServerFailure, WriteFailure, NotVerified };

    void OnDownload();
    Outcome ReceiveInstaller();
    Outcome VerifyInstaller();
    void EndDownload(Outcome outcome);
    void InstallAndStart();
    void StartMainProgram();

    void ShowOfferState();
    void ShowDownloadState();
    void SetProgress(qint64 received, qint64 total);
    bool KeepDownloading();
    QString PathOf(const char* name) const;

    std::unique_ptr<Ui::LauncherDialog> ui;
    LauncherOptions options;
    std::optional<CUpdateServer> server;
    bool downloading = false;
    bool installing = false;
    QString writeError;
    int exitCode = 0;
};
