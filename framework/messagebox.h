#pragma once

#include <QString>

#include <functional>

class QWidget;

enum class MsgIcon { None, Stop, Question, Information, Warning };
enum class MsgButtons { Ok, OkCancel, YesNo };
enum class MsgAnswer { Ok, Cancel, Yes, No };

// One message box as the program asked for it.
struct MessageBoxRequest
{
    QString text;
    QString caption; // never empty: the program's title stands in for a missing caption
    MsgIcon icon = MsgIcon::None;
    MsgButtons buttons = MsgButtons::Ok;
    QWidget* owner = nullptr;
    // Under the text: what most likely happened and what to try, where the program can tell.
    QString explanation;
    // Shown only on request, under the box's Details button (the exact replies of a server).
    QString details;
};

// The program's title, the caption of every box that brings none of its own.
inline constexpr const char* kProgramTitle = "Ardent Vantor";

// Shows a modal message box and returns the button that closed it. Every message box of
// both programs goes through here, so that tests can answer them (CScopedMessageBoxHandler).
MsgAnswer ShowMessageBox(QWidget* owner, const QString& text, const QString& caption = {},
                         MsgIcon icon = MsgIcon::None, MsgButtons buttons = MsgButtons::Ok);
// The same for a request made whole, explanation and details included.
MsgAnswer ShowMessageBox(MessageBoxRequest request);

// While alive, every box goes to `handler` instead of the screen. Handlers nest: the newest
// one answers, and the one before it returns when this one is destroyed.
class CScopedMessageBoxHandler
{
public:
    using Handler = std::function<MsgAnswer(const MessageBoxRequest&)>;
    explicit CScopedMessageBoxHandler(Handler handler);
    ~CScopedMessageBoxHandler();
    CScopedMessageBoxHandler(const CScopedMessageBoxHandler&) = delete;
    CScopedMessageBoxHandler& operator=(const CScopedMessageBoxHandler&) = delete;

private:
    Handler previous;
};
