// The commands given inside a folder tree pane: the context menu, renaming a folder in
// place, deleting it, and the keys.
#include "panes/mytreeview.h"

#include "app/vantorapp.h"
#include "app/vantordoc.h"
#include "framework/messagebox.h"
#include "framework/waitcursor.h"
#include "panes/droprunner.h"
#include "panes/mylistview.h"
#include "panes/nameeditdelegate.h"
#include "panes/panecommands.h"
#include "panes/panedrag.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>

namespace {

const QString kReady = QStringLiteral("Ready");

// Whether `item` is `ancestor` or lies below it.
bool IsWithin(const QTreeWidgetItem* item, const QTreeWidgetItem* ancestor)
{
    for (const QTreeWidgetItem* at = item; at; at = at->parent()) {
        if (at == ancestor)
            return true;
    }
    return false;
}

} // namespace

bool CMyTreeView::IsFolderItem(const QTreeWidgetItem* item)
{
    const int icon = IconOf(item);
    return item && !IsPlaceholder(item) && (icon == kIconLocalFolder || icon == kIconFtpFolder);
}

void CMyTreeView::contextMenuEvent(QContextMenuEvent* event)
{
    if (side == 1 && theApp().ftpUnavailable)
        return;
    QTreeWidgetItem* item = itemAt(event->pos());
    if (item && !IsPlaceholder(item))
        setCurrentItem(item);
    if (IconOf(item) == kIconLocalComputer)
        return;
    PaneMenuCommands commands;
    commands.newFolder = [this] {
        if (!listPane)
            return;
        CWaitCursor wait;
        listPane->setFocus();
        listPane->OnNewFolder();
    };
    if (IsFolderItem(item)) {
        commands.rename = [this] { OnRename(); };
        commands.remove = [this] { DeleteTreeFolder(); };
        if (OtherSideList(SideOfPane(Id())))
            commands.copy = [this] { OnCopyToOtherSide(); };
    }
    NewPaneMenu(this, SideOfPane(Id()), commands)->popup(event->globalPos());
}

void CMyTreeView::OnRename()
{
    if (QTreeWidgetItem* shown = listPane ? listPane->TreeItem() : nullptr) {
        scrollToItem(shown);
        editItem(shown);
    }
}

bool CMyTreeView::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event)
{
    // Drives and the two roots keep their names; a placeholder names nothing.
    if (!IsFolderItem(itemFromIndex(index)))
        return false;
    return QTreeWidget::edit(index, trigger, event);
}

bool CMyTreeView::EditingLabel() const
{
    return nameDelegate->IsEditing();
}

void CMyTreeView::OnEndLabelEdit(QTreeWidgetItem* item, const QString& text)
{
    if (text == item->text(0))
        return;
    bool renamed = false;
    {
        CWaitCursor wait;
        ShowStatusStep(QStringLiteral("Renaming Folder - Please Wait"));
        // The paths of the item itself, whichever folder the list shows.
        renamed = RenameOnSide(SideOfPane(Id()), WithoutTrailingSlash(PathOf(item)),
                               PathOf(item->parent()), text);
        ShowStatusStep(kReady);
    }
    if (!renamed) {
        editItem(item);
        return;
    }
    item->setText(0, text);
    // The list keeps its items; its path follows the new name.
    QTreeWidgetItem* shown = listPane ? listPane->TreeItem() : nullptr;
    if (shown && IsWithin(shown, item) && (side == 0 || theApp().ftpSideInUse))
        listPane->path = PathOf(shown);
}

void CMyTreeView::OnCopyToOtherSide()
{
    QTreeWidgetItem* item = currentItem();
    if (IsFolderItem(item))
        CopyToOtherSide(SideOfPane(Id()),
                        {FolderDropItem(SideOfPane(Id()), PathOf(item), item->text(0))});
}

void CMyTreeView::DeleteTreeFolder()
{
    if (ShowMessageBox(theApp().MainWindow(),
                       QStringLiteral("Are you sure you want to delete the selected item(s)?"),
                       QStringLiteral("Confirm File Delete"), MsgIcon::Question,
                       MsgButtons::OkCancel) != MsgAnswer::Ok)
        return;
    CWaitCursor wait;
    ShowStatusStep(QStringLiteral("Deleting Folder - Please Wait"));
    QTreeWidgetItem* item = currentItem();
    // Only the folder that is selected and that the list shows: if the list could not show
    // it, its path names another folder, and nothing is deleted.
    if (listPane && IsFolderItem(item) && listPane->TreeItem() == item &&
        listPane->path == PathOf(item)) {
        listPane->DeleteFolder(listPane->path);
        QTreeWidgetItem* parent = item->parent();
        suppressSelection = true;
        setCurrentItem(parent);
        suppressSelection = false;
        if (side == 0)
            ReadLocalFolder(LocalPathOf(parent), parent);
        else
            ReadFtpFolder(FtpPathOf(parent), parent);
        ShowSelectedFolder();
    }
    ShowStatusStep(kReady);
}

void CMyTreeView::keyPressEvent(QKeyEvent* event)
{
    QTreeWidgetItem* item = currentItem();
    if (!EditingLabel() && item && event->modifiers() == Qt::NoModifier) {
        switch (event->key()) {
        case Qt::Key_Delete:
            if (IsFolderItem(item)) {
                DeleteTreeFolder();
                return;
            }
            break;
        case Qt::Key_Backspace:
            if (item->parent() && IconOf(item->parent()) != kIconLocalComputer)
                setCurrentItem(item->parent());
            return;
        case Qt::Key_F5:
            if (IconOf(item) != kIconLocalComputer && !IsPlaceholder(item)) {
                CWaitCursor wait;
                if (side == 0)
                    ReadLocalFolder(LocalPathOf(item), item);
                else if (theApp().ftpSideInUse)
                    ReadFtpFolder(FtpPathOf(item), item);
                ShowSelectedFolder();
            }
            return;
        default:
            break;
        }
    }
    QTreeWidget::keyPressEvent(event);
}
