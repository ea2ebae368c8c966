#pragma once

#include "tests/fixtures/testhelpers.h"

#include <QPoint>
#include <QString>

class CFtpServerFixture;
class CMainFrame;
class CMyListView;
class CMyTreeView;
class QAbstractItemView;
class QMimeData;
class QTreeWidgetItem;

// Driving the panes as a user's mouse and keys do, for the drag and drop and command tests.

// The centre of the row named `name` in a list, in viewport coordinates, scrolled into view;
// an invalid point when there is none.
QPoint RowPoint(CMyListView& list, const QString& name);
// The item reached from the tree's root through the texts of `names` ("" for the root).
QTreeWidgetItem* TreeItem(const CMyTreeView& tree, const QStringList& names);
QPoint ItemPoint(CMyTreeView& tree, QTreeWidgetItem* item);
// A point below every row.
QPoint EmptyPoint(const QAbstractItemView& view);

// Sends a drag enter (the first time only) and a move at `at`; true when the pane accepted
// the move, that is would take a drop there.
bool DragOver(QAbstractItemView& view, const QMimeData& data, const QPoint& at, bool enter = true);
void DragLeave(QAbstractItemView& view);
// Enter, move and drop at `at`, then lets the drop run to its end. True when the pane
// took the drop.
bool DropOn(QAbstractItemView& view, const QMimeData& data, const QPoint& at);

// Selects the rows of `names` (only them) in a list; a name it does not show fails the test.
void SelectNames(CMyListView& list, const QStringList& names);

// Both sides hold the same: d/ (g.txt), f.txt and the empty drop folders in0, in1, ...
void PrepareCopySides(const CFtpServerFixture& server, int dropFolders);

// The four panes of a run with the home folder and the server's root shown.
struct Panes
{
    CMyTreeView* tree[2];
    CMyListView* list[2];

    explicit Panes(CMainFrame& frame);
    // The item of the side's start folder: the home drive, or the server's root.
    QTreeWidgetItem* Top(int side) const;
    QTreeWidgetItem* Folder(int side, const QString& name) const;
    void ShowTop(int side);
};
