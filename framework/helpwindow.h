#pragma once

#include <QList>
#include <QString>
#include <QWidget>

class QLineEdit;
class QListWidget;
class QTextBrowser;

// The help viewer for the program's help file (an HTML file whose topics are anchors named
// after their context numbers). A missing or unreadable file gives a message box naming it.
void ShowHelpContents(const QString& helpFile, QWidget* owner);
void ShowHelpSearch(const QString& helpFile, QWidget* owner);
void ShowHelpContext(const QString& helpFile, int context, QWidget* owner);

// The one help window of the process: the help file in a browser, with a search field over
// its topics. A topic is a level-2 heading that carries an anchor (<h2><a name="300">...),
// up to the next such heading.
//
// The window deletes itself when closed, and when the application quits. It is a child of
// the modal dialog that was open when it was asked for, so that the dialog does not block
// it; otherwise it stands on its own, so that it outlives a status window that asked for it.
class CHelpWindow : public QWidget
{
    Q_OBJECT

public:
    // The window on screen, or null.
    static CHelpWindow* Current();
    // The window for `helpFile`, made or reused; null (after a message box owned by `owner`)
    // when the file cannot be read.
    static CHelpWindow* Open(const QString& helpFile, QWidget* owner);

    ~CHelpWindow() override;

    void ShowContents();
    void ShowSearch();
    // False (and the contents shown) when the file has no such topic.
    bool ShowTopic(const QString& anchor);

    QString HelpFile() const { return helpFile; }
    // The anchor shown; empty at the contents.
    QString CurrentTopic() const;
    bool SearchShown() const;
    // Anchors of the topics whose title or text holds every word of `words`, in file order;
    // all topics for no words.
    QStringList FindTopics(const QString& words) const;
    QStringList TopicAnchors() const;

private:
    CHelpWindow(const QString& helpFile, QWidget* parent);
    bool Load(QString& reason);
    void CollectTopics();
    void FillResults();
    void OnResultActivated();

    struct Topic
    {
        QString anchor;
        QString title;
        QString text;
    };

    QString helpFile;
    QList<Topic> topics;
    QTextBrowser* browser = nullptr;
    QLineEdit* searchField = nullptr;
    QListWidget* results = nullptr;
};
