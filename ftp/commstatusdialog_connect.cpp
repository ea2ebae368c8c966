// Connecting to the active profile's server, reading server folders, disconnecting.
#include "ftp/commstatusdialog.h"

#include "app/paneframe.h"
#include "app/vantorapp.h"
#include "framework/messagebox.h"
#include "ftp/certificatedialog.h"
#include "ftp/connectattempt.h"
#include "ftp/connecterrors.h"
#include "ftp/filemessages.h"
#include "inet/ftpconnection.h"
#include "inet/ftpfilefind.h"
#include "inet/internetsession.h"
#include "inet/tlsrunmemory.h"

#include <QCoreApplication>

#include <system_error>
#include <thread>

namespace {

std::chrono::milliseconds connectWaitLimit = CCommStatusDialog::kConnectWaitLimit;

// While the login runs, the windows are repainted this often; input waits until it is over.
constexpr std::chrono::milliseconds kPaintSlice{50};

const QString kInitialDirText = QStringLiteral("The selected Initial Directory does not exist.");
const QString kInitialDirCaption = QStringLiteral("Error with Initial Directory");
const QString kConnectErrorCaption = QStringLiteral("Error Opening FTP Connection");
const QString kReadErrorText = QStringLiteral("The program was unable to read the FTP directory.");
const QString kReadErrorCaption = QStringLiteral("Error Reading FTP Directory");

void ShowInStatusBar(const QString& text)
{
    if (CPaneFrame* frame = theApp().PaneFrame())
        frame->SetStatusText(0, text);
    RefreshUi();
}

} // namespace

void CCommStatusDialog::SetConnectWaitLimit(std::chrono::milliseconds limit)
{
    connectWaitLimit = limit;
}

std::chrono::milliseconds CCommStatusDialog::ConnectWaitLimit()
{
    return connectWaitLimit;
}

void CCommStatusDialog::ShowConnectStep(const QString& text)
{
    if (theApp().showCommWindow)
        SetConnectLine(text);
    else
        ShowInStatusBar(text);
}

bool CCommStatusDialog::Connect()
{
    CVantorApp& app = theApp();
    if (app.ftpConnection) {
        app.ftpConnection->Close();
        app.ftpConnection.reset();
    }

    ShowConnectStep(QStringLiteral("Opening Internet Connection - Please Wait"));
    app.internetSession = std::make_unique<CInternetSession>(SessionOptions());
    InstallWaitHook();

    ShowConnectStep(QStringLiteral("Connecting to FTP Server - Please Wait"));
    app.connectDone = false;
    app.connectFailed = false;
    // The profile's address may carry its own port ("host:port", "[v6]:port"); port 0 lets
    // it, or the default port, decide. An empty user logs in anonymously.
    const ProfileRecord& profile = app.activeProfile;
    const auto attempt = std::make_shared<CConnectAttempt>(*app.internetSession, profile.address,
                                                           profile.userId, profile.password);
    // The login thread's questions and steps reach this thread through the attempt; once it
    // is gone, nobody is left to ask and an unknown certificate is refused.
    const std::weak_ptr<CConnectAttempt> asker = attempt;
    app.internetSession->SetCertificateHook([asker](const TlsCertificateInfo& certificate) {
        const std::shared_ptr<CConnectAttempt> waiting = asker.lock();
        return waiting ? waiting->Ask(certificate) : TlsTrustAnswer::Refuse;
    });
    app.internetSession->SetStepHook([asker](const QString& text) {
        if (const std::shared_ptr<CConnectAttempt> waiting = asker.lock())
            waiting->SetStep(text);
    });
    const bool loggedIn = WaitForLogin(attempt);
    app.connectFailed = !loggedIn;
    if (!loggedIn) {
        const std::optional<CInternetException> error = attempt->Error();
        // A refusal for the sake of security says why: the user has to know that the
        // server, not the password, is the problem.
        if (error && error->IsDowngrade())
            ShowDowngradeError(MessageOwner(), profile.address, app.tlsMemory.get());
        else if (error && error->Kind() == InetErrorKind::Security)
            ShowMessageBox(MessageOwner(), error->Message(), kConnectErrorCaption, MsgIcon::Stop);
        else
            ReportConnectError(error);
        return false;
    }
    // The login went on, but what could not be kept is said.
    for (const QString& warning : app.internetSession->TakeWarnings())
        ShowMessageBox(MessageOwner(), warning, FileMessages::TrustFileCaption(), MsgIcon::Warning);
    ShowFtpSecurity(app.ftpConnection->SecurityName());

    if (app.showCommWindow)
        SetConnectLine(QStringLiteral("Reading FTP Directory - Please Wait"));
    return EnterStartFolder();
}

InternetOptions CCommStatusDialog::SessionOptions()
{
    InternetOptions options;
    options.tlsMemory = theApp().tlsMemory;
    return options;
}

bool CCommStatusDialog::WaitForLogin(const std::shared_ptr<CConnectAttempt>& attempt)
{
    CVantorApp& app = theApp();
    if (!CConnectAttempt::Launch(attempt)) {
        app.internetSession.reset();
        return false;
    }
    // Only painting runs meanwhile: the main window is disabled and the window offers no
    // button while connecting, so input would only queue up.
    const bool ended = attempt->Wait(
        connectWaitLimit, kPaintSlice,
        [] { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); },
        [this](const TlsCertificateInfo& certificate) {
            return AskAboutCertificate(MessageOwner(), certificate);
        },
        [this](const QString& text) { ShowConnectStep(text); });
    app.connectDone = ended;
    if (!ended) {
        // The late login must never be used: the worker closes it and the session goes
        // with it, so the program is plainly not connected.
        app.internetSession->SetWaitHook({});
        attempt->Abandon(std::move(app.internetSession));
        return false;
    }
    app.ftpConnection = attempt->TakeConnection();
    if (attempt->Failed() || !app.ftpConnection) {
        app.ftpConnection.reset();
        app.internetSession->Close();
        app.internetSession.reset();
        return false;
    }
    return true;
}

bool CCommStatusDialog::EnterStartFolder()
{
    CVantorApp& app = theApp();
    const QString& initialDir = app.activeProfile.initialDir;
    if (!initialDir.isEmpty() && !app.ftpConnection->SetCurrentDirectory(initialDir) &&
        app.ftpConnection->IsOpen())
        ShowMessageBox(MessageOwner(), kInitialDirText, kInitialDirCaption, MsgIcon::Stop);

    QString current;
    if (!app.ftpConnection->GetCurrentDirectory(current) || current.isEmpty()) {
        // Without the server's folder every later path would be a guess: a connection that
        // cannot tell it (or was lost right after the login) is not used.
        ReportConnectError();
        Disconnect();
        app.connectFailed = true;
        return false;
    }
    app.ftpCurrentDir = current;
    return true;
}

bool CCommStatusDialog::EnterFtpFolder(const QString& path)
{
    CVantorApp& app = theApp();
    if (!app.ftpConnection)
        return false;
    if (app.ftpConnection->SetCurrentDirectory(path))
        return true;
    if (cancelRequested)
        return false;
    if (!app.ftpConnection->IsOpen()) {
        // Only the main connection between two steps: a transfer under way is never
        // started again behind the user's back.
        Disconnect();
        if (!Connect())
            return false;
        if (app.ftpConnection->SetCurrentDirectory(path))
            return true;
        if (cancelRequested)
            return false;
    }
    ShowMessageBox(MessageOwner(), kReadErrorText, kReadErrorCaption, MsgIcon::Stop);
    return false;
}

void CCommStatusDialog::ReadFtpDirectory()
{
    CVantorApp& app = theApp();
    if (!app.showCommWindow)
        ShowInStatusBar(QStringLiteral("Reading FTP Directory - Please Wait"));

    app.ftpEntries = QList<DirEntry>();
    if (!app.ftpConnection)
        return;
    CFtpFileFind find(*app.ftpConnection);
    bool more = find.FindFile(QString(), true);
    if (!more) {
        const std::optional<CInternetException>& error = find.LastError();
        // An empty folder is no failure, and a cancelled read has its own message.
        if (error && error->Kind() != InetErrorKind::Cancelled)
            ShowNetworkError(MessageOwner(), kReadErrorText, kReadErrorCaption, *error);
        find.Close();
        return;
    }
    while (more) {
        more = find.FindNextFile();
        DirEntry entry;
        entry.name = find.GetFileName();
        entry.writeTime = find.GetLastWriteTime();
        entry.size = find.GetLength();
        // Everything that is not a plain file (folders, devices, links that do not lead to
        // a file as far as the server tells) counts as a folder.
        entry.attributes = find.IsNormal() ? 0 : kFolderAttribute;
        if (find.IsLink())
            entry.attributes |= kLinkAttribute;
        app.ftpEntries.append(entry);
    }
    find.Close();
}

void CCommStatusDialog::ShowFtpSecurity(const QString& securityName)
{
    if (CPaneFrame* frame = theApp().PaneFrame())
        frame->SetSecurityText(securityName.isEmpty() ? QStringLiteral("Not encrypted")
                                                      : securityName);
}

void CCommStatusDialog::Disconnect()
{
    CVantorApp& app = theApp();
    if (CPaneFrame* frame = app.PaneFrame())
        frame->SetSecurityText(QString());
    if (app.ftpConnection) {
        app.ftpConnection->Close();
        app.ftpConnection.reset();
    }
    if (app.internetSession) {
        app.internetSession->Close();
        app.internetSession.reset();
    }
}
