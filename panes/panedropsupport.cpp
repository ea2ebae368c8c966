#include "panes/panedropsupport.h"

#include "app/vantordoc.h"
#include "panes/dropframe.h"
#include "panes/droprunner.h"
#include "panes/panecommands.h"
#include "panes/panedrag.h"

#include <QAbstractItemView>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QScrollBar>
#include <QTreeView>

namespace {

// How near the top or bottom edge the pointer scrolls the pane, and how often.
constexpr int kScrollMargin = 16;
constexpr int kScrollInterval = 50;
// How long a drag rests on a closed folder before it opens.
constexpr int kRestBeforeOpen = 1000;

} // namespace

CPaneDropSupport::CPaneDropSupport(QAbstractItemView& paneView, CVantorDoc& paneDocument,
                                   Pane paneCalls)
    : view(paneView)
    , document(paneDocument)
    , pane(std::move(paneCalls))
    , frame(new CDropFrame(paneView.viewport()))
{
    view.viewport()->installEventFilter(this);
    view.installEventFilter(this);
    scrollTimer.setInterval(kScrollInterval);
    connect(&scrollTimer, &QTimer::timeout, this, [this] { ScrollNearEdge(); });
    restTimer.setSingleShot(true);
    restTimer.setInterval(kRestBeforeOpen);
    connect(&restTimer, &QTimer::timeout, this, [this] { OpenRestingFolder(); });
}

bool CPaneDropSupport::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == &view)
        return PaneKey(event);
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
        DragLeave();
        event->accept();
        return true;
    case QEvent::Drop:
        Drop(static_cast<QDropEvent*>(event));
        return true;
    case QEvent::Resize:
        PlaceFrame();
        return false;
    default:
        return false;
    }
}

bool CPaneDropSupport::Takes(const QMimeData* data) const
{
    return !pending && DropAllowed(OriginOf(data, document), SideOfPane(pane.paneOf()));
}

bool CPaneDropSupport::RequestFor(const QMimeData* data, const QModelIndex& place,
                                  DropRequest& request) const
{
    if (!TakeDropItems(OriginOf(data, document), document, request))
        return false;
    request.targetSide = SideOfPane(pane.paneOf());
    request.targetFolder = DropTargetFolder(pane.folderOf(place), request.targetSide);
    return true;
}

std::optional<QModelIndex> CPaneDropSupport::PlaceAt(const QMimeData* data, const QPoint& at)
{
    if (!Takes(data))
        return std::nullopt;
    const std::optional<QModelIndex> place = pane.targetAt(at);
    if (!place)
        return std::nullopt;
    // The plan is asked once per place, not on every move over it.
    if (!checkedPlace || *checkedPlace != QPersistentModelIndex(*place)) {
        DropRequest request;
        checkedPlace = QPersistentModelIndex(*place);
        checkedAllowed = RequestFor(data, *place, request) && !PlanDrop(request).refused;
    }
    return checkedAllowed ? place : std::nullopt;
}

void CPaneDropSupport::DragEnter(QDragEnterEvent* event)
{
    checkedPlace.reset();
    if (!Takes(event->mimeData())) {
        event->ignore();
        return;
    }
    document.dragOwner = static_cast<int>(pane.paneOf());
    // Accepted whatever lies under the pointer, so that the moves come to this pane; each
    // move then says whether a drop may happen there.
    pointer = event->position().toPoint();
    SetTarget(PlaceAt(event->mimeData(), pointer));
    scrollTimer.start();
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void CPaneDropSupport::DragMove(QDragMoveEvent* event)
{
    pointer = event->position().toPoint();
    const std::optional<QModelIndex> place = PlaceAt(event->mimeData(), pointer);
    SetTarget(place);
    if (!scrollTimer.isActive())
        scrollTimer.start();
    if (!place || !(event->possibleActions() & Qt::CopyAction)) {
        event->ignore();
        return;
    }
    // Always a copy: a desktop that offered a move must not delete its files afterwards.
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void CPaneDropSupport::DragLeave()
{
    scrollTimer.stop();
    SetTarget(std::nullopt);
}

void CPaneDropSupport::Drop(QDropEvent* event)
{
    scrollTimer.stop();
    document.dragOwner = -1;
    const std::optional<QModelIndex> place =
        PlaceAt(event->mimeData(), event->position().toPoint());
    DropRequest request;
    if (!place || !(event->possibleActions() & Qt::CopyAction) ||
        !RequestFor(event->mimeData(), *place, request)) {
        SetTarget(std::nullopt);
        event->ignore();
        return;
    }
    SetTarget(place);
    pending = PendingDrop{request, QPersistentModelIndex(*place)};
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
    if (CMyListView* list = pane.listOf())
        ConfirmAndRunDrop(drop.request, *list, [&] { pane.refresh(drop.target); });
    SetTarget(std::nullopt);
}

QModelIndex CPaneDropSupport::Target() const
{
    return target ? QModelIndex(*target) : QModelIndex();
}

bool CPaneDropSupport::TargetIsPane() const
{
    return target && !target->isValid();
}

void CPaneDropSupport::ClearTarget()
{
    SetTarget(std::nullopt);
}

void CPaneDropSupport::SetTarget(const std::optional<QModelIndex>& place)
{
    std::optional<QPersistentModelIndex> row;
    if (place)
        row = place->isValid() ? QPersistentModelIndex(place->siblingAtColumn(0))
                               : QPersistentModelIndex();
    if (row != target) {
        target = row;
        // A closed folder opens when the drag rests on it.
        auto* tree = qobject_cast<QTreeView*>(&view);
        const QModelIndex item = Target();
        if (tree && item.isValid() && view.model()->hasChildren(item) && !tree->isExpanded(item))
            restTimer.start();
        else
            restTimer.stop();
    }
    PlaceFrame();
}

void CPaneDropSupport::PlaceFrame()
{
    QRect area;
    if (TargetIsPane()) {
        area = view.viewport()->rect();
    } else if (const QModelIndex item = Target(); item.isValid()) {
        const QRect row = view.visualRect(item);
        area = QRect(0, row.top(), view.viewport()->width(), row.height());
    }
    frame->Show(area);
}

void CPaneDropSupport::ScrollNearEdge()
{
    QScrollBar* bar = view.verticalScrollBar();
    const int height = view.viewport()->height();
    if (pointer.y() < kScrollMargin)
        bar->setValue(bar->value() - bar->singleStep());
    else if (pointer.y() >= height - kScrollMargin)
        bar->setValue(bar->value() + bar->singleStep());
    else
        return;
    PlaceFrame();
}

void CPaneDropSupport::OpenRestingFolder()
{
    auto* tree = qobject_cast<QTreeView*>(&view);
    const QModelIndex item = Target();
    if (tree && item.isValid()) {
        tree->expand(item);
        PlaceFrame();
    }
}

QKeySequence CPaneDropSupport::CopyOutKey(PaneSide side)
{
    return QKeySequence(side == PaneSide::Local ? (Qt::CTRL | Qt::Key_U) : (Qt::CTRL | Qt::Key_D));
}

bool CPaneDropSupport::PaneKey(QEvent* event) const
{
    if (event->type() != QEvent::KeyPress)
        return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) {
        FocusNextPane(pane.paneOf(),
                      key->key() == Qt::Key_Tab && !(key->modifiers() & Qt::ShiftModifier));
        return true;
    }
    if (pane.copyOut &&
        QKeySequence(key->keyCombination()) == CopyOutKey(SideOfPane(pane.paneOf()))) {
        pane.copyOut();
        return true;
    }
    return false;
}
