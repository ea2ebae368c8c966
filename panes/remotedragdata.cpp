#include "panes/remotedragdata.h"

#include "app/vantorapp.h"
#include "ftp/commoperation.h"
#include "ftp/commstatusdialog.h"

#include "panes/dragcopies.h"

#include <QPointer>

namespace {

const QString kUriList = QStringLiteral("text/uri-list");

} // namespace

CRemoteDragData::CRemoteDragData(const QList<DropItem>& draggedItems)
    : items(draggedItems)
{}

QStringList CRemoteDragData::formats() const
{
    QStringList list = QMimeData::formats();
    if (!list.contains(kUriList))
        list.append(kUriList);
    return list;
}

bool CRemoteDragData::hasFormat(const QString& mimeType) const
{
    return mimeType == kUriList || QMimeData::hasFormat(mimeType);
}

void CRemoteDragData::DragEnded(bool dropped)
{
    if (state == State::Dragging)
        state = dropped ? State::Dropped : State::Ended;
}

QVariant CRemoteDragData::retrieveData(const QString& mimeType, QMetaType type) const
{
    if (mimeType != kUriList)
        return QMimeData::retrieveData(mimeType, type);
    // Programs under the pointer may read the data before any drop: they get nothing yet.
    if (state != State::Dropped)
        return {};
    const QList<QUrl> downloaded = Download();
    if (downloaded.isEmpty())
        return {};
    QVariantList list;
    for (const QUrl& url : downloaded)
        list.append(url);
    return list;
}

QList<QUrl> CRemoteDragData::Download() const
{
    // A target may ask again, also while the status window runs: one download per drag.
    if (tried || running)
        return urls;
    tried = true;
    if (items.isEmpty() || theApp().busy || !theApp().ftpConnection)
        return {};
    CDragCopies& copies = CDragCopies::Instance();
    const QString target = copies.NewCopy();
    if (target.isEmpty())
        return {};
    running = true;
    // The status window runs events while the target waits; should the drag's data go
    // meanwhile, nothing of it is touched afterwards.
    const QPointer<const CRemoteDragData> self(this);
    const QList<DropItem> dragged = items;
    bool ok = true;
    {
        CCommOperation operation(true);
        CCommStatusDialog& dialog = operation.Dialog();
        dialog.SetTitleLine(DropTitle(PaneSide::Ftp, PaneSide::Local));
        for (const DropItem& item : dragged) {
            const QString destination = target + QLatin1Char('/') + item.name;
            ok = item.isFolder ? dialog.DownloadFolder(item.sourcePath, destination)
                               : dialog.DownloadFile(item.sourcePath, destination);
            if (!ok)
                break;
        }
    }
    if (self)
        running = false;
    if (!ok) {
        copies.Discard(target);
        return {};
    }
    QList<QUrl> arrived;
    for (const DropItem& item : dragged)
        arrived.append(QUrl::fromLocalFile(target + QLatin1Char('/') + item.name));
    if (self) {
        folder = target;
        urls = arrived;
    }
    copies.Keep(target);
    return arrived;
}
