// Where a drop lands besides folder rows (the folder a list shows), and what the user sees
// while dragging: the drop frame, scrolling near an edge, a closed folder that opens.
#include "app/mainframe.h"
#include "panes/droprunner.h"
#include "panes/mylistview.h"
#include "panes/mytreeview.h"
#include "profiles/profilerecord.h"
#include "tests/fixtures/ftpserverfixture.h"
#include "tests/fixtures/programrun.h"
#include "tests/fixtures/testenvironment.h"
#include "tests/fixtures/testhelpers.h"
#include "tests/panes/panetesting.h"

#include <QImage>
#include <QMimeData>
#include <QScrollBar>
#include <QTest>
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
