#include "framework/modaldialog.h"

#include "framework/waitcursor.h"

#include <QDialog>
#include <QPointer>

namespace {

CScopedModalHandler::Handler& CurrentHandler()
{
    static CScopedModalHandler::Handler handler;
    return handler;
}

} // namespace

int RunModalDialog(QDialog& dialog)
{
    const CNormalCursor pointer;
    if (!CurrentHandler())
        return dialog.exec();

    // A test drives the dialog: show it as a real window, so that focus, visibility and
    // painting behave as under exec(), and let the handler act on it.
    QPointer<QDialog> guard(&dialog);
    bool finished = false;
    int finishedResult = QDialog::Rejected;
    auto connection = QObject::connect(&dialog, &QDialog::finished, &dialog, [&](int result) {
        finished = true;
        finishedResult = result;
    });
    dialog.setModal(true);
    dialog.show();
    const int handlerResult = CurrentHandler()(dialog);
    if (!guard)
        return finished ? finishedResult : handlerResult;
    QObject::disconnect(connection);
    if (finished)
        return finishedResult;
    dialog.done(handlerResult);
    return handlerResult;
}

CScopedModalHandler::CScopedModalHandler(Handler handler)
    : previous(std::move(CurrentHandler()))
{
    CurrentHandler() = std::move(handler);
}

CScopedModalHandler::~CScopedModalHandler()
{
    CurrentHandler() = std::move(previous);
}
