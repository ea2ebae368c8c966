#include "framework/helpwindow.h"

#include "framework/messagebox.h"

#include <QApplication>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QSplitter>
#include <QTextBlock>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>

namespace {

QPointer<CHelpWindow>& Instance()
{
    static QPointer<CHelpWindow> window;
    return window;
}

constexpr int kAnchorRole = Qt::UserRole;

} // namespace

void ShowHelpContents(const QString& helpFile, QWidget* owner)
{
    if (CHelpWindow* window = CHelpWindow::Open(helpFile, owner))
        window->ShowContents();
}

void ShowHelpSearch(const QString& helpFile, QWidget* owner)
{
    if (CHelpWindow* window = CHelpWindow::Open(helpFile, owner))
        window->ShowSearch();
}

void ShowHelpContext(const QString& helpFile, int context, QWidget* owner)
{
    if (CHelpWindow* window = CHelpWindow::Open(helpFile, owner))
        window->ShowTopic(QString::number(context));
}

CHelpWindow* CHelpWindow::Current()
{
    return Instance().data();
}

CHelpWindow* CHelpWindow::Open(const QString& helpFile, QWidget* owner)
{
    // A modal dialog blocks every window but its own children.
    QWidget* modal = QApplication::activeModalWidget();
    CHelpWindow* window = Current();
    if (window && (window->helpFile != helpFile || window->parentWidget() != modal)) {
        delete window;
        window = nullptr;
    }
    if (!window) {
        auto* made = new CHelpWindow(helpFile, modal);
        QString reason;
        if (!made->Load(reason)) {
            delete made;
            ShowMessageBox(owner,
                           QStringLiteral("The help file \"%1\" could not be opened: %2.")
                               .arg(helpFile, reason),
                           {}, MsgIcon::Stop);
            return nullptr;
        }
        Instance() = made;
        window = made;
    }
    if (window->isVisible()) {
        // Brought forward from behind the window that asked for it.
        window->raise();
        window->activateWindow();
    }
    window->show();
    return window;
}

CHelpWindow::CHelpWindow(const QString& file, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , helpFile(file)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QString::fromLatin1(kProgramTitle) + QStringLiteral(" Help"));
    resize(760, 560);

    auto* contentsButton = new QPushButton(QStringLiteral("&Contents"), this);
    contentsButton->setObjectName(QStringLiteral("contentsButton"));
    auto* searchLabel = new QLabel(QStringLiteral("&Search:"), this);
    searchField = new QLineEdit(this);
    searchField->setObjectName(QStringLiteral("searchField"));
    searchField->setPlaceholderText(QStringLiteral("Words to look for in the topics"));
    searchField->setClearButtonEnabled(true);
    searchLabel->setBuddy(searchField);

    results = new QListWidget(this);
    results->setObjectName(QStringLiteral("searchResults"));
    browser = new QTextBrowser(this);
    browser->setObjectName(QStringLiteral("helpBrowser"));
    browser->setOpenExternalLinks(false);

    auto* splitter = new QSplitter(Qt::Horizontal, this);
    splitter->addWidget(results);
    splitter->addWidget(browser);
    splitter->setStretchFactor(1, 3);
    splitter->setSizes({220, 540});

    auto* top = new QHBoxLayout;
    top->addWidget(contentsButton);
    top->addSpacing(12);
    top->addWidget(searchLabel);
    top->addWidget(searchField, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(splitter, 1);
    results->hide();

    connect(contentsButton, &QPushButton::clicked, this, &CHelpWindow::ShowContents);
    connect(searchField, &QLineEdit::textChanged, this, [this] {
        results->show();
        FillResults();
    });
    connect(searchField, &QLineEdit::returnPressed, this, [this] {
        if (results->count() > 0) {
            results->setCurrentRow(0);
            OnResultActivated();
        }
    });
    connect(results, &QListWidget::itemActivated, this, &CHelpWindow::OnResultActivated);
    connect(results, &QListWidget::itemClicked, this, &CHelpWindow::OnResultActivated);
    // A window standing on its own is not deleted by anyone else.
    connect(qApp, &QCoreApplication::aboutToQuit, this, [this] { delete this; });
}

CHelpWindow::~CHelpWindow() = default;

bool CHelpWindow::Load(QString& reason)
{
    QFile file(helpFile);
    if (!file.open(QIODevice::ReadOnly)) {
        reason = file.errorString();
        return false;
    }
    file.close();
    browser->setSource(QUrl::fromLocalFile(helpFile), QTextDocument::HtmlResource);
    CollectTopics();
    return true;
}

void CHelpWindow::CollectTopics()
{
    topics.clear();
    Topic* current = nullptr;
    for (QTextBlock block = browser->document()->begin(); block.isValid(); block = block.next()) {
        QString anchor;
        if (block.blockFormat().headingLevel() == 2) {
            for (auto it = block.begin(); !it.atEnd() && anchor.isEmpty(); ++it) {
                const QStringList names = it.fragment().charFormat().anchorNames();
                if (!names.isEmpty())
                    anchor = names.front();
            }
        }
        if (!anchor.isEmpty()) {
            topics.append({anchor, block.text().trimmed(), {}});
            current = &topics.last();
        } else if (current) {
            current->text += block.text() + QLatin1Char('\n');
        }
    }
}

void CHelpWindow::ShowContents()
{
    results->hide();
    browser->setSource(QUrl::fromLocalFile(helpFile), QTextDocument::HtmlResource);
    browser->verticalScrollBar()->setValue(0);
}

void CHelpWindow::ShowSearch()
{
    results->show();
    FillResults();
    searchField->setFocus();
    searchField->selectAll();
}

bool CHelpWindow::ShowTopic(const QString& anchor)
{
    if (!TopicAnchors().contains(anchor)) {
        ShowContents();
        return false;
    }
    results->hide();
    QUrl url = QUrl::fromLocalFile(helpFile);
    url.setFragment(anchor);
    browser->setSource(url, QTextDocument::HtmlResource);
    return true;
}

QString CHelpWindow::CurrentTopic() const
{
    return browser->source().fragment();
}

bool CHelpWindow::SearchShown() const
{
    return !results->isHidden();
}

QStringList CHelpWindow::FindTopics(const QString& words) const
{
    const QStringList wanted = words.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    QStringList found;
    for (const Topic& topic : topics) {
        const QString haystack = topic.title + QLatin1Char('\n') + topic.text;
        const bool all = std::all_of(wanted.begin(), wanted.end(), [&](const QString& word) {
            return haystack.contains(word, Qt::CaseInsensitive);
        });
        if (all)
            found.append(topic.anchor);
    }
    return found;
}

QStringList CHelpWindow::TopicAnchors() const
{
    QStringList anchors;
    for (const Topic& topic : topics)
        anchors.append(topic.anchor);
    return anchors;
}

void CHelpWindow::FillResults()
{
    results->clear();
    const QStringList found = FindTopics(searchField->text());
    for (const Topic& topic : topics) {
        if (!found.contains(topic.anchor))
            continue;
        auto* item = new QListWidgetItem(topic.title, results);
        item->setData(kAnchorRole, topic.anchor);
    }
}

void CHelpWindow::OnResultActivated()
{
    const QListWidgetItem* item = results->currentItem();
    if (!item)
        return;
    // The results stay, so that the next one is a click away.
    QUrl url = QUrl::fromLocalFile(helpFile);
    url.setFragment(item->data(kAnchorRole).toString());
    browser->setSource(url, QTextDocument::HtmlResource);
}
