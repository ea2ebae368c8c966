// Dragging a folder from a tree pane, and dropping onto one of its items.
#include "panes/mytreeview.h"

#include "app/vantorapp.h"
#include "app/vantordoc.h"
#include "framework/waitcursor.h"
#include "panes/mylistview.h"
#include "panes/panedrag.h"

#include <QDragEnterEvent>
#include <QDropEvent>
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
    SetDropTarget(nullptr);
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

QTreeWidgetItem* CMyTreeView::DropTargetAt(const QPoint& position) const
{
    QTreeWidgetItem* item = itemAt(position);
    if (!item || IsPlaceholder(item) || IconOf(item) == kIconLocalComputer)
        return nullptr;
    return item;
}

void CMyTreeView::SetDropTarget(QTreeWidgetItem* item)
{
    if (item == dropTarget)
        return;
    dropTarget = item;
    viewport()->update();
}

void CMyTreeView::dragEnterEvent(QDragEnterEvent* event)
{
    const DragOrigin origin = OriginOf(event->mimeData(), document);
    if (pendingDrop || !DropAllowed(origin, side)) {
        event->ignore();
        return;
    }
    document.dragOwner = static_cast<int>(Id());
    // Accepted whatever lies under the pointer, so that the moves come to this pane; each
    // move then says whether a drop may happen there.
    SetDropTarget(DropTargetAt(event->position().toPoint()));
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void CMyTreeView::dragMoveEvent(QDragMoveEvent* event)
{
    const DragOrigin origin = OriginOf(event->mimeData(), document);
    QTreeWidgetItem* item = !pendingDrop && DropAllowed(origin, side)
                                ? DropTargetAt(event->position().toPoint())
                                : nullptr;
    SetDropTarget(item);
    if (!item || !(event->possibleActions() & Qt::CopyAction)) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void CMyTreeView::dragLeaveEvent(QDragLeaveEvent* event)
{
    SetDropTarget(nullptr);
    event->accept();
}

void CMyTreeView::dropEvent(QDropEvent* event)
{
    document.dragOwner = -1;
    const DragOrigin origin = OriginOf(event->mimeData(), document);
    QTreeWidgetItem* item = !pendingDrop && DropAllowed(origin, side)
                                ? DropTargetAt(event->position().toPoint())
                                : nullptr;
    DropRequest request;
    if (!item || !(event->possibleActions() & Qt::CopyAction) ||
        !TakeDropItems(origin, document, request)) {
        SetDropTarget(nullptr);
        event->ignore();
        return;
    }
    SetDropTarget(item);
    request.targetSide = side;
    request.targetFolder = DropTargetFolder(PathOf(item), side);
    pendingDrop = PendingDrop{request, QPersistentModelIndex(indexFromItem(item))};
    event->setDropAction(Qt::CopyAction);
    event->accept();
    // The copy runs after the drag has ended (see CMyListView::dropEvent).
    QMetaObject::invokeMethod(this, &CMyTreeView::FinishDrop, Qt::QueuedConnection);
}

void CMyTreeView::FinishDrop()
{
    if (!pendingDrop)
        return;
    const PendingDrop drop = *pendingDrop;
    pendingDrop.reset();
    if (ConfirmCopy()) {
        CWaitCursor wait;
        if (listPane)
            RunDrop(drop.request, *listPane);
        // The items the copy changed, then the list of this row.
        if (QTreeWidgetItem* target = itemFromIndex(drop.target)) {
            if (side == 0)
                ReadLocalFolder(LocalPathOf(target), target);
            else
                ReadFtpFolder(FtpPathOf(target), target);
        }
        ShowSelectedFolder();
    }
    SetDropTarget(nullptr);
}

void CMyTreeView::drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const
{
    const bool target = dropTarget && itemFromIndex(index) == dropTarget;
    QTreeWidget::drawRow(painter, target ? WithDropHighlight(option) : option, index);
}
