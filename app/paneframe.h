#pragma once

#include <QString>

class CMyListView;
class CMyTreeView;

// The main window as the panes and the status windows see it: the status bar they report
// to, and the panes of both rows for the commands that cross from one pane to another. The
// main window implements it; nothing below app/ knows more of the window, so that the
// window can include the panes without the panes including the window.
class CPaneFrame
{
public:
    virtual ~CPaneFrame() = default;

    // Sets the text of status pane 0, 1 or 2.
    virtual void SetStatusText(int pane, const QString& text) = 0;
    // The pane that says whether the FTP side is encrypted; empty while nothing is connected.
    virtual void SetSecurityText(const QString& text) = 0;
    // Pane (row, column): row 0 local, row 1 FTP; column 0 tree, column 1 list.
    virtual CMyTreeView* TreePane(int row) const = 0;
    virtual CMyListView* ListPane(int row) const = 0;
};
