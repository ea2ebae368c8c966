#include "panes/replacingcopy.h"

#include "app/vantorapp.h"
#include "framework/messagebox.h"
#include "ftp/commstatusdialog.h"
#include "ftp/filemessages.h"
#include "ftp/fileoperations.h"
#include "ftp/filetransfer.h"
#include "inet/ftpconnection.h"
#include "inet/internetexception.h"
#include "panes/mylistview.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstdio>
#include <optional>
#include <sys/stat.h>

namespace {

enum class Presence { Missing, Folder, File, Unknown };

// What stands at `path` on one side. A local link counts as a file: it is replaced as
// itself, never through what it leads to.
Presence PresenceOf(const QString& path, bool onFtp)
{
    if (onFtp) {
        CFtpConnection* connection = theApp().ftpConnection.get();
        if (!connection)
            return Presence::Unknown;
        try {
            const std::optional<FtpStat> stat = connection->Stat(path);
            if (!stat)
                return Presence::Missing;
            return stat->isDirectory ? Presence::Folder : Presence::File;
        } catch (const CInternetException&) {
            return Presence::Unknown;
        }
    }
    struct stat info
    {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return errno == ENOENT ? Presence::Missing : Presence::Unknown;
    return S_ISDIR(info.st_mode) ? Presence::Folder : Presence::File;
}

bool RenameOnSide(const QString& from, const QString& to, bool onFtp)
{
    if (onFtp) {
        CFtpConnection* connection = theApp().ftpConnection.get();
        return connection && connection->Rename(from, to);
    }
    return ::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
}

// A free hidden name of ours beside `path`, for the folder a copy replaces while the copy
// runs; empty when none is found.
QString AsideNameFor(const QString& path, bool onFtp)
{
    const QString parent = path.left(path.lastIndexOf(QLatin1Char('/')) + 1);
    for (int number = 1; number <= 20; ++number) {
        const QString candidate =
            parent + QStringLiteral(".vantor-replaced-") + QString::number(number);
        if (PresenceOf(candidate, onFtp) == Presence::Missing)
            return candidate;
    }
    return {};
}

} // namespace

CReplacingCopy::CReplacingCopy(CMyListView& listPane, CCommStatusDialog* statusWindow)
    : pane(listPane)
    , dialog(statusWindow)
{}

CReplacingCopy::~CReplacingCopy()
{
    localSkipped.Report(&pane);
}

CSkippedItems& CReplacingCopy::Skipped()
{
    return dialog ? dialog->skipped : localSkipped;
}

bool CReplacingCopy::SourceInsideDestination(const QString& source,
                                             const QString& destination) const
{
    if (fromFtp != toFtp)
        return false;
    if (!toFtp)
        return LocalFolderInside(destination, source);
    // Runs of "/" are one folder step to a server, as the tree's "//" under a root of "/".
    const auto normal = [](const QString& path) -> QString {
        return QDir::cleanPath(FileMessages::ShownServerPath(path)) + QLatin1Char('/');
    };
    return normal(source).startsWith(normal(destination));
}

bool CReplacingCopy::Copy(const DropStep& step)
{
    routine = step.routine;
    fromFtp = SourceIsFtp(step.routine);
    toFtp = TargetIsFtp(step.routine);
    // Every routine but the copy between local folders runs under the status window.
    if (!dialog && (fromFtp || toFtp))
        return false;
    // Files of the selection may still run beside; a folder starts once they are in, so that
    // a failure among them is not taken for the folder's.
    if (step.isFolder && dialog && !dialog->FinishFiles())
        return false;
    return step.isFolder ? CopyFolder(step.source, step.destination)
                         : RunRoutine(step.source, step.destination);
}

bool CReplacingCopy::RunRoutine(const QString& source, const QString& destination)
{
    switch (routine) {
    case DropRoutine::CopyLocalFile:
        return pane.CopyLocalFile(source, destination);
    case DropRoutine::CopyLocalFolder:
        return pane.CopyLocalFolder(source, destination, &localSkipped);
    case DropRoutine::UploadFile:
        return dialog->StartFile(FileJob::Of(FileJob::Kind::Upload, source, destination));
    case DropRoutine::UploadFolder:
        return dialog->UploadFolder(source, destination);
    case DropRoutine::DownloadFile:
        return dialog->StartFile(FileJob::Of(FileJob::Kind::Download, source, destination));
    case DropRoutine::DownloadFolder:
        return dialog->DownloadFolder(source, destination);
    case DropRoutine::CopyFtpFile:
        return dialog->StartFile(FileJob::Of(FileJob::Kind::CopyOnServer, source, destination));
    case DropRoutine::CopyFtpFolder:
        return dialog->CopyFtpFolder(source, destination);
    }
    return false;
}

bool CReplacingCopy::CopyFolder(const QString& source, const QString& destination)
{
    // What a copy left out counts only when the copy stays.
    const qsizetype skippedBefore = Skipped().Count();
    const bool copied = ReplaceFolder(source, destination);
    if (!copied)
        Skipped().KeepFirst(skippedBefore);
    return copied;
}

bool CReplacingCopy::ReplaceFolder(const QString& source, const QString& destination)
{
    if (!CheckNotInsideSource(source, destination))
        return false;
    const Presence existing = PresenceOf(destination, toFtp);
    if (existing == Presence::Missing)
        return RunRoutine(source, destination);
    if (existing == Presence::Unknown && toFtp) {
        dialog->ReportCopyError();
        return false;
    }
    // Checked before anything is renamed or deleted: the old folder goes in the end, or
    // at once where it cannot be renamed aside, and the source with it.
    if (SourceInsideDestination(source, destination)) {
        ShowMessageBox(&pane, FileMessages::ReplaceWithInnerText(),
                       FileMessages::InsideSourceCaption(), MsgIcon::Stop);
        return false;
    }
    // The existing folder is renamed aside and goes only once its replacement is complete;
    // where the rename is refused, it is deleted first.
    const bool oldIsFolder = existing != Presence::File;
    const QString aside = AsideNameFor(destination, toFtp);
    if (aside.isEmpty() || !RenameOnSide(destination, aside, toFtp)) {
        if (!DeleteOnDestination(destination, oldIsFolder))
            return false;
        return RunRoutine(source, destination);
    }
    // Where the destination was the source itself (through a link, or a server that serves
    // this computer's own disk), the rename has moved the source away.
    if (PresenceOf(source, fromFtp) == Presence::Missing) {
        RenameOnSide(aside, destination, toFtp);
        ShowMessageBox(&pane, FileMessages::InsideSourceText(), FileMessages::InsideSourceCaption(),
                       MsgIcon::Stop);
        return false;
    }
    if (RunRoutine(source, destination))
        return DeleteOnDestination(aside, oldIsFolder);

    // What the failed copy left goes, and the old folder comes back. A cancel has been shown
    // already; the clean-up must not be cancelled with it.
    if (dialog)
        dialog->cancelRequested = false;
    // A cancel that came while the server was being waited for has closed the connection.
    CFtpConnection* connection = theApp().ftpConnection.get();
    if (toFtp && dialog && connection && !connection->IsOpen()) {
        CCommStatusDialog::Disconnect();
        dialog->Connect();
    }
    if (PresenceOf(destination, toFtp) != Presence::Missing)
        DeleteOnDestination(destination, true);
    if (!RenameOnSide(aside, destination, toFtp))
        ShowMessageBox(&pane,
                       QStringLiteral("The folder that was to be replaced could not be put "
                                      "back. Its content is kept as \"%1\".")
                           .arg(toFtp ? FileMessages::ShownServerPath(aside) : aside),
                       FileMessages::InsideSourceCaption(), MsgIcon::Stop);
    return false;
}

// Between two folders of one side, a folder copied into itself is refused before anything
// is deleted or created; paths of two sides never lie inside one another.
bool CReplacingCopy::CheckNotInsideSource(const QString& source, const QString& destination)
{
    if (fromFtp != toFtp)
        return true;
    if (dialog)
        return dialog->CheckNotInsideSource(source + QLatin1Char('/'),
                                            destination + QLatin1Char('/'));
    // Locally a link may make the destination the source itself, which the replacement would
    // otherwise rename aside or delete.
    if (!LocalFolderInside(source, destination))
        return true;
    ShowMessageBox(&pane, FileMessages::InsideSourceText(), FileMessages::InsideSourceCaption(),
                   MsgIcon::Stop);
    return false;
}

// Deletes on the destination side, whichever side the pane shows, through the pane's
// override for that side, for this deletion only.
bool CReplacingCopy::DeleteOnDestination(const QString& path, bool isFolder)
{
    const CScopedDeleteSide override(toFtp ? pane.forceFtpDelete : pane.forceLocalDelete);
    return isFolder ? pane.DeleteFolder(path + QLatin1Char('/')) : pane.DeleteFile(path);
}
