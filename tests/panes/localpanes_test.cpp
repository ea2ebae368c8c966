// The local tree and list as the user sees them, on real folders.
#include "app/mainframe.h"
#include "app/vantorapp.h"
#include "app/vantordoc.h"
#include "panes/dirlistmodel.h"
#include "panes/mylistview.h"
#include "panes/mytreeview.h"
#include "tests/fixtures/programrun.h"
#include "tests/fixtures/testenvironment.h"
#include "tests/fixtures/testhelpers.h"

#include <QAction>
#include <QDateTime>
#include <QDir>

#include <gtest/gtest.h>

namespace {

// A home folder with folders and files of known sizes and times.
void PrepareHome()
{
    const QString home = Home();
    QDir().mkpath(home + QStringLiteral("/docs/inner"));
    QDir().mkpath(home + QStringLiteral("/Music"));
    QDir().mkpath(home + QStringLiteral("/only files"));
    MakeLocalFile(home + QStringLiteral("/only files/a.txt"), 3);
    MakeLocalFile(home + QStringLiteral("/empty.bin"), 0, 1000000000);
    MakeLocalFile(home + QStringLiteral("/b999.txt"), 999, 1100000000);
    MakeLocalFile(home + QStringLiteral("/c1000.dat"), 1000, 1200000000);
    MakeLocalFile(home + QStringLiteral("/max32.iso"), 4294967295LL, 1300000000);
    MakeLocalFile(home + QStringLiteral("/huge.img"), 5000000000LL, 1400000000);
    const QDateTime march7(QDate(2007, 3, 7), QTime(14, 5), Qt::LocalTime);
    MakeLocalFile(home + QStringLiteral("/.profile"), 10, march7.toSecsSinceEpoch());
}

QString Cell(const CMyListView& list, int row, int column)
{
    return list.model()->index(row, column).data().toString();
}

int RowOf(const CMyListView& list, const QString& name)
{
    return ShownNames(list).indexOf(name);
}

QTreeWidgetItem* HomeDrive(const CMyTreeView& tree)
{
    return tree.rootItem ? tree.rootItem->child(0) : nullptr;
}

QTreeWidgetItem* Child(QTreeWidgetItem* parent, const QString& text)
{
    for (int i = 0; parent && i < parent->childCount(); ++i) {
        if (parent->child(i)->text(0) == text)
            return parent->child(i);
    }
    return nullptr;
}

} // namespace

TEST(LocalList, ShowsTheHomeFolderAtStart)
{
    PrepareHome();
    CProgramRun run(Home());
    ASSERT_TRUE(run.Started());
    CMainFrame& frame = run.Frame();
    CMyListView& list = *frame.ListPane(0);
    EXPECT_EQ(list.side, 0);
    EXPECT_EQ(frame.ListPane(1)->side, 1);
    EXPECT_EQ(list.path, Home() + QLatin1Char('/'));

    // Folders first, "." and ".." never shown, the first item selected.
    EXPECT_EQ(ShownNames(list), (QStringList{"docs", "Music", "only files", ".profile", "b999.txt",
                                             "c1000.dat", "empty.bin", "huge.img", "max32.iso"}));
    EXPECT_EQ(list.SelectedRows(), QList<int>{0});
    EXPECT_EQ(frame.StatusText(1), QStringLiteral("Local: 9 Items"));
    EXPECT_EQ(frame.StatusText(0), QStringLiteral("Ready"));
    EXPECT_EQ(list.ItemIcon(RowOf(list, QStringLiteral("docs"))), kIconLocalFolder);
    EXPECT_EQ(list.ItemIcon(RowOf(list, QStringLiteral("huge.img"))), kIconLocalFile);

    const struct
    {
        const char* name;
        const char* size;
    } sizes[] = {{"empty.bin", "0"},
                 {"b999.txt", "999"},
                 {"c1000.dat", "1,000"},
                 {"max32.iso", "4,294,967,295"},
                 {"huge.img", "5,000,000,000"},
                 {"docs", ""}};
    for (const auto& s : sizes)
        EXPECT_EQ(Cell(list, RowOf(list, QString::fromLatin1(s.name)), 1).toStdString(), s.size)
            << s.name;
    EXPECT_EQ(Cell(list, RowOf(list, QStringLiteral(".profile")), 2),
              QStringLiteral("3/7/07 2:05 PM"));
}

TEST(LocalList, SortCommandsRebuildFromMemory)
{
    PrepareHome();
    CProgramRun run(Home());
    CMainFrame& frame = run.Frame();
    CMyListView& list = *frame.ListPane(0);
    // Made after the fill: a re-sort must not show it, the next read must.
    MakeLocalFile(Home() + QStringLiteral("/zz-new.txt"), 1);

    frame.findChild<QAction*>(QStringLiteral("actionSortBySize"))->trigger();
    EXPECT_EQ(theApp().sortType, QStringLiteral("3"));
    EXPECT_EQ(ShownNames(list), (QStringList{"docs", "Music", "only files", "empty.bin", ".profile",
                                             "b999.txt", "c1000.dat", "max32.iso", "huge.img"}));
    EXPECT_EQ(list.SelectedRows(), QList<int>{0});

    frame.findChild<QAction*>(QStringLiteral("actionSortByDate"))->trigger();
    EXPECT_EQ(ShownNames(list).mid(3, 3), (QStringList{"empty.bin", "b999.txt", ".profile"}));
    EXPECT_FALSE(ShownNames(list).contains(QStringLiteral("zz-new.txt")));

    frame.findChild<QAction*>(QStringLiteral("actionRefresh"))->trigger();
    EXPECT_TRUE(ShownNames(list).contains(QStringLiteral("zz-new.txt")));
}

TEST(LocalTree, DrivesExpandingAndCollapsing)
{
    PrepareHome();
    CProgramRun run(Home());
    CMainFrame& frame = run.Frame();
    CMyTreeView& tree = *frame.TreePane(0);
    CMyListView& list = *frame.ListPane(0);
    ASSERT_NE(tree.rootItem, nullptr);
    EXPECT_EQ(tree.rootItem->text(0), QStringLiteral("Local Computer"));
    EXPECT_EQ(CMyTreeView::IconOf(tree.rootItem), kIconLocalComputer);
    QTreeWidgetItem* home = HomeDrive(tree);
    ASSERT_NE(home, nullptr);
    EXPECT_EQ(home->text(0), Home());
    EXPECT_EQ(tree.rootItem->child(1)->text(0), QStringLiteral("/"));
    EXPECT_EQ(CMyTreeView::IconOf(home), kIconDrive);
    EXPECT_EQ(tree.currentItem(), home);
    // Unread: one placeholder.
    ASSERT_EQ(home->childCount(), 1);
    EXPECT_EQ(home->child(0)->text(0), QStringLiteral("Empty Folder"));

    home->setExpanded(true);
    QStringList folders;
    for (int i = 0; i < home->childCount(); ++i)
        folders.append(home->child(i)->text(0));
    EXPECT_EQ(folders, (QStringList{"docs", "Music", "only files"}));

    QTreeWidgetItem* onlyFiles = Child(home, QStringLiteral("only files"));
    ASSERT_NE(onlyFiles, nullptr);
    EXPECT_EQ(tree.LocalPathOf(onlyFiles), Home() + QStringLiteral("/only files/"));
    onlyFiles->setExpanded(true);
    EXPECT_EQ(onlyFiles->childCount(), 0) << "a folder of files loses its placeholder";

    // Selecting a folder shows it; collapsing an item selects it.
    QTreeWidgetItem* docs = Child(home, QStringLiteral("docs"));
    tree.setCurrentItem(docs);
    EXPECT_EQ(list.path, Home() + QStringLiteral("/docs/"));
    EXPECT_EQ(ShownNames(list), QStringList{"inner"});
    home->setExpanded(false);
    EXPECT_EQ(tree.currentItem(), home);
    EXPECT_EQ(list.path, Home() + QLatin1Char('/'));

    // "Local Computer" empties the list but keeps its folder and its count.
    const QString count = frame.StatusText(1);
    tree.setCurrentItem(tree.rootItem);
    EXPECT_EQ(list.ItemCount(), 0);
    EXPECT_EQ(list.path, Home() + QLatin1Char('/'));
    EXPECT_EQ(frame.StatusText(1), count);
}

TEST(LocalTree, UnreadableFoldersGiveEmptyLists)
{
    PrepareHome();
    CProgramRun run(Home());
    CMyListView& list = *run.Frame().ListPane(0);
    list.FillList(Home() + QStringLiteral("/gone/"));
    EXPECT_EQ(list.ItemCount(), 0);
    EXPECT_EQ(run.Frame().StatusText(1), QStringLiteral("Local: 0 Items"));
}

TEST(LocalList, OddNamesAreShownAsTheyAre)
{
    QDir().mkpath(Home());
    const QStringList names = {"with space.txt", "\u0444\u0430\u0439\u043b.txt", "100%.txt",
                               "semi;colon", "tab\there"};
    for (const QString& name : names)
        MakeLocalFile(Home() + QLatin1Char('/') + name, 1);
    CProgramRun run(Home());
    QStringList shown = ShownNames(*run.Frame().ListPane(0));
    shown.sort();
    QStringList expected = names;
    expected.sort();
    EXPECT_EQ(shown, expected);
}
