#include "launcher/launcherdialog.h"

#include "launcher/httpresponsereader.h"
#include "launcher/installerverifier.h"
#include "launcher/versioncheck.h"
#include "ui_launcherdialog.h"
#include "ui_launcherwaitwindow.h"

#include "framework/messagebox.h"
#include "framework/messagepump.h"
#include "framework/modaldialog.h"
#include "framework/settingsstore.h"
#include "framework/waitcursor.h"

#include <QElapsedTimer>
#include <QFile>
#include <QIcon>
#include <QProcess>

// Q_INIT_RESOURCE must not stand inside a namespace.
static void InitLauncherResources()
{
    Q_INIT_RESOURCE(launcher);
}

namespace {

constexpr const char* kMainProgram = "v.exe";
constexpr const char* kPartialInstaller = "vz.cxx";
constexpr const char* kInstaller = "vz.exe";
constexpr const char* kInstallerPath = "/test5/maq/vz.cxx";
constexpr const char* kSignaturePath = "/test5/maq/vz.sig";

constexpr qsizetype kBlockBytes = 1024;
// Events run at least this often during a download, and not much more often: a fast
// network delivers thousands of blocks a second.
constexpr qint64 kPumpIntervalMs = 20;

QString Text(const char* text)
{
    return QString::fromLatin1(text);
}

} // namespace

CLauncherDialog::CLauncherDialog(LauncherOptions launcherOptions, QWidget* parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::LauncherDialog>())
    , options(std::move(launcherOptions))
{
    InitLauncherResources();
    ui->setupUi(this);
    setWindowIcon(QIcon(QStringLiteral(":/launcher/launcher.svg")));
    // As the window is laid out: only OK shows.
    ui->downloadButton->hide();
    ui->cancelButton->hide();
    ui->progressBar->hide();
    ui->progressText->hide();
    connect(ui->okButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui->cancelButton, &QPushButton::clicked, this, &CLauncherDialog::reject);
    connect(ui->downloadButton, &QPushButton::clicked, this, &CLauncherDialog::OnDownload);
}

CLauncherDialog::~CLauncherDialog() = default;

int CLauncherDialog::Run()
{
    if (SetUp())
        RunModalDialog(*this);
    return exitCode;
}

bool CLauncherDialog::SetUp()
{
    CSettingsStore store;
    const QString setting = store.ReadText(QStringLiteral("UpdateServer")).value_or(QString());
    if (!setting.trimmed().isEmpty())
        server = CUpdateServer::FromSetting(setting, options.timeouts);
    // No server to ask, or one that cannot be reached or understood: the user is never
    // kept from the program by the launcher.
    if (!server) {
        StartMainProgram();
        return false;
    }

    QDialog waitWindow(this);
    Ui::LauncherWaitWindow waitUi;
    waitUi.setupUi(&waitWindow);
    waitWindow.setWindowIcon(windowIcon());
    waitWindow.show();
    PumpPendingMessages();
    const VersionCheck check =
        CheckForNewerVersion(*server, store.ReadText(QStringLiteral("Version")), [] {
            PumpPendingMessages();
            return true;
        });
    waitWindow.close();

    if (check != VersionCheck::Newer) {
        StartMainProgram();
        return false;
    }
    ShowOfferState();
    return true;
}

int CLauncherDialog::ProgressPosition(qint64 received, qint64 total)
{
    if (total <= 0)
        return 0;
    received = std::clamp<qint64>(received, 0, total);
    // round(x) with halves up is floor(x + 1/2); here in whole numbers. Totals are at most
    // CHttpResponseReader::kMaxContentLength, far from overflowing.
    const qint64 position = ((received + 1) * 200 + total) / (2 * total);
    return int(std::min<qint64>(position, 100));
}

void CLauncherDialog::reject()
{
    if (downloading) {
        downloading = false;
        return;
    }
    // The installer is running and the main program comes next; nothing is left to cancel.
    if (installing)
        return;
    QDialog::reject();
}

void CLauncherDialog::ShowOfferState()
{
    setWindowTitle(QStringLiteral("Vantor - Download Current Version"));
    ui->textLine1->setText(
        QStringLiteral("You currently have an old version of the Vantor program."));
    ui->textLine2->setText(QStringLiteral("To use Vantor, please click the [Download] button "
                                          "below to receive the current version."));
    ui->okButton->hide();
    ui->progressBar->hide();
    ui->progressText->hide();
    ui->downloadButton->show();
    ui->cancelButton->show();
    ui->cancelButton->setEnabled(true);
    ui->textLine2->show();
    ui->downloadButton->setDefault(true);
    ui->downloadButton->setFocus();
}

void CLauncherDialog::ShowDownloadState()
{
    ui->downloadButton->hide();
    ui->textLine2->hide();
    ui->textLine1->setText(QStringLiteral("To stop the download, click [Cancel]."));
    ui->progressBar->setValue(0);
    ui->progressText->clear();
    ui->progressText->show();
    ui->progressBar->show();
}

void CLauncherDialog::SetProgress(qint64 received, qint64 total)
{
    ui->progressText->setText(QStringLiteral("%1 of %2 bytes downloaded").arg(received).arg(total));
    ui->progressBar->setValue(ProgressPosition(received, total));
}

bool CLauncherDialog::KeepDownloading()
{
    PumpPendingMessages();
    return downloading;
}

QString CLauncherDialog::PathOf(const char* name) const
{
    return options.programFolder + Text(name);
}

void CLauncherDialog::OnDownload()
{
    if (downloading || installing || !server)
        return;
    downloading = true;
    writeError.clear();
    Outcome outcome;
    {
        CWaitCursor wait;
        ShowDownloadState();
        PumpPendingMessages();
        QFile::remove(PathOf(kInstaller));
        QFile::remove(PathOf(kPartialInstaller));
        outcome = ReceiveInstaller();
        if (outcome == Outcome::Received)
            outcome = VerifyInstaller();
    }
    EndDownload(outcome);
}

CLauncherDialog::Outcome CLauncherDialog::ReceiveInstaller()
{
    using Status = CHttpConnection::Status;
    CHttpConnection connection([this] { return KeepDownloading(); });
    const Status requested = server->Request(connection, kInstallerPath);
    if (!downloading || requested == Status::Stopped)
        return Outcome::Cancelled;
    if (requested != Status::Ok)
        return Outcome::ServerFailure;

    QFile file(PathOf(kPartialInstaller));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        writeError = file.errorString();
        return Outcome::WriteFailure;
    }
    CHttpResponseReader reader;
    char block[kBlockBytes];
    QElapsedTimer sincePump;
    sincePump.start();
    while (reader.GetState() != CHttpResponseReader::State::Complete) {
        const auto timeout =
            reader.IsHeaderComplete() ? options.timeouts.stall : options.timeouts.answer;
        const CHttpConnection::Received got = connection.Receive(block, kBlockBytes, timeout);
        // A block that arrives after Cancel is not written.
        if (!downloading || got.status == Status::Stopped)
            return Outcome::Cancelled;
        // Closed here is a header without its end or a body cut short.
        if (got.status != Status::Ok)
            return Outcome::ServerFailure;
        const QByteArrayView body = reader.Feed(QByteArrayView(block, got.count));
        if (reader.GetState() == CHttpResponseReader::State::Failed)
            return Outcome::ServerFailure;
        if (!body.isEmpty() && file.write(body.data(), body.size()) != body.size()) {
            writeError = file.errorString();
            return Outcome::WriteFailure;
        }
        if (reader.IsHeaderComplete())
            SetProgress(reader.BodyReceived(), reader.ContentLength());
        if (sincePump.elapsed() >= kPumpIntervalMs) {
            PumpPendingMessages();
            sincePump.restart();
        }
        if (!downloading)
            return Outcome::Cancelled;
    }
    // All announced bytes are in. The server should close now; more bytes mean the reply
    // was not what it claimed. A server that keeps the connection open has sent its all.
    const CHttpConnection::Received after =
        connection.Receive(block, kBlockBytes, options.timeouts.answer);
    if (!downloading || after.status == Status::Stopped)
        return Outcome::Cancelled;
    if (after.status == Status::Ok)
        return Outcome::ServerFailure;
    connection.Close();
    if (!file.flush()) {
        writeError = file.errorString();
        return Outcome::WriteFailure;
    }
    file.close();
    if (file.error() != QFileDevice::NoError) {
        writeError = file.errorString();
        return Outcome::WriteFailure;
    }
    PumpPendingMessages();
    return downloading ? Outcome::Received : Outcome::Cancelled;
}

CLauncherDialog::Outcome CLauncherDialog::VerifyInstaller()
{
    const CUpdateServer::Document signature = server->Fetch(
        kSignaturePath, CInstallerVerifier::kSignatureBytes, [this] { return KeepDownloading(); });
    if (!downloading || signature.outcome == CUpdateServer::Outcome::Stopped)
        return Outcome::Cancelled;
    if (signature.outcome != CUpdateServer::Outcome::Ok)
        return Outcome::NotVerified;
    const CInstallerVerifier verifier(options.publicKeyPem);
    return verifier.Verify(PathOf(kPartialInstaller), signature.body) ? Outcome::Verified
                                                                      : Outcome::NotVerified;
}

void CLauncherDialog::EndDownload(Outcome outcome)
{
    downloading = false;
    if (outcome == Outcome::Verified) {
        InstallAndStart();
        return;
    }
    // Whatever went wrong, no partial or unverified installer stays behind.
    QFile::remove(PathOf(kPartialInstaller));
    switch (outcome) {
    case Outcome::Cancelled:
        ShowMessageBox(this, QStringLiteral("The download has been cancelled."),
                       QStringLiteral("Download Cancelled"), MsgIcon::Information);
        ShowOfferState();
        break;
    case Outcome::ServerFailure:
        ShowMessageBox(this,
                       QStringLiteral("The Vantor update server has a temporary problem. "
                                      "Please try the program again later."),
                       QStringLiteral("Vantor Server is Temporarily Down"), MsgIcon::Stop);
        done(QDialog::Rejected);
        break;
    case Outcome::WriteFailure:
        ShowMessageBox(this,
                       QStringLiteral("The download could not be saved in the program "
                                      "folder (%1): %2")
                           .arg(options.programFolder, writeError),
                       QStringLiteral("Download Failed"), MsgIcon::Stop);
        ShowOfferState();
        break;
    case Outcome::NotVerified:
        ShowMessageBox(this,
                       QStringLiteral("The downloaded installer could not be verified, so it "
                                      "has not been run. Please try the download again later."),
                       QStringLiteral("Installer Not Verified"), MsgIcon::Stop);
        ShowOfferState();
        break;
    case Outcome::Received:
    case Outcome::Verified:
        break;
    }
}

void CLauncherDialog::InstallAndStart()
{
    installing = true;
    ui->cancelButton->setEnabled(false);
    const QString installer = PathOf(kInstaller);
    if (!QFile::rename(PathOf(kPartialInstaller), installer)) {
        QFile::remove(PathOf(kPartialInstaller));
        installing = false;
        writeError = QStringLiteral("the installer could not be renamed to %1").arg(installer);
        EndDownload(Outcome::WriteFailure);
        return;
    }
    QFile::setPermissions(installer, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QString failure;
    {
        CWaitCursor wait;
        QProcess process;
        process.setProgram(installer);
        process.setWorkingDirectory(options.programFolder);
        process.setProcessChannelMode(QProcess::ForwardedChannels);
        process.setStandardInputFile(QProcess::nullDevice());
        process.start();
        if (process.waitForStarted()) {
            // The installer's exit status is not examined: once it has ended, the main
            // program (new or, if it failed, old) starts.
            while (process.state() != QProcess::NotRunning && !process.waitForFinished(50))
                PumpPendingMessages();
        } else {
            failure = process.errorString();
        }
    }
    if (!failure.isEmpty()) {
        ShowMessageBox(this, QStringLiteral("The installer could not be run: %1").arg(failure),
                       QStringLiteral("Installer Failed"), MsgIcon::Stop);
    }
    QFile::remove(installer);
    installing = false;
    StartMainProgram();
}

void CLauncherDialog::StartMainProgram()
{
    const QString program = PathOf(kMainProgram);
    if (!QProcess::startDetached(program, {}, options.programFolder)) {
        ShowMessageBox(this,
                       QStringLiteral("The Vantor program could not be started:\n%1").arg(program),
                       QStringLiteral("Launcher"), MsgIcon::Stop);
        exitCode = 1;
    }
    done(QDialog::Accepted);
}
