// Dragging a folder from a tree pane, and dropping onto one of its items.
#include "panes/mytreeview.h"

#include "app/vantorapp.h"
#include "app/vantordoc.h"
#include "panes/mylistview.h"
#include "panes/panedrag.h"

#include <QMimeData>

QString CMyTreeView::PathOf(QTreeWidgetItem* item) const
{
    return side == 0 ? LocalPathOf(item) : FtpPathOf(item);
}

std::unique_ptr<QMimeData> CMyTreeView::PrepareDrag(QTreeWidgetItem* item)
{
    const int icon = IconOf(item);
    if (!item || IsPlaceholder(item) || icon == kIconDrive || icon == kIconLocalComputer ||
        icon == kIconFtpRoot)
        return nullptr;
    const QString folderPath = PathOf(item);
    document.dragFolderName = item->text(0);
    // A local folder keeps its "/", a server folder loses it, as the copies take them.
    document.dragFolderPath = side == 0 ? folderPath : folderPath.chopped(1);
    setCurrentItem(item);
    dropSupport.ClearTarget();
    std::unique_ptr<QMimeData> dragData;
    if (side == 0)
        dragData = NewPaneDragData(document, Id(), {WithoutTrailingSlash(folderPath)});
    else
        dragData = NewPaneDragData(document, Id(), {},
                                   {{document.dragFolderPath, document.dragFolderName, true}});
    document.dragOwner = static_cast<int>(Id());
    return dragData;
}

void CMyTreeView::startDrag(Qt::DropActions)
{
    if (std::unique_ptr<QMimeData> dragData = PrepareDrag(currentItem()))
        ExecPaneDrag(this, document, std::move(dragData));
}

CPaneDropSupport CMyTreeView::MakeDropSupport()
{
    CPaneDropSupport::Pane pane;
    pane.paneOf = [this] { return Id(); };
    pane.targetAt = [this](const QPoint& position) -> std::optional<QModelIndex> {
        QTreeWidgetItem* item = itemAt(position);
        if (!item || IsPlaceholder(item) || IconOf(item) == kIconLocalComputer)
            return std::nullopt;
        return indexFromItem(item);
    };
    pane.folderOf = [this](const QModelIndex& index) -> QString {
        return PathOf(itemFromIndex(index));
    };
    pane.listOf = [this] { return listPane; };
    pane.copyOut = [this] { OnCopyToOtherSide(); };
    pane.refresh = [this](const QModelIndex& target) {
        // The items the copy changed, then the list of this row.
        if (QTreeWidgetItem* item = itemFromIndex(target)) {
            if (side == 0)
                ReadLocalFolder(LocalPathOf(item), item);
            else
                ReadFtpFolder(FtpPathOf(item), item);
        }
        ShowSelectedFolder();
    };
    return CPaneDropSupport(*this, document, std::move(pane));
}

QTreeWidgetItem* CMyTreeView::DropTarget() const
{
    return itemFromIndex(dropSupport.Target());
}
