// Where a drop lands besides folder rows (the folder a list shows), what the user sees
// while dragging (the drop frame, scrolling near an edge, a closed folder that opens), and
// Download/Upload, which copy as a drop does without a mouse.
#include "app/mainframe.h"
#include "app/vantorapp.h"
#include "panes/droprunner.h"
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
#include <QFileInfo>
#include <QImage>
#include <QMenu>
#include <QMimeData>
#include <QPointer>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <gtest/gtest.h>

namespace {

QWidget* DropFrame(const QAbstractItemView& view)
{
    return view.viewport()->findChild<QWidget*>(QStringLiteral("dropFrame"));
}

// Files "from the desktop": a folder outside every pane, as a file manager drags it.
std::unique_ptr<QMimeData> DesktopFiles()
{
    const QString desktop = TestCaseFolder() + QStringLiteral("/desktop");
    MakeLocalFile(desktop + QStringLiteral("/photo.jpg"), 7);
    auto data = std::make_unique<QMimeData>();
    data->setUrls({QUrl::fromLocalFile(desktop + QStringLiteral("/photo.jpg"))});
    return data;
}

} // namespace

TEST(PaneDrop, TheEmptyAreaOfAListCopiesIntoTheFolderItShows)
{
    CFtpServerFixture server;
    PrepareCopySides(server, 3);
    CProgramRun run(Home(), ProfileFor(server));
    Panes panes(run.Frame());
    panes.ShowTop(0);
    panes.ShowTop(1);
    const auto show = [&](int side, const QString& folder) {
        panes.tree[side]->setCurrentItem(panes.Folder(side, folder));
        ASSERT_TRUE(ShownNames(*panes.list[side]).isEmpty());
    };

    // The local list's items into the folder the FTP list shows.
    SelectNames(*panes.list[0], {"d", "f.txt"});
    std::unique_ptr<QMimeData> data = panes.list[0]->PrepareDrag();
    show(1, "in0");
    run.Boxes().Expect(kConfirmCopyText);
    EXPECT_TRUE(DragOver(*panes.list[1], *data, EmptyPoint(*panes.list[1])));
    EXPECT_TRUE(panes.list[1]->DropOnFolderShown());
    EXPECT_TRUE(DropOn(*panes.list[1], *data, EmptyPoint(*panes.list[1])));
    EXPECT_EQ(ReadFile(server.Root() + "/in0/d/g.txt"), "gg");
    EXPECT_EQ(ReadFile(server.Root() + "/in0/f.txt"), "ff");
    EXPECT_EQ(ShownNames(*panes.list[1]), (QStringList{"d", "f.txt"})) << "the list shows them";

    // A server folder from the FTP tree into the folder the local list shows.
    panes.ShowTop(1);
    data = panes.tree[1]->PrepareDrag(panes.Folder(1, "d"));
    show(0, "in1");
    run.Boxes().Expect(kConfirmCopyText);
    EXPECT_TRUE(DropOn(*panes.list[0], *data, EmptyPoint(*panes.list[0])));
    EXPECT_EQ(ReadFile(Home() + "/in1/d/g.txt"), "gg");
    EXPECT_EQ(ShownNames(*panes.list[0]), QStringList{"d"});

    // Files from the desktop into the folder the local list shows.
    show(0, "in2");
    data = DesktopFiles();
    run.Boxes().Expect(kConfirmCopyText);
    EXPECT_TRUE(DropOn(*panes.list[0], *data, EmptyPoint(*panes.list[0])));
    EXPECT_EQ(ReadFile(Home() + "/in2/photo.jpg").size(), 7);
    EXPECT_EQ(ShownNames(*panes.list[0]), QStringList{"photo.jpg"});
    EXPECT_EQ(run.Boxes().Pending(), 0);
}

TEST(PaneDrag, TheDropTargetIsFramedNotShownAsSelected)
{
    MakeLocalFile(Home() + QStringLiteral("/docs/inner.txt"), 1);
    MakeLocalFile(Home() + QStringLiteral("/a.txt"), 1);
    CProgramRun run(Home());
    CMyListView& list = *run.Frame().ListPane(0);
    run.Frame().resize(900, 700);
    list.clearSelection();
    const std::unique_ptr<QMimeData> data = DesktopFiles();

    // A folder row: a frame round the row, the row itself painted as before.
    const QPoint docs = RowPoint(list, QStringLiteral("docs"));
    const QImage before = list.viewport()->grab().toImage();
    ASSERT_TRUE(DragOver(list, *data, docs));
    const QRect row(0, list.visualRect(list.indexAt(docs)).top(), list.viewport()->width(),
                    list.visualRect(list.indexAt(docs)).height());
    EXPECT_TRUE(DropFrame(list)->isVisible());
    EXPECT_EQ(DropFrame(list)->geometry(), row);
    EXPECT_TRUE(list.selectionModel()->selectedRows().isEmpty());
    const QImage during = list.viewport()->grab().toImage();
    const QColor frameColor = list.palette().color(QPalette::Highlight);
    const QPoint edge(row.center().x(), row.top());
    const QPoint inside(row.right() - 20, row.center().y());
    EXPECT_EQ(during.pixelColor(edge), frameColor);
    EXPECT_EQ(during.pixelColor(inside), before.pixelColor(inside)) << "not filled as selected";

    // The empty area: the frame goes round the whole list.
    ASSERT_TRUE(DragOver(list, *data, EmptyPoint(list), false));
    EXPECT_TRUE(list.DropOnFolderShown());
    EXPECT_EQ(DropFrame(list)->geometry(), list.viewport()->rect());
    DragLeave(list);
    EXPECT_FALSE(DropFrame(list)->isVisible());
}

TEST(PaneDrag, ADragNearAnEdgeScrollsAndAClosedFolderOpensWhenTheDragRestsOnIt)
{
    for (int i = 0; i < 200; ++i)
        MakeLocalFile(Home() + QStringLiteral("/many/%1.txt").arg(i, 3, 10, QLatin1Char('0')), 1);
    MakeLocalFile(Home() + QStringLiteral("/many/inner/x.txt"), 1);
    CProgramRun run(Home());
    Panes panes(run.Frame());
    CMyListView& list = *panes.list[0];
    list.FillList(Home() + QStringLiteral("/many/"));
    const std::unique_ptr<QMimeData> data = DesktopFiles();

    QScrollBar* bar = list.verticalScrollBar();
    ASSERT_GT(bar->maximum(), 0);
    ASSERT_EQ(bar->value(), 0);
    DragOver(list, *data, QPoint(list.viewport()->width() / 2, list.viewport()->height() - 4));
    EXPECT_TRUE(QTest::qWaitFor([&] { return bar->value() > 0; }));
    DragOver(list, *data, QPoint(list.viewport()->width() / 2, 3), false);
    EXPECT_TRUE(QTest::qWaitFor([&] { return bar->value() == 0; }));
    DragLeave(list);

    CMyTreeView& tree = *panes.tree[0];
    QTreeWidgetItem* home = panes.Top(0);
    home->setExpanded(true);
    QTreeWidgetItem* many = panes.Folder(0, QStringLiteral("many"));
    ASSERT_NE(many, nullptr);
    ASSERT_FALSE(many->isExpanded());
    ASSERT_TRUE(DragOver(tree, *data, ItemPoint(tree, many)));
    EXPECT_TRUE(QTest::qWaitFor([&] { return many->isExpanded(); }));
    EXPECT_NE(TreeItem(tree, {Home(), QStringLiteral("many"), QStringLiteral("inner")}), nullptr);
    DragLeave(tree);
}

TEST(PaneCommands, DownloadAndUploadCopyIntoTheFolderTheOtherSideShows)
{
    CFtpServerFixture server;
    PrepareCopySides(server, 3);
    CProgramRun run(Home(), ProfileFor(server));
    Panes panes(run.Frame());
    panes.ShowTop(0);
    panes.ShowTop(1);
    const QKeySequence download(Qt::CTRL | Qt::Key_D);
    const QKeySequence upload(Qt::CTRL | Qt::Key_U);
    // The keys are the program's only ones of their kind.
    for (const QAction* action : run.Frame().findChildren<QAction*>()) {
        EXPECT_NE(action->shortcut(), download) << action->objectName().toStdString();
        EXPECT_NE(action->shortcut(), upload) << action->objectName().toStdString();
    }

    // Download by key from the FTP list, into the folder the local list shows.
    panes.tree[0]->setCurrentItem(panes.Folder(0, "in0"));
    SelectNames(*panes.list[1], {"d", "f.txt"});
    run.Boxes().Expect(kConfirmCopyText, kConfirmCopyCaption, MsgIcon::Question);
    QTest::keyClick(panes.list[1], Qt::Key_D, Qt::ControlModifier);
    EXPECT_EQ(run.Boxes().Pending(), 0);
    EXPECT_EQ(ReadFile(Home() + "/in0/d/g.txt"), "gg");
    EXPECT_EQ(ReadFile(Home() + "/in0/f.txt"), "ff");
    EXPECT_EQ(ShownNames(*panes.list[0]), (QStringList{"d", "f.txt"}));

    // Upload from the local list's menu into the folder the FTP list shows; a cancelled
    // question first copies nothing.
    panes.tree[1]->setCurrentItem(panes.Folder(1, "in1"));
    SelectNames(*panes.list[0], {"f.txt"});
    run.Boxes().Expect(kConfirmCopyText, MsgAnswer::Cancel).Expect(kConfirmCopyText);
    QTest::keyClick(panes.list[0], Qt::Key_U, Qt::ControlModifier);
    EXPECT_FALSE(QFileInfo::exists(server.Root() + "/in1/f.txt"));
    const QPoint at = RowPoint(*panes.list[0], "f.txt");
    QContextMenuEvent click(QContextMenuEvent::Mouse, at,
                            panes.list[0]->viewport()->mapToGlobal(at));
    QApplication::sendEvent(panes.list[0]->viewport(), &click);
    QMenu* menu = panes.list[0]->findChild<QMenu*>(QStringLiteral("paneMenu"));
    ASSERT_NE(menu, nullptr);
    QAction* action = menu->findChild<QAction*>(QStringLiteral("actionUpload"));
    ASSERT_NE(action, nullptr);
    EXPECT_EQ(action->shortcut(), upload);
    // The copy's window closes the menu, which then goes.
    const QPointer<QMenu> open(menu);
    action->trigger();
    delete open.data();
    EXPECT_EQ(ReadFile(server.Root() + "/in1/f.txt"), "ff");
    EXPECT_EQ(ShownNames(*panes.list[1]), QStringList{"f.txt"});

    // A folder of the FTP tree by key.
    panes.ShowTop(0);
    panes.tree[0]->setCurrentItem(panes.Folder(0, "in2"));
    panes.ShowTop(1);
    panes.tree[1]->setCurrentItem(panes.Folder(1, "d"));
    run.Boxes().Expect(kConfirmCopyText);
    QTest::keyClick(panes.tree[1], Qt::Key_D, Qt::ControlModifier);
    EXPECT_EQ(ReadFile(Home() + "/in2/d/g.txt"), "gg");
    EXPECT_EQ(run.Boxes().Pending(), 0);
    EXPECT_FALSE(theApp().busy);
}

TEST(PaneCommands, AClickOnASelectedNameNeverEditsItF2Does)
{
    MakeLocalFile(Home() + QStringLiteral("/docs/inner.txt"), 1);
    MakeLocalFile(Home() + QStringLiteral("/a.txt"), 1);
    CProgramRun run(Home());
    Panes panes(run.Frame());
    panes.ShowTop(0);
    CMyListView& list = *panes.list[0];
    CMyTreeView& tree = *panes.tree[0];
    SelectNames(list, {QStringLiteral("a.txt")});
    list.setCurrentIndex(list.indexAt(RowPoint(list, QStringLiteral("a.txt"))));
    QTreeWidgetItem* docs = panes.Folder(0, QStringLiteral("docs"));
    tree.setCurrentItem(docs);
    tree.setCurrentItem(panes.Top(0));
    tree.setCurrentItem(docs);

    const struct
    {
        const char* what;
        QAbstractItemView* view;
        QPoint at;
        std::function<bool()> editing;
    } rows[] = {
        {"list", &list, RowPoint(list, QStringLiteral("a.txt")),
         [&] { return list.EditingLabel(); }},
        {"tree", &tree, ItemPoint(tree, docs), [&] { return tree.EditingLabel(); }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        row.view->setFocus();
        // The press that may begin a drag; an edit would start once the double-click time
        // has passed, before the later timer below.
        QTest::mouseClick(row.view->viewport(), Qt::LeftButton, {}, row.at);
        bool passed = false;
        QTimer::singleShot(QApplication::doubleClickInterval() + 50, [&] { passed = true; });
        ASSERT_TRUE(QTest::qWaitFor([&] { return passed; }));
        EXPECT_FALSE(row.editing());
        QTest::keyClick(row.view, Qt::Key_F2);
        EXPECT_TRUE(row.editing());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        EXPECT_FALSE(row.editing());
    }
}
