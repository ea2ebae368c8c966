#pragma once

class QString;
class QWidget;

// The help viewer for the program's help file (an HTML file whose topics are anchors named
// after their context numbers). A missing or unreadable file gives a message box naming it.
void ShowHelpContents(const QString& helpFile, QWidget* owner);
void ShowHelpSearch(const QString& helpFile, QWidget* owner);
void ShowHelpContext(const QString& helpFile, int context, QWidget* owner);
