#include "app/vantorapp.h"

#include "app/aboutdialog.h"
#include "app/mainframe.h"
#include "framework/messagebox.h"
#include "framework/modaldialog.h"
#include "framework/programfolder.h"
#include "framework/settingsstore.h"
#include "ftp/connectattempt.h"
#include "inet/ftpconnection.h"
#include "inet/internetsession.h"
#include "inet/tlsrunmemory.h"
#include "panes/dragcopies.h"
#include "profiles/profilefile.h"

#include <QScreen>

namespace {

CVantorApp* theInstance = nullptr;

const QString kRegistryError = QStringLiteral("A Windows Registry Error was encountered.");

void ShowRegistryError()
{
    // No owner: the main window may be in the middle of its destruction.
    ShowMessageBox(nullptr, kRegistryError, {}, MsgIcon::Stop);
}

int SplitterSizeOr(std::optional<qint64> stored, int fallback)
{
    if (!stored || *stored <= 0 || *stored > CVantorApp::kMaxSplitterSize)
        return fallback;
    return static_cast<int>(*stored);
}

// The settings value of a list's columns: "Size,Modified" in pixels.
QString ColumnsKey(int side)
{
    return side == 0 ? QStringLiteral("LocalListColumns") : QStringLiteral("FtpListColumns");
}

CVantorApp::ListColumnWidths ColumnWidthsOr(const std::optional<QString>& stored)
{
    const QStringList parts = stored ? stored->split(QLatin1Char(',')) : QStringList();
    if (parts.size() != 2)
        return {};
    bool sizeOk = false;
    bool modifiedOk = false;
    const int size = parts[0].trimmed().toInt(&sizeOk);
    const int modified = parts[1].trimmed().toInt(&modifiedOk);
    if (!sizeOk || !modifiedOk || size <= 0 || modified <= 0 ||
        size > CVantorApp::kMaxSplitterSize || modified > CVantorApp::kMaxSplitterSize)
        return {};
    return {size, modified};
}

QString ColumnsText(const CVantorApp::ListColumnWidths& widths)
{
    return QString::number(widths.size) + QLatin1Char(',') + QString::number(widths.modified);
}

} // namespace

CVantorApp& theApp()
{
    Q_ASSERT(theInstance);
    return *theInstance;
}

CVantorApp::CVantorApp(int& argc, char** argv)
    : QApplication(argc, argv)
{
    theInstance = this;
    setApplicationName(QStringLiteral("Vantor"));
    setApplicationVersion(QString::fromLatin1(kVersion));
    setQuitOnLastWindowClosed(true);
}

CVantorApp::~CVantorApp()
{
    ResetState();
    theInstance = nullptr;
}

QWidget* CVantorApp::MainWindow() const
{
    return mainFrame.data();
}

CPaneFrame* CVantorApp::PaneFrame() const
{
    return mainFrame.data();
}

void CVantorApp::ResetState()
{
    // The window first: its destruction saves the settings and may still use the rest.
    delete mainFrame.data();
    mainFrame = nullptr;
    if (ftpConnection)
        ftpConnection->Close();
    ftpConnection.reset();
    if (internetSession)
        internetSession->Close();
    internetSession.reset();
    CConnectAttempt::EndAll();
    tlsMemory = std::make_shared<CTlsRunMemory>();

    programFolder.clear();
    helpFilePath.clear();
    profileFilePath.clear();
    secondProfilePath.clear();

    sortByName = true;
    sortByExtension = false;
    sortBySize = false;
    sortByDate = false;
    sortType = QStringLiteral("1");
    splitterWidth = kDefaultSplitterWidth;
    splitterHeight = kDefaultSplitterHeight;
    useDrivesAB = false;
    listColumns = {};
    keepFileTimes = true;
    parallelTransfers = 2;

    activeProfile = ProfileRecord();
    activeProfileIndex = 0;
    profileFileReserved = 0;

    ftpCurrentDir.clear();
    ftpEntries.clear();

    connectDone = false;
    connectFailed = false;
    showCommWindow = true;
    busy = false;
    ftpPanesReset = false;
    ftpUnavailable = false;
    ftpSideInUse = true;
    selectionHandled = false;
    resortOnly = false;
}

bool CVantorApp::InitInstance()
{
    ResetState();

    programFolder = CurrentProgramFolder();
    helpFilePath = programFolder + QStringLiteral("Vantor.hlp");
    profileFilePath = programFolder + QStringLiteral("Profiles.dat");
    secondProfilePath = programFolder + QStringLiteral("Profiles.pro");

    RestoreSettings();
    // Copies dragged out to the desktop by a run that ended without removing them.
    CDragCopies::RemoveLeftovers();

    if (!LoadStartupProfile(profileFilePath))
        return false;

    auto* frame = new CMainFrame();
    mainFrame = frame;
    frame->setAttribute(Qt::WA_DeleteOnClose);
    // Without a window manager (Xvfb) nobody honours "maximised"; start at full size anyway.
    frame->setGeometry(frame->screen()->availableGeometry());
    frame->showMaximized();
    frame->InitialUpdate();
    return true;
}

void CVantorApp::OnAppAbout()
{
    CAboutDialog dialog(MainWindow());
    RunModalDialog(dialog);
}

void CVantorApp::OnUseDrivesAB()
{
    if (useDrivesAB) {
        useDrivesAB = false;
        return;
    }
    useDrivesAB = true;
    if (mainFrame)
        mainFrame->OnRefresh();
}

void CVantorApp::RestoreSettings()
{
    CSettingsStore store;
    // The store is made when missing. A store that cannot be made is no reason to stop: the
    // defaults hold, and the save at exit reports the problem.
    store.Open();
    if (const std::optional<QString> type = store.ReadText(QStringLiteral("SortType")))
        ApplySortType(*type);
    splitterWidth =
        SplitterSizeOr(store.ReadInt(QStringLiteral("SplitterWidth")), kDefaultSplitterWidth);
    splitterHeight =
        SplitterSizeOr(store.ReadInt(QStringLiteral("SplitterHeight")), kDefaultSplitterHeight);
    for (int side = 0; side < 2; ++side)
        listColumns[side] = ColumnWidthsOr(store.ReadText(ColumnsKey(side)));
    // Any value but 0 keeps the default.
    keepFileTimes = store.ReadInt(QStringLiteral("KeepFileTimes")).value_or(1) != 0;
    // A value out of range, or none, keeps the default.
    const int parallel = store.ReadInt(QStringLiteral("ParallelTransfers")).value_or(2);
    parallelTransfers = parallel >= 1 && parallel <= 10 ? parallel : 2;
    // The launcher compares this with the newest version on the update server.
    store.WriteText(QStringLiteral("Version"), QString::fromLatin1(kVersion));
    store.Close();
}

void CVantorApp::ApplySortType(const QString& type)
{
    sortType = type;
    sortByName = type == QLatin1String("1");
    sortByExtension = type == QLatin1String("2");
    sortBySize = type == QLatin1String("3");
    sortByDate = type == QLatin1String("4");
}

void CVantorApp::SaveSettings(int width, int height)
{
    CSettingsStore store;
    if (!store.Open() || !store.WriteInt(QStringLiteral("SplitterWidth"), width) ||
        !store.WriteInt(QStringLiteral("SplitterHeight"), height) ||
        !store.WriteText(QStringLiteral("SortType"), sortType) ||
        !store.WriteText(ColumnsKey(0), ColumnsText(listColumns[0])) ||
        !store.WriteText(ColumnsKey(1), ColumnsText(listColumns[1])) ||
        !store.WriteInt(QStringLiteral("KeepFileTimes"), keepFileTimes ? 1 : 0) ||
        !store.WriteInt(QStringLiteral("ParallelTransfers"), parallelTransfers) || !store.Close())
        ShowRegistryError();
}

int CVantorApp::ExitInstance(int frameworkCode)
{
    if (ftpConnection) {
        ftpConnection->Close();
        ftpConnection.reset();
    }
    if (internetSession) {
        internetSession->Close();
        internetSession.reset();
    }
    // A login given up on may still be ending: it must not outlive the libraries it uses.
    CConnectAttempt::EndAll();
    return frameworkCode;
}
