// The commands given inside a file list pane: the context menu, renaming in place, New
// Folder, Delete, and the keys.
#include "panes/mylistview.h"

#include "app/vantorapp.h"
#include "app/vantordoc.h"
#include "framework/messagebox.h"
#include "framework/waitcursor.h"
#include "inet/ftpconnection.h"
#include "inet/internetexception.h"
#include "panes/dirlistmodel.h"
#include "panes/droprunner.h"
#include "panes/mytreeview.h"
#include "panes/nameeditdelegate.h"
#include "panes/panecommands.h"
#include "panes/panedrag.h"

#include <QContextMenuEvent>
#include <QDateTime>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMenu>

namespace {

const QString kReady = QStringLiteral("Ready");

bool IsFolderIcon(int icon)
{
    return icon == kIconLocalFolder || icon == kIconFtpFolder;
}

// The time a folder just made was last written; 0 when it cannot be learnt.
qint64 WriteTimeOf(const QString& folderPath, PaneSide side)
{
    if (side == PaneSide::Local)
        return QFileInfo(folderPath).lastModified().toSecsSinceEpoch();
    CFtpConnection* connection = theApp().ftpConnection.get();
    if (!connection)
        return 0;
    try {
        const std::optional<FtpStat> stat = connection->Stat(folderPath);
        return stat ? stat->writeTime : 0;
    } catch (const CInternetException&) {
        return 0;
    }
}

} // namespace

void CMyListView::contextMenuEvent(QContextMenuEvent* event)
{
    if (side == 1 && theApp().ftpUnavailable)
        return;
    const QModelIndex index = indexAt(event->pos());
    if (index.isValid())
        contextItem = index.row();
    // Every command of the list runs under the wait cursor.
    const auto waiting = [this](void (CMyListView::*command)()) {
        return [this, command] {
            CWaitCursor wait;
            (this->*command)();
        };
    };
    PaneMenuCommands commands;
    commands.newFolder = waiting(&CMyListView::OnNewFolder);
    if (index.isValid()) {
        commands.rename = waiting(&CMyListView::OnRename);
        commands.remove = waiting(&CMyListView::DeleteSelected);
    }
    if (side == 1)
        commands.attributes = waiting(&CMyListView::SetAttributes);
    if (!SelectedRows().isEmpty() && OtherSideList(SideOfPane(Id())))
        commands.copy = [this] { OnCopyToOtherSide(); };
    NewPaneMenu(this, SideOfPane(Id()), commands)->popup(event->globalPos());
}

void CMyListView::OnNewFolder()
{
    ShowStatusStep(QStringLiteral("Creating New Folder - Please Wait"));
    NewFolder();
    ShowStatusStep(kReady);
}

void CMyListView::OnRename()
{
    if (contextItem < 0 || contextItem >= ItemCount())
        return;
    const QModelIndex index = rowsModel->index(contextItem, 0);
    scrollTo(index);
    edit(index);
}

void CMyListView::NewFolder()
{
    QStringList names;
    for (int row = 0; row < ItemCount(); ++row)
        names.append(ItemName(row));
    const QString name = NewFolderName(names);
    const QString folderPath = path + name;
    if (!CreateFolder(folderPath))
        return;
    DirEntry entry;
    entry.attributes = kFolderAttribute;
    entry.writeTime = WriteTimeOf(folderPath, SideOfPane(Id()));
    entry.name = name;
    // Kept in the entries too, so that a re-sort still shows the folder.
    entries.append(entry);
    DirListRow row;
    row.entry = static_cast<int>(entries.size() - 1);
    row.icon = side == 0 ? kIconLocalFolder : kIconFtpFolder;
    row.name = name;
    row.writeTime = entry.writeTime;
    row.hasDate = true;
    rowsModel->AppendRow(row);
    const QModelIndex index = rowsModel->index(rowsModel->RowCount() - 1, 0);
    scrollTo(index);
    RefreshTreeFolder();
    setCurrentIndex(index);
    edit(index);
}

bool CMyListView::EditingLabel() const
{
    return nameDelegate->IsEditing();
}

void CMyListView::OnEndLabelEdit(int row, const QString& text)
{
    const QString oldName = ItemName(row);
    if (text == oldName)
        return;
    bool renamed = false;
    {
        CWaitCursor wait;
        ShowStatusStep(QStringLiteral("Renaming File - Please Wait"));
        // Full paths: the server's current folder may be another one by now.
        renamed = RenameOnSide(SideOfPane(Id()), path + oldName, path, text);
        ShowStatusStep(kReady);
    }
    if (!renamed) {
        edit(rowsModel->index(row, 0));
        return;
    }
    rowsModel->SetName(row, text);
    const int entry = rowsModel->Row(row).entry;
    if (entry >= 0 && entry < entries.size())
        entries[entry].name = text;
    RefreshTreeFolder();
}

void CMyListView::DeleteSelected()
{
    if (ShowMessageBox(theApp().MainWindow(),
                       QStringLiteral("Are you sure you want to delete the selected item(s)?"),
                       QStringLiteral("Confirm File Delete"), MsgIcon::Question,
                       MsgButtons::OkCancel) == MsgAnswer::Ok) {
        ShowStatusStep(QStringLiteral("Deleting Files - Please Wait"));
        CWaitCursor wait;
        // Names taken before the first deletion, which refreshes nothing until the end.
        QStringList names;
        QList<bool> folders;
        for (const int row : SelectedRows()) {
            names.append(ItemName(row));
            folders.append(IsFolderIcon(ItemIcon(row)));
        }
        for (int i = 0; i < names.size(); ++i) {
            const QString fullPath = path + names[i];
            const bool deleted =
                folders[i] ? DeleteFolder(fullPath + QLatin1Char('/')) : DeleteFile(fullPath);
            if (!deleted)
                break;
        }
        RefreshTreeFolder();
        FillList(path);
    }
    ShowStatusStep(kReady);
}

void CMyListView::OnCopyToOtherSide()
{
    CopyToOtherSide(SideOfPane(Id()), SelectionDropItems(*this));
}

void CMyListView::OpenFolder(int row)
{
    QTreeWidgetItem* folderItem = TreeItem();
    if (!IsFolderIcon(ItemIcon(row)) || !rowTree || !folderItem)
        return;
    const QString name = ItemName(row);
    auto findChild = [&]() -> QTreeWidgetItem* {
        for (int i = 0; i < folderItem->childCount(); ++i) {
            QTreeWidgetItem* child = folderItem->child(i);
            if (child->text(0) == name && !CMyTreeView::IsPlaceholder(child))
                return child;
        }
        return nullptr;
    };
    // Expanding reads the folder's subfolders the first time.
    folderItem->setExpanded(true);
    QTreeWidgetItem* child = findChild();
    if (!child) {
        // Made since it was read.
        RefreshTreeFolder();
        child = findChild();
    }
    if (!child)
        return;
    rowTree->scrollToItem(child);
    rowTree->setCurrentItem(child);
}

void CMyListView::OpenParentFolder()
{
    QTreeWidgetItem* folderItem = TreeItem();
    if (!rowTree || !folderItem)
        return;
    QTreeWidgetItem* parent = folderItem->parent();
    if (!parent || CMyTreeView::IconOf(parent) == kIconLocalComputer)
        return;
    rowTree->setCurrentItem(parent);
}

void CMyListView::keyPressEvent(QKeyEvent* event)
{
    if (!EditingLabel() && event->modifiers() == Qt::NoModifier) {
        switch (event->key()) {
        case Qt::Key_Delete:
            DeleteSelected();
            return;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            OpenFolder(currentIndex().row());
            return;
        case Qt::Key_Backspace:
            OpenParentFolder();
            return;
        case Qt::Key_F5:
            FillList(path);
            return;
        default:
            break;
        }
    }
    QTreeView::keyPressEvent(event);
}
