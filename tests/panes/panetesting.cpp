#include "tests/panes/panetesting.h"

#include "app/mainframe.h"
#include "panes/dirlistmodel.h"
#include "panes/mylistview.h"
#include "panes/mytreeview.h"
#include "tests/fixtures/ftpserverfixture.h"
#include "tests/fixtures/programrun.h"
#include "tests/fixtures/testenvironment.h"

#include <QApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
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

void PrepareCopySides(const CFtpServerFixture& server, int dropFolders)
{
    for (const QString& root : {Home(), server.Root()}) {
        QDir().mkpath(root + QStringLiteral("/d"));
        QFile g(root + QStringLiteral("/d/g.txt"));
        g.open(QIODevice::WriteOnly);
        g.write("gg");
        g.close();
        QFile f(root + QStringLiteral("/f.txt"));
        f.open(QIODevice::WriteOnly);
        f.write("ff");
        f.close();
        for (int i = 0; i < dropFolders; ++i)
            QDir().mkpath(root + QStringLiteral("/in%1").arg(i));
    }
}

Panes::Panes(CMainFrame& frame)
    : tree{frame.TreePane(0), frame.TreePane(1)}
    , list{frame.ListPane(0), frame.ListPane(1)}
{}

QTreeWidgetItem* Panes::Top(int side) const
{
    return side == 0 ? TreeItem(*tree[0], {Home()}) : tree[1]->rootItem;
}

QTreeWidgetItem* Panes::Folder(int side, const QString& name) const
{
    return side == 0 ? TreeItem(*tree[0], {Home(), name}) : TreeItem(*tree[1], {name});
}

void Panes::ShowTop(int side)
{
    Top(side)->setExpanded(true);
    if (tree[side]->currentItem() != Top(side))
        tree[side]->setCurrentItem(Top(side));
}
