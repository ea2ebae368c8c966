// The help window over the program's real help file: contents, topics by context number,
// the search page, and files that cannot be opened.
#include "framework/helpwindow.h"
#include "tests/fixtures/messageboxscript.h"
#include "tests/fixtures/testenvironment.h"

#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QRegularExpression>
#include <QTest>

#include <gtest/gtest.h>

namespace {

QString ProgramHelpFile()
{
    return QDir::cleanPath(QStringLiteral(VANTOR_FIXTURES_DIR "/../../resources/Vantor.hlp"));
}

class HelpWindowTest : public testing::Test
{
protected:
    void TearDown() override { delete CHelpWindow::Current(); }
};

} // namespace

TEST_F(HelpWindowTest, EveryLinkOfTheHelpFileLeadsToATopic)
{
    ShowHelpContents(ProgramHelpFile(), nullptr);
    CHelpWindow* window = CHelpWindow::Current();
    ASSERT_NE(window, nullptr);
    const QStringList topics = window->TopicAnchors();
    EXPECT_TRUE(topics.contains(QStringLiteral("200")));
    EXPECT_TRUE(topics.contains(QStringLiteral("300")));

    QFile file(ProgramHelpFile());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString html = QString::fromUtf8(file.readAll());
    const QRegularExpression link(QStringLiteral("href=\"#([^\"]+)\""));
    int links = 0;
    for (const QRegularExpressionMatch& match : link.globalMatch(html)) {
        ++links;
        EXPECT_TRUE(topics.contains(match.captured(1))) << match.captured(1).toStdString();
    }
    EXPECT_GE(links, topics.size());
}

TEST_F(HelpWindowTest, OpensAtContentsTopicOrSearch)
{
    const QString help = ProgramHelpFile();
    ShowHelpContext(help, 300, nullptr);
    CHelpWindow* window = CHelpWindow::Current();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->HelpFile(), help);
    EXPECT_EQ(window->CurrentTopic(), QStringLiteral("300"));
    EXPECT_FALSE(window->SearchShown());

    // The same window answers the next request.
    ShowHelpContext(help, 200, nullptr);
    EXPECT_EQ(CHelpWindow::Current(), window);
    EXPECT_EQ(window->CurrentTopic(), QStringLiteral("200"));

    ShowHelpContents(help, nullptr);
    EXPECT_EQ(window->CurrentTopic(), QString());
    EXPECT_FALSE(window->SearchShown());

    ShowHelpSearch(help, nullptr);
    EXPECT_TRUE(window->SearchShown());
    auto* results = window->findChild<QListWidget*>(QStringLiteral("searchResults"));
    ASSERT_NE(results, nullptr);
    EXPECT_EQ(results->count(), window->TopicAnchors().size());

    // An unknown context number shows the contents rather than nothing.
    EXPECT_FALSE(window->ShowTopic(QStringLiteral("12345")));
    EXPECT_EQ(window->CurrentTopic(), QString());
}

TEST_F(HelpWindowTest, SearchFindsTheTopicsHoldingEveryWord)
{
    ShowHelpSearch(ProgramHelpFile(), nullptr);
    CHelpWindow* window = CHelpWindow::Current();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(
        window->FindTopics(QStringLiteral("Cancel Communication")).contains(QStringLiteral("200")));
    EXPECT_EQ(window->FindTopics(QStringLiteral("ANONYMOUS initial directory")).value(0),
              QStringLiteral("300"));
    EXPECT_TRUE(window->FindTopics(QStringLiteral("nosuchwordanywhere")).isEmpty());

    // Typed into the field, then the first result taken with Enter.
    auto* field = window->findChild<QLineEdit*>(QStringLiteral("searchField"));
    auto* results = window->findChild<QListWidget*>(QStringLiteral("searchResults"));
    ASSERT_NE(field, nullptr);
    ASSERT_NE(results, nullptr);
    QTest::keyClicks(field, QStringLiteral("chmod 755"));
    ASSERT_EQ(results->count(), window->FindTopics(QStringLiteral("chmod 755")).size());
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_EQ(window->CurrentTopic(), window->FindTopics(QStringLiteral("chmod 755")).value(0));
    EXPECT_TRUE(window->SearchShown());
}

TEST_F(HelpWindowTest, AFileThatCannotBeOpenedIsNamedInAMessage)
{
    const QString missing = TestCaseFolder() + QStringLiteral("/nothing/Vantor.hlp");
    const QString folder = TestCaseFolder() + QStringLiteral("/Vantor.hlp");
    ASSERT_TRUE(QDir().mkpath(folder));
    const struct
    {
        QString path;
        const char* reason;
    } cases[] = {{missing, "No such file or directory"}, {folder, "file to open is a directory"}};
    for (const auto& test : cases) {
        SCOPED_TRACE(test.path.toStdString());
        CMessageBoxScript boxes;
        boxes.Expect(QStringLiteral("The help file \"%1\" could not be opened: %2.")
                         .arg(test.path, QLatin1String(test.reason)),
                     QStringLiteral("Ardent Vantor"), MsgIcon::Stop);
        ShowHelpContext(test.path, 300, nullptr);
        EXPECT_EQ(CHelpWindow::Current(), nullptr);
    }
}

TEST_F(HelpWindowTest, AModalDialogDoesNotBlockItsHelp)
{
    auto dialog = std::make_unique<QDialog>();
    dialog->setModal(true);
    dialog->show();
    ASSERT_EQ(QApplication::activeModalWidget(), dialog.get());

    ShowHelpContext(ProgramHelpFile(), 300, dialog.get());
    CHelpWindow* window = CHelpWindow::Current();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->parentWidget(), dialog.get());
    EXPECT_TRUE(window->isWindow());

    // It goes with the dialog that it belongs to.
    dialog.reset();
    EXPECT_EQ(CHelpWindow::Current(), nullptr);
}
