// Dragging from the FTP panes to a desktop program: the files are downloaded only when the
// program asks for them at the drop.
#include "app/mainframe.h"
#include "app/vantorapp.h"
#include "ftp/commstatusdialog.h"
#include "panes/mylistview.h"
#include "panes/mytreeview.h"
#include "panes/panedrag.h"
#include "panes/remotedragdata.h"
#include "profiles/profilerecord.h"
#include "tests/fixtures/ftpserverfixture.h"
#include "tests/fixtures/localtree.h"
#include "tests/fixtures/programrun.h"
#include "tests/fixtures/testenvironment.h"
#include "tests/panes/heldcancel.h"
#include "tests/panes/panetesting.h"

#include <QFileInfo>
#include <QMimeData>
#include <QUrl>

#include <gtest/gtest.h>

namespace {

QString Home()
{
    return TestCaseFolder() + QStringLiteral("/home");
}

QStringList LocalFilesOf(const QList<QUrl>& urls)
{
    QStringList paths;
    for (const QUrl& url : urls)
        paths.append(url.isLocalFile() ? QFileInfo(url.toLocalFile()).fileName() : url.toString());
    return paths;
}

} // namespace

class CRemoteDragTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.IsRunning());
        server.MakeFile("pub/d/g.txt", "gg");
        server.MakeFile("pub/d/inner/h.txt", "hh");
        server.MakeFile("pub/f.txt", "ff");
        QDir().mkpath(Home());
        run = std::make_unique<CProgramRun>(Home(), ProfileFor(server));
        ASSERT_TRUE(run->Started());
        ftpList = run->Frame().ListPane(1);
        ftpList->FillList("/pub/");
    }

    CFtpServerFixture server;
    std::unique_ptr<CProgramRun> run;
    CMyListView* ftpList = nullptr;
};

TEST_F(CRemoteDragTest, TheFileManagerGetsDownloadedFilesThePanesNever)
{
    SelectNames(*ftpList, {"d", "f.txt"});
    const std::unique_ptr<QMimeData> data = ftpList->PrepareDrag();
    ASSERT_NE(data, nullptr);
    EXPECT_TRUE(data->formats().contains("text/uri-list"));
    EXPECT_TRUE(data->hasFormat(kPaneItemsMimeType));

    // The panes read only the private type, and take the drag for their own.
    const int retrBefore = server.CountCommands("RETR");
    EXPECT_FALSE(data->data(kPaneItemsMimeType).isEmpty());
    EXPECT_EQ(OriginOf(data.get(), *run->Frame().Document()).kind, DragOrigin::Kind::Pane);
    EXPECT_EQ(server.CountCommands("RETR"), retrBefore);

    // The file manager's request downloads, once, and gets the local copies.
    const QList<QUrl> urls = data->urls();
    EXPECT_EQ(LocalFilesOf(urls), (QStringList{"d", "f.txt"}));
    EXPECT_EQ(server.CountCommands("RETR"), retrBefore + 3);
    const QString folder = static_cast<CRemoteDragData*>(data.get())->DownloadFolder();
    ASSERT_FALSE(folder.isEmpty());
    EXPECT_FALSE(folder.startsWith(Home()));
    EXPECT_EQ(TreeOf(folder),
              (QStringList{"d/", "d/g.txt=gg", "d/inner/", "d/inner/h.txt=hh", "f.txt=ff"}));
    EXPECT_EQ(data->data("text/uri-list"),
              urls[0].toEncoded() + "\r\n" + urls[1].toEncoded() + "\r\n");
    EXPECT_EQ(server.CountCommands("RETR"), retrBefore + 3);
    EXPECT_FALSE(theApp().busy);
    EXPECT_TRUE(run->Frame().findChildren<CCommStatusDialog*>().isEmpty());

    // A folder dragged from the FTP tree goes the same way.
    CMyTreeView& tree = *run->Frame().TreePane(1);
    tree.rootItem->setExpanded(true);
    QTreeWidgetItem* pub = TreeItem(tree, {"pub"});
    ASSERT_NE(pub, nullptr);
    pub->setExpanded(true);
    const std::unique_ptr<QMimeData> folderData = tree.PrepareDrag(TreeItem(tree, {"pub", "d"}));
    ASSERT_NE(folderData, nullptr);
    const QList<QUrl> folderUrls = folderData->urls();
    ASSERT_EQ(folderUrls.size(), 1);
    EXPECT_EQ(TreeOf(folderUrls[0].toLocalFile()),
              (QStringList{"g.txt=gg", "inner/", "inner/h.txt=hh"}));
}

TEST_F(CRemoteDragTest, ACancelledDownloadHandsOverNothing)
{
    for (int i = 0; i < 40; ++i)
        server.MakeFile(QStringLiteral("pub/d/many/%1.txt").arg(i), "x");
    SelectNames(*ftpList, {"d"});
    const std::unique_ptr<QMimeData> data = ftpList->PrepareDrag();
    ASSERT_NE(data, nullptr);

    // Two files arrive, the server holds the third until the cancel is seen.
    CHeldCancel cancel(server, run->Frame());
    cancel.Arm(QStringLiteral("RETR"), 2);
    run->Boxes().Expect(
        QStringLiteral("The communication session has been cancelled by the user."));
    EXPECT_TRUE(data->urls().isEmpty());
    EXPECT_TRUE(cancel.Cancelled());
    cancel.Release();
    EXPECT_EQ(run->Boxes().Pending(), 0);
    EXPECT_TRUE(data->data("text/uri-list").isEmpty()) << "one try per drag";
    EXPECT_TRUE(static_cast<CRemoteDragData*>(data.get())->DownloadFolder().isEmpty());
    EXPECT_FALSE(theApp().busy);
}
