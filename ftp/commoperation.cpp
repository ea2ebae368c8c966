#include "ftp/commoperation.h"

#include "app/vantorapp.h"
#include "ftp/commstatusdialog.h"

#include <QAction>
#include <QApplication>
#include <QList>
#include <QMainWindow>
#include <QMenuBar>

#include <vector>

namespace {

// What the outermost frame took away, to be given back at its end. Only what was enabled
// is disabled and enabled again, so a command that was off for its own reasons stays off.
struct LockedInput
{
    QPointer<QWidget> focus;
    QList<QPointer<QWidget>> widgets;
    QList<QPointer<QAction>> actions;
};

LockedInput& Locked()
{
    static LockedInput locked;
    return locked;
}

// The frames alive now, the innermost last.
std::vector<CCommOperation*>& Frames()
{
    static std::vector<CCommOperation*> frames;
    return frames;
}

void Disable(QWidget* widget, LockedInput& locked)
{
    if (widget && widget->isEnabled()) {
        widget->setEnabled(false);
        locked.widgets.append(widget);
    }
}

void LockMainWindow()
{
    LockedInput& locked = Locked();
    locked = LockedInput();
    QWidget* main = theApp().MainWindow();
    if (!main)
        return;
    // Taken before anything is disabled: disabling moves the focus away.
    locked.focus = main->focusWidget();
    auto* frame = qobject_cast<QMainWindow*>(main);
    if (!frame) {
        Disable(main, locked);
        return;
    }
    Disable(frame->centralWidget(), locked);
    Disable(frame->menuWidget(), locked);
    // The window's own shortcuts (Refresh, Help) would still fire: the window stays enabled
    // so that its close box can ask the action to stop.
    for (QAction* action : frame->actions()) {
        if (action->isEnabled()) {
            action->setEnabled(false);
            locked.actions.append(action);
        }
    }
}

void UnlockMainWindow()
{
    LockedInput& locked = Locked();
    for (const QPointer<QWidget>& widget : locked.widgets) {
        if (widget)
            widget->setEnabled(true);
    }
    for (const QPointer<QAction>& action : locked.actions) {
        if (action)
            action->setEnabled(true);
    }
    locked.widgets.clear();
    locked.actions.clear();
}

void RestoreFocus()
{
    QPointer<QWidget> focus = Locked().focus;
    Locked().focus = nullptr;
    // The status window, gone now, had taken the activation: the user goes on in the
    // main window, as before the action.
    QWidget* main = theApp().MainWindow();
    if (main && !QApplication::activeWindow() && main->isVisible() && !main->isMinimized())
        main->activateWindow();
    if (focus && focus->isVisible() && focus->isEnabled())
        focus->setFocus(Qt::OtherFocusReason);
}

} // namespace

CCommOperation::CCommOperation(bool alwaysShowWindow)
{
    if (Frames().empty())
        LockMainWindow();
    Frames().push_back(this);
    theApp().busy = true;
    dialog = new CCommStatusDialog(theApp().MainWindow());
    // Creating the window lets waiting events run: the input is already taken away.
    if (alwaysShowWindow || theApp().showCommWindow)
        dialog->Create();
}

CCommOperation::~CCommOperation()
{
    // While the status window still shows what was copied.
    if (dialog)
        dialog->ReportSkipped();
    std::vector<CCommOperation*>& frames = Frames();
    std::erase(frames, this);
    const bool outermost = frames.empty();
    if (outermost) {
        UnlockMainWindow();
        theApp().busy = false;
    }
    // Null when the main window, its owner, went first.
    delete dialog.data();
    if (outermost)
        RestoreFocus();
}

void CCommOperation::CancelRunning()
{
    // Every frame: an outer action that goes on after an inner one ended must stop too.
    for (CCommOperation* frame : Frames()) {
        if (frame->dialog)
            frame->dialog->cancelRequested = true;
    }
    if (Frames().empty())
        return;
    if (CCommStatusDialog* current = Frames().back()->dialog.data();
        current && current->isVisible()) {
        current->raise();
        current->activateWindow();
    }
}
