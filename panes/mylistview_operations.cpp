// The single file and folder operations of the list pane and its Attributes command.
#include "panes/mylistview.h"

#include "app/paneframe.h"
#include "app/vantorapp.h"
#include "framework/messagebox.h"
#include "framework/modaldialog.h"
#include "framework/waitcursor.h"
#include "ftp/commstatusdialog.h"
#include "ftp/fileattributesdlg.h"
#include "ftp/filemessages.h"
#include "ftp/fileoperations.h"
#include "ftp/ftpattributes.h"
#include "inet/ftpconnection.h"

namespace {

void SetStatusText(const QString& text)
{
    if (CPaneFrame* frame = theApp().PaneFrame())
        frame->SetStatusText(0, text);
    RefreshUi();
}

} // namespace

bool CMyListView::DeleteFile(const QString& filePath)
{
    return CFileOperations(this, side, forceLocalDelete, forceFtpDelete).DeleteFile(filePath);
}

bool CMyListView::DeleteFolder(const QString& folderPath)
{
    return CFileOperations(this, side, forceLocalDelete, forceFtpDelete).DeleteFolder(folderPath);
}

bool CMyListView::CreateFolder(const QString& folderPath)
{
    return CFileOperations(this, side).CreateFolder(folderPath);
}

bool CMyListView::CopyLocalFile(const QString& source, const QString& destination)
{
    return CFileOperations(this, side).CopyLocalFile(source, destination);
}

bool CMyListView::CopyLocalFolder(const QString& source, const QString& destination,
                                  CSkippedItems* skipped)
{
    return CFileOperations(this, side).CopyLocalFolder(source, destination, skipped);
}

void CMyListView::SetAttributes()
{
    // Permissions are set on server files only.
    if (side != 1)
        return;
    CWaitCursor wait;
    // The names are taken now: the list may be refilled while messages run.
    QStringList names;
    for (const int row : SelectedRows())
        names.append(ItemName(row));
    if (names.isEmpty())
        return;
    // The list's own folder is named in every command: the server's current folder may
    // have been moved by the tree since the list was read.
    const QString folder = path;
    CFtpConnection* connection = theApp().ftpConnection.get();

    CFileAttributesDlg dialog(this);
    dialog.value =
        connection ? ReadAttributes(*connection, folder, names.first()) : QStringLiteral("000");
    dialog.fileLabel = FileMessages::ShownServerPath(folder) +
                       (names.size() == 1 ? names.first() : QStringLiteral("{multiple files}"));
    if (RunModalDialog(dialog) != QDialog::Accepted)
        return;

    SetStatusText(QStringLiteral("Setting File Attributes - Please Wait"));
    bool failed = false;
    for (const QString& name : names) {
        if (!connection || !ApplyAttributes(*connection, folder, name, dialog.value)) {
            failed = true;
            break;
        }
    }
    SetStatusText(QStringLiteral("Ready"));
    if (failed)
        ShowMessageBox(this, FileMessages::AttributesNotSetText(),
                       FileMessages::AttributesNotSetCaption(), MsgIcon::Stop);
    else
        ShowMessageBox(this, FileMessages::AttributesSetText(),
                       FileMessages::AttributesSetCaption(), MsgIcon::Information);
}
