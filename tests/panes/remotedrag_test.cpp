// Dragging from the FTP panes to a desktop program: the files are downloaded only when the
// program asks for them at the drop.
#include "app/mainframe.h"
#include "app/vantorapp.h"
#include "ftp/commstatusdialog.h"
#include "ftp/filemessages.h"
#include "panes/dragcopies.h"
#include "panes/mylistview.h"
#include "panes/mytreeview.h"
#include "panes/panedrag.h"
#include "panes/remotedragdata.h"
#include "profiles/profilerecord.h"
#include "tests/fixtures/ftpserverfixture.h"
#include "tests/fixtures/localtree.h"
#include "tests/fixtures/programrun.h"
#include "tests/fixtures/testenvironment.h"
#include "tests/fixtures/testhelpers.h"
#include "tests/panes/heldcancel.h"
#include "tests/panes/panetesting.h"

#include <QCoreApplication>
#include <QDirIterator>
#include <QFileInfo>
#include <QMimeData>
#include <QProcess>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

namespace {

CRemoteDragData& Remote(QMimeData& data)
{
    return static_cast<CRemoteDragData&>(data);
}

// This process's copy folders, as they are on disk.
QStringList CopiesOnDisk()
{
    const QString prefix = QString::number(QCoreApplication::applicationPid()) + '-';
    QStringList copies;
    for (const QString& name :
         QDir(CDragCopies::Root()).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        if (name.startsWith(prefix))
            copies.append(name);
    return copies;
}

// Reads every file and folder below `path` as a file manager copying it does.
void ReadAsAFileManager(const QString& path)
{
    QDirIterator walk(path, QDir::AllEntries | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (walk.hasNext()) {
        const QString entry = walk.next();
        if (walk.fileInfo().isDir())
            QDir(entry).entryList();
        else
            ReadFile(entry);
    }
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

    // A program that reads the data while the pointer passes over it gets nothing.
    EXPECT_TRUE(data->urls().isEmpty());
    EXPECT_EQ(server.CountCommands("RETR"), retrBefore);

    // After the drop, the file manager's request downloads, once, and gets the local copies.
    Remote(*data).DragEnded(true);
    const QList<QUrl> urls = data->urls();
    EXPECT_EQ(LocalFilesOf(urls), (QStringList{"d", "f.txt"}));
    EXPECT_EQ(server.CountCommands("RETR"), retrBefore + 3);
    const QString folder = Remote(*data).DownloadFolder();
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
    Remote(*folderData).DragEnded(true);
    const QList<QUrl> folderUrls = folderData->urls();
    ASSERT_EQ(folderUrls.size(), 1);
    EXPECT_EQ(TreeOf(folderUrls[0].toLocalFile()),
              (QStringList{"g.txt=gg", "inner/", "inner/h.txt=hh"}));
}

TEST_F(CRemoteDragTest, ACancelledDownloadHandsOverNothing)
{
    const QStringList copiesBefore = CopiesOnDisk();
    for (int i = 0; i < 40; ++i)
        server.MakeFile(QStringLiteral("pub/d/many/%1.txt").arg(i), "x");
    SelectNames(*ftpList, {"d"});
    const std::unique_ptr<QMimeData> data = ftpList->PrepareDrag();
    ASSERT_NE(data, nullptr);

    Remote(*data).DragEnded(true);
    // Two files arrive, the server holds the third until the cancel is seen.
    CHeldCancel cancel(server, run->Frame());
    cancel.Arm(QStringLiteral("RETR"), 2);
    run->Boxes().Expect(FileMessages::CancelledText());
    EXPECT_TRUE(data->urls().isEmpty());
    EXPECT_TRUE(cancel.Cancelled());
    cancel.Release();
    EXPECT_EQ(run->Boxes().Pending(), 0);
    EXPECT_TRUE(data->data("text/uri-list").isEmpty()) << "one try per drag";
    EXPECT_TRUE(Remote(*data).DownloadFolder().isEmpty());
    EXPECT_FALSE(theApp().busy);
    EXPECT_EQ(CopiesOnDisk(), copiesBefore) << "the partial copy is gone";
}

TEST_F(CRemoteDragTest, ADragThatEndsWithoutADropDownloadsNothing)
{
    SelectNames(*ftpList, {"d", "f.txt"});
    const std::unique_ptr<QMimeData> data = ftpList->PrepareDrag();
    ASSERT_NE(data, nullptr);
    const int retrBefore = server.CountCommands("RETR");
    const QStringList copiesBefore = CopiesOnDisk();
    EXPECT_TRUE(data->urls().isEmpty()) << "read while hovering";
    Remote(*data).DragEnded(false);
    Remote(*data).DragEnded(true); // the end is the first one
    EXPECT_TRUE(data->urls().isEmpty());
    EXPECT_TRUE(data->data("text/uri-list").isEmpty());
    EXPECT_EQ(server.CountCommands("RETR"), retrBefore);
    EXPECT_EQ(CopiesOnDisk(), copiesBefore);
}

TEST_F(CRemoteDragTest, TheCopyGoesOnceTheReceivingProgramHasReadItAndTheKeptOnesStayBounded)
{
    CDragCopies& copies = CDragCopies::Instance();
    auto dropOf = [&](const QStringList& names) {
        SelectNames(*ftpList, names);
        std::unique_ptr<QMimeData> data = ftpList->PrepareDrag();
        Remote(*data).DragEnded(true);
        EXPECT_EQ(data->urls().size(), names.size());
        return Remote(*data).DownloadFolder();
    };

    // Taken: every file and folder read, whatever the order; half read is not taken. (The
    // program waits a while after the last read; here not.)
    const int grace = copies.TakenGrace();
    copies.SetTakenGrace(0);
    const QString first = dropOf({"d", "f.txt"});
    ASSERT_TRUE(QFileInfo(first).isDir());
    EXPECT_TRUE(copies.Kept().contains(first));
    ReadFile(first + "/f.txt");
    ReadFile(first + "/d/inner/h.txt");
    QCoreApplication::processEvents();
    EXPECT_TRUE(QFileInfo(first + "/d/g.txt").isFile()) << "half read";
    ReadAsAFileManager(first + "/d");
    EXPECT_TRUE(QTest::qWaitFor([&] { return !QFileInfo::exists(first); }, 10000));
    EXPECT_FALSE(copies.Kept().contains(first));
    copies.SetTakenGrace(grace);

    // Not taken: kept, but a newer copy makes room once the limit is passed (f.txt: 2
    // bytes each); the newest always stays.
    const qint64 limit = copies.KeepLimit();
    copies.SetKeepLimit(3);
    const QString second = dropOf({"f.txt"});
    const QString third = dropOf({"f.txt"});
    copies.SetKeepLimit(limit);
    EXPECT_FALSE(QFileInfo::exists(second));
    EXPECT_EQ(ReadFile(third + "/f.txt"), "ff");
    EXPECT_EQ(copies.Kept(), QStringList{third});
    copies.Discard(third);
    EXPECT_FALSE(QFileInfo::exists(third));
}

TEST(CRemoteDragLeftovers, CopiesOfARunThatEndedGoAtTheNextStart)
{
    const QString root = CDragCopies::Root();
    ASSERT_FALSE(root.isEmpty());
    EXPECT_EQ(QFileInfo(root).permissions() & (QFile::ReadGroup | QFile::ReadOther), 0);
    // A process that has ended, one that was killed and not yet collected by its parent (a
    // zombie), and this one, which runs.
    QProcess ended;
    ended.start(QStringLiteral("/bin/true"));
    ASSERT_TRUE(ended.waitForStarted(10000));
    const qint64 endedPid = ended.processId();
    ASSERT_TRUE(ended.waitForFinished(10000));
    const pid_t zombie = ::fork();
    if (zombie == 0)
        ::_exit(0);
    ASSERT_GT(zombie, 0);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return ReadFile(QStringLiteral("/proc/%1/stat").arg(zombie)).contains(") Z "); },
        10000));
    const QString endedCopy = root + QStringLiteral("/%1-1").arg(endedPid);
    const QString zombieCopy = root + QStringLiteral("/%1-1").arg(zombie);
    const QString runningCopy =
        root + QStringLiteral("/%1-99999").arg(QCoreApplication::applicationPid());
    for (const QString& copy : {endedCopy, zombieCopy, runningCopy})
        WriteLocalFile(copy + QStringLiteral("/d/f.txt"), "f");

    CProgramRun run(Home());
    ::waitpid(zombie, nullptr, 0);
    EXPECT_FALSE(QFileInfo::exists(endedCopy));
    EXPECT_FALSE(QFileInfo::exists(zombieCopy));
    EXPECT_EQ(ReadFile(runningCopy + QStringLiteral("/d/f.txt")), "f");
    QDir(runningCopy).removeRecursively();
}
