// Copying the selected items of a list pane into a folder, replacing folders of the same
// name, against a real server and real local folders.
#include "app/mainframe.h"
#include "app/vantorapp.h"
#include "ftp/commstatusdialog.h"
#include "ftp/filemessages.h"
#include "panes/mylistview.h"
#include "profiles/profilerecord.h"
#include "tests/fixtures/ftpserverfixture.h"
#include "tests/fixtures/localtree.h"
#include "tests/fixtures/programrun.h"
#include "tests/fixtures/testenvironment.h"
#include "tests/fixtures/testhelpers.h"
#include "tests/panes/heldcancel.h"
#include "tests/panes/panetesting.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QItemSelectionModel>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kCancelled = FileMessages::CancelledText();
const QString kInsideSource = FileMessages::InsideSourceText();

} // namespace

class CSelectionCopyTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.IsRunning());
        WriteLocalFile(Home() + "/source/data/new.txt", "new");
        WriteLocalFile(Home() + "/source/data/deeper/inner.txt", "inner");
        WriteLocalFile(Home() + "/source/single.txt", "single");
        WriteLocalFile(Home() + "/target/data/old.txt", "old");
        WriteLocalFile(Home() + "/target/data/old folder/kept.txt", "kept");
        WriteLocalFile(Home() + "/target/single.txt", "previous");
        run = std::make_unique<CProgramRun>(Home(), ProfileFor(server));
        ASSERT_TRUE(run->Started());
        local = run->Frame().ListPane(0);
        local->FillList(Home() + "/source/");
        ASSERT_EQ(ShownNames(*local), (QStringList{"data", "single.txt"}));
    }
    void TearDown() override { run.reset(); }

    QString Remote(const QString& relative) const { return server.Root() + "/" + relative; }

    const QStringList oldTarget{"data/", "data/old folder/", "data/old folder/kept.txt=kept",
                                "data/old.txt=old", "single.txt=previous"};
    const QStringList newData{"data/", "data/deeper/", "data/deeper/inner.txt=inner",
                              "data/new.txt=new"};

    CFtpServerFixture server;
    std::unique_ptr<CProgramRun> run;
    CMyListView* local = nullptr;
};

TEST_F(CSelectionCopyTest, LocalToLocalReplacesTheFolderOfTheSameNameWithoutAStatusWindow)
{
    SelectNames(*local, {"data", "single.txt"});
    EXPECT_TRUE(local->CopySelectedItemsToFolder(Home() + "/target/", false));
    EXPECT_EQ(TreeOf(Home() + "/target"), newData + QStringList{"single.txt=single"});
    EXPECT_TRUE(run->Frame().findChildren<CCommStatusDialog*>().isEmpty());
    EXPECT_TRUE(run->Boxes().Shown().isEmpty());
}

TEST_F(CSelectionCopyTest, AFailedReplacementPutsTheOldFolderBackWhole)
{
    // The copy fails inside the folder: a link back into it is refused.
    ASSERT_EQ(symlink("..", QFile::encodeName(Home() + "/source/data/deeper/loop").constData()), 0);
    run->Boxes().Expect(QStringLiteral("The folder \"%1\" leads back into a folder that is being "
                                       "copied (through a link), so the copy would never end. The "
                                       "copy has been stopped.")
                            .arg(Home() + "/source/data/deeper/loop"));
    SelectNames(*local, {"data"});
    EXPECT_FALSE(local->CopySelectedItemsToFolder(Home() + "/target/", false));
    EXPECT_EQ(TreeOf(Home() + "/target"), oldTarget);
    EXPECT_EQ(run->Boxes().Pending(), 0);
    EXPECT_FALSE(local->forceLocalDelete);
    EXPECT_FALSE(local->forceFtpDelete);
}

TEST_F(CSelectionCopyTest, FolderItemsDroppedOnTheirOwnFolderAreRefusedBeforeAnythingGoes)
{
    // Dropped on their own folder, by its path or through a link to it.
    MakeLink(Home() + "/source", Home() + "/alias");
    run->Boxes().Expect(kInsideSource).Expect(kInsideSource);
    SelectNames(*local, {"data", "single.txt"});
    EXPECT_FALSE(local->CopySelectedItemsToFolder(Home() + "/source/", false));
    EXPECT_FALSE(local->CopySelectedItemsToFolder(Home() + "/alias/", false));
    EXPECT_EQ(TreeOf(Home() + "/source/data"),
              (QStringList{"deeper/", "deeper/inner.txt=inner", "new.txt=new"}));
    EXPECT_EQ(run->Boxes().Pending(), 0);
}

TEST_F(CSelectionCopyTest, UploadReplacesAServerFolderAndACancelPutsTheOldOneBack)
{
    server.MakeFile("up/data/old.txt", "old");
    server.MakeFile("up/data/old folder/kept.txt", "kept");
    for (int i = 0; i < 60; ++i)
        WriteLocalFile(Home() + "/source/data/many/" + QString::number(i) + ".txt", "x");

    // Cancel Communication once two files have reached the server; it holds the third.
    CHeldCancel cancel(server, run->Frame());
    cancel.Arm(QStringLiteral("STOR"), 2);
    run->Boxes().Expect(kCancelled);
    SelectNames(*local, {"data"});
    EXPECT_FALSE(local->CopySelectedItemsToFolder("/up/", true));
    EXPECT_TRUE(cancel.Cancelled());
    cancel.Release();
    EXPECT_EQ(run->Boxes().Pending(), 0);
    EXPECT_GE(server.CountCommands("STOR"), 2);
    EXPECT_EQ(TreeOf(Remote("up")),
              (QStringList{"data/", "data/old folder/", "data/old folder/kept.txt=kept",
                           "data/old.txt=old"}));

    // Without a cancel the new folder takes the old one's place.
    EXPECT_TRUE(local->CopySelectedItemsToFolder("/up/", true));
    QStringList expected = newData;
    expected.append("data/many/");
    for (int i = 0; i < 60; ++i)
        expected.append("data/many/" + QString::number(i) + ".txt=x");
    expected.sort();
    EXPECT_EQ(TreeOf(Remote("up")), expected);
    EXPECT_FALSE(theApp().busy);
    EXPECT_TRUE(run->Frame().findChildren<CCommStatusDialog*>().isEmpty());
}

TEST_F(CSelectionCopyTest, AnEmptyFolderOfTheSameNameIsReplacedOnEitherSide)
{
    // An empty folder exists as much as a full one: it is replaced, not a reason to fail.
    server.MakeFile("pub/data/from server.txt", "s");
    server.MakeFolder("empty target/data");
    QDir().mkpath(Home() + "/empty target/data");
    CMyListView& ftp = *run->Frame().ListPane(1);
    ftp.FillList("/pub/");
    SelectNames(ftp, {"data"});
    EXPECT_TRUE(ftp.CopySelectedItemsToFolder(Home() + "/empty target/", false));
    EXPECT_EQ(TreeOf(Home() + "/empty target"), (QStringList{"data/", "data/from server.txt=s"}));
    SelectNames(*local, {"data"});
    EXPECT_TRUE(local->CopySelectedItemsToFolder("/empty target/", true));
    EXPECT_EQ(TreeOf(Remote("empty target")), newData);
    EXPECT_TRUE(run->Boxes().Shown().isEmpty());
}

TEST_F(CSelectionCopyTest, AServerFolderThatIsTheLocalSourceIsNotReplaced)
{
    // The server serves this computer's own disk: uploading a folder into the server
    // folder that is its own parent would replace the source with itself.
    server.MakeFile("pub/data/own.txt", "own");
    local->FillList(server.Root() + "/pub/");
    SelectNames(*local, {"data"});
    run->Boxes().Expect(kInsideSource);
    EXPECT_FALSE(local->CopySelectedItemsToFolder("/pub/", true));
    EXPECT_EQ(TreeOf(Remote("pub")), (QStringList{"data/", "data/own.txt=own"}));
    EXPECT_EQ(run->Boxes().Pending(), 0);
}

TEST_F(CSelectionCopyTest, PipesAreShownForWhatTheyAreAndNeverOpenedAndWhatAFolderLeftOutIsSaid)
{
    const QString pipe = Home() + "/source/pipe";
    const QString innerPipe = Home() + "/source/data/deeper/inner pipe";
    ASSERT_EQ(mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    ASSERT_EQ(mkfifo(QFile::encodeName(innerPipe).constData(), 0600), 0);
    local->FillList(Home() + "/source/");
    const int row = ShownNames(*local).indexOf("pipe");
    ASSERT_GE(row, 0);
    EXPECT_EQ(local->model()->index(row, 1).data().toString(), QStringLiteral("<pipe>"));

    struct Case
    {
        const char* what;
        QString folder;
        bool toFtp;
        QString copy; // where the copied "data" shows up
    };
    const Case table[] = {
        {"to the server", "/up/", true, Remote("up/data")},
        {"between local folders", Home() + "/target/", false, Home() + "/target/data"},
    };
    server.MakeFolder("up");
    for (const Case& c : table) {
        SCOPED_TRACE(c.what);
        // Opening the pipe for reading would wait for a writer, the window with it.
        run->Boxes().Expect(
            QStringLiteral("\"%1\" is a named pipe, not a file: it cannot be copied.").arg(pipe),
            QStringLiteral("Error Copying File"), MsgIcon::Stop);
        SelectNames(*local, {"pipe"});
        EXPECT_FALSE(local->CopySelectedItemsToFolder(c.folder, c.toFtp));
        EXPECT_EQ(run->Boxes().Pending(), 0);

        run->Boxes().Expect(
            QStringLiteral("1 item was not copied:\n\n%1 (named pipe)").arg(innerPipe),
            QStringLiteral("Items Not Copied"), MsgIcon::Warning);
        SelectNames(*local, {"data"});
        EXPECT_TRUE(local->CopySelectedItemsToFolder(c.folder, c.toFtp));
        EXPECT_EQ(run->Boxes().Pending(), 0);
        EXPECT_EQ(TreeOf(c.copy),
                  (QStringList{"deeper/", "deeper/inner.txt=inner", "new.txt=new"}));
    }
    EXPECT_EQ(server.CountCommands("STOR"), 2);
}

TEST_F(CSelectionCopyTest, AFolderIsNotReplacedByOneOfItsOwnFoldersOnEitherSide)
{
    // Every hidden name to rename the old folder aside is taken, so it would be deleted
    // first, and the source inside it.
    WriteLocalFile(Home() + "/nest/data/data/keep.txt", "keep");
    server.MakeFile("nest/data/data/keep.txt", "keep");
    for (int number = 1; number <= 20; ++number) {
        QDir().mkpath(Home() + "/nest/.vantor-replaced-" + QString::number(number));
        server.MakeFolder("nest/.vantor-replaced-" + QString::number(number));
    }
    const QStringList nest{"data/", "data/data/", "data/data/keep.txt=keep"};
    struct Case
    {
        const char* what;
        int side;
        QString folder;
        QString root;
    };
    const Case table[] = {
        {"local", 0, Home() + "/nest/", Home() + "/nest"},
        {"on the server", 1, "/nest/", Remote("nest")},
        // The folder tree's spelling under a root of "/".
        {"on the server, as the tree spells it", 1, "//nest/", Remote("nest")},
    };
    for (const Case& c : table) {
        SCOPED_TRACE(c.what);
        CMyListView& list = *run->Frame().ListPane(c.side);
        list.FillList(c.folder + "data/");
        SelectNames(list, {"data"});
        run->Boxes().Expect(
            QStringLiteral("The source folder lies inside the folder it would replace."),
            QStringLiteral("Error Copying Folder"), MsgIcon::Stop);
        EXPECT_FALSE(list.CopySelectedItemsToFolder(c.folder, c.side == 1));
        EXPECT_EQ(run->Boxes().Pending(), 0);
        EXPECT_EQ(TreeOf(c.root).filter(QStringLiteral("data")), nest);
    }
}
