#include "tests/panes/heldcancel.h"

#include "app/mainframe.h"
#include "ftp/commstatusdialog.h"
#include "tests/fixtures/ftpserverfixture.h"

CHeldCancel::CHeldCancel(CFtpServerFixture& heldServer, CMainFrame& mainFrame)
    : server(heldServer)
    , frame(mainFrame)
{
    QObject::connect(&timer, &QTimer::timeout, [this] { Poll(); });
}

CHeldCancel::~CHeldCancel()
{
    Release();
}

void CHeldCancel::Arm(const QString& heldCommand, int passing)
{
    command = heldCommand;
    heldAt = server.CountCommands(command) + passing + 1;
    cancelled = false;
    server.Hold(command, passing);
    timer.start(10);
}

void CHeldCancel::Release()
{
    timer.stop();
    server.Release();
}

void CHeldCancel::Poll()
{
    if (server.CountCommands(command) < heldAt)
        return;
    for (CCommStatusDialog* dialog : frame.findChildren<CCommStatusDialog*>())
        dialog->cancelRequested = true;
    cancelled = true;
    timer.stop();
}
