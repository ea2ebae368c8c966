#include "panes/remotedragdata.h"

#include "app/vantorapp.h"
#include "ftp/commoperation.h"
#include "ftp/commstatusdialog.h"

#include <QPointer>
#include <QTemporaryDir>

#include <memory>
#include <vector>

namespace {

const QString kUriList = QStringLiteral("text/uri-list");

// The folders files were dragged out into. The file manager copies from them after the
// drop has ended, so they stay until the program ends.
std::vector<std::unique_ptr<QTemporaryDir>>& DragFolders()
{
    static std::vector<std::unique_ptr<QTemporaryDir>> folders;
    return folders;
}

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

QVariant CRemoteDragData::retrieveData(const QString& mimeType, QMetaType type) const
{
    if (mimeType != kUriList)
        return QMimeData::retrieveData(mimeType, type);
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
    auto target =
        std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/vantor-drag-XXXXXX"));
    if (!target->isValid())
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
        dialog.SetTitleLine(DropTitle(1, 0));
        for (const DropItem& item : dragged) {
            const QString destination = target->path() + QLatin1Char('/') + item.name;
            ok = item.isFolder ? dialog.DownloadFolder(item.sourcePath, destination)
                               : dialog.DownloadFile(item.sourcePath, destination);
            if (!ok)
                break;
        }
    }
    if (self)
        running = false;
    if (!ok)
        return {};
    QList<QUrl> arrived;
    for (const DropItem& item : dragged)
        arrived.append(QUrl::fromLocalFile(target->path() + QLatin1Char('/') + item.name));
    if (self) {
        folder = target->path();
        urls = arrived;
    }
    DragFolders().push_back(std::move(target));
    return arrived;
}
