#include "ftp/commoperation.h"

#include "app/vantorapp.h"
#include "ftp/commstatusdialog.h"

CCommOperation::CCommOperation(bool alwaysShowWindow)
    : dialog(new CCommStatusDialog(theApp().MainWindow()))
{
    if (alwaysShowWindow || theApp().showCommWindow)
        dialog->Create();
    if (QWidget* main = theApp().MainWindow())
        main->setEnabled(false);
    theApp().busy = true;
}

CCommOperation::~CCommOperation()
{
    if (QWidget* main = theApp().MainWindow())
        main->setEnabled(true);
    theApp().busy = false;
    // Null when the main window, its owner, went first.
    delete dialog.data();
}
