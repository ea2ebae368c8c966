// The FTP tree and list against a real server.
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

#include <QAction>
#include <QDir>

#include <gtest/gtest.h>

namespace {

const QString kConnectError = FileMessages::ConnectErrorText();

int Listings(const CFtpServerFixture& server)
{
    return server.CountCommands(QStringLiteral("MLSD")) +
           server.CountCommands(QStringLiteral("LIST")) +
           server.CountCommands(QStringLiteral("NLST"));
}

void PrepareServer(const CFtpServerFixture& server)
{
    server.MakeFolder(QStringLiteral("pub/docs"));
    server.MakeFolder(QStringLiteral("pub/only files"));
    server.MakeFile(QStringLiteral("pub/only files/a.txt"), "a");
    server.MakeFolder(QStringLiteral("Upload"));
    server.MakeFile(QStringLiteral("empty.txt"));
    server.MakeFile(QStringLiteral("b999.bin"), QByteArray(999, 'b'));
    server.MakeFile(QStringLiteral("c1000.bin"), QByteArray(1000, 'c'));
    MakeLocalFile(server.Root() + QStringLiteral("/max32.iso"), 4294967295LL);
    MakeLocalFile(server.Root() + QStringLiteral("/huge.img"), 5000000000LL);
}

QString SizeOf(const CMyListView& list, const QString& name)
{
    const int row = ShownNames(list).indexOf(name);
    return row < 0 ? QStringLiteral("(missing)") : list.model()->index(row, 1).data().toString();
}

} // namespace

TEST(FtpPanes, StartUpReadsTheStartFolderOnce)
{
    CFtpServerFixture server;
    PrepareServer(server);
    CProgramRun run(Home(), ProfileFor(server));
    ASSERT_TRUE(run.Started());
    CMainFrame& frame = run.Frame();
    CMyTreeView& tree = *frame.TreePane(1);
    CMyListView& list = *frame.ListPane(1);

    EXPECT_EQ(server.CountCommands(QStringLiteral("LOGIN")), 1);
    EXPECT_EQ(Listings(server), 1) << server.LogLines().join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(theApp().ftpCurrentDir, QStringLiteral("/"));
    ASSERT_NE(tree.rootItem, nullptr);
    EXPECT_EQ(tree.rootItem->text(0), QStringLiteral("/"));
    EXPECT_EQ(CMyTreeView::IconOf(tree.rootItem), kIconFtpRoot);
    EXPECT_FALSE(theApp().ftpUnavailable);
    EXPECT_EQ(ShownNames(list), (QStringList{"pub", "Upload", "b999.bin", "c1000.bin", "empty.txt",
                                             "huge.img", "max32.iso"}));
    EXPECT_EQ(list.ItemIcon(0), kIconFtpFolder);
    EXPECT_EQ(list.ItemIcon(2), kIconFtpFile);
    EXPECT_EQ(frame.StatusText(2), QStringLiteral("FTP: 7 Items"));
    EXPECT_EQ(frame.windowTitle(), QStringLiteral("Ardent Vantor - Test server"));

    EXPECT_EQ(SizeOf(list, QStringLiteral("empty.txt")), QStringLiteral("0"));
    EXPECT_EQ(SizeOf(list, QStringLiteral("b999.bin")), QStringLiteral("999"));
    EXPECT_EQ(SizeOf(list, QStringLiteral("c1000.bin")), QStringLiteral("1,000"));
    EXPECT_EQ(SizeOf(list, QStringLiteral("max32.iso")), QStringLiteral("4,294,967,295"));
    EXPECT_EQ(SizeOf(list, QStringLiteral("huge.img")), QStringLiteral("5,000,000,000"));

    // A re-sort works from memory: the server is not asked again.
    frame.findChild<QAction*>(QStringLiteral("actionSortBySize"))->trigger();
    EXPECT_EQ(ShownNames(list).mid(2),
              (QStringList{"empty.txt", "b999.bin", "c1000.bin", "max32.iso", "huge.img"}));
    EXPECT_EQ(Listings(server), 1);
}

TEST(FtpPanes, ExpandingAFolderReadsItAndSelectingShowsIt)
{
    CFtpServerFixture server;
    PrepareServer(server);
    CProgramRun run(Home(), ProfileFor(server));
    CMyTreeView& tree = *run.Frame().TreePane(1);
    CMyListView& list = *run.Frame().ListPane(1);
    QTreeWidgetItem* pub = nullptr;
    for (int i = 0; i < tree.rootItem->childCount(); ++i) {
        if (tree.rootItem->child(i)->text(0) == QLatin1String("pub"))
            pub = tree.rootItem->child(i);
    }
    ASSERT_NE(pub, nullptr);
    EXPECT_EQ(CMyTreeView::IconOf(pub), kIconFtpFolder);
    EXPECT_EQ(tree.FtpPathOf(pub), QStringLiteral("//pub/"));
    ASSERT_EQ(pub->childCount(), 1);
    EXPECT_EQ(pub->child(0)->text(0), QStringLiteral("Empty Folder"));

    const int before = Listings(server);
    pub->setExpanded(true);
    EXPECT_EQ(Listings(server), before + 1);
    ASSERT_EQ(pub->childCount(), 2);
    QTreeWidgetItem* onlyFiles = pub->child(1);
    EXPECT_EQ(onlyFiles->text(0), QStringLiteral("only files"));
    onlyFiles->setExpanded(true);
    EXPECT_EQ(onlyFiles->childCount(), 0) << "a folder of files loses its placeholder";

    tree.setCurrentItem(onlyFiles);
    EXPECT_EQ(list.path, QStringLiteral("//pub/only files/"));
    EXPECT_EQ(ShownNames(list), QStringList{"a.txt"});
    EXPECT_EQ(run.Frame().StatusText(2), QStringLiteral("FTP: 1 Items"));
}

TEST(FtpPanes, RefreshLogsInAgainAndRebuildsBothSides)
{
    CFtpServerFixture server;
    PrepareServer(server);
    CProgramRun run(Home(), ProfileFor(server, QStringLiteral("Renamed")));
    CMainFrame& frame = run.Frame();
    QTreeWidgetItem* localRoot = frame.TreePane(0)->rootItem;
    frame.findChild<QAction*>(QStringLiteral("actionRefresh"))->trigger();

    EXPECT_EQ(server.CountCommands(QStringLiteral("LOGIN")), 2);
    EXPECT_EQ(frame.windowTitle(), QStringLiteral("Ardent Vantor - Renamed"));
    EXPECT_NE(frame.TreePane(0)->rootItem, localRoot);
    EXPECT_EQ(frame.TreePane(1)->rootItem->text(0), QStringLiteral("/"));
    EXPECT_EQ(frame.ListPane(1)->ItemCount(), 7);
    EXPECT_FALSE(theApp().ftpUnavailable);
}

TEST(FtpPanes, AFailedConnectionLeavesNoConnection)
{
    CFtpServerFixture server;
    ProfileRecord profile = ProfileFor(server);
    server.Stop(); // nothing listens there any more
    CProgramRun run(Home(), profile, {kConnectError});
    ASSERT_TRUE(run.Started());
    ASSERT_EQ(run.Boxes().Shown().size(), 1);
    EXPECT_EQ(run.Boxes().Shown()[0].caption, FileMessages::ConnectErrorCaption());
    EXPECT_EQ(run.Boxes().Shown()[0].icon, MsgIcon::Stop);
    CMyTreeView& tree = *run.Frame().TreePane(1);
    EXPECT_EQ(tree.rootItem->text(0), QStringLiteral("No Connection"));
    EXPECT_EQ(tree.rootItem->childCount(), 0);
    EXPECT_TRUE(theApp().ftpUnavailable);
    EXPECT_EQ(theApp().ftpConnection, nullptr);
    EXPECT_EQ(run.Frame().ListPane(1)->ItemCount(), 0);
}
