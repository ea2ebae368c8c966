// The panes while the program waits: events handled in the middle of a fill, folders the
// server refuses or has dropped the connection for, the keyboard focus, label editing.
#include "app/mainframe.h"
#include "app/vantorapp.h"
#include "panes/mylistview.h"
#include "panes/mytreeview.h"
#include "profiles/profilerecord.h"
#include "tests/fixtures/ftpserverfixture.h"
#include "tests/fixtures/programrun.h"
#include "tests/fixtures/testenvironment.h"
#include "tests/fixtures/testhelpers.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QMouseEvent>
#include <QTest>

#include <gtest/gtest.h>

namespace {

const QString kReadError = QStringLiteral("The program was unable to read the FTP directory.");

QStringList ChildTexts(QTreeWidgetItem* parent)
{
    QStringList texts;
    for (int i = 0; parent && i < parent->childCount(); ++i)
        texts.append(parent->child(i)->text(0));
    return texts;
}

// A click on `item` that waits in the queue, as one made while the program was busy.
void QueueClick(CMyTreeView& tree, QTreeWidgetItem* item)
{
    const QPoint at = tree.visualItemRect(item).center();
    const QPoint global = tree.viewport()->mapToGlobal(at);
    for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        QCoreApplication::postEvent(
            tree.viewport(),
            new QMouseEvent(type, at, global, Qt::LeftButton,
                            type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                            Qt::NoModifier));
    }
}

} // namespace

TEST(PaneSafety, AClickHandledDuringAFillIsShownAfterIt)
{
    QDir().mkpath(Home() + QStringLiteral("/one"));
    QDir().mkpath(Home() + QStringLiteral("/two"));
    MakeLocalFile(Home() + QStringLiteral("/one/in-one.txt"), 1);
    MakeLocalFile(Home() + QStringLiteral("/two/in-two.txt"), 1);
    CProgramRun run(Home());
    CMyTreeView& tree = *run.Frame().TreePane(0);
    CMyListView& list = *run.Frame().ListPane(0);
    QTreeWidgetItem* home = tree.rootItem->child(0);
    home->setExpanded(true);
    QTreeWidgetItem* one = ChildItem(home, QStringLiteral("one"));
    QTreeWidgetItem* two = ChildItem(home, QStringLiteral("two"));
    ASSERT_TRUE(one && two);
    tree.setCurrentItem(one);
    ASSERT_EQ(ShownNames(list), QStringList{"in-one.txt"});

    // The fill lets waiting events run to paint its status text; the click on "two" runs
    // there, in the middle of the fill of "one".
    QueueClick(tree, two);
    list.FillList(tree.LocalPathOf(one));

    EXPECT_EQ(tree.currentItem(), two);
    EXPECT_EQ(list.path, Home() + QStringLiteral("/two/"));
    EXPECT_EQ(ShownNames(list), QStringList{"in-two.txt"});
    EXPECT_EQ(list.TreeItem(), two);
    EXPECT_FALSE(list.Filling());
}

TEST(PaneSafety, NoDriveOrRootCanBeEditedInPlace)
{
    // Folders and files are renamed through the panes' rename (the pane command tests);
    // a drive and the roots name what paths are built from and keep their text.
    QDir().mkpath(Home() + QStringLiteral("/docs"));
    CProgramRun run(Home());
    CMyTreeView& tree = *run.Frame().TreePane(0);
    QTreeWidgetItem* drive = tree.rootItem->child(0);
    const QString driveText = drive->text(0);
    for (QTreeWidgetItem* item : {drive, tree.rootItem}) {
        tree.setCurrentItem(item);
        QTest::keyClick(&tree, Qt::Key_F2);
        // A second click on the selected item.
        const QRect rect = tree.visualRect(tree.currentIndex());
        QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, rect.center());
        QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, rect.center());
        EXPECT_EQ(tree.findChild<QLineEdit*>(), nullptr) << item->text(0).toStdString();
    }
    EXPECT_EQ(drive->text(0), driveText);
    EXPECT_FALSE(drive->flags() & Qt::ItemIsEditable);
}

TEST(PaneSafety, AFolderTheServerRefusesShowsEmptyUnderItsOwnPath)
{
    CFtpServerFixture server;
    server.MakeFolder(QStringLiteral("kept/inside"));
    const QString gone = server.MakeFolder(QStringLiteral("gone"));
    CProgramRun run(Home(), ProfileFor(server));
    CMyTreeView& tree = *run.Frame().TreePane(1);
    CMyListView& list = *run.Frame().ListPane(1);
    QTreeWidgetItem* goneItem = ChildItem(tree.rootItem, QStringLiteral("gone"));
    ASSERT_NE(goneItem, nullptr);
    ASSERT_TRUE(QDir(gone).removeRecursively()); // removed by someone else meanwhile

    // Expanding it must not show the server's current folder as its children ("gone/kept").
    run.Boxes().Expect(kReadError, QStringLiteral("Error Reading FTP Directory"), MsgIcon::Stop);
    goneItem->setExpanded(true);
    EXPECT_EQ(ChildTexts(goneItem), QStringList{});

    // Selecting it shows an empty list under its path, not the folder the server stayed in.
    run.Boxes().Expect(kReadError);
    tree.setCurrentItem(goneItem);
    EXPECT_EQ(list.path, QStringLiteral("//gone/"));
    EXPECT_EQ(ShownNames(list), QStringList{});
    EXPECT_EQ(run.Frame().StatusText(2), QStringLiteral("FTP: 0 Items"));
    EXPECT_EQ(run.Boxes().Pending(), 0);

    // The connection is fine for the next folder.
    tree.setCurrentItem(ChildItem(tree.rootItem, QStringLiteral("kept")));
    EXPECT_EQ(ShownNames(list), QStringList{"inside"});
}

TEST(PaneSafety, AConnectionTheServerClosedWhileIdleIsLoggedInAgainOnce)
{
    CFtpServerFixture server({QStringLiteral("--idle-timeout"), QStringLiteral("1")});
    server.MakeFolder(QStringLiteral("pub/docs"));
    server.MakeFile(QStringLiteral("pub/readme.txt"), "r");
    CProgramRun run(Home(), ProfileFor(server));
    ASSERT_EQ(server.CountCommands(QStringLiteral("LOGIN")), 1);
    CMyTreeView& tree = *run.Frame().TreePane(1);
    CMyListView& list = *run.Frame().ListPane(1);
    QTreeWidgetItem* pub = ChildItem(tree.rootItem, QStringLiteral("pub"));
    ASSERT_NE(pub, nullptr);
    // The server gives up on the idle connection.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return server.CountCommands(QStringLiteral("DISCONNECT")) == 1; }, 20000));

    pub->setExpanded(true);
    EXPECT_EQ(ChildTexts(pub), QStringList{"docs"});
    EXPECT_EQ(server.CountCommands(QStringLiteral("LOGIN")), 2);
    tree.setCurrentItem(pub);
    EXPECT_EQ(list.path, QStringLiteral("//pub/"));
    EXPECT_EQ(ShownNames(list), (QStringList{"docs", "readme.txt"}));
    EXPECT_EQ(server.CountCommands(QStringLiteral("LOGIN")), 2);
    EXPECT_TRUE(run.Boxes().Shown().isEmpty());
}

TEST(PaneSafety, ArrowKeysBrowseTheFtpTreeStepAfterStep)
{
    CFtpServerFixture server;
    for (const char* name : {"a", "b", "c"})
        server.MakeFile(QStringLiteral("%1/in-%1.txt").arg(QLatin1String(name)), "x");
    CProgramRun run(Home(), ProfileFor(server));
    CMainFrame& frame = run.Frame();
    CMyTreeView& tree = *frame.TreePane(1);
    CMyListView& list = *frame.ListPane(1);
    frame.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&frame));
    tree.setFocus();
    tree.setCurrentItem(tree.rootItem);

    for (const char* name : {"a", "b", "c"}) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&frame));
        EXPECT_EQ(tree.currentItem()->text(0), QLatin1String(name));
        EXPECT_EQ(ShownNames(list),
                  QStringList{QStringLiteral("in-%1.txt").arg(QLatin1String(name))});
        EXPECT_EQ(QApplication::focusWidget(), &tree);
    }
}
