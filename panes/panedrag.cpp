#include "panes/panedrag.h"

#include "app/paneframe.h"
#include "app/vantorapp.h"
#include "app/vantordoc.h"
#include "panes/mylistview.h"
#include "panes/remotedragdata.h"

#include <QCoreApplication>
#include <QDrag>
#include <QFileInfo>
#include <QMimeData>
#include <QPointer>
#include <QUrl>

namespace {

// A local folder by the path the file system resolves it to, so that one folder reached
// through a link is still one folder. Names of the items themselves are kept: a dragged
// link is copied as what it names, not replaced by its target's name.
QString CanonicalLocalFolder(const QString& folder)
{
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    if (canonical.isEmpty())
        return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
    return canonical.endsWith(QLatin1Char('/')) ? canonical : canonical + QLatin1Char('/');
}

QString LocalItemPath(const QString& folder, const QString& name)
{
    return CanonicalLocalFolder(folder) + name;
}

QString ParentOf(const QString& path)
{
    const QString bare = WithoutTrailingSlash(path);
    const qsizetype slash = bare.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? QString() : bare.left(slash + 1);
}

QString NameOf(const QString& path)
{
    return WithoutTrailingSlash(path).section(QLatin1Char('/'), -1);
}

} // namespace

std::unique_ptr<QMimeData> NewPaneDragData(CVantorDoc& document, PaneId source,
                                           const QStringList& localPaths,
                                           const QList<DropItem>& remoteItems)
{
    document.dragSource = static_cast<int>(source);
    document.dragImage = SideOfPane(source) == PaneSide::Local ? kDragLocal : kDragFtp;
    document.dragOffset = QPoint(0, -20);
    ++document.dragSerial;

    std::unique_ptr<QMimeData> data;
    if (SideOfPane(source) == PaneSide::Ftp)
        data = std::make_unique<CRemoteDragData>(remoteItems);
    else
        data = std::make_unique<QMimeData>();
    const QString tag = QString::number(QCoreApplication::applicationPid()) + QLatin1Char(' ') +
                        QString::number(document.dragSerial) + QLatin1Char(' ') +
                        QString::number(static_cast<int>(source));
    data->setData(kPaneItemsMimeType, tag.toLatin1());
    if (!localPaths.isEmpty()) {
        QList<QUrl> urls;
        for (const QString& localPath : localPaths)
            urls.append(QUrl::fromLocalFile(localPath));
        data->setUrls(urls);
    }
    return data;
}

void ExecPaneDrag(QWidget* source, CVantorDoc& document, std::unique_ptr<QMimeData> data)
{
    // A download for the desktop waits for the drop; the drag's data outlives the drag.
    const QPointer<CRemoteDragData> remote = qobject_cast<CRemoteDragData*>(data.get());
    auto* drag = new QDrag(source);
    drag->setMimeData(data.release());
    drag->setPixmap(document.largeIcons.value(document.dragImage));
    // The pixmap's corner sits at the pointer minus the hot spot: 20 pixels below it.
    drag->setHotSpot(document.dragOffset);
    const Qt::DropAction action = drag->exec(Qt::CopyAction, Qt::CopyAction);
    if (remote)
        remote->DragEnded(action != Qt::IgnoreAction);
    document.dragSource = -1;
    document.dragOwner = -1;
}

DragOrigin OriginOf(const QMimeData* data, const CVantorDoc& document)
{
    DragOrigin origin;
    if (!data)
        return origin;
    if (data->hasFormat(kPaneItemsMimeType)) {
        const QStringList parts =
            QString::fromLatin1(data->data(kPaneItemsMimeType)).split(QLatin1Char(' '));
        const bool ours = parts.size() == 3 &&
                          parts[0] == QString::number(QCoreApplication::applicationPid()) &&
                          parts[1] == QString::number(document.dragSerial) &&
                          parts[2] == QString::number(document.dragSource);
        if (ours && document.dragSource >= 0 && document.dragSource <= 3) {
            origin.kind = DragOrigin::Kind::Pane;
            origin.pane = static_cast<PaneId>(document.dragSource);
            return origin;
        }
        // Another instance's drag, or a stale one: only its files, like any desktop drag.
    }
    if (!data->hasUrls())
        return origin;
    QStringList paths;
    for (const QUrl& url : data->urls()) {
        if (!url.isLocalFile())
            return origin;
        const QString localPath = url.toLocalFile();
        const QFileInfo info(localPath);
        if (localPath.isEmpty() || (!info.exists() && !info.isSymLink()))
            return origin;
        paths.append(info.absoluteFilePath());
    }
    if (paths.isEmpty())
        return origin;
    origin.kind = DragOrigin::Kind::Outside;
    origin.localPaths = paths;
    return origin;
}

QString DropTargetFolder(const QString& folder, PaneSide side)
{
    return side == PaneSide::Local ? CanonicalLocalFolder(folder) : folder;
}

bool SideTakesCopies(PaneSide side)
{
    const CVantorApp& app = theApp();
    if (app.busy)
        return false;
    return side == PaneSide::Local || (!app.ftpUnavailable && app.ftpConnection);
}

bool DropAllowed(const DragOrigin& origin, PaneSide side)
{
    return origin.kind != DragOrigin::Kind::None && SideTakesCopies(side);
}

DropItem FolderDropItem(PaneSide side, const QString& folderPath, const QString& name)
{
    const QString folder = WithoutTrailingSlash(folderPath);
    return {side == PaneSide::Local ? LocalItemPath(ParentOf(folder), name) : folder, name, true};
}

bool TakeDropItems(const DragOrigin& origin, const CVantorDoc& document, DropRequest& request)
{
    request.items.clear();
    switch (origin.kind) {
    case DragOrigin::Kind::None:
        return false;
    case DragOrigin::Kind::Outside:
        request.sourceSide = PaneSide::Local;
        for (const QString& localPath : origin.localPaths) {
            const QString name = NameOf(localPath);
            if (name.isEmpty())
                continue; // "/" itself
            request.items.append(
                {LocalItemPath(ParentOf(localPath), name), name, QFileInfo(localPath).isDir()});
        }
        return !request.items.isEmpty();
    case DragOrigin::Kind::Pane:
        break;
    }
    request.sourceSide = SideOfPane(origin.pane);
    if (IsTreePane(origin.pane)) {
        if (document.dragFolderName.isEmpty())
            return false;
        request.items.append(
            FolderDropItem(request.sourceSide, document.dragFolderPath, document.dragFolderName));
        return true;
    }
    CPaneFrame* frame = theApp().PaneFrame();
    CMyListView* list = frame ? frame->ListPane(static_cast<int>(request.sourceSide)) : nullptr;
    if (!list)
        return false;
    request.items = SelectionDropItems(*list);
    return !request.items.isEmpty();
}

QList<DropItem> SelectionDropItems(const CMyListView& list)
{
    QList<DropItem> items;
    for (const int row : list.SelectedRows()) {
        const QString name = list.ItemName(row);
        const int icon = list.ItemIcon(row);
        const bool isFolder = icon == kIconLocalFolder || icon == kIconFtpFolder;
        const QString source = list.side == 0 ? LocalItemPath(list.path, name) : list.path + name;
        items.append({source, name, isFolder});
    }
    return items;
}
