#pragma once

#include <QList>
#include <QObject>
#include <QPixmap>
#include <QPoint>
#include <QString>

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

    // The drag in progress, shared by the four panes (numbered 0 local tree, 1 local list,
    // 2 FTP tree, 3 FTP list). dragSource is -1 while none of ours runs.
    int dragSource = -1;
    int dragImage = kDragLocal;
    QPoint dragOffset{0, -20}; // the image is drawn this far from the pointer, negated
    int dragOwner = -1;        // the pane that last took the drag; -1 none
    QString dragFolderName;    // a folder dragged from a tree: its name
    QString dragFolderPath;    // ... and its path (local with its "/", FTP without)
    // Counts the drags, so that the data of an old drag, or of another instance of the
    // program, is never taken for the one in progress.
    quint64 dragSerial = 0;
};
