// Dragging between the four panes and from the desktop, driven with real drag events.
#include "app/mainframe.h"
#include "app/vantorapp.h"
#include "app/vantordoc.h"
#include "ftp/commstatusdialog.h"
#include "ftp/filemessages.h"
#include "panes/mylistview.h"
#include "panes/mytreeview.h"
#include "panes/panedrag.h"
#include "profiles/profilerecord.h"
#include "tests/fixtures/ftpserverfixture.h"
#include "tests/fixtures/localtree.h"
#include "tests/fixtures/programrun.h"
#include "tests/fixtures/testenvironment.h"
#include "tests/fixtures/testhelpers.h"
#include "tests/panes/heldcancel.h"
#include "tests/panes/panetesting.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>

#include <gtest/gtest.h>

namespace {

const QString kConfirm = kConfirmCopyText;

// home: docs/ (inner.txt), Music/, a.txt, b.txt
void PrepareHome()
{
    MakeLocalFile(Home() + QStringLiteral("/docs/inner.txt"), 5);
    QDir().mkpath(Home() + QStringLiteral("/Music"));
    MakeLocalFile(Home() + QStringLiteral("/a.txt"), 3);
    MakeLocalFile(Home() + QStringLiteral("/b.txt"), 4);
}

QStringList Listing(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                                  QDir::Name);
}

} // namespace

TEST(PaneDrag, OnlyFolderItemsLightUpAsTargets)
{
    PrepareHome();
    CProgramRun run(Home()); // no server: the FTP side is unavailable
    CMainFrame& frame = run.Frame();
    CMyListView& list = *frame.ListPane(0);
    CMyTreeView& tree = *frame.TreePane(0);
    SelectNames(list, {QStringLiteral("a.txt"), QStringLiteral("b.txt")});
    const std::unique_ptr<QMimeData> data = list.PrepareDrag();
    ASSERT_NE(data, nullptr);
    CVantorDoc& document = *frame.Document();
    EXPECT_EQ(document.dragSource, 1);
    EXPECT_EQ(document.dragImage, kDragLocal);
    EXPECT_EQ(document.dragOffset, QPoint(0, -20));
    // The desktop gets the local files.
    EXPECT_EQ(data->urls(), (QList<QUrl>{QUrl::fromLocalFile(Home() + QStringLiteral("/a.txt")),
                                         QUrl::fromLocalFile(Home() + QStringLiteral("/b.txt"))}));

    const QString docs = QStringLiteral("docs");
    EXPECT_TRUE(DragOver(list, *data, RowPoint(list, docs)));
    EXPECT_EQ(list.DropTarget(), ShownNames(list).indexOf(docs));
    EXPECT_EQ(document.dragOwner, 1);
    EXPECT_FALSE(DragOver(list, *data, RowPoint(list, QStringLiteral("a.txt")), false));
    EXPECT_EQ(list.DropTarget(), -1);
    EXPECT_TRUE(DragOver(list, *data, RowPoint(list, QStringLiteral("Music")), false));
    EXPECT_FALSE(DragOver(list, *data, EmptyPoint(list), false));
    EXPECT_EQ(list.DropTarget(), -1);
    EXPECT_TRUE(DragOver(list, *data, RowPoint(list, docs), false));
    DragLeave(list);
    EXPECT_EQ(list.DropTarget(), -1) << "the highlight goes with the pointer";

    // In a tree every folder and drive takes a drop, "Local Computer" none.
    EXPECT_FALSE(DragOver(tree, *data, ItemPoint(tree, tree.rootItem)));
    EXPECT_EQ(tree.DropTarget(), nullptr);
    QTreeWidgetItem* drive = TreeItem(tree, {QStringLiteral("/")});
    ASSERT_NE(drive, nullptr);
    EXPECT_TRUE(DragOver(tree, *data, ItemPoint(tree, drive), false));
    EXPECT_EQ(tree.DropTarget(), drive);
    EXPECT_EQ(document.dragOwner, 0);
    // The files' own folder would copy them onto themselves.
    EXPECT_FALSE(DragOver(tree, *data, ItemPoint(tree, TreeItem(tree, {Home()})), false));
    EXPECT_EQ(tree.DropTarget(), nullptr);
    DragLeave(tree);
    EXPECT_EQ(tree.DropTarget(), nullptr);

    // While the server could not be reached its panes take nothing.
    ASSERT_TRUE(theApp().ftpUnavailable);
    CMyTreeView& ftpTree = *frame.TreePane(1);
    EXPECT_FALSE(DragOver(ftpTree, *data, ItemPoint(ftpTree, ftpTree.rootItem)));
    EXPECT_EQ(ftpTree.DropTarget(), nullptr);
}

TEST(PaneDrag, DrivesAndRootsCannotBeDragged)
{
    PrepareHome();
    CProgramRun run(Home());
    CMyTreeView& tree = *run.Frame().TreePane(0);
    QTreeWidgetItem* drive = TreeItem(tree, {Home()});
    ASSERT_NE(drive, nullptr);
    drive->setExpanded(true);
    EXPECT_EQ(tree.PrepareDrag(tree.rootItem), nullptr);
    EXPECT_EQ(tree.PrepareDrag(drive), nullptr);
    EXPECT_EQ(tree.PrepareDrag(run.Frame().TreePane(1)->rootItem), nullptr);

    QTreeWidgetItem* docs = TreeItem(tree, {Home(), QStringLiteral("docs")});
    const std::unique_ptr<QMimeData> data = tree.PrepareDrag(docs);
    ASSERT_NE(data, nullptr);
    const CVantorDoc& document = *run.Frame().Document();
    EXPECT_EQ(document.dragSource, 0);
    EXPECT_EQ(document.dragFolderName, QStringLiteral("docs"));
    EXPECT_EQ(document.dragFolderPath, Home() + QStringLiteral("/docs/"));
    EXPECT_EQ(tree.currentItem(), docs) << "the list of the row shows the dragged folder";
    EXPECT_EQ(run.Frame().ListPane(0)->path, Home() + QStringLiteral("/docs/"));
}

TEST(PaneDrag, DropsThatCopyNothing)
{
    PrepareHome();
    CProgramRun run(Home());
    CMyListView& list = *run.Frame().ListPane(0);
    const QStringList before = Listing(Home());
    SelectNames(list, {QStringLiteral("a.txt")});

    // A file item and empty space take no drop, and ask nothing.
    {
        const std::unique_ptr<QMimeData> data = list.PrepareDrag();
        EXPECT_FALSE(DropOn(list, *data, RowPoint(list, QStringLiteral("b.txt"))));
        EXPECT_FALSE(DropOn(list, *data, EmptyPoint(list)));
        EXPECT_EQ(run.Boxes().Count(kConfirm), 0);
    }
    // A cancelled question copies nothing and takes the highlight away.
    {
        run.Boxes().Expect(kConfirm, kConfirmCopyCaption, MsgIcon::Question, MsgAnswer::Cancel);
        const std::unique_ptr<QMimeData> data = list.PrepareDrag();
        EXPECT_TRUE(DropOn(list, *data, RowPoint(list, QStringLiteral("docs"))));
        EXPECT_EQ(run.Boxes().Pending(), 0);
        EXPECT_EQ(list.DropTarget(), -1);
        EXPECT_EQ(Listing(Home() + QStringLiteral("/docs")), QStringList{"inner.txt"});
    }
    EXPECT_EQ(Listing(Home()), before);
}

TEST(PaneDrag, DropsOntoTheItemsOwnFolderAreRefusedWhileTheDragMoves)
{
    PrepareHome();
    CProgramRun run(Home());
    CMyTreeView& tree = *run.Frame().TreePane(0);
    CMyListView& list = *run.Frame().ListPane(0);
    QTreeWidgetItem* drive = TreeItem(tree, {Home()});
    drive->setExpanded(true);
    tree.setCurrentItem(drive);
    const QString docs = QStringLiteral("docs");

    // No place that would copy the items onto themselves takes the drag: no question, no
    // error box, and no frame.
    struct Case
    {
        const char* what;
        bool fromTree;
        bool ontoTree;
        QString target; // a folder row, or empty for the empty area of the list
    };
    const Case table[] = {
        {"the list's items onto the tree item of their folder", false, true, Home()},
        {"the list's items onto the empty area of their list", false, false, {}},
        {"the list's folder row onto itself", false, false, docs},
        {"a tree folder onto its parent", true, true, Home()},
        {"a tree folder onto its own row in the list", true, false, docs},
    };
    for (const Case& c : table) {
        SCOPED_TRACE(c.what);
        tree.setCurrentItem(TreeItem(tree, {Home()}));
        SelectNames(list, {QStringLiteral("a.txt"), docs});
        const std::unique_ptr<QMimeData> data =
            c.fromTree ? tree.PrepareDrag(TreeItem(tree, {Home(), docs})) : list.PrepareDrag();
        ASSERT_NE(data, nullptr);
        tree.setCurrentItem(TreeItem(tree, {Home()}));
        QAbstractItemView& view = c.ontoTree ? static_cast<QAbstractItemView&>(tree) : list;
        const QPoint at = c.ontoTree           ? ItemPoint(tree, TreeItem(tree, {c.target}))
                          : c.target.isEmpty() ? EmptyPoint(list)
                                               : RowPoint(list, c.target);
        EXPECT_FALSE(DragOver(view, *data, at));
        EXPECT_FALSE(
            view.viewport()->findChild<QWidget*>(QStringLiteral("dropFrame"))->isVisible());
        EXPECT_FALSE(DropOn(view, *data, at));
        DragLeave(view);
    }
    EXPECT_EQ(run.Boxes().Count(kConfirm), 0);
    EXPECT_EQ(run.Boxes().Count(FileMessages::InsideSourceText()), 0);
    EXPECT_EQ(Listing(Home() + QStringLiteral("/docs")), QStringList{"inner.txt"});
    EXPECT_EQ(ReadFile(Home() + QStringLiteral("/a.txt")).size(), 3);
    EXPECT_FALSE(theApp().busy);
    EXPECT_TRUE(run.Frame().isEnabled());
}

TEST(PaneDrop, EveryDirectionFromListsAndTrees)
{
    CFtpServerFixture server;
    PrepareCopySides(server, 16);
    CProgramRun run(Home(), ProfileFor(server));
    Panes panes(run.Frame());
    panes.ShowTop(0);

    int row = 0;
    for (const int sourceSide : {0, 1}) {
        for (const bool fromTree : {false, true}) {
            for (const int targetSide : {0, 1}) {
                for (const bool ontoTree : {false, true}) {
                    const QString target = QStringLiteral("in%1").arg(row++);
                    SCOPED_TRACE(
                        (QStringLiteral("%1 %2 onto %3 %4, %5")
                             .arg(sourceSide ? "FTP" : "local", fromTree ? "tree" : "list",
                                  targetSide ? "FTP" : "local", ontoTree ? "tree" : "list", target))
                            .toStdString());
                    panes.ShowTop(sourceSide);
                    std::unique_ptr<QMimeData> data;
                    if (fromTree) {
                        data = panes.tree[sourceSide]->PrepareDrag(panes.Folder(sourceSide, "d"));
                    } else {
                        SelectNames(*panes.list[sourceSide], {"d", "f.txt"});
                        data = panes.list[sourceSide]->PrepareDrag();
                    }
                    ASSERT_NE(data, nullptr);
                    panes.ShowTop(targetSide);
                    run.Boxes().Expect(kConfirm);
                    const bool took = ontoTree ? DropOn(*panes.tree[targetSide], *data,
                                                        ItemPoint(*panes.tree[targetSide],
                                                                  panes.Folder(targetSide, target)))
                                               : DropOn(*panes.list[targetSide], *data,
                                                        RowPoint(*panes.list[targetSide], target));
                    EXPECT_TRUE(took);
                    EXPECT_EQ(run.Boxes().Pending(), 0);
                    const QString copied =
                        (targetSide == 0 ? Home() : server.Root()) + "/" + target;
                    EXPECT_EQ(ReadFile(copied + "/d/g.txt"), "gg");
                    EXPECT_EQ(ReadFile(copied + "/f.txt"), fromTree ? "(missing)" : "ff");
                    EXPECT_FALSE(theApp().busy);
                    EXPECT_TRUE(run.Frame().centralWidget()->isEnabled());
                    // A tree item dropped on shows the copy among its children.
                    if (ontoTree) {
                        EXPECT_NE(TreeItem(*panes.tree[targetSide],
                                           targetSide == 0 ? QStringList{Home(), target, "d"}
                                                           : QStringList{target, "d"}),
                                  nullptr);
                    }
                }
            }
        }
    }
}

TEST(PaneDrop, AnExistingFolderOfTheSameNameIsReplaced)
{
    CFtpServerFixture server;
    PrepareCopySides(server, 1);
    server.MakeFile(QStringLiteral("in0/d/old.txt"), "old");
    CProgramRun run(Home(), ProfileFor(server));
    Panes panes(run.Frame());
    panes.ShowTop(0);
    SelectNames(*panes.list[0], {"d"});
    const std::unique_ptr<QMimeData> data = panes.list[0]->PrepareDrag();
    run.Boxes().Expect(kConfirm);
    EXPECT_TRUE(DropOn(*panes.list[1], *data, RowPoint(*panes.list[1], "in0")));
    EXPECT_EQ(Listing(server.Root() + "/in0/d"), QStringList{"g.txt"});
    EXPECT_EQ(ReadFile(server.Root() + "/in0/d/g.txt"), "gg");
}

TEST(PaneDrop, FilesFromTheDesktopAreCopiedLikeTheLocalList)
{
    CFtpServerFixture server;
    PrepareCopySides(server, 2);
    const QString desktop = TestCaseFolder() + QStringLiteral("/desktop");
    MakeLocalFile(desktop + QStringLiteral("/photo.jpg"), 7);
    MakeLocalFile(desktop + QStringLiteral("/album/one.jpg"), 1);
    CProgramRun run(Home(), ProfileFor(server));
    Panes panes(run.Frame());
    panes.ShowTop(0);

    QMimeData files;
    files.setUrls(
        {QUrl::fromLocalFile(desktop + "/photo.jpg"), QUrl::fromLocalFile(desktop + "/album")});
    run.Boxes().Expect(kConfirm).Expect(kConfirm);
    EXPECT_TRUE(DropOn(*panes.list[1], files, RowPoint(*panes.list[1], "in0")));
    EXPECT_TRUE(DropOn(*panes.tree[0], files, ItemPoint(*panes.tree[0], panes.Folder(0, "in1"))));
    const QStringList targets{server.Root() + QStringLiteral("/in0"),
                              Home() + QStringLiteral("/in1")};
    for (const QString& copied : targets) {
        EXPECT_EQ(ReadFile(copied + "/photo.jpg").size(), 7) << copied.toStdString();
        EXPECT_EQ(ReadFile(copied + "/album/one.jpg").size(), 1) << copied.toStdString();
    }
    EXPECT_EQ(Listing(desktop), (QStringList{"album", "photo.jpg"})) << "a copy, never a move";

    // Anything but local files is refused before a question; so is another instance's
    // private drag, unless it brings files.
    QMimeData remote;
    remote.setUrls({QUrl(QStringLiteral("http://example.invalid/x.txt"))});
    EXPECT_FALSE(DropOn(*panes.list[0], remote, RowPoint(*panes.list[0], "in0")));
    QMimeData foreign;
    foreign.setData(kPaneItemsMimeType, "1 1 1");
    EXPECT_FALSE(DropOn(*panes.list[0], foreign, RowPoint(*panes.list[0], "in0")));
    EXPECT_EQ(run.Boxes().Pending(), 0);
}

TEST(PaneDrop, AReplacedFolderIsBackWholeWhenTheCopyFailsOrIsCancelled)
{
    // Tree folders and desktop folders replace a folder of the same name as a list's
    // selection does: a copy that fails or is cancelled half way leaves the old one in place.
    CFtpServerFixture server;
    PrepareCopySides(server, 5);
    for (const QString& root : {Home(), server.Root()}) {
        for (int i = 0; i < 60; ++i)
            WriteLocalFile(root + QStringLiteral("/d/many/%1.txt").arg(i), "x");
        for (int i = 0; i < 5; ++i) {
            WriteLocalFile(root + QStringLiteral("/in%1/d/old.txt").arg(i), "old");
            WriteLocalFile(root + QStringLiteral("/in%1/d/old folder/kept.txt").arg(i), "kept");
        }
    }
    const QStringList oldFolder{"d/", "d/old folder/", "d/old folder/kept.txt=kept",
                                "d/old.txt=old"};
    // The local folder leads back into itself, so its copies fail part way.
    QDir().mkpath(Home() + QStringLiteral("/d/deeper"));
    MakeLink(QStringLiteral(".."), Home() + QStringLiteral("/d/deeper/loop"));
    CProgramRun run(Home(), ProfileFor(server));
    Panes panes(run.Frame());
    panes.ShowTop(0);

    // Cancel Communication once two files of the copy have gone through: the server holds
    // the third until the cancel is seen.
    CHeldCancel cancel(server, run.Frame());
    const QString cancelled = FileMessages::CancelledText();
    const QString sourceFolder = QFileInfo(Home()).canonicalFilePath() + QStringLiteral("/d");
    const QString cycle = QStringLiteral("The folder \"%1\" leads back into a folder that is "
                                         "being copied (through a link), so the copy would "
                                         "never end. The copy has been stopped.")
                              .arg(sourceFolder + QStringLiteral("/deeper/loop"));

    const struct
    {
        const char* what;
        int sourceSide; // -1: the desktop's files
        int targetSide;
        bool ontoTree;
        const char* command; // counted for the cancel; null: the copy fails on a link cycle
    } rows[] = {
        {"local tree onto FTP tree", 0, 1, true, nullptr},
        {"desktop onto FTP list", -1, 1, false, nullptr},
        {"FTP tree onto local tree", 1, 0, true, "RETR"},
        {"local tree onto local tree", 0, 0, true, nullptr},
        {"desktop onto local list", -1, 0, false, nullptr},
    };
    int number = 0;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const QString target = QStringLiteral("in%1").arg(number++);
        std::unique_ptr<QMimeData> data;
        if (row.sourceSide < 0) {
            data = std::make_unique<QMimeData>();
            data->setUrls({QUrl::fromLocalFile(Home() + QStringLiteral("/d"))});
        } else {
            panes.ShowTop(row.sourceSide);
            data = panes.tree[row.sourceSide]->PrepareDrag(panes.Folder(row.sourceSide, "d"));
        }
        ASSERT_NE(data, nullptr);
        panes.ShowTop(row.targetSide);
        run.Boxes().Expect(kConfirm).Expect(row.command ? cancelled : cycle);
        const int countedBefore = row.command ? server.CountCommands(row.command) : 0;
        if (row.command)
            cancel.Arm(QString::fromLatin1(row.command), 2);
        const bool took = row.ontoTree ? DropOn(*panes.tree[row.targetSide], *data,
                                                ItemPoint(*panes.tree[row.targetSide],
                                                          panes.Folder(row.targetSide, target)))
                                       : DropOn(*panes.list[row.targetSide], *data,
                                                RowPoint(*panes.list[row.targetSide], target));
        cancel.Release();
        EXPECT_TRUE(took);
        EXPECT_EQ(run.Boxes().Pending(), 0);
        if (row.command) {
            EXPECT_TRUE(cancel.Cancelled());
            EXPECT_GT(server.CountCommands(row.command), countedBefore + 2) << "cancelled half way";
        }
        const QString root = row.targetSide == 0 ? Home() : server.Root();
        EXPECT_EQ(TreeOf(root + "/" + target), oldFolder);
        EXPECT_FALSE(theApp().busy);
    }
}
