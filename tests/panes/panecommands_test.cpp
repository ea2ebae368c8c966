// The commands inside the panes: context menus, New Folder, renaming, the keys.
#include "app/mainframe.h"
#include "app/vantorapp.h"
#include "app/vantordoc.h"
#include "ftp/filemessages.h"
#include "panes/mylistview.h"
#include "panes/mytreeview.h"
#include "profiles/profilerecord.h"
#include "tests/fixtures/ftpserverfixture.h"
#include "tests/fixtures/programrun.h"
#include "tests/fixtures/testenvironment.h"
#include "tests/fixtures/testhelpers.h"
#include "tests/panes/panetesting.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QLineEdit>
#include <QMenu>
#include <QTest>

#include <gtest/gtest.h>

namespace {

const QString kRenameError = FileMessages::RenameText();

// home: docs/, a.txt, b.txt; server: pub/, Upload/, x.txt, y.txt
void PrepareBothSides(const CFtpServerFixture& server)
{
    QDir().mkpath(Home() + QStringLiteral("/docs"));
    MakeLocalFile(Home() + QStringLiteral("/a.txt"), 3);
    MakeLocalFile(Home() + QStringLiteral("/b.txt"), 4);
    server.MakeFolder(QStringLiteral("pub"));
    server.MakeFolder(QStringLiteral("Upload"));
    server.MakeFile(QStringLiteral("x.txt"), "xxx");
    server.MakeFile(QStringLiteral("y.txt"), "yyyy");
}

// The menu a right click at `at` (viewport coordinates) opens; null for none. The menu is
// closed again by the caller through CloseMenu.
QMenu* RightClick(QAbstractItemView& view, const QPoint& at)
{
    QContextMenuEvent click(QContextMenuEvent::Mouse, at, view.viewport()->mapToGlobal(at));
    QApplication::sendEvent(view.viewport(), &click);
    return view.findChild<QMenu*>(QStringLiteral("paneMenu"));
}

void CloseMenu(QMenu* menu)
{
    if (menu)
        delete menu;
}

QString MenuState(QMenu* menu)
{
    if (!menu)
        return QStringLiteral("no menu");
    QStringList states;
    for (QAction* action : menu->actions())
        states.append(action->objectName().mid(6) + (action->isEnabled() ? "" : "(grey)"));
    return states.join(QLatin1Char(' '));
}

// The open name editor; closed ones linger hidden until deleted.
QLineEdit* Editor(QAbstractItemView& view)
{
    for (QLineEdit* editor : view.findChildren<QLineEdit*>()) {
        if (!editor->isHidden())
            return editor;
    }
    return nullptr;
}

// Types `text` into the open name editor and presses Enter.
void TypeName(QAbstractItemView& view, const QString& text)
{
    QLineEdit* editor = Editor(view);
    ASSERT_NE(editor, nullptr) << "no name is being edited";
    editor->setText(text);
    QTest::keyClick(editor, Qt::Key_Return);
    // The editor hands its text over through a queued call.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
}

void PressKey(QWidget& widget, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QKeyEvent press(QEvent::KeyPress, key, modifiers);
    QApplication::sendEvent(&widget, &press);
}

void DoubleClick(QAbstractItemView& view, const QPoint& at)
{
    const QPointF local(at);
    const QPointF global(view.viewport()->mapToGlobal(at));
    for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease,
                                    QEvent::MouseButtonDblClick, QEvent::MouseButtonRelease}) {
        const Qt::MouseButtons held =
            type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
        QMouseEvent mouse(type, local, global, Qt::LeftButton, held, Qt::NoModifier);
        QApplication::sendEvent(view.viewport(), &mouse);
    }
}

} // namespace

TEST(PaneCommands, ContextMenusAndTheirGreying)
{
    CFtpServerFixture server;
    PrepareBothSides(server);
    CProgramRun run(Home(), ProfileFor(server));
    CMainFrame& frame = run.Frame();
    CMyTreeView& localTree = *frame.TreePane(0);
    CMyTreeView& ftpTree = *frame.TreePane(1);
    CMyListView& localList = *frame.ListPane(0);
    CMyListView& ftpList = *frame.ListPane(1);
    QTreeWidgetItem* drive = TreeItem(localTree, {Home()});
    drive->setExpanded(true);

    const struct
    {
        const char* what;
        QAbstractItemView* view;
        std::function<QPoint()> at;
        const char* menu;
    } rows[] = {
        {"local list, on an item", &localList,
         [&] { return RowPoint(localList, QStringLiteral("a.txt")); },
         "NewFolder Rename Delete Upload"},
        {"local list, below the items", &localList, [&] { return EmptyPoint(localList); },
         "NewFolder Rename(grey) Delete(grey) Upload"},
        {"FTP list, on an item", &ftpList,
         [&] { return RowPoint(ftpList, QStringLiteral("x.txt")); },
         "NewFolder Rename Delete Attributes Download"},
        {"FTP list, below the items", &ftpList, [&] { return EmptyPoint(ftpList); },
         "NewFolder Rename(grey) Delete(grey) Attributes Download"},
        {"local tree, Local Computer", &localTree,
         [&] { return ItemPoint(localTree, localTree.rootItem); }, "no menu"},
        {"local tree, a drive", &localTree, [&] { return ItemPoint(localTree, drive); },
         "NewFolder Rename(grey) Delete(grey) Upload(grey)"},
        {"local tree, a folder", &localTree,
         [&] {
             return ItemPoint(localTree, TreeItem(localTree, {Home(), "docs"}));
         },
         "NewFolder Rename Delete Upload"},
        {"local tree, no item", &localTree, [&] { return EmptyPoint(localTree); },
         "NewFolder Rename(grey) Delete(grey) Upload(grey)"},
        {"FTP tree, the root", &ftpTree, [&] { return ItemPoint(ftpTree, ftpTree.rootItem); },
         "NewFolder Rename(grey) Delete(grey) Download(grey)"},
        {"FTP tree, a folder", &ftpTree,
         [&] { return ItemPoint(ftpTree, TreeItem(ftpTree, {"pub"})); },
         "NewFolder Rename Delete Download"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        QMenu* menu = RightClick(*row.view, row.at());
        EXPECT_EQ(MenuState(menu), QString::fromLatin1(row.menu));
        CloseMenu(menu);
    }
    // The right click selects the tree item, so that the list shows it.
    EXPECT_EQ(ftpList.path, QStringLiteral("//pub/"));

    // Without a server the FTP panes have no menu.
    theApp().ftpUnavailable = true;
    EXPECT_EQ(RightClick(ftpList, EmptyPoint(ftpList)), nullptr);
    EXPECT_EQ(RightClick(ftpTree, ItemPoint(ftpTree, ftpTree.rootItem)), nullptr);
    theApp().ftpUnavailable = false;
}

TEST(PaneCommands, NewFolderTakesTheFirstFreeNameAndStartsEditingIt)
{
    const struct
    {
        const char* what;
        QStringList folders;
        QStringList files;
        const char* made;
    } rows[] = {
        {"empty", {}, {}, "NewFolder1"},
        {"a gap", {"NewFolder1", "NewFolder3"}, {}, "NewFolder2"},
        {"case counts", {"newfolder1"}, {}, "NewFolder1"},
        {"a file takes the name too", {"NewFolder1"}, {"NewFolder2"}, "NewFolder3"},
    };
    for (int i = 0; i < int(std::size(rows)); ++i) {
        const QString folder = Home() + QStringLiteral("/row%1").arg(i);
        QDir().mkpath(folder);
        for (const QString& name : rows[i].folders)
            QDir().mkpath(folder + QLatin1Char('/') + name);
        for (const QString& name : rows[i].files)
            MakeLocalFile(folder + QLatin1Char('/') + name, 1);
    }
    CProgramRun run(Home());
    CMyTreeView& tree = *run.Frame().TreePane(0);
    CMyListView& list = *run.Frame().ListPane(0);
    QTreeWidgetItem* drive = TreeItem(tree, {Home()});
    drive->setExpanded(true);
    for (int i = 0; i < int(std::size(rows)); ++i) {
        SCOPED_TRACE(rows[i].what);
        const QString folder = QStringLiteral("row%1").arg(i);
        tree.setCurrentItem(TreeItem(tree, {Home(), folder}));
        QMenu* menu = RightClick(list, EmptyPoint(list));
        ASSERT_NE(menu, nullptr);
        menu->findChild<QAction*>(QStringLiteral("actionNewFolder"))->trigger();
        CloseMenu(menu);
        const QString made = QString::fromLatin1(rows[i].made);
        EXPECT_TRUE(QFileInfo(Home() + "/" + folder + "/" + made).isDir());
        EXPECT_EQ(ShownNames(list).last(), made) << "placed last";
        EXPECT_TRUE(list.EditingLabel());
        ASSERT_NE(Editor(list), nullptr);
        EXPECT_EQ(Editor(list)->text(), made);
        // The tree learnt of it.
        EXPECT_NE(TreeItem(tree, {Home(), folder, made}), nullptr);
        QTest::keyClick(Editor(list), Qt::Key_Escape);
        EXPECT_FALSE(list.EditingLabel());
    }
}

TEST(PaneCommands, RenamingInTheLists)
{
    CFtpServerFixture server;
    PrepareBothSides(server);
    CProgramRun run(Home(), ProfileFor(server));
    CMainFrame& frame = run.Frame();
    // An expansion makes another server folder current; the list still means its own.
    TreeItem(*frame.TreePane(1), {"pub"})->setExpanded(true);

    const struct
    {
        const char* what;
        int side;
        const char* from;
        const char* to;
        bool renamed;
    } rows[] = {
        {"local", 0, "a.txt", "c.txt", true},
        {"local, onto a taken name", 0, "b.txt", "c.txt", false},
        {"local, a name with a slash", 0, "b.txt", "docs/b.txt", false},
        {"local, a folder", 0, "docs", "papers", true},
        {"server", 1, "x.txt", "z.txt", true},
        {"server, onto a taken name", 1, "y.txt", "z.txt", false},
        {"server, up a folder", 1, "y.txt", "../y.txt", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        CMyListView& list = *frame.ListPane(row.side);
        const QString root = row.side == 0 ? Home() : server.Root();
        const QString from = QString::fromLatin1(row.from);
        const QString to = QString::fromLatin1(row.to);
        const QByteArray content = ReadFile(root + "/" + from);
        const int at = ShownNames(list).indexOf(from);
        ASSERT_GE(at, 0);
        list.edit(list.model()->index(at, 0));
        if (!row.renamed)
            run.Boxes().Expect(kRenameError, FileMessages::RenameCaption(), MsgIcon::Stop);
        TypeName(list, to);
        EXPECT_EQ(run.Boxes().Pending(), 0);
        if (row.renamed) {
            EXPECT_EQ(ShownNames(list)[at], to);
            EXPECT_FALSE(QFileInfo::exists(root + "/" + from));
            EXPECT_EQ(ReadFile(root + "/" + to), content);
            EXPECT_FALSE(list.EditingLabel());
        } else {
            // Unchanged, and editing again so that the user can correct the name.
            EXPECT_EQ(ShownNames(list)[at], from);
            EXPECT_EQ(ReadFile(root + "/" + from), content);
            EXPECT_TRUE(list.EditingLabel());
            ASSERT_NE(Editor(list), nullptr);
            QTest::keyClick(Editor(list), Qt::Key_Escape);
        }
    }
    EXPECT_EQ(ReadFile(Home() + "/c.txt").size(), 3) << "the taken name kept its own content";
    EXPECT_EQ(ReadFile(server.Root() + "/z.txt"), "xxx");
    // The tree follows a renamed folder.
    EXPECT_NE(TreeItem(*frame.TreePane(0), {Home(), "papers"}), nullptr);
}

TEST(PaneCommands, RenamingInTheTree)
{
    QDir().mkpath(Home() + QStringLiteral("/docs/inner"));
    CProgramRun run(Home());
    CMyTreeView& tree = *run.Frame().TreePane(0);
    CMyListView& list = *run.Frame().ListPane(0);
    QTreeWidgetItem* drive = TreeItem(tree, {Home()});
    drive->setExpanded(true);

    // Drives and the roots keep their names.
    for (QTreeWidgetItem* fixed : {tree.rootItem, drive, run.Frame().TreePane(1)->rootItem}) {
        CMyTreeView& owner = *static_cast<CMyTreeView*>(fixed->treeWidget());
        owner.editItem(fixed);
        EXPECT_EQ(Editor(owner), nullptr) << fixed->text(0).toStdString();
        EXPECT_FALSE(owner.EditingLabel());
    }

    QTreeWidgetItem* docs = TreeItem(tree, {Home(), "docs"});
    tree.setCurrentItem(docs);
    ASSERT_EQ(ShownNames(list), QStringList{"inner"});
    tree.editItem(docs);
    TypeName(tree, QStringLiteral("papers"));
    EXPECT_EQ(docs->text(0), QStringLiteral("papers"));
    EXPECT_TRUE(QFileInfo(Home() + "/papers/inner").isDir());
    EXPECT_EQ(list.path, Home() + QStringLiteral("/papers/"));
    EXPECT_EQ(ShownNames(list), QStringList{"inner"});

    // A failed rename: the message, the old name, editing again.
    QDir().mkpath(Home() + QStringLiteral("/taken"));
    run.Boxes().Expect(kRenameError);
    tree.editItem(docs);
    TypeName(tree, QStringLiteral("taken"));
    EXPECT_EQ(docs->text(0), QStringLiteral("papers"));
    EXPECT_TRUE(tree.EditingLabel());
    EXPECT_TRUE(QFileInfo(Home() + "/papers/inner").isDir());
}

TEST(PaneCommands, DeleteWhileEditingANameDeletesNothing)
{
    QDir().mkpath(Home() + QStringLiteral("/docs"));
    MakeLocalFile(Home() + QStringLiteral("/a.txt"), 3);
    CProgramRun run(Home());
    CMyListView& list = *run.Frame().ListPane(0);
    CMyTreeView& tree = *run.Frame().TreePane(0);
    TreeItem(tree, {Home()})->setExpanded(true);

    SelectNames(list, {QStringLiteral("a.txt")});
    list.edit(list.model()->index(ShownNames(list).indexOf("a.txt"), 0));
    ASSERT_TRUE(list.EditingLabel());
    PressKey(list, Qt::Key_Delete);
    PressKey(*Editor(list), Qt::Key_Delete);
    QTest::keyClick(Editor(list), Qt::Key_Escape);

    QTreeWidgetItem* docs = TreeItem(tree, {Home(), "docs"});
    tree.setCurrentItem(docs);
    tree.editItem(docs);
    ASSERT_TRUE(tree.EditingLabel());
    PressKey(tree, Qt::Key_Delete);

    EXPECT_EQ(
        run.Boxes().Count(QStringLiteral("Are you sure you want to delete the selected item(s)?")),
        0);
    EXPECT_TRUE(QFileInfo::exists(Home() + "/a.txt"));
    EXPECT_TRUE(QFileInfo::exists(Home() + "/docs"));
}

TEST(PaneCommands, TabGoesRoundTheFourPanes)
{
    CFtpServerFixture server;
    PrepareBothSides(server);
    CProgramRun run(Home(), ProfileFor(server));
    CMainFrame& frame = run.Frame();
    QWidget* const order[] = {frame.TreePane(0), frame.ListPane(0), frame.TreePane(1),
                              frame.ListPane(1)};
    frame.TreePane(0)->setFocus();
    for (int i = 1; i <= 4; ++i) {
        PressKey(*frame.focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(frame.focusWidget(), order[i % 4]) << "Tab " << i;
    }
    for (int i = 1; i <= 4; ++i) {
        PressKey(*frame.focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
        EXPECT_EQ(frame.focusWidget(), order[(8 - i) % 4]) << "Shift+Tab " << i;
    }
}

TEST(PaneCommands, OpeningFoldersFromTheListAndGoingBack)
{
    QDir().mkpath(Home() + QStringLiteral("/docs/inner"));
    MakeLocalFile(Home() + QStringLiteral("/docs/inner/deep.txt"), 1);
    CProgramRun run(Home());
    CMyTreeView& tree = *run.Frame().TreePane(0);
    CMyListView& list = *run.Frame().ListPane(0);

    // A double click on a folder opens it, and the tree follows.
    DoubleClick(list, RowPoint(list, QStringLiteral("docs")));
    EXPECT_EQ(list.path, Home() + QStringLiteral("/docs/"));
    EXPECT_EQ(tree.currentItem(), TreeItem(tree, {Home(), "docs"}));
    // Enter does the same.
    list.setCurrentIndex(list.model()->index(0, 0));
    PressKey(list, Qt::Key_Return);
    EXPECT_EQ(list.path, Home() + QStringLiteral("/docs/inner/"));
    EXPECT_EQ(ShownNames(list), QStringList{"deep.txt"});
    // Enter on a file opens nothing.
    PressKey(list, Qt::Key_Return);
    EXPECT_EQ(list.path, Home() + QStringLiteral("/docs/inner/"));
    // Backspace goes up, as far as the drive.
    PressKey(list, Qt::Key_Backspace);
    PressKey(list, Qt::Key_Backspace);
    PressKey(list, Qt::Key_Backspace);
    EXPECT_EQ(list.path, Home() + QLatin1Char('/'));
    EXPECT_EQ(tree.currentItem(), TreeItem(tree, {Home()}));
}

namespace {

const QString kConfirmDelete =
    QStringLiteral("Are you sure you want to delete the selected item(s)?");

} // namespace

TEST(PaneCommands, DeleteInTheListsRemovesTheSelectionAndRefreshes)
{
    CFtpServerFixture server;
    PrepareBothSides(server);
    MakeLocalFile(Home() + QStringLiteral("/docs/inner.txt"), 1);
    server.MakeFile(QStringLiteral("pub/inner.txt"), "i");
    CProgramRun run(Home(), ProfileFor(server));
    CMainFrame& frame = run.Frame();
    TreeItem(*frame.TreePane(0), {Home()})->setExpanded(true);

    for (const int side : {0, 1}) {
        SCOPED_TRACE(side == 0 ? "local" : "FTP");
        CMyListView& list = *frame.ListPane(side);
        CMyTreeView& tree = *frame.TreePane(side);
        const QString root = side == 0 ? Home() : server.Root();
        const QString folder = side == 0 ? QStringLiteral("docs") : QStringLiteral("pub");
        const QString file = side == 0 ? QStringLiteral("a.txt") : QStringLiteral("x.txt");
        const QString kept = side == 0 ? QStringLiteral("b.txt") : QStringLiteral("y.txt");
        const QStringList treeAbove = side == 0 ? QStringList{Home()} : QStringList{};

        // Cancelled: nothing goes.
        SelectNames(list, {folder, file});
        run.Boxes().Expect(kConfirmDelete, QStringLiteral("Confirm File Delete"), MsgIcon::Question,
                           MsgAnswer::Cancel);
        PressKey(list, Qt::Key_Delete);
        EXPECT_TRUE(QFileInfo::exists(root + "/" + file));

        // Confirmed: the folder with its content and the file go; the list and the tree
        // show it.
        run.Boxes().Expect(kConfirmDelete);
        PressKey(list, Qt::Key_Delete);
        EXPECT_EQ(run.Boxes().Pending(), 0);
        EXPECT_FALSE(QFileInfo::exists(root + "/" + folder));
        EXPECT_FALSE(QFileInfo::exists(root + "/" + file));
        EXPECT_TRUE(QFileInfo::exists(root + "/" + kept));
        EXPECT_FALSE(ShownNames(list).contains(folder));
        EXPECT_TRUE(ShownNames(list).contains(kept));
        EXPECT_EQ(TreeItem(tree, treeAbove + QStringList{folder}), nullptr);

        // Nothing selected: the question, and nothing deleted.
        list.clearSelection();
        run.Boxes().Expect(kConfirmDelete);
        PressKey(list, Qt::Key_Delete);
        EXPECT_TRUE(QFileInfo::exists(root + "/" + kept));
    }
}

TEST(PaneCommands, DeleteInTheTreeRemovesTheFolderTheListShows)
{
    QDir().mkpath(Home() + QStringLiteral("/docs/inner"));
    QDir().mkpath(Home() + QStringLiteral("/keep"));
    CProgramRun run(Home());
    CMyTreeView& tree = *run.Frame().TreePane(0);
    CMyListView& list = *run.Frame().ListPane(0);
    QTreeWidgetItem* drive = TreeItem(tree, {Home()});
    drive->setExpanded(true);

    // A drive is no folder: the key goes to the control, nothing is asked.
    tree.setCurrentItem(drive);
    PressKey(tree, Qt::Key_Delete);

    // The list could not follow the tree (a folder read that failed keeps the tree from
    // filling it): the folder the list shows is not the one selected, so nothing goes.
    tree.readingFolder = true;
    tree.setCurrentItem(TreeItem(tree, {Home(), "keep"}));
    tree.readingFolder = false;
    ASSERT_EQ(list.path, Home() + QLatin1Char('/'));
    run.Boxes().Expect(kConfirmDelete);
    PressKey(tree, Qt::Key_Delete);
    EXPECT_TRUE(QFileInfo::exists(Home() + "/keep"));
    EXPECT_TRUE(QFileInfo::exists(Home() + "/docs/inner"));

    tree.setCurrentItem(TreeItem(tree, {Home(), "docs"}));
    ASSERT_EQ(list.path, Home() + QStringLiteral("/docs/"));
    run.Boxes().Expect(kConfirmDelete);
    PressKey(tree, Qt::Key_Delete);
    EXPECT_EQ(run.Boxes().Pending(), 0);
    EXPECT_FALSE(QFileInfo::exists(Home() + "/docs"));
    EXPECT_EQ(TreeItem(tree, {Home(), "docs"}), nullptr);
    EXPECT_EQ(tree.currentItem(), TreeItem(tree, {Home()}));
    EXPECT_EQ(list.path, Home() + QLatin1Char('/'));
    EXPECT_EQ(ShownNames(list), QStringList{"keep"});
}

TEST(PaneCommands, ARefillWhileANameIsEditedGivesTheKeysBack)
{
    QDir().mkpath(Home() + QStringLiteral("/docs/inner"));
    MakeLocalFile(Home() + QStringLiteral("/docs/a.txt"), 3);
    CProgramRun run(Home());
    CMyListView& list = *run.Frame().ListPane(0);
    CMyTreeView& tree = *run.Frame().TreePane(0);
    TreeItem(tree, {Home()})->setExpanded(true);
    QTreeWidgetItem* docs = TreeItem(tree, {Home(), "docs"});
    tree.setCurrentItem(docs);
    docs->setExpanded(true);
    const QString confirm = QStringLiteral("Are you sure you want to delete the selected item(s)?");

    // The list is filled again while a file's name is edited: its editor goes with its row.
    SelectNames(list, {QStringLiteral("a.txt")});
    list.edit(list.model()->index(ShownNames(list).indexOf("a.txt"), 0));
    ASSERT_TRUE(list.EditingLabel());
    list.FillList(list.path);
    EXPECT_FALSE(list.EditingLabel());
    SelectNames(list, {QStringLiteral("a.txt")});
    run.Boxes().Expect(confirm, MsgAnswer::Cancel);
    PressKey(list, Qt::Key_Delete);
    EXPECT_EQ(run.Boxes().Pending(), 0) << "Delete asks again";
    PressKey(list, Qt::Key_Backspace);
    EXPECT_EQ(list.path, Home() + QStringLiteral("/")) << "Backspace opens the parent";

    // The tree reads a folder again while a folder below it is being renamed.
    QTreeWidgetItem* homeItem = TreeItem(tree, {Home()});
    tree.setCurrentItem(TreeItem(tree, {Home(), "docs"}));
    tree.editItem(TreeItem(tree, {Home(), "docs", "inner"}));
    ASSERT_TRUE(tree.EditingLabel());
    tree.ReadLocalFolder(tree.LocalPathOf(homeItem), homeItem);
    EXPECT_FALSE(tree.EditingLabel());
    tree.setCurrentItem(TreeItem(tree, {Home(), "docs"}));
    PressKey(tree, Qt::Key_Backspace);
    EXPECT_EQ(tree.currentItem(), homeItem) << "Backspace selects the parent";
    EXPECT_TRUE(QFileInfo::exists(Home() + "/docs/a.txt"));
}

TEST(PaneCommands, RenamingOnlyTheCaseOnTheServer)
{
    // A server that matches names without regard to case answers for "A.txt" with "a.txt"
    // itself: that is no clash. Another file that matches is one, and so is an exact name on
    // a server that tells case apart.
    const struct
    {
        const char* what;
        bool caseBlind;
        const char* from;
        const char* to;
        bool renamed;
    } rows[] = {
        {"case-blind server, the case of the same file", true, "a.txt", "A.txt", true},
        {"case-blind server, the case of a folder", true, "docs", "Docs", true},
        {"case-blind server, another file in other case", true, "b.txt", "C.TXT", false},
        {"case-sensitive server, the case of the same file", false, "a.txt", "A.txt", true},
        {"case-sensitive server, an existing name in other case", false, "b.txt", "C.txt", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        CFtpServerFixture server(row.caseBlind ? QStringList{QStringLiteral("--case-blind")}
                                               : QStringList{});
        server.MakeFile(QStringLiteral("a.txt"), "aaa");
        server.MakeFile(QStringLiteral("b.txt"), "bbb");
        server.MakeFile(QStringLiteral("c.txt"), "ccc");
        server.MakeFile(QStringLiteral("C.txt"), "CCC");
        server.MakeFolder(QStringLiteral("docs"));
        CProgramRun run(Home(), ProfileFor(server));
        CMyListView& list = *run.Frame().ListPane(1);
        const QString from = QString::fromLatin1(row.from);
        const QString to = QString::fromLatin1(row.to);
        const QByteArray content = ReadFile(server.Root() + "/" + from);
        const int at = ShownNames(list).indexOf(from);
        ASSERT_GE(at, 0);
        list.edit(list.model()->index(at, 0));
        if (!row.renamed)
            run.Boxes().Expect(kRenameError);
        TypeName(list, to);
        EXPECT_EQ(run.Boxes().Pending(), 0);
        const QStringList onServer =
            QDir(server.Root()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
        if (row.renamed) {
            EXPECT_EQ(ShownNames(list)[at], to);
            EXPECT_TRUE(onServer.contains(to));
            EXPECT_FALSE(onServer.contains(from));
            EXPECT_EQ(ReadFile(server.Root() + "/" + to), content);
        } else {
            EXPECT_EQ(ShownNames(list)[at], from);
            EXPECT_EQ(ReadFile(server.Root() + "/" + from), content);
            EXPECT_EQ(ReadFile(server.Root() + "/c.txt"), "ccc");
            EXPECT_EQ(ReadFile(server.Root() + "/C.txt"), "CCC");
            QTest::keyClick(Editor(list), Qt::Key_Escape);
        }
    }
}
