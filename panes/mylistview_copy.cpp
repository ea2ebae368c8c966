// Copying the selected items of a list pane into a folder, in any of the four directions.
#include "panes/mylistview.h"

#include "panes/droprunner.h"
#include "panes/panedrag.h"

bool CMyListView::CopySelectedItemsToFolder(const QString& destinationFolder, bool destinationIsFtp)
{
    DropRequest request;
    request.sourceSide = SideOfPane(Id());
    request.targetSide = destinationIsFtp ? PaneSide::Ftp : PaneSide::Local;
    request.targetFolder = DropTargetFolder(destinationFolder, request.targetSide);
    request.items = SelectionDropItems(*this);
    return RunDrop(PlanDrop(request), *this);
}
