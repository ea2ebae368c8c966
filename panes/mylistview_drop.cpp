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
    dropSupport.SetTarget({});
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
    return CPaneDropSupport(
        *this, document, [this] { return Id(); },
        [this](const QPoint& position) {
            const QModelIndex index = indexAt(position);
            if (!index.isValid())
                return QModelIndex();
            const int icon = ItemIcon(index.row());
            return icon == kIconLocalFolder || icon == kIconFtpFolder ? index : QModelIndex();
        },
        [this](const QModelIndex& index) -> QString {
            return path + ItemName(index.row()) + QLatin1Char('/');
        },
        [this] { return this; }, [this](const QModelIndex&) { RefreshTreeFolder(); });
}

int CMyListView::DropTarget() const
{
    const QModelIndex target = dropSupport.Target();
    return target.isValid() ? target.row() : -1;
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
    QTreeView::drawRow(painter, dropSupport.IsTarget(index) ? WithDropHighlight(option) : option,
                       index);
}
