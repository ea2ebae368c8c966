#include "panes/panedropsupport.h"

#include "app/vantordoc.h"
#include "panes/droprunner.h"
#include "panes/panecommands.h"
#include "panes/panedrag.h"

#include <QAbstractItemView>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>

CPaneDropSupport::CPaneDropSupport(QAbstractItemView& paneView, CVantorDoc& paneDocument,
                                   PaneOf paneIdOf, TargetAt itemAt, FolderOf folderOfItem,
                                   ListOf sideList, Refresh afterDrop)
    : view(paneView)
    , document(paneDocument)
    , paneOf(std::move(paneIdOf))
    , targetAt(std::move(itemAt))
    , folderOf(std::move(folderOfItem))
    , listOf(std::move(sideList))
    , refresh(std::move(afterDrop))
{
    view.viewport()->installEventFilter(this);
    view.installEventFilter(this);
}

bool CPaneDropSupport::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == &view)
        return TabKey(event);
    if (watched != view.viewport())
        return false;
    switch (event->type()) {
    case QEvent::DragEnter:
        DragEnter(static_cast<QDragEnterEvent*>(event));
        return true;
    case QEvent::DragMove:
        DragMove(static_cast<QDragMoveEvent*>(event));
        return true;
    case QEvent::DragLeave:
        DragLeave(static_cast<QDragLeaveEvent*>(event));
        return true;
    case QEvent::Drop:
        Drop(static_cast<QDropEvent*>(event));
        return true;
    default:
        return false;
    }
}

bool CPaneDropSupport::Takes(const QMimeData* data) const
{
    return !pending && DropAllowed(OriginOf(data, document), SideOfPane(paneOf()));
}

void CPaneDropSupport::DragEnter(QDragEnterEvent* event)
{
    if (!Takes(event->mimeData())) {
        event->ignore();
        return;
    }
    document.dragOwner = static_cast<int>(paneOf());
    // Accepted whatever lies under the pointer, so that the moves come to this pane; each
    // move then says whether a drop may happen there.
    SetTarget(targetAt(event->position().toPoint()));
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void CPaneDropSupport::DragMove(QDragMoveEvent* event)
{
    const QModelIndex item =
        Takes(event->mimeData()) ? targetAt(event->position().toPoint()) : QModelIndex();
    SetTarget(item);
    if (!item.isValid() || !(event->possibleActions() & Qt::CopyAction)) {
        event->ignore();
        return;
    }
    // Always a copy: a desktop that offered a move must not delete its files afterwards.
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void CPaneDropSupport::DragLeave(QDragLeaveEvent* event)
{
    SetTarget({});
    event->accept();
}

void CPaneDropSupport::Drop(QDropEvent* event)
{
    document.dragOwner = -1;
    const DragOrigin origin = OriginOf(event->mimeData(), document);
    const QModelIndex item =
        Takes(event->mimeData()) ? targetAt(event->position().toPoint()) : QModelIndex();
    DropRequest request;
    if (!item.isValid() || !(event->possibleActions() & Qt::CopyAction) ||
        !TakeDropItems(origin, document, request)) {
        SetTarget({});
        event->ignore();
        return;
    }
    SetTarget(item);
    request.targetSide = SideOfPane(paneOf());
    request.targetFolder = DropTargetFolder(folderOf(item), request.targetSide);
    pending = PendingDrop{request, QPersistentModelIndex(item)};
    event->setDropAction(Qt::CopyAction);
    event->accept();
    QMetaObject::invokeMethod(
        &view, [this] { FinishDrop(); }, Qt::QueuedConnection);
}

void CPaneDropSupport::FinishDrop()
{
    if (!pending)
        return;
    const PendingDrop drop = *pending;
    pending.reset();
    if (CMyListView* list = listOf())
        ConfirmAndRunDrop(drop.request, *list, [&] { refresh(drop.target); });
    SetTarget({});
}

void CPaneDropSupport::SetTarget(const QModelIndex& index)
{
    const QModelIndex row = index.isValid() ? index.siblingAtColumn(0) : QModelIndex();
    if (row == target)
        return;
    target = row;
    view.viewport()->update();
}

bool CPaneDropSupport::IsTarget(const QModelIndex& index) const
{
    return target.isValid() && index.isValid() && index.siblingAtColumn(0) == target;
}

bool CPaneDropSupport::TabKey(QEvent* event) const
{
    if (event->type() != QEvent::KeyPress)
        return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() != Qt::Key_Tab && key->key() != Qt::Key_Backtab)
        return false;
    FocusNextPane(paneOf(), key->key() == Qt::Key_Tab && !(key->modifiers() & Qt::ShiftModifier));
    return true;
}
