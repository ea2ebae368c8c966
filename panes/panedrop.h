#pragma once

#include <QList>
#include <QString>

// What a drop onto a pane copies, and with which routine: decided from the sides of the
// source and the target alone, before anything is opened, created or deleted. No widgets,
// no network, no disk.

// The four panes, numbered as the document's drag state records where a drag began.
enum class PaneId : int { LocalTree = 0, LocalList = 1, FtpTree = 2, FtpList = 3 };

// The two rows of panes: the local computer above, the server below. The numbers are the
// row's index where the frame counts its panes.
enum class PaneSide : int { Local = 0, Ftp = 1 };

inline PaneSide SideOfPane(PaneId pane)
{
    return pane == PaneId::FtpTree || pane == PaneId::FtpList ? PaneSide::Ftp : PaneSide::Local;
}
inline PaneSide OtherSide(PaneSide side)
{
    return side == PaneSide::Local ? PaneSide::Ftp : PaneSide::Local;
}
// The side of a pane's `side` number (0 local, 1 FTP).
inline PaneSide SideOf(int side)
{
    return side == 1 ? PaneSide::Ftp : PaneSide::Local;
}
inline bool IsTreePane(PaneId pane)
{
    return pane == PaneId::LocalTree || pane == PaneId::FtpTree;
}

// The routine that copies one item, by direction and kind.
enum class DropRoutine {
    CopyLocalFile,
    CopyLocalFolder,
    UploadFile,
    UploadFolder,
    DownloadFile,
    DownloadFolder,
    CopyFtpFile,
    CopyFtpFolder,
};

// One dragged file or folder.
struct DropItem
{
    QString sourcePath; // full path on the source side, without a trailing separator
    QString name;       // the name it gets in the target folder
    bool isFolder = false;
};

struct DropRequest
{
    PaneSide sourceSide = PaneSide::Local;
    PaneSide targetSide = PaneSide::Local;
    QString targetFolder; // the folder dropped on, ending with its side's separator
    QList<DropItem> items;
};

// One copy of a drop: source and destination without trailing separators, as the folder
// transfers take them.
struct DropStep
{
    DropRoutine routine = DropRoutine::CopyLocalFile;
    QString source;
    QString destination;
    bool isFolder = false;
};

struct DropPlan
{
    // The drop would copy an item onto itself or a folder into itself: nothing may be done.
    bool refused = false;
    PaneSide sourceSide = PaneSide::Local;
    PaneSide targetSide = PaneSide::Local;
    // The title line of the status window; empty between two local folders, which copy
    // without one.
    QString title;
    QList<DropStep> steps;
};

inline const QString kConfirmCopyText =
    QStringLiteral("Are you sure you want to copy the selected item(s)?");
inline const QString kConfirmCopyCaption = QStringLiteral("Confirm File Copy");

// The status window title of a copy from `sourceSide` to `targetSide`, empty for local to
// local.
QString DropTitle(PaneSide sourceSide, PaneSide targetSide);
DropRoutine DropRoutineFor(PaneSide sourceSide, PaneSide targetSide, bool isFolder);
// The sides a routine copies from and to.
bool SourceIsFtp(DropRoutine routine);
bool TargetIsFtp(DropRoutine routine);

// The plan of a drop. Refused, as a whole, when on one side any item's destination is the
// item itself (the items' own folder) or lies inside a dragged folder; paths are compared
// case-sensitively, with repeated "/" taken as one, as servers and file systems do.
DropPlan PlanDrop(const DropRequest& request);

// `path` with its trailing "/" removed (a bare "/" stays).
QString WithoutTrailingSlash(const QString& path);
