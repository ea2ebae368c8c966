#pragma once

#include "ftp/skippeditems.h"
#include "panes/panedrop.h"

#include <QString>

class CCommStatusDialog;
class CMyListView;

// Copies the steps of a drop plan, each in the direction and by the routine its step names,
// and replaces a folder of the same name at the destination without risking it: the existing
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
    CReplacingCopy(CMyListView& pane, CCommStatusDialog* dialog);
    ~CReplacingCopy();
    CReplacingCopy(const CReplacingCopy&) = delete;
    CReplacingCopy& operator=(const CReplacingCopy&) = delete;

    // Copies one step of a plan: a file, or a folder replacing one of the same name.
    bool Copy(const DropStep& step);

private:
    // Paths are full paths without a trailing "/".
    bool CopyFolder(const QString& source, const QString& destination);
    // The one call into the copy routines: the step's routine, from `source` to
    // `destination` (a folder as a whole, into a place where nothing stands).
    bool RunRoutine(const QString& source, const QString& destination);
    bool CheckNotInsideSource(const QString& source, const QString& destination);
    // Whether the folder `source` lies inside `destination` on their common side, so that
    // removing the destination would remove the source.
    bool SourceInsideDestination(const QString& source, const QString& destination) const;
    CSkippedItems& Skipped();
    bool ReplaceFolder(const QString& source, const QString& destination);
    bool DeleteOnDestination(const QString& path, bool isFolder);

    CMyListView& pane;
    CCommStatusDialog* dialog;
    // The step being copied, and its sides.
    DropRoutine routine = DropRoutine::CopyLocalFile;
    bool fromFtp = false;
    bool toFtp = false;
    CSkippedItems localSkipped; // between two local folders
};
