#pragma once

#include "app/direntry.h"

#include <QList>
#include <QString>
#include <QStringList>

// Every entry of a local folder ("." and ".." included), in the order the file system
// gives them. A folder that cannot be read gives an empty list.
QList<DirEntry> ReadLocalEntries(const QString& folderPath);

// The local tree's "drives": the home folder, "/", then every other mounted local volume;
// network and FUSE volumes (which can hang when probed) only with `includeRemote`. Each is
// an absolute path; volumes that cannot be read are left out.
QStringList LocalDrives(bool includeRemote);
