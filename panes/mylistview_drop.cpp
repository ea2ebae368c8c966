// Dragging from a file list pane, and dropping onto one of its folder items.
#include "panes/mylistview.h"

#include "app/vantordoc.h"
#include "panes/dirlistmodel.h"
#include "panes/mytreeview.h"
#include "panes/panedrag.h"

#include <QMimeData>

std::unique_ptr<QMimeData> CMyListView::PrepareDrag()
{
    const QList<int> rows = SelectedRows();
    if (rows.isEmpty())
        return nullptr;
    QStringList localPaths;
    QList<DropItem> remoteItems;
    for (const int row : rows) {
        const QString name = ItemName(row);
        if (side == 0)
            localPaths.append(path + name);
        else
            remoteItems.append({path + name, name, ItemIcon(row) == kIconFtpFolder});
    }
    dropSupport.ClearTarget();
    auto dragData = NewPaneDragData(document, Id(), localPaths, remoteItems);
    document.dragOwner = static_cast<int>(Id());
    return dragData;
}

void CMyListView::startDrag(Qt::DropActions)
{
    if (std::unique_ptr<QMimeData> dragData = PrepareDrag())
        ExecPaneDrag(this, document, std::move(dragData));
}

CPaneDropSupport CMyListView::MakeDropSupport()
{
    CPaneDropSupport::Pane pane;
    pane.paneOf = [this] { return Id(); };
    pane.targetAt = [this](const QPoint& position) -> std::optional<QModelIndex> {
        const QModelIndex index = indexAt(position);
        // Below and beside the rows: the folder the list shows.
        if (!index.isValid())
            return path.isEmpty() ? std::nullopt : std::optional<QModelIndex>(QModelIndex());
        const int icon = ItemIcon(index.row());
        if (icon == kIconLocalFolder || icon == kIconFtpFolder)
            return index;
        return std::nullopt;
    };
    pane.folderOf = [this](const QModelIndex& index) -> QString {
        return index.isValid() ? path + ItemName(index.row()) + QLatin1Char('/') : path;
    };
    pane.listOf = [this] { return this; };
    pane.copyOut = [this] { OnCopyToOtherSide(); };
    pane.refresh = [this](const QModelIndex& target) {
        RefreshTreeFolder();
        // A copy into the folder the list shows shows up in it.
        if (!target.isValid())
            FillList(path);
    };
    return CPaneDropSupport(*this, document, std::move(pane));
}

int CMyListView::DropTarget() const
{
    const QModelIndex target = dropSupport.Target();
    return target.isValid() ? target.row() : -1;
}

bool CMyListView::DropOnFolderShown() const
{
    return dropSupport.TargetIsPane();
}

void CMyListView::RefreshTreeFolder()
{
    QTreeWidgetItem* folderItem = TreeItem();
    if (!rowTree || !folderItem)
        return;
    if (side == 0)
        rowTree->ReadLocalFolder(path, folderItem);
    else
        rowTree->ReadFtpFolder(path, folderItem);
}
