#pragma once

#include <QString>
#include <QTimer>

class CFtpServerFixture;
class CMainFrame;

// Cancel Communication pressed while the server surely still has work to do: the server
// holds a command of the copy, and once that command has arrived every status window is
// told to cancel. The copy cannot end before the cancel is seen, however busy the machine.
// The hold lasts until Release (or the end of this object), so that the copy's next run
// goes through.
class CHeldCancel
{
public:
    CHeldCancel(CFtpServerFixture& server, CMainFrame& frame);
    ~CHeldCancel();
    CHeldCancel(const CHeldCancel&) = delete;
    CHeldCancel& operator=(const CHeldCancel&) = delete;

    // Lets `passing` more of `command` through, holds the next and cancels then.
    void Arm(const QString& command, int passing);
    // Stops waiting and lets the server carry out what it still holds.
    void Release();
    // Whether the cancel has been given since Arm.
    bool Cancelled() const { return cancelled; }

private:
    void Poll();

    CFtpServerFixture& server;
    CMainFrame& frame;
    QTimer timer;
    QString command;
    int heldAt = 0;
    bool cancelled = false;
};
