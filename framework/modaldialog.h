#pragma once

#include <functional>

class QDialog;

// Runs `dialog` modally and returns its result code (QDialog::Accepted or Rejected). The
// program's modal dialogs (Profiles, File Attributes, About) all run through here, so that
// a test can drive one through its widgets instead of blocking in its event loop.
int RunModalDialog(QDialog& dialog);

// While alive, RunModalDialog shows the dialog (without a loop of its own) and hands it to
// `handler`, whose return value becomes the dialog's result unless the handler closed the
// dialog itself, in which case the dialog's own result counts.
class CScopedModalHandler
{
public:
    using Handler = std::function<int(QDialog&)>;
    explicit CScopedModalHandler(Handler handler);
    ~CScopedModalHandler();
    CScopedModalHandler(const CScopedModalHandler&) = delete;
    CScopedModalHandler& operator=(const CScopedModalHandler&) = delete;

private:
    Handler previous;
};
