// Copying the selected items of a list pane into a folder, replacing folders of the same
// name, against a real server and real local folders.
#include "app/mainframe.h"
#include "app/vantorapp.h"
#include "ftp/commstatusdialog.h"
#include "panes/mylistview.h"
#include "profiles/profilerecord.h"
#include "tests/fixtures/ftpserverfixture.h"
#include "tests/fixtures/programrun.h"
#include "tests/fixtures/testenvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QTimer>

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

const QString kCancelled =
    QStringLiteral("The communication session has been cancelled by the user.");
const QString kInsideSource =
    QStringLiteral("The destination folder is the same as the source folder.");

QString Home()
{
    return TestCaseFolder() + QStringLiteral("/home");
}

ProfileRecord ProfileFor(const CFtpServerFixture& server)
{
    ProfileRecord profile;
    profile.name = QStringLiteral("Test server");
    profile.address = server.Address();
    profile.userId = QString::fromLatin1(CFtpServerFixture::kUser);
    profile.password = QString::fromLatin1(CFtpServerFixture::kPassword);
    return profile;
}

void WriteFile(const QString& path, const QByteArray& content)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(content);
}

// Every path below `folder` with its content, hidden names included.
QStringList Tree(const QString& folder)
{
    QStringList paths;
    const QDir dir(folder);
    for (const QFileInfo& info :
         dir.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
        if (info.isDir() && !info.isSymLink()) {
            paths.append(info.fileName() + "/");
            for (const QString& below : Tree(info.filePath()))
                paths.append(info.fileName() + "/" + below);
        } else {
            QFile file(info.filePath());
            file.open(QIODevice::ReadOnly);
            paths.append(info.fileName() + "=" + QString::fromUtf8(file.readAll()));
        }
    }
    paths.sort();
    return paths;
}

void Select(CMyListView& list, const QStringList& names)
{
    list.selectionModel()->clearSelection();
    const QStringList shown = ShownNames(list);
    for (const QString& name : names) {
        const int row = shown.indexOf(name);
        ASSERT_GE(row, 0) << name.toStdString();
        list.selectionModel()->select(list.model()->index(row, 0),
                                      QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
}

} // namespace

class CSelectionCopyTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.IsRunning());
        WriteFile(Home() + "/source/data/new.txt", "new");
        WriteFile(Home() + "/source/data/deeper/inner.txt", "inner");
        WriteFile(Home() + "/source/single.txt", "single");
        WriteFile(Home() + "/target/data/old.txt", "old");
        WriteFile(Home() + "/target/data/old folder/kept.txt", "kept");
        WriteFile(Home() + "/target/single.txt", "previous");
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
    Select(*local, {"data", "single.txt"});
    EXPECT_TRUE(local->CopySelectedItemsToFolder(Home() + "/target/", false));
    EXPECT_EQ(Tree(Home() + "/target"), newData + QStringList{"single.txt=single"});
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
    Select(*local, {"data"});
    EXPECT_FALSE(local->CopySelectedItemsToFolder(Home() + "/target/", false));
    EXPECT_EQ(Tree(Home() + "/target"), oldTarget);
    EXPECT_EQ(run->Boxes().Pending(), 0);
    EXPECT_FALSE(local->forceLocalDelete);
    EXPECT_FALSE(local->forceFtpDelete);
}

TEST_F(CSelectionCopyTest, FolderItemsDroppedOnTheirOwnFolderAreRefusedBeforeAnythingGoes)
{
    run->Boxes().Expect(kInsideSource);
    Select(*local, {"data", "single.txt"});
    EXPECT_FALSE(local->CopySelectedItemsToFolder(Home() + "/source/", false));
    EXPECT_EQ(Tree(Home() + "/source/data"),
              (QStringList{"deeper/", "deeper/inner.txt=inner", "new.txt=new"}));
    EXPECT_EQ(run->Boxes().Pending(), 0);
}

TEST_F(CSelectionCopyTest, UploadReplacesAServerFolderAndACancelPutsTheOldOneBack)
{
    server.MakeFile("up/data/old.txt", "old");
    server.MakeFile("up/data/old folder/kept.txt", "kept");
    for (int i = 0; i < 60; ++i)
        WriteFile(Home() + "/source/data/many/" + QString::number(i) + ".txt", "x");

    // Cancel Communication once the second file has reached the server.
    QTimer cancel;
    QObject::connect(&cancel, &QTimer::timeout, [&] {
        if (server.CountCommands("STOR") < 2)
            return;
        for (CCommStatusDialog* dialog : run->Frame().findChildren<CCommStatusDialog*>())
            dialog->cancelRequested = true;
        cancel.stop();
    });
    cancel.start(0);
    run->Boxes().Expect(kCancelled);
    Select(*local, {"data"});
    EXPECT_FALSE(local->CopySelectedItemsToFolder("/up/", true));
    cancel.stop();
    EXPECT_EQ(run->Boxes().Pending(), 0);
    EXPECT_GE(server.CountCommands("STOR"), 2);
    EXPECT_EQ(Tree(Remote("up")),
              (QStringList{"data/", "data/old folder/", "data/old folder/kept.txt=kept",
                           "data/old.txt=old"}));

    // Without a cancel the new folder takes the old one's place.
    EXPECT_TRUE(local->CopySelectedItemsToFolder("/up/", true));
    QStringList expected = newData;
    expected.append("data/many/");
    for (int i = 0; i < 60; ++i)
        expected.append("data/many/" + QString::number(i) + ".txt=x");
    expected.sort();
    EXPECT_EQ(Tree(Remote("up")), expected);
    EXPECT_FALSE(theApp().busy);
    EXPECT_TRUE(run->Frame().findChildren<CCommStatusDialog*>().isEmpty());
}

TEST_F(CSelectionCopyTest, DownloadOntoAnEmptyFolderOfTheSameName)
{
    // An empty folder exists as much as a full one: it is replaced, not a reason to fail.
    server.MakeFile("pub/data/from server.txt", "s");
    QDir().mkpath(Home() + "/empty target/data");
    CMyListView& ftp = *run->Frame().ListPane(1);
    ftp.FillList("/pub/");
    Select(ftp, {"data"});
    EXPECT_TRUE(ftp.CopySelectedItemsToFolder(Home() + "/empty target/", false));
    EXPECT_EQ(Tree(Home() + "/empty target"), (QStringList{"data/", "data/from server.txt=s"}));
    EXPECT_TRUE(run->Boxes().Shown().isEmpty());
}
