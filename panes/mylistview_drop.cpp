// Dragging from a file list pane, and dropping onto one of its folder items.
#include "panes/mylistview.h"

#include "app/vantordoc.h"
#include "framework/waitcursor.h"
#include "panes/dirlistmodel.h"
#include "panes/mytreeview.h"
#include "panes/panedrag.h"

#include <QDragEnterEvent>
#include <QDropEvent>
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
    SetDropTarget(-1);
    auto dragData = NewPaneDragData(document, Id(), localPaths, remoteItems);
    document.dragOwner = static_cast<int>(Id());
    return dragData;
}

void CMyListView::startDrag(Qt::DropActions)
{
    if (std::unique_ptr<QMimeData> dragData = PrepareDrag())
        ExecPaneDrag(this, document, std::move(dragData));
}

bool CMyListView::TakesDrops() const
{
    return !pendingDrop.has_value();
}

int CMyListView::DropTargetAt(const QPoint& position) const
{
    const QModelIndex index = indexAt(position);
    if (!index.isValid())
        return -1;
    const int icon = ItemIcon(index.row());
    return icon == kIconLocalFolder || icon == kIconFtpFolder ? index.row() : -1;
}

void CMyListView::SetDropTarget(int row)
{
    if (row == dropTarget)
        return;
    dropTarget = row;
    viewport()->update();
}

void CMyListView::dragEnterEvent(QDragEnterEvent* event)
{
    const DragOrigin origin = OriginOf(event->mimeData(), document);
    if (!TakesDrops() || !DropAllowed(origin, side)) {
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

void CMyListView::dragMoveEvent(QDragMoveEvent* event)
{
    const DragOrigin origin = OriginOf(event->mimeData(), document);
    const int row =
        DropAllowed(origin, side) && TakesDrops() ? DropTargetAt(event->position().toPoint()) : -1;
    SetDropTarget(row);
    if (row < 0 || !(event->possibleActions() & Qt::CopyAction)) {
        event->ignore();
        return;
    }
    // Always a copy: a desktop that offered a move must not delete its files afterwards.
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void CMyListView::dragLeaveEvent(QDragLeaveEvent* event)
{
    SetDropTarget(-1);
    event->accept();
}

void CMyListView::dropEvent(QDropEvent* event)
{
    document.dragOwner = -1;
    const DragOrigin origin = OriginOf(event->mimeData(), document);
    const int row =
        DropAllowed(origin, side) && TakesDrops() ? DropTargetAt(event->position().toPoint()) : -1;
    DropRequest request;
    if (row < 0 || !(event->possibleActions() & Qt::CopyAction) ||
        !TakeDropItems(origin, document, request)) {
        SetDropTarget(-1);
        event->ignore();
        return;
    }
    SetDropTarget(row);
    request.targetSide = side;
    request.targetFolder = DropTargetFolder(path + ItemName(row) + QLatin1Char('/'), side);
    pendingDrop = request;
    event->setDropAction(Qt::CopyAction);
    event->accept();
    // The copy runs after the drag has ended, so that the desktop's file manager is not kept
    // waiting for the end of its drag while files are copied.
    QMetaObject::invokeMethod(this, &CMyListView::FinishDrop, Qt::QueuedConnection);
}

void CMyListView::FinishDrop()
{
    if (!pendingDrop)
        return;
    const DropRequest request = *pendingDrop;
    pendingDrop.reset();
    if (ConfirmCopy()) {
        CWaitCursor wait;
        RunDrop(request, *this);
        RefreshTreeFolder();
    }
    SetDropTarget(-1);
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

void CMyListView::drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const
{
    QTreeView::drawRow(painter, index.row() == dropTarget ? WithDropHighlight(option) : option,
                       index);
}
