#pragma once

#include "panes/panedrop.h"

#include <functional>

class CMyListView;

// Carrying out a drop, or the Download and Upload commands, which copy the same way. The
// whole way of a copy: the pane plans it (PlanDrop: direction, routine and paths of every
// step), RunDrop opens the operation frame, hands each step to CReplacingCopy (which calls
// the status window's copy routines) and refreshes the panes at the end.

// "Are you sure you want to copy the selected item(s)?"; true for OK.
bool ConfirmCopy();

// Runs `plan`: under the status window of its title (none between two local folders), each
// step by CReplacingCopy, the first failure ending it; then `refresh`, whatever the
// outcome. `targetList` is the list pane of the destination's side, whose operations copy
// between local folders and delete there. True when everything was copied; a false has
// been shown to the user, the refusal of a drop onto itself included.
bool RunDrop(const DropPlan& plan, CMyListView& targetList,
             const std::function<void()>& refresh = {});

// The list pane of the side other than `side` when it shows a folder that may take a copy
// from `side` now; null otherwise.
CMyListView* OtherSideList(PaneSide side);

// Download and Upload: copies `items` of `side` into the folder the other side's list shows,
// as a drop there (the same question, the same run), and shows the copies in that list.
// False when nothing was copied or not all.
bool CopyToOtherSide(PaneSide side, const QList<DropItem>& items);

// Asks for confirmation, then plans `request` and runs it under the wait cursor. False
// when not confirmed or not all copied.
bool ConfirmAndRunDrop(const DropRequest& request, CMyListView& targetList,
                       const std::function<void()>& refresh);
