#pragma once

#include <QList>
#include <QObject>
#include <QPixmap>

// Positions in CVantorDoc::smallIcons; an item of a list pane is a folder exactly when its
// icon is kIconLocalFolder or kIconFtpFolder.
enum SmallIcon : int {
    kIconDrive = 0,
    kIconLocalFolder = 1,
    kIconLocalFile = 2,
    kIconLocalFolderOpen = 3,
    kIconFtpFolder = 4,
    kIconFtpFile = 5,
    kIconFtpFolderOpen = 6,
    kIconLocalComputer = 7,
    kIconFtpRoot = 8,
};

// Positions in CVantorDoc::largeIcons, the drag images.
enum LargeIcon : int {
    kDragLocal = 0,
    kDragFtp = 1,
};

// The single document: it stores nothing on disk. It owns the two icon lists, the pane
// counters from which the panes learn their side, and the drag state. Owned by the main
// window.
class CVantorDoc : public QObject
{
    Q_OBJECT

public:
    explicit CVantorDoc(QObject* parent = nullptr);

    // Each list pane takes the current value as its side at first show and adds 1; the
    // same for the tree panes.
    int listPaneCount = 0;
    int treePaneCount = 0;

    QList<QPixmap> smallIcons; // 16x16
    QList<QPixmap> largeIcons; // 32x32
};
