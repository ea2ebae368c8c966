#pragma once

#include "ftp/commstatusdialog.h"

#include <QPointer>

// The frame of one action under a communication object. On construction it takes the main
// window's input away (its panes, menu bar and shortcuts are disabled; the window itself,
// its status bar and the status window stay enabled), sets theApp().busy, and only then
// makes the CCommStatusDialog and shows its window (while theApp().showCommWindow is set,
// or always with `alwaysShowWindow`), so that nothing the user does while the window comes
// up can start a second action. The destructor gives the input back, clears busy, destroys
// the object and returns the keyboard focus to the widget that had it, whatever happened
// in between.
//
// Frames nest: an action that runs inside another keeps the outer frame's state, and only
// the outermost one gives the input back and clears busy.
class CCommOperation
{
public:
    explicit CCommOperation(bool alwaysShowWindow = false);
    ~CCommOperation();
    CCommOperation(const CCommOperation&) = delete;
    CCommOperation& operator=(const CCommOperation&) = delete;

    CCommStatusDialog& Dialog() { return *dialog; }

    // Asks the running action to stop, as Cancel Communication does, and brings its status
    // window to the front. Nothing happens when no action runs.
    static void CancelRunning();

private:
    QPointer<CCommStatusDialog> dialog;
};
