#include "framework/messagebox.h"

#include "framework/waitcursor.h"

#include <QMessageBox>

namespace {

CScopedMessageBoxHandler::Handler& CurrentHandler()
{
    static CScopedMessageBoxHandler::Handler handler;
    return handler;
}

MsgAnswer ShowOnScreen(const MessageBoxRequest& request)
{
    QMessageBox box(request.owner);
    box.setWindowTitle(request.caption);
    box.setText(request.text);
    if (!request.explanation.isEmpty())
        box.setInformativeText(request.explanation);
    if (!request.details.isEmpty())
        box.setDetailedText(request.details);
    switch (request.icon) {
    case MsgIcon::None: box.setIcon(QMessageBox::NoIcon); break;
    case MsgIcon::Stop: box.setIcon(QMessageBox::Critical); break;
    case MsgIcon::Question: box.setIcon(QMessageBox::Question); break;
    case MsgIcon::Information: box.setIcon(QMessageBox::Information); break;
    case MsgIcon::Warning: box.setIcon(QMessageBox::Warning); break;
    }
    switch (request.buttons) {
    case MsgButtons::Ok:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    case MsgButtons::OkCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Ok);
        break;
    case MsgButtons::YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        break;
    }
    switch (box.exec()) {
    case QMessageBox::Ok: return MsgAnswer::Ok;
    case QMessageBox::Yes: return MsgAnswer::Yes;
    case QMessageBox::No: return MsgAnswer::No;
    default:
        // Esc or the close box: the answer that does nothing.
        return request.buttons == MsgButtons::YesNo ? MsgAnswer::No
               : request.buttons == MsgButtons::Ok  ? MsgAnswer::Ok
                                                    : MsgAnswer::Cancel;
    }
}

} // namespace

MsgAnswer ShowMessageBox(QWidget* owner, const QString& text, const QString& caption,
                         MsgIcon icon, MsgButtons buttons)
{
    MessageBoxRequest request;
    request.text = text;
    request.caption = caption;
    request.icon = icon;
    request.buttons = buttons;
    request.owner = owner;
    return ShowMessageBox(std::move(request));
}

MsgAnswer ShowMessageBox(MessageBoxRequest request)
{
    if (request.caption.isEmpty())
        request.caption = QString::fromLatin1(kProgramTitle);
    const CNormalCursor pointer;
    if (CurrentHandler())
        return CurrentHandler()(request);
    return ShowOnScreen(request);
}

CScopedMessageBoxHandler::CScopedMessageBoxHandler(Handler handler)
    : previous(std::move(CurrentHandler()))
{
    CurrentHandler() = std::move(handler);
}

CScopedMessageBoxHandler::~CScopedMessageBoxHandler()
{
    CurrentHandler() = std::move(previous);
}
