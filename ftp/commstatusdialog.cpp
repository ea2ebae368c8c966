#include "ftp/commstatusdialog.h"

#include "app/paneframe.h"
#include "app/resourceids.h"
#include "app/vantorapp.h"
#include "framework/helpwindow.h"
#include "framework/messagebox.h"
#include "framework/messagepump.h"
#include "framework/waitcursor.h"
#include "ftp/connecterrors.h"
#include "ftp/filemessages.h"
#include "ftp/filetransfer.h"
#include "ftp/transferfigures.h"
#include "inet/internetsession.h"
#include "ui_commstatusdialog.h"

#include <QCloseEvent>
#include <QFontMetrics>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <vector>

using namespace FileMessages;

namespace {

const QString kCopyingText = QStringLiteral("Copying Files - Please Wait");
const QString kReadyText = QStringLiteral("Ready");

// The communication objects alive now, the newest last. The wait hook serves the newest.
std::vector<CCommStatusDialog*>& LiveDialogs()
{
    static std::vector<CCommStatusDialog*> dialogs;
    return dialogs;
}

// Called once per 1000 bytes: the coarse clock costs a few nanoseconds where the precise
// one costs thirty, and its few milliseconds of resolution are plenty for the display.
qint64 CoarseMilliseconds()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
    return static_cast<qint64>(now.tv_sec) * 1000 + now.tv_nsec / 1'000'000;
}

} // namespace

CCommStatusDialog::CCommStatusDialog(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
    , ui(std::make_unique<Ui::CommStatusDialog>())
    , mainWindow(owner)
    , transfer(std::make_unique<CFileTransfer>(*this))
{
    ui->setupUi(this);
    setModal(false);
    // Room for the widest values in the window's own font: sizes past 4 GB, rates of
    // gigabytes per second, a whole day.
    const QFontMetrics metrics(font());
    const int captionWidth = std::max(metrics.horizontalAdvance(ui->fromLabel->text()),
                                      metrics.horizontalAdvance(ui->toLabel->text()));
    ui->fromLabel->setMinimumWidth(captionWidth);
    ui->toLabel->setMinimumWidth(captionWidth);
    ui->bytesCopiedText->setMinimumWidth(
        metrics.horizontalAdvance(QStringLiteral("00000000000 of 00000000000")));
    ui->bytesPerSecondText->setMinimumWidth(
        metrics.horizontalAdvance(QStringLiteral("0000000000")));
    ui->timeText->setMinimumWidth(metrics.horizontalAdvance(QStringLiteral("00:00:00")));
    // Hidden controls keep their place, so the window neither jumps nor grows when the
    // transfer controls appear.
    for (QWidget* child : findChildren<QWidget*>()) {
        QSizePolicy policy = child->sizePolicy();
        policy.setRetainSizeWhenHidden(child != ui->runningText);
        child->setSizePolicy(policy);
    }
    setFixedSize(std::max(width(), minimumSizeHint().width()), sizeHint().height());

    connect(ui->cancelButton, &QPushButton::clicked, this,
            &CCommStatusDialog::OnCancelCommunication);
    connect(ui->hideButton, &QPushButton::clicked, this, &CCommStatusDialog::OnHideProgram);
    connect(ui->helpButton, &QPushButton::clicked, this, &CCommStatusDialog::OnHelp);

    LiveDialogs().push_back(this);
    InstallWaitHook();
}

CCommStatusDialog::~CCommStatusDialog()
{
    std::vector<CCommStatusDialog*>& live = LiveDialogs();
    live.erase(std::remove(live.begin(), live.end(), this), live.end());
    if (live.empty() && theApp().internetSession)
        theApp().internetSession->SetWaitHook({});
}

void CCommStatusDialog::Create()
{
    CWaitCursor wait;
    cancelRequested = false;
    ui->progressBar->setValue(0);
    if (QWidget* owner = parentWidget()) {
        const QRect area = owner->frameGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
    show();
    PumpPendingMessages();
}

void CCommStatusDialog::SetTitleLine(const QString& text)
{
    ui->titleLine->setText(text);
}

void CCommStatusDialog::SetStatusLine(const QString& text)
{
    FlushDisplay();
    ui->statusLine->setText(text);
}

void CCommStatusDialog::SetConnectLine(const QString& text)
{
    // Painted at once: the step that follows blocks the user-interface thread.
    ui->connectLine->setText(text);
    ui->connectLine->setVisible(true);
    if (isVisible())
        ui->connectLine->repaint();
}

void CCommStatusDialog::SetFrom(const QString& text)
{
    FlushDisplay();
    ui->fromText->setText(text);
}

void CCommStatusDialog::SetTo(const QString& text)
{
    FlushDisplay();
    ui->toText->setText(text);
}

void CCommStatusDialog::ShowTransferControls()
{
    QWidget* const inOrder[] = {ui->helpButton,          ui->cancelButton, ui->hideButton,
                                ui->progressBar,         ui->fromLabel,    ui->bytesCopiedLabel,
                                ui->bytesPerSecondLabel, ui->toLabel,      ui->timeLabel};
    // Painted at once only when controls appear: the next file of a folder finds them there
    // and leaves its texts to the display rhythm.
    bool appeared = false;
    for (QWidget* control : inOrder) {
        if (control->isHidden()) {
            control->setVisible(true);
            appeared = true;
        }
    }
    if (appeared && isVisible())
        repaint();
}

void CCommStatusDialog::ShowCopying(bool copying)
{
    if (CPaneFrame* frame = theApp().PaneFrame())
        frame->SetStatusText(0, copying ? kCopyingText : kReadyText);
    RefreshAtRhythm();
}

void CCommStatusDialog::RefreshAtRhythm()
{
    const qint64 now = CoarseMilliseconds();
    if (lastDisplayMs >= 0 && now - lastDisplayMs < kDisplayIntervalMs) {
        CWaitCursor::Restore();
        return;
    }
    FlushDisplay();
    RefreshUi();
    lastDisplayMs = now;
}

void CCommStatusDialog::ShowTransferProgress(quint64 done, const QString& total, qint64 elapsed)
{
    // Called once per 1000 bytes: only the values are kept here; FlushDisplay formats them.
    bytesDone = done;
    folderFileBytes = done;
    if (total.constData() != totalText.constData())
        totalText = total;
    elapsedSeconds = elapsed;
    valuesSet = true;
    displayStale = true;
}

bool CCommStatusDialog::UpdateProgress(quint64 blockIndex, quint64 totalBytes)
{
    if (totalBytes > 0) {
        const double percent =
            static_cast<double>(blockIndex + 1) * 1000.0 / static_cast<double>(totalBytes) * 100.0;
        // Half up; a caller that reports more blocks than the file holds (it grew while
        // being sent) keeps the bar full instead of leaving the range.
        position = static_cast<int>(std::min(std::floor(percent + 0.5), 100.0));
        displayStale = true;
    }
    return PollCancel();
}

bool CCommStatusDialog::PollCancel()
{
    const qint64 now = CoarseMilliseconds();
    if (lastDisplayMs < 0 || now - lastDisplayMs >= kDisplayIntervalMs) {
        FlushDisplay();
        PumpPendingMessages();
        lastDisplayMs = now;
    }
    if (!cancelRequested)
        return true;
    FlushDisplay();
    ShowMessageBox(MessageOwner(), CancelledText(), CancelledCaption(), MsgIcon::Stop);
    return false;
}

void CCommStatusDialog::WhileWaiting()
{
    PumpPendingMessages();
}

QString CCommStatusDialog::BytesCopiedText() const
{
    return valuesSet ? TransferFigures::BytesCopiedText(bytesDone, totalText) : QString();
}

QString CCommStatusDialog::BytesPerSecondText() const
{
    return valuesSet ? QString::number(TransferFigures::Rate(bytesDone, elapsedSeconds))
                     : QString();
}

QString CCommStatusDialog::ElapsedText() const
{
    return valuesSet ? TransferFigures::ClockText(elapsedSeconds) : QString();
}

QString CCommStatusDialog::FolderProgressText() const
{
    return folderProgress
               ? TransferFigures::FolderText(*folderProgress, folderFileBytes, std::time(nullptr))
               : QString();
}

void CCommStatusDialog::ShowFolderProgress(const FolderProgress& progress)
{
    // Reported between files: the bytes of the file before now count in the progress.
    folderProgress = progress;
    folderFileBytes = 0;
    displayStale = true;
    if (ui->folderText->isHidden()) {
        ui->folderText->setVisible(true);
        FlushDisplay();
    }
}

void CCommStatusDialog::ShowRunningFiles(const QStringList& lines)
{
    QLabel* running = ui->runningText;
    const QFontMetrics metrics(running->font());
    const int room = std::max(ui->fromText->width(), width() / 2);
    QStringList shown;
    for (const QString& line : lines)
        shown.append(metrics.elidedText(line, Qt::ElideMiddle, room));
    // The window grows to the most lines of the copy and keeps that height until the
    // lines go, so that it does not jump with every file that ends.
    const qsizetype before = running->isHidden() ? 0 : running->text().count(QLatin1Char('\n')) + 1;
    running->setText(shown.join(QLatin1Char('\n')));
    running->setVisible(!shown.isEmpty());
    if (shown.size() > before || shown.isEmpty()) {
        layout()->activate();
        const int wanted = sizeHint().height();
        if (shown.isEmpty() ? wanted != height() : wanted > height())
            setFixedHeight(wanted);
    }
}

void CCommStatusDialog::FlushDisplay()
{
    if (!displayStale)
        return;
    displayStale = false;
    ui->bytesCopiedText->setText(BytesCopiedText());
    ui->bytesPerSecondText->setText(BytesPerSecondText());
    ui->timeText->setText(ElapsedText());
    ui->progressBar->setValue(position);
    if (folderProgress)
        ui->folderText->setText(FolderProgressText());
}

void CCommStatusDialog::ReportCopyError(const CInternetException& error)
{
    FlushDisplay();
    ShowNetworkError(MessageOwner(), CopyFileText(), CopyFileCaption(), error);
}

void CCommStatusDialog::ReportCopyError()
{
    FlushDisplay();
    ShowMessageBox(MessageOwner(), CopyFileText(), CopyFileCaption(), MsgIcon::Stop);
}

MsgAnswer CCommStatusDialog::ShowMessage(const QString& text, const QString& caption, MsgIcon icon,
                                         MsgButtons buttons)
{
    FlushDisplay();
    return ShowMessageBox(MessageOwner(), text, caption, icon, buttons);
}

void CCommStatusDialog::Skip(const QString& path, const QString& reason)
{
    skipped.Add(path, reason);
}

void CCommStatusDialog::ReportConnectError()
{
    ShowMessageBox(MessageOwner(), ConnectErrorText(), ConnectErrorCaption(), MsgIcon::Stop);
}

void CCommStatusDialog::ReportConnectError(const std::optional<CInternetException>& error)
{
    if (error) {
        ShowNetworkError(MessageOwner(), ConnectErrorText(), ConnectErrorCaption(), *error);
        return;
    }
    const qint64 seconds =
        std::chrono::duration_cast<std::chrono::seconds>(ConnectWaitLimit()).count();
    const CInternetException timeout(
        InetErrorKind::Timeout,
        QStringLiteral("The login did not end within %1 seconds.").arg(seconds));
    ShowNetworkError(MessageOwner(), ConnectErrorText(), ConnectErrorCaption(), timeout);
}

bool CCommStatusDialog::CheckNotInsideSource(const QString& source, const QString& destination)
{
    if (!destination.startsWith(source, Qt::CaseSensitive))
        return true;
    ShowMessageBox(this, InsideSourceText(), InsideSourceCaption(), MsgIcon::Stop);
    return false;
}

CFileTransfer& CCommStatusDialog::Transfer()
{
    CVantorApp& app = theApp();
    transfer->SetLink({app.ftpConnection.get(), app.internetSession.get(), app.activeProfile,
                       app.tlsMemory, app.ftpCurrentDir});
    transfer->SetKeepTimes(app.keepFileTimes);
    transfer->SetParallel(app.parallelTransfers);
    return *transfer;
}

bool CCommStatusDialog::Adopting(bool result)
{
    if (std::unique_ptr<CFtpConnection> fresh = transfer->TakeFreshConnection())
        theApp().ftpConnection = std::move(fresh);
    return result;
}

bool CCommStatusDialog::StartFile(const FileJob& job)
{
    return Adopting(Transfer().StartFile(job));
}

bool CCommStatusDialog::FinishFiles()
{
    return Adopting(Transfer().FinishFiles());
}

bool CCommStatusDialog::UploadFile(QString localPath, QString ftpPath)
{
    return Adopting(Transfer().UploadFile(localPath, ftpPath));
}

bool CCommStatusDialog::DownloadFile(QString ftpPath, QString localPath)
{
    return Adopting(Transfer().DownloadFile(ftpPath, localPath));
}

bool CCommStatusDialog::CopyFtpFile(QString sourcePath, QString destinationPath)
{
    return Adopting(Transfer().CopyFtpFile(sourcePath, destinationPath));
}

bool CCommStatusDialog::UploadFolder(QString localFolder, QString ftpFolder)
{
    return Adopting(Transfer().UploadFolder(localFolder, ftpFolder));
}

bool CCommStatusDialog::DownloadFolder(QString ftpFolder, QString localFolder)
{
    return Adopting(Transfer().DownloadFolder(ftpFolder, localFolder));
}

bool CCommStatusDialog::CopyFtpFolder(QString sourceFolder, QString destinationFolder)
{
    return Adopting(Transfer().CopyFtpFolder(sourceFolder, destinationFolder));
}

void CCommStatusDialog::ReportSkipped()
{
    skipped.Report(MessageOwner());
}

QWidget* CCommStatusDialog::MessageOwner() const
{
    return mainWindow ? mainWindow.data() : theApp().MainWindow();
}

void CCommStatusDialog::OnCancelCommunication()
{
    cancelRequested = true;
}

void CCommStatusDialog::OnHideProgram()
{
    if (QWidget* owner = MessageOwner()) {
        owner->setEnabled(true);
        owner->showMinimized();
    }
}

void CCommStatusDialog::OnHelp()
{
    ShowHelpContext(theApp().programFolder + QStringLiteral("Vantor.hlp"),
                    ResourceId::kHelpCommStatus, this);
}

void CCommStatusDialog::changeEvent(QEvent* event)
{
    // The main window is disabled while the action runs, and Qt passes that on to the
    // windows it owns; this one must stay usable, or nobody could cancel.
    if (event->type() == QEvent::EnabledChange && !isEnabled())
        setEnabled(true);
    QDialog::changeEvent(event);
}

void CCommStatusDialog::closeEvent(QCloseEvent* event)
{
    // No close box: the action that made the window ends it.
    if (event->spontaneous())
        event->ignore();
    else
        QDialog::closeEvent(event);
}

void CCommStatusDialog::reject()
{
    // Esc must not hide the window of a running action.
}

bool CCommStatusDialog::WaitHook()
{
    std::vector<CCommStatusDialog*>& live = LiveDialogs();
    if (!live.empty())
        live.back()->FlushDisplay();
    PumpPendingMessages();
    return live.empty() || !live.back()->cancelRequested;
}

void CCommStatusDialog::InstallWaitHook()
{
    if (theApp().internetSession)
        theApp().internetSession->SetWaitHook(&CCommStatusDialog::WaitHook);
}

void RefreshUi()
{
    PaintPendingMessages();
    CWaitCursor::Restore();
}
