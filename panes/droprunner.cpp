#include "panes/droprunner.h"

#include "app/vantorapp.h"
#include "framework/messagebox.h"
#include "framework/waitcursor.h"
#include "ftp/commoperation.h"
#include "ftp/commstatusdialog.h"
#include "ftp/filemessages.h"
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
    for (const DropStep& step : plan.steps) {
        if (!copy.Copy(step))
            return false;
    }
    return true;
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
