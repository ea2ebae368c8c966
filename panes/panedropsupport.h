#pragma once

#include "panes/panedrop.h"

#include <QModelIndex>
#include <QObject>
#include <QPersistentModelIndex>

#include <functional>
#include <optional>

class CMyListView;
class CVantorDoc;
class QAbstractItemView;
class QDragEnterEvent;
class QDragLeaveEvent;
class QDragMoveEvent;
class QDropEvent;
class QEvent;
class QMimeData;
class QPoint;

// The drag and drop glue and the shared keys that a list pane and a tree pane both hold, one
// object each: which item under the pointer takes a drop and its highlight, the drop taken
// and run once the drag has ended, and Tab between the panes. The pane says which item
// under a point takes a drop, the folder a drop onto an item lands in, the list pane that
// copies on its side and what it refreshes after a drop. It takes the drag events of the
// pane's viewport and the pane's Tab keys before the pane sees them. Owned by the pane; it
// keeps a reference to it.
class CPaneDropSupport : public QObject
{
public:
    using PaneOf = std::function<PaneId()>; // known once the pane is first shown
    using TargetAt = std::function<QModelIndex(const QPoint&)>;
    using FolderOf = std::function<QString(const QModelIndex&)>;
    using ListOf = std::function<CMyListView*()>;
    // After a drop onto `target` (invalid when it is gone by then).
    using Refresh = std::function<void(const QModelIndex& target)>;

    CPaneDropSupport(QAbstractItemView& view, CVantorDoc& document, PaneOf paneOf,
                     TargetAt targetAt, FolderOf folderOf, ListOf listOf, Refresh refresh);

    // The item highlighted as the drop target; invalid for none.
    QModelIndex Target() const { return target; }
    void SetTarget(const QModelIndex& index);
    // Whether `index` lies in the row of the drop target.
    bool IsTarget(const QModelIndex& index) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void DragEnter(QDragEnterEvent* event);
    void DragMove(QDragMoveEvent* event);
    void DragLeave(QDragLeaveEvent* event);
    // Takes the drop's items now and runs the drop once the drag has ended (queued), so that
    // the desktop's file manager is not kept waiting for the end of its drag while files
    // are copied.
    void Drop(QDropEvent* event);
    // Tab and Shift+Tab go round the four panes; true when `event` was one of them.
    bool TabKey(QEvent* event) const;
    bool Takes(const QMimeData* data) const;
    void FinishDrop();

    QAbstractItemView& view;
    CVantorDoc& document;
    PaneOf paneOf;
    TargetAt targetAt;
    FolderOf folderOf;
    ListOf listOf;
    Refresh refresh;
    QPersistentModelIndex target;
    struct PendingDrop
    {
        DropRequest request;
        QPersistentModelIndex target;
    };
    std::optional<PendingDrop> pending;
};
