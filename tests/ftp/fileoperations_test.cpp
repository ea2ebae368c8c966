// Deleting, creating and copying files and folders on both sides, with links in the trees.
#include "app/vantorapp.h"
#include "ftp/filemessages.h"
#include "ftp/fileoperations.h"
#include "ftp/folderwalk.h"
#include "inet/ftpconnection.h"
#include "inet/internetsession.h"
#include "tests/fixtures/ftpserverfixture.h"
#include "tests/fixtures/localtree.h"
#include "tests/fixtures/messageboxscript.h"
#include "tests/fixtures/testenvironment.h"
#include "tests/fixtures/testhelpers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kDeleteFile = FileMessages::DeleteFileText();
const QString kDeleteFolder = FileMessages::DeleteFolderText();
const QString kCreateFolder = FileMessages::CreateFolderText();
const QString kCopyFile = FileMessages::CopyFileText();
const QString kSameFile = FileMessages::SameFileText();
const QString kInsideSource = FileMessages::InsideSourceText();

QString Work()
{
    return TestCaseFolder() + QStringLiteral("/work");
}

} // namespace

TEST(LocalFileOperations, DeleteFolderRemovesLinksButNeverWhatTheyLeadTo)
{
    const QString outside = Work() + "/outside";
    WriteLocalFile(outside + "/keep/precious.txt", "precious");
    WriteLocalFile(outside + "/single.txt", "single");
    const QString tree = Work() + "/tree";
    WriteLocalFile(tree + "/a.txt", "a");
    WriteLocalFile(tree + "/sub/deeper/b.txt", "b");
    WriteLocalFile(tree + "/.hidden", "h");
    MakeLink(outside, tree + "/sub/backup");                // a link to a folder outside
    MakeLink(outside + "/single.txt", tree + "/file-link"); // a link to a file outside
    MakeLink(tree + "/nowhere", tree + "/dangling");
    MakeLink("..", tree + "/sub/loop"); // a cycle
    const QString alias = Work() + "/alias";
    MakeLink(outside, alias); // the folder path itself is a link

    CMessageBoxScript boxes;
    CFileOperations local(nullptr, 0);
    EXPECT_TRUE(local.DeleteFolder(tree + "/"));
    EXPECT_TRUE(local.DeleteFolder(alias + "/"));
    EXPECT_FALSE(PathExists(tree));
    EXPECT_FALSE(PathExists(alias));
    EXPECT_EQ(TreeOf(outside),
              (QStringList{"keep/", "keep/precious.txt=precious", "single.txt=single"}));
    EXPECT_EQ(ReadFile(outside + "/keep/precious.txt"), "precious");
}

TEST(LocalFileOperations, FailuresShowTheirMessageOnce)
{
    WriteLocalFile(Work() + "/exists/x.txt", "x");
    struct Case
    {
        const char* what;
        std::function<bool(CFileOperations&)> run;
        QString message;
        QString caption;
    };
    const Case table[] = {
        {"create a folder that exists",
         [](CFileOperations& o) { return o.CreateFolder(Work() + "/exists"); }, kCreateFolder,
         FileMessages::CreateFolderCaption()},
        {"create a folder in a missing one",
         [](CFileOperations& o) { return o.CreateFolder(Work() + "/missing/new"); }, kCreateFolder,
         FileMessages::CreateFolderCaption()},
        {"delete a missing file",
         [](CFileOperations& o) { return o.DeleteFile(Work() + "/none.txt"); }, kDeleteFile,
         FileMessages::DeleteFileCaption()},
        {"delete file on a folder",
         [](CFileOperations& o) { return o.DeleteFile(Work() + "/exists"); }, kDeleteFile,
         FileMessages::DeleteFileCaption()},
        {"delete a missing folder",
         [](CFileOperations& o) { return o.DeleteFolder(Work() + "/none/"); }, kDeleteFolder,
         FileMessages::DeleteFolderCaption()},
        {"copy a missing file",
         [](CFileOperations& o) {
             return o.CopyLocalFile(Work() + "/none.txt", Work() + "/y.txt");
         },
         kCopyFile, FileMessages::CopyFileCaption()},
    };
    for (const Case& c : table) {
        CMessageBoxScript boxes;
        boxes.Expect(c.message, c.caption, MsgIcon::Stop);
        CFileOperations local(nullptr, 0);
        EXPECT_FALSE(c.run(local)) << c.what;
        EXPECT_EQ(boxes.Pending(), 0) << c.what;
    }
    EXPECT_EQ(ReadFile(Work() + "/exists/x.txt"), "x");
}

TEST(LocalFileOperations, CopyLocalFileReplacesTheDestinationButNeverItsSource)
{
    const QString source = Work() + "/source.txt";
    WriteLocalFile(source, "new content");
    WriteLocalFile(Work() + "/old.txt", "old content that is longer");
    ASSERT_TRUE(
        QFile::setPermissions(source, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    MakeLink(source, Work() + "/link-to-source");
    ASSERT_EQ(link(QFile::encodeName(source).constData(),
                   QFile::encodeName(Work() + "/hard-link").constData()),
              0);
    QDir().mkpath(Work() + "/sub");

    CMessageBoxScript boxes;
    CFileOperations local(nullptr, 0);
    EXPECT_TRUE(local.CopyLocalFile(source, Work() + "/old.txt"));
    EXPECT_EQ(ReadFile(Work() + "/old.txt"), "new content");
    EXPECT_EQ(QFileInfo(Work() + "/old.txt").permissions() & QFile::ExeOwner, QFile::ExeOwner);
    EXPECT_EQ(QFileInfo(Work() + "/old.txt").lastModified(), QFileInfo(source).lastModified());

    // The same file under another name: refused, the source stays whole.
    const QString sameTargets[] = {source, Work() + "/sub/../source.txt",
                                   Work() + "/link-to-source", Work() + "/hard-link"};
    for (const QString& target : sameTargets) {
        boxes.Expect(kSameFile, FileMessages::CopyFileCaption(), MsgIcon::Stop);
        EXPECT_FALSE(local.CopyLocalFile(source, target)) << target.toStdString();
        EXPECT_EQ(ReadFile(source), "new content");
    }
    // A copy that cannot be put in place leaves what was there and no half file.
    boxes.Expect(kCopyFile, FileMessages::CopyFileCaption(), MsgIcon::Stop);
    EXPECT_FALSE(local.CopyLocalFile(source, Work() + "/sub"));
    EXPECT_TRUE(QFileInfo(Work() + "/sub").isDir());
    EXPECT_EQ(TreeOf(Work() + "/sub"), QStringList());
    EXPECT_EQ(TreeOf(Work()),
              (QStringList{"hard-link=new content", "link-to-source@", "old.txt=new content",
                           "source.txt=new content", "sub/"}));
    EXPECT_EQ(boxes.Pending(), 0);
}

TEST(LocalFileOperations, CopyLocalFolderFollowsLinksButEndsOnCycles)
{
    const QString outside = Work() + "/outside";
    WriteLocalFile(outside + "/o.txt", "o");
    const QString source = Work() + "/source";
    WriteLocalFile(source + "/a.txt", "a");
    WriteLocalFile(source + "/sub/b.txt", "b");
    QDir().mkpath(source + "/empty");
    MakeLink(outside, source + "/sub/shortcut");
    MakeLink(source + "/a.txt", source + "/a-link");
    MakeLink(source + "/nowhere", source + "/dangling");

    struct Case
    {
        const char* what;
        QString from;
        QString to;
        bool copied;
        QString message; // empty: none
    };
    const QString deep = Work() + "/deep";
    QString deepest = deep;
    for (int level = 1; level <= 64; ++level) // 65 levels: the last is one too many
        deepest += "/d";
    QDir().mkpath(deepest);
    QDir().mkpath(Work() + "/Data");
    MakeLink(source, Work() + "/via-link");
    // The link that leads nowhere is left out, and the user told so.
    const QString leftOut =
        "1 item was not copied:\n\n" + source + "/dangling (link that leads nowhere)";
    const Case table[] = {
        {"a tree with links", source, Work() + "/copy", true, leftOut},
        {"with a trailing separator", source + "/", Work() + "/copy2/", true, leftOut},
        {"into itself", source, source + "/inner", false, kInsideSource},
        {"onto itself", source + "/", source, false, kInsideSource},
        {"into itself through a link", source, Work() + "/via-link/inner", false, kInsideSource},
        {"onto an existing folder", source, Work() + "/Data", false, kCreateFolder},
        {"too deep", deep, Work() + "/deep-copy", false,
         QStringLiteral(
             "The folder \"%1\" lies more than 64 folders deep. The copy has been stopped.")
             .arg(deepest)},
    };
    for (const Case& c : table) {
        CMessageBoxScript boxes;
        if (!c.message.isEmpty())
            boxes.Expect(c.message);
        CFileOperations local(nullptr, 0);
        EXPECT_EQ(local.CopyLocalFolder(c.from, c.to), c.copied) << c.what;
        EXPECT_EQ(boxes.Pending(), 0) << c.what;
    }
    // Links are copied as what they lead to; the one that leads nowhere is left out.
    const QStringList copied{"a-link=a",
                             "a.txt=a",
                             "empty/",
                             "sub/",
                             "sub/b.txt=b",
                             "sub/shortcut/",
                             "sub/shortcut/o.txt=o"};
    EXPECT_EQ(TreeOf(Work() + "/copy"), copied);
    EXPECT_EQ(TreeOf(Work() + "/copy2"), copied);
    EXPECT_FALSE(PathExists(source + "/inner"));
    EXPECT_FALSE(PathExists(outside + "/inner"));

    // A link back to an ancestor: refused when reached, with what came before it copied.
    MakeLink("..", source + "/sub/loop");
    CMessageBoxScript boxes;
    boxes.Expect(CFolderWalkGuard::RefusalText(CFolderWalkGuard::Step::Cycle, source + "/sub/loop"),
                 FileMessages::InsideSourceCaption(), MsgIcon::Stop);
    CFileOperations local(nullptr, 0);
    EXPECT_FALSE(local.CopyLocalFolder(source, Work() + "/copy3"));
    EXPECT_EQ(boxes.Pending(), 0);
}

class CFtpFileOperationsTest : public testing::TestWithParam<bool>
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.IsRunning());
        CVantorApp& app = theApp();
        InternetOptions options;
        options.useMachineListings = GetParam();
        app.internetSession = std::make_unique<CInternetSession>(options);
        app.activeProfile.address = server.Address();
        app.activeProfile.userId = QString::fromLatin1(server.kUser);
        app.activeProfile.password = QString::fromLatin1(server.kPassword);
        app.ftpConnection = app.internetSession->GetFtpConnection(
            app.activeProfile.address, app.activeProfile.userId, app.activeProfile.password);
    }

    QString Root() const { return server.Root(); }

    CFtpServerFixture server;
};

TEST_P(CFtpFileOperationsTest, DeleteFolderRemovesLinksButNeverWhatTheyLeadTo)
{
    // The server refuses paths that lead out of its root, so the kept folder lies inside it.
    server.MakeFile("keep/precious.txt", "precious");
    server.MakeFile("keep/single.txt", "single");
    server.MakeFile("tree/a.txt", "a");
    server.MakeFile("tree/sub/deeper/b c.txt", "b");
    server.MakeFolder("tree/empty");
    MakeLink(Root() + "/keep", Root() + "/tree/sub/backup");
    MakeLink(Root() + "/keep/single.txt", Root() + "/tree/file-link");
    MakeLink("..", Root() + "/tree/sub/loop");
    MakeLink(Root() + "/nowhere", Root() + "/tree/sub/dangling"); // left out of machine listings
    MakeLink(Root() + "/keep", Root() + "/alias");

    CMessageBoxScript boxes;
    CFileOperations ftp(nullptr, 1);
    EXPECT_TRUE(ftp.DeleteFolder("/tree/"));
    EXPECT_TRUE(ftp.DeleteFolder("/alias/"));
    EXPECT_FALSE(PathExists(Root() + "/tree"));
    EXPECT_FALSE(PathExists(Root() + "/alias"));
    EXPECT_EQ(TreeOf(Root()),
              (QStringList{"keep/", "keep/precious.txt=precious", "keep/single.txt=single"}));
}

TEST_P(CFtpFileOperationsTest, TheSideRuleAndItsOverrides)
{
    server.MakeFile("same.txt", "server");
    WriteLocalFile(Work() + "/same.txt", "local");
    server.MakeFolder("empty");
    CMessageBoxScript boxes;
    // The local pane deletes on the server while the FTP override is in force, and the
    // server pane locally while the local one is.
    EXPECT_TRUE(CFileOperations(nullptr, 0, false, true).DeleteFile("/same.txt"));
    EXPECT_TRUE(PathExists(Work() + "/same.txt"));
    EXPECT_FALSE(PathExists(Root() + "/same.txt"));
    EXPECT_TRUE(CFileOperations(nullptr, 1, true, false).DeleteFile(Work() + "/same.txt"));
    EXPECT_FALSE(PathExists(Work() + "/same.txt"));
    // An empty server folder goes at once.
    EXPECT_TRUE(CFileOperations(nullptr, 1).DeleteFolder("/empty/"));
    EXPECT_FALSE(PathExists(Root() + "/empty"));
    // Create folder follows the pane's side alone.
    EXPECT_TRUE(CFileOperations(nullptr, 1, true, false).CreateFolder("/made"));
    EXPECT_TRUE(QFileInfo(Root() + "/made").isDir());
    boxes.Expect(kCreateFolder, FileMessages::CreateFolderCaption(), MsgIcon::Stop);
    EXPECT_FALSE(CFileOperations(nullptr, 1).CreateFolder("/made"));
    EXPECT_EQ(boxes.Pending(), 0);
}

INSTANTIATE_TEST_SUITE_P(Listings, CFtpFileOperationsTest, testing::Values(true, false),
                         [](const testing::TestParamInfo<bool>& param) {
                             return std::string(param.param ? "Mlsd" : "List");
                         });
