#include "panes/droprunner.h"

#include "app/paneframe.h"
#include "app/vantorapp.h"
#include "framework/messagebox.h"
#include "framework/waitcursor.h"
#include "ftp/commoperation.h"
#include "ftp/commstatusdialog.h"
#include "ftp/filemessages.h"
#include "panes/mylistview.h"
#include "panes/panedrag.h"
#include "panes/replacingcopy.h"

#include <optional>

bool ConfirmCopy()
{
    return ShowMessageBox(theApp().MainWindow(), kConfirmCopyText, kConfirmCopyCaption,
                          MsgIcon::Question, MsgButtons::OkCancel) == MsgAnswer::Ok;
}

namespace {

bool RunSteps(const DropPlan& plan, CMyListView& targetList)
{
    if (plan.refused) {
        ShowMessageBox(theApp().MainWindow(), FileMessages::InsideSourceText(),
                       FileMessages::InsideSourceCaption(), MsgIcon::Stop);
        return false;
    }
    std::optional<CCommOperation> operation;
    if (!plan.title.isEmpty()) {
        operation.emplace(true);
        operation->Dialog().SetTitleLine(plan.title);
    }
    // The copy reports what folder copies left out when it goes, before the frame closes.
    CReplacingCopy copy(targetList, operation ? &operation->Dialog() : nullptr);
    bool copied = true;
    for (const DropStep& step : plan.steps) {
        if (!copy.Copy(step)) {
            copied = false;
            break;
        }
    }
    // Files still running beside end before the frame closes, however the steps ended.
    if (operation && !operation->Dialog().FinishFiles())
        copied = false;
    return copied;
}

} // namespace

bool RunDrop(const DropPlan& plan, CMyListView& targetList, const std::function<void()>& refresh)
{
    // The operation frame has closed (the main window is enabled again) before the panes
    // read what changed.
    const bool copied = RunSteps(plan, targetList);
    if (refresh)
        refresh();
    return copied;
}

bool ConfirmAndRunDrop(const DropRequest& request, CMyListView& targetList,
                       const std::function<void()>& refresh)
{
    if (!ConfirmCopy())
        return false;
    CWaitCursor wait;
    return RunDrop(PlanDrop(request), targetList, refresh);
}

CMyListView* OtherSideList(PaneSide side)
{
    const PaneSide other = OtherSide(side);
    CPaneFrame* frame = theApp().PaneFrame();
    CMyListView* list = frame ? frame->ListPane(static_cast<int>(other)) : nullptr;
    if (!list || list->path.isEmpty() || !SideTakesCopies(side) || !SideTakesCopies(other))
        return nullptr;
    return list;
}

bool CopyToOtherSide(PaneSide side, const QList<DropItem>& items)
{
    CMyListView* target = OtherSideList(side);
    if (!target || items.isEmpty())
        return false;
    DropRequest request;
    request.sourceSide = side;
    request.targetSide = OtherSide(side);
    request.targetFolder = DropTargetFolder(target->path, request.targetSide);
    request.items = items;
    return ConfirmAndRunDrop(request, *target, [target] {
        target->RefreshTreeFolder();
        target->FillList(target->path);
    });
}
