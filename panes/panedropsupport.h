#pragma once

#include "panes/panedrop.h"

#include <QKeySequence>
#include <QModelIndex>
#include <QObject>
#include <QPersistentModelIndex>
#include <QPoint>
#include <QTimer>

#include <functional>
#include <optional>

class CDropFrame;
class CMyListView;
class CVantorDoc;
class QAbstractItemView;
class QDragEnterEvent;
class QDragLeaveEvent;
class QDragMoveEvent;
class QDropEvent;
class QEvent;
class QMimeData;

// The drag and drop glue and the shared keys that a list pane and a tree pane both hold, one
// object each: where under the pointer a drop would land and its frame, the drop taken and
// run once the drag has ended, scrolling near the edges and opening a folder the drag rests
// on, and the keys Tab and Download/Upload. The pane says where under a point a drop lands,
// the folder that place stands for, the list pane that copies on its side, what it refreshes
// after a drop and what its Download/Upload command copies. It takes the drag events of the
// pane's viewport and the pane's keys before the pane sees them. Owned by the pane; it keeps
// a reference to it and owns the frame it draws over the viewport.
class CPaneDropSupport : public QObject
{
public:
    using PaneOf = std::function<PaneId()>; // known once the pane is first shown
    // The place under a point that takes a drop: an item, an invalid index for the folder
    // the pane shows itself, nothing where no drop lands.
    using TargetAt = std::function<std::optional<QModelIndex>(const QPoint&)>;
    using FolderOf = std::function<QString(const QModelIndex&)>;
    using ListOf = std::function<CMyListView*()>;
    // After a drop onto `target` (invalid for the pane's own folder, or when it is gone).
    using Refresh = std::function<void(const QModelIndex& target)>;
    // The pane's command that copies its selection to the other side.
    using CopyOut = std::function<void()>;

    struct Pane
    {
        PaneOf paneOf;
        TargetAt targetAt;
        FolderOf folderOf;
        ListOf listOf;
        Refresh refresh;
        CopyOut copyOut;
    };

    CPaneDropSupport(QAbstractItemView& view, CVantorDoc& document, Pane pane);

    // The item framed as the drop target; invalid for none and for the pane's own folder.
    QModelIndex Target() const;
    // Whether the pane's own folder is the drop target (the frame goes round the pane).
    bool TargetIsPane() const;
    void ClearTarget();

    // The key of the Download/Upload command on `side`.
    static QKeySequence CopyOutKey(PaneSide side);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void DragEnter(QDragEnterEvent* event);
    void DragMove(QDragMoveEvent* event);
    void DragLeave();
    // Takes the drop's items now and runs the drop once the drag has ended (queued), so that
    // the desktop's file manager is not kept waiting for the end of its drag while files
    // are copied.
    void Drop(QDropEvent* event);
    // Tab and Shift+Tab go round the four panes, the Download/Upload key copies; true when
    // `event` was one of them.
    bool PaneKey(QEvent* event) const;
    bool Takes(const QMimeData* data) const;
    // What a drop of `data` onto `place` would copy; false when nothing.
    bool RequestFor(const QMimeData* data, const QModelIndex& place, DropRequest& request) const;
    // Where a drop at `at` would land, if it may: a drop whose plan copies something onto
    // itself is refused here, while the drag still moves.
    std::optional<QModelIndex> PlaceAt(const QMimeData* data, const QPoint& at);
    void SetTarget(const std::optional<QModelIndex>& place);
    void PlaceFrame();
    void ScrollNearEdge();
    void OpenRestingFolder();
    void FinishDrop();

    QAbstractItemView& view;
    CVantorDoc& document;
    Pane pane;
    CDropFrame* frame;
    // The drop target: an item, or an invalid index for the pane's own folder.
    std::optional<QPersistentModelIndex> target;
    // The last place checked against the plan, and the answer, for the moves over it.
    std::optional<QPersistentModelIndex> checkedPlace;
    bool checkedAllowed = false;
    QPoint pointer; // in viewport coordinates, during a drag over the pane
    QTimer scrollTimer;
    QTimer restTimer;
    struct PendingDrop
    {
        DropRequest request;
        QPersistentModelIndex target;
    };
    std::optional<PendingDrop> pending;
};
