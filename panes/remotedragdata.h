#pragma once

#include "panes/panedrop.h"

#include <QList>
#include <QMimeData>
#include <QUrl>

// The data of a drag from an FTP pane. Between the panes it is the private type alone. A
// desktop file manager that takes the drop asks for text/uri-list: only then, at the moment
// of the drop, are the dragged files and folders downloaded under a status window into a
// fresh temporary folder of ours, and their file:// URLs handed over. A download that fails
// or is cancelled hands over nothing; either way it is tried only once per drag.
class CRemoteDragData : public QMimeData
{
    Q_OBJECT

public:
    // `items` are server paths without a trailing "/", with the names they keep.
    explicit CRemoteDragData(const QList<DropItem>& items);

    QStringList formats() const override;
    bool hasFormat(const QString& mimeType) const override;

    // Where the last download went; empty before it, or when it failed.
    QString DownloadFolder() const { return folder; }

protected:
    QVariant retrieveData(const QString& mimeType, QMetaType type) const override;

private:
    // Downloads the items once; the URLs of what arrived, empty on failure.
    QList<QUrl> Download() const;

    QList<DropItem> items;
    mutable bool tried = false;
    mutable bool running = false;
    mutable QString folder;
    mutable QList<QUrl> urls;
};
