#pragma once

#include "panes/panedrop.h"

#include <QStringList>

#include <memory>

class CMyListView;
class CVantorDoc;
class QMimeData;
class QWidget;

// What the four panes share of dragging: the data a drag carries, the drag itself, where a
// drag came from, and what a drop would copy.

// The private type of a drag between the panes; it names the process, the drag and the pane
// it started in. Items of the local panes carry text/uri-list beside it for the desktop.
inline const QString kPaneItemsMimeType = QStringLiteral("application/x-vantor-items");

// Records a new drag from `source` in the document's drag state and returns its data. A
// drag of local items carries `localPaths` as URLs; a drag from an FTP pane downloads
// `remoteItems` when a desktop program takes the drop (CRemoteDragData).
std::unique_ptr<QMimeData> NewPaneDragData(CVantorDoc& document, PaneId source,
                                           const QStringList& localPaths,
                                           const QList<DropItem>& remoteItems = {});

// Runs the drag with the document's drag image drawn below the pointer, until the button is
// released; then the drag state is cleared.
void ExecPaneDrag(QWidget* source, CVantorDoc& document, std::unique_ptr<QMimeData> data);

// Where the data of a drag comes from: a drag of ours in progress (its pane), local files
// from the desktop, or anything else, which no pane takes.
struct DragOrigin
{
    enum class Kind { None, Pane, Outside } kind = Kind::None;
    PaneId pane = PaneId::LocalList;
    QStringList localPaths; // Outside: the files and folders, as absolute paths
};
DragOrigin OriginOf(const QMimeData* data, const CVantorDoc& document);

// The selected items of `list`, top to bottom, as a drop takes them: a local item under
// the path the file system resolves its folder to.
QList<DropItem> SelectionDropItems(const CMyListView& list);

// The side and the items of a drop from `origin`, taken now (a list's selection, the
// dragged tree folder, the dropped files), so that the drop can run after the drag ended.
// False when there is nothing to copy.
bool TakeDropItems(const DragOrigin& origin, const CVantorDoc& document, DropRequest& request);

// The folder a drop lands in, as the copy and the checks take it: a local folder by the
// path the file system resolves it to, a server folder as it is. Ends with "/".
QString DropTargetFolder(const QString& folder, PaneSide side);

// Whether a drag brings something `side`'s panes may take now: files from the desktop or a
// drag of ours, while no operation runs and (on the FTP side) the server is reachable.
bool DropAllowed(const DragOrigin& origin, PaneSide side);
// Whether copies into `side` may start now: no operation runs and (on the FTP side) the
// server is reachable.
bool SideTakesCopies(PaneSide side);

// The folder at `folderPath` (with or without its trailing "/") named `name` on `side`, as
// a drop takes it.
DropItem FolderDropItem(PaneSide side, const QString& folderPath, const QString& name);
