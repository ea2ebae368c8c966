#pragma once

#include "ftp/skippeditems.h"

#include <QString>

class CCommStatusDialog;
class CMyListView;

// Copies files and folders in one direction (local or server to local or server) and
// replaces a folder of the same name at the destination without risking it: the existing
// folder is renamed aside to a hidden name of ours, the copy runs, and the old folder is
// deleted only after the copy succeeded. When the copy fails or is cancelled, what it left
// is removed and the old folder renamed back. Only where the rename is refused is the old
// folder deleted first.
//
// `pane` is a list pane whose operations copy between local folders and delete on the
// destination side (through its delete-side override for the duration of one deletion);
// its messages are owned by it. `dialog` is the status window of the copy, null between two
// local folders. Every call returns true or false, and a false has been shown to the user.
//
// What the folder copies left out is shown at the end in one box: by the status window's
// operation, or between two local folders by this object when it goes.
class CReplacingCopy
{
public:
    CReplacingCopy(CMyListView& pane, CCommStatusDialog* dialog, bool fromFtp, bool toFtp);
    ~CReplacingCopy();
    CReplacingCopy(const CReplacingCopy&) = delete;
    CReplacingCopy& operator=(const CReplacingCopy&) = delete;

    // Paths are full paths without a trailing "/".
    bool CopyFile(const QString& source, const QString& destination);
    bool CopyFolder(const QString& source, const QString& destination);

private:
    bool CheckNotInsideSource(const QString& source, const QString& destination);
    // Whether the folder `source` lies inside `destination` on their common side, so that
    // removing the destination would remove the source.
    bool SourceInsideDestination(const QString& source, const QString& destination) const;
    CSkippedItems& Skipped();
    bool ReplaceFolder(const QString& source, const QString& destination);
    bool CopyWholeFolder(const QString& source, const QString& destination);
    bool DeleteOnDestination(const QString& path, bool isFolder);

    CMyListView& pane;
    CCommStatusDialog* dialog;
    bool fromFtp;
    bool toFtp;
    CSkippedItems localSkipped; // between two local folders
};
