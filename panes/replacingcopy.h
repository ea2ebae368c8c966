#pragma once

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
class CReplacingCopy
{
public:
    CReplacingCopy(CMyListView& pane, CCommStatusDialog* dialog, bool fromFtp, bool toFtp);

    // Paths are full paths without a trailing "/".
    bool CopyFile(const QString& source, const QString& destination);
    bool CopyFolder(const QString& source, const QString& destination);

private:
    bool CheckNotInsideSource(const QString& source, const QString& destination);
    bool CopyWholeFolder(const QString& source, const QString& destination);
    bool DeleteOnDestination(const QString& path, bool isFolder);

    CMyListView& pane;
    CCommStatusDialog* dialog;
    bool fromFtp;
    bool toFtp;
};
