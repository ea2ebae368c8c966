#include "tests/panes/panetesting.h"

#include "panes/dirlistmodel.h"
#include "panes/mylistview.h"
#include "panes/mytreeview.h"
#include "tests/fixtures/programrun.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>

#include <gtest/gtest.h>

QPoint RowPoint(CMyListView& list, const QString& name)
{
    const int row = ShownNames(list).indexOf(name);
    if (row < 0)
        return {};
    const QModelIndex index = list.model()->index(row, 0);
    list.scrollTo(index);
    return list.visualRect(index).center();
}

QTreeWidgetItem* TreeItem(const CMyTreeView& tree, const QStringList& names)
{
    QTreeWidgetItem* item = tree.rootItem;
    for (const QString& name : names) {
        QTreeWidgetItem* found = nullptr;
        for (int i = 0; item && i < item->childCount(); ++i) {
            if (item->child(i)->text(0) == name)
                found = item->child(i);
        }
        item = found;
    }
    return item;
}

QPoint ItemPoint(CMyTreeView& tree, QTreeWidgetItem* item)
{
    if (!item)
        return {};
    tree.scrollToItem(item);
    return tree.visualItemRect(item).center();
}

QPoint EmptyPoint(const QAbstractItemView& view)
{
    return QPoint(5, view.viewport()->height() - 3);
}

bool DragOver(QAbstractItemView& view, const QMimeData& data, const QPoint& at, bool enter)
{
    if (enter) {
        QDragEnterEvent entering(at, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton,
                                 Qt::NoModifier);
        QApplication::sendEvent(view.viewport(), &entering);
        if (!entering.isAccepted())
            return false;
    }
    QDragMoveEvent moving(at, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton,
                          Qt::NoModifier);
    QApplication::sendEvent(view.viewport(), &moving);
    return moving.isAccepted() && moving.dropAction() == Qt::CopyAction;
}

void DragLeave(QAbstractItemView& view)
{
    QDragLeaveEvent leaving;
    QApplication::sendEvent(view.viewport(), &leaving);
}

bool DropOn(QAbstractItemView& view, const QMimeData& data, const QPoint& at)
{
    DragOver(view, data, at);
    QDropEvent dropping(QPointF(at), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton,
                        Qt::NoModifier);
    QApplication::sendEvent(view.viewport(), &dropping);
    // The drop runs once the drag has ended: here, now.
    QCoreApplication::sendPostedEvents(&view, QEvent::MetaCall);
    return dropping.isAccepted() && dropping.dropAction() == Qt::CopyAction;
}

void SelectNames(CMyListView& list, const QStringList& names)
{
    list.clearSelection();
    const QStringList shown = ShownNames(list);
    for (const QString& name : names) {
        const int row = shown.indexOf(name);
        if (row < 0) {
            ADD_FAILURE() << "no row " << name.toStdString();
            continue;
        }
        list.selectionModel()->select(list.model()->index(row, 0),
                                      QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
}
