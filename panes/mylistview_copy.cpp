// Copying the selected items of a list pane into a folder, in any of the four directions.
#include "panes/mylistview.h"

#include "app/vantorapp.h"
#include "app/vantordoc.h"
#include "framework/messagebox.h"
#include "ftp/commoperation.h"
#include "ftp/commstatusdialog.h"
#include "ftp/filemessages.h"
#include "ftp/fileoperations.h"
#include "inet/ftpconnection.h"
#include "inet/internetexception.h"

#include <QFile>

#include <cerrno>
#include <optional>
#include <sys/stat.h>

namespace {

struct Direction
{
    bool fromFtp = false;
    bool toFtp = false;
};

QString TitleOf(Direction direction)
{
    if (!direction.fromFtp)
        return QStringLiteral("Copying files from Local Computer to FTP Server - Please Wait");
    if (!direction.toFtp)
        return QStringLiteral("Copying files from FTP Server to Local Computer - Please Wait");
    return QStringLiteral("Copying files from FTP Server to FTP Server - Please Wait");
}

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

// Runs one copy of a selection: the pane whose items are copied, its status window (none
// between two local folders), and the direction.
class CSelectionCopy
{
public:
    CSelectionCopy(CMyListView& sourcePane, CCommStatusDialog* statusWindow, Direction way)
        : pane(sourcePane)
        , dialog(statusWindow)
        , direction(way)
    {}

    bool CopyFile(const QString& source, const QString& destination)
    {
        if (!direction.fromFtp && !direction.toFtp)
            return pane.CopyLocalFile(source, destination);
        if (!direction.fromFtp)
            return dialog->UploadFile(source, destination);
        if (!direction.toFtp)
            return dialog->DownloadFile(source, destination);
        return dialog->CopyFtpFile(source, destination);
    }

    bool CopyFolderItem(const QString& source, const QString& destination)
    {
        if (!CheckNotInsideSource(source, destination))
            return false;
        const Presence existing = PresenceOf(destination, direction.toFtp);
        if (existing == Presence::Missing)
            return CopyFolder(source, destination);
        if (existing == Presence::Unknown && direction.toFtp) {
            dialog->ReportCopyError();
            return false;
        }
        // The existing folder is renamed aside and goes only once its replacement is
        // complete; where the rename is refused, it is deleted first.
        const bool oldIsFolder = existing != Presence::File;
        const QString aside = AsideNameFor(destination, direction.toFtp);
        if (aside.isEmpty() || !RenameOnSide(destination, aside, direction.toFtp)) {
            if (!DeleteOnDestination(destination, oldIsFolder))
                return false;
            return CopyFolder(source, destination);
        }
        // Where the destination was the source itself (through a link, or a server that
        // serves this computer's own disk), the rename has moved the source away.
        if (PresenceOf(source, direction.fromFtp) == Presence::Missing) {
            RenameOnSide(aside, destination, direction.toFtp);
            ShowMessageBox(&pane, FileMessages::InsideSourceText(),
                           FileMessages::InsideSourceCaption(), MsgIcon::Stop);
            return false;
        }
        if (CopyFolder(source, destination))
            return DeleteOnDestination(aside, oldIsFolder);

        // What the failed copy left goes, and the old folder comes back. A cancel has been
        // shown already; the clean-up must not be cancelled with it.
        if (dialog)
            dialog->cancelRequested = false;
        if (PresenceOf(destination, direction.toFtp) != Presence::Missing)
            DeleteOnDestination(destination, true);
        if (!RenameOnSide(aside, destination, direction.toFtp))
            ShowMessageBox(&pane,
                           QStringLiteral("The folder that was to be replaced could not be put "
                                          "back. Its content is kept as \"%1\".")
                               .arg(aside),
                           FileMessages::InsideSourceCaption(), MsgIcon::Stop);
        return false;
    }

private:
    // Between two folders of one side, a folder copied into itself is refused before
    // anything is deleted or created; paths of two sides never lie inside one another.
    bool CheckNotInsideSource(const QString& source, const QString& destination)
    {
        if (direction.fromFtp != direction.toFtp)
            return true;
        const QString from = source + QLatin1Char('/');
        const QString to = destination + QLatin1Char('/');
        if (dialog)
            return dialog->CheckNotInsideSource(from, to);
        // Locally a link may make the destination the source itself, which the replacement
        // would otherwise rename aside or delete.
        if (!LocalFolderInside(source, destination))
            return true;
        ShowMessageBox(&pane, FileMessages::InsideSourceText(), FileMessages::InsideSourceCaption(),
                       MsgIcon::Stop);
        return false;
    }

    bool CopyFolder(const QString& source, const QString& destination)
    {
        if (!direction.fromFtp && !direction.toFtp)
            return pane.CopyLocalFolder(source, destination);
        if (!direction.fromFtp)
            return dialog->UploadFolder(source, destination);
        if (!direction.toFtp)
            return dialog->DownloadFolder(source, destination);
        return dialog->CopyFtpFolder(source, destination);
    }

    // Deletes on the destination side: the pane's side between two folders of one side,
    // otherwise through the override of the other side, for this deletion only.
    bool DeleteOnDestination(const QString& path, bool isFolder)
    {
        std::optional<CScopedDeleteSide> override;
        if (direction.toFtp && !direction.fromFtp)
            override.emplace(pane.forceFtpDelete);
        else if (!direction.toFtp && direction.fromFtp)
            override.emplace(pane.forceLocalDelete);
        return isFolder ? pane.DeleteFolder(path + QLatin1Char('/')) : pane.DeleteFile(path);
    }

    CMyListView& pane;
    CCommStatusDialog* dialog;
    Direction direction;
};

} // namespace

bool CMyListView::CopySelectedItemsToFolder(const QString& destinationFolder, bool destinationIsFtp)
{
    const Direction direction{side == 1, destinationIsFtp};
    // The items are taken now: the list may be refilled while messages run.
    struct Item
    {
        QString name;
        bool isFolder;
    };
    QList<Item> items;
    for (const int row : SelectedRows()) {
        const int icon = ItemIcon(row);
        items.append({ItemName(row), icon == kIconLocalFolder || icon == kIconFtpFolder});
    }

    std::optional<CCommOperation> operation;
    if (direction.fromFtp || direction.toFtp) {
        operation.emplace(true);
        operation->Dialog().SetTitleLine(TitleOf(direction));
    }
    CSelectionCopy copy(*this, operation ? &operation->Dialog() : nullptr, direction);
    const QString sourceFolder = path;
    for (const Item& item : items) {
        const QString source = sourceFolder + item.name;
        const QString destination = destinationFolder + item.name;
        const bool ok = item.isFolder ? copy.CopyFolderItem(source, destination)
                                      : copy.CopyFile(source, destination);
        if (!ok)
            return false;
    }
    return true;
}
