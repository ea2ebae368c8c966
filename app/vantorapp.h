#pragma once

#include "app/direntry.h"
#include "profiles/profilerecord.h"

#include <QApplication>
#include <QList>
#include <QPointer>
#include <QString>

#include <array>
#include <memory>

class CInternetSession;
class CFtpConnection;
class CMainFrame;
class CPaneFrame;
class CTlsRunMemory;

// The application object: starts and ends the program and owns every piece of state that
// more than one part of the program uses. Other code reads and writes the members directly,
// on the user-interface thread. It owns the Internet session and the FTP connection (made
// by connecting, closed by reconnecting and at exit) and the main window.
class CVantorApp : public QApplication
{
    Q_OBJECT

public:
    CVantorApp(int& argc, char** argv);
    ~CVantorApp() override;

    // Start-up: paths, settings, the start-up profile, then the main window. False ends the
    // program before any window is shown.
    bool InitInstance();
    // Shut-down: closes the FTP connection and the session; returns the exit code.
    int ExitInstance(int frameworkCode = 0);
    // Writes the splitter sizes, the sort choice and the list columns to the settings store.
    // Called by the main window while it is destroyed.
    void SaveSettings(int width, int height);

    // Gives every member its initial value: closes the network objects, destroys the main
    // window, clears paths, settings, profiles and flags. Start-up begins with it, and tests
    // call it between cases; it is the one reset of the program's shared state.
    void ResetState();

    // "About Ardent Vantor": the About dialog, modally.
    void OnAppAbout();
    // "Use Drive A (and B)": turning it on lists network and removable volumes in the local
    // tree at once (through Refresh); turning it off takes effect at the next Refresh.
    void OnUseDrivesAB();

    // The owner of message boxes and the parent of the status windows; null before the main
    // window exists.
    QWidget* MainWindow() const;
    // The same window as the panes and the status windows reach it; null as above.
    CPaneFrame* PaneFrame() const;

    // Paths, set at start-up and not changed afterwards.
    QString programFolder;
    QString helpFilePath;
    QString profileFilePath;
    QString secondProfilePath;

    // Settings. The Sort By commands change the five sort members together.
    bool sortByName = true;
    bool sortByExtension = false;
    bool sortBySize = false;
    bool sortByDate = false;
    QString sortType = QStringLiteral("1");
    int splitterWidth = kDefaultSplitterWidth;
    int splitterHeight = kDefaultSplitterHeight;
    bool useDrivesAB = false;
    // Copies keep their source's modification time.
    bool keepFileTimes = true;
    // How many files a copy moves at once, each over a connection of its own (1 to 10).
    int parallelTransfers = 2;
    // The widths in pixels of the "Size" and "Modified" columns of each list pane, by side;
    // "Name" takes the rest. The lists keep them up to date as the user resizes.
    struct ListColumnWidths
    {
        int size = kDefaultSizeColumnWidth;
        int modified = kDefaultModifiedColumnWidth;
    };
    std::array<ListColumnWidths, 2> listColumns{};

    // Profiles.
    ProfileRecord activeProfile;
    int activeProfileIndex = 0;
    qint32 profileFileReserved = 0;

    // The FTP side.
    std::unique_ptr<CInternetSession> internetSession;
    std::unique_ptr<CFtpConnection> ftpConnection;
    QString ftpCurrentDir;
    QList<DirEntry> ftpEntries;
    // The security decisions of this run, shared by every session it opens (the login,
    // its reconnects, the digest session): "Connect this time only", servers seen with TLS.
    std::shared_ptr<CTlsRunMemory> tlsMemory;

    // Flags shared between the parts of the program.
    bool connectDone = false;
    bool connectFailed = false;
    bool showCommWindow = true;
    bool busy = false;
    bool ftpPanesReset = false;
    bool ftpUnavailable = false;
    bool ftpSideInUse = true;
    bool selectionHandled = false;
    bool resortOnly = false;

    QPointer<CMainFrame> mainFrame;

    static constexpr int kDefaultSplitterWidth = 320;
    static constexpr int kDefaultSplitterHeight = 240;
    static constexpr int kDefaultSizeColumnWidth = 70;
    static constexpr int kDefaultModifiedColumnWidth = 130;
    // Stored sizes above this are taken as damage, not as a screen.
    static constexpr int kMaxSplitterSize = 10000;
    // The version of this program, shown in About and kept in the settings for the launcher.
    static constexpr const char* kVersion = "8.77";

private:
    void RestoreSettings();
    void ApplySortType(const QString& type);
};

// The one application object; valid from its construction in main to the program's end.
CVantorApp& theApp();
