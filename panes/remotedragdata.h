#pragma once

#include "panes/panedrop.h"

#include <QList>
#include <QMimeData>
#include <QUrl>

// The data of a drag from an FTP pane. Between the panes it is the private type alone. A
// desktop file manager that takes the drop asks for text/uri-list: only then, after the drop
// (DragEnded), are the dragged files and folders downloaded under a status window into a
// fresh copy folder of CDragCopies, and their file:// URLs handed over. A program that reads
// the data while the pointer merely passes over it gets nothing and downloads nothing. A
// download that fails or is cancelled hands over nothing and leaves no copy; either way it
// is tried only once per drag.
class CRemoteDragData : public QMimeData
{
    Q_OBJECT

public:
    // `items` are server paths without a trailing "/", with the names they keep.
    explicit CRemoteDragData(const QList<DropItem>& items);

    QStringList formats() const override;
    bool hasFormat(const QString& mimeType) const override;

    // The drag has ended: dropped on a program that took it, or not.
    void DragEnded(bool dropped);

    // Where the last download went; empty before it, or when it failed.
    QString DownloadFolder() const { return folder; }

protected:
    QVariant retrieveData(const QString& mimeType, QMetaType type) const override;

private:
    // Downloads the items once; the URLs of what arrived, empty on failure.
    QList<QUrl> Download() const;

    enum class State { Dragging, Dropped, Ended };

    QList<DropItem> items;
    State state = State::Dragging;
    mutable bool tried = false;
    mutable bool running = false;
    mutable QString folder;
    mutable QList<QUrl> urls;
};
