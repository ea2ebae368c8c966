// Upload folder, download folder and copy FTP folder against a real server, with links,
// cycles and refusals.
#include "app/vantorapp.h"
#include "ftp/commoperation.h"
#include "ftp/commstatusdialog.h"
#include "ftp/filemessages.h"
#include "ftp/folderwalk.h"
#include "inet/ftpconnection.h"
#include "inet/internetsession.h"
#include "tests/fixtures/ftpserverfixture.h"
#include "tests/fixtures/localtree.h"
#include "tests/fixtures/messageboxscript.h"
#include "tests/fixtures/testenvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

const QString kCreateFolder = FileMessages::CreateFolderText();
const QString kInsideSource = FileMessages::InsideSourceText();

QString Local(const QString& relative)
{
    return TestCaseFolder() + QStringLiteral("/local/") + relative;
}

void MakeSourceTree(const QString& root)
{
    WriteLocalFile(root + "/top.txt", "top");
    WriteLocalFile(root + "/sub dir/inner.txt", "inner");
    WriteLocalFile(root + "/sub dir/deeper/x.bin", QByteArray(2500, 'x'));
    QDir().mkpath(root + "/empty");
}

const QStringList kSourceTree{"empty/",
                              "sub dir/",
                              "sub dir/deeper/",
                              "sub dir/deeper/x.bin=" + QString(2500, QLatin1Char('x')),
                              "sub dir/inner.txt=inner",
                              "top.txt=top"};

} // namespace

class CFolderTransferTest : public testing::TestWithParam<bool>
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.IsRunning());
        QDir().mkpath(Local({}));
        Connect(GetParam());
    }

    void Connect(bool machineListings)
    {
        CVantorApp& app = theApp();
        InternetOptions options;
        options.useMachineListings = machineListings;
        // Every level logs in afresh, so that the log shows which connection listed what.
        options.poolPerServer = 0;
        app.internetSession = std::make_unique<CInternetSession>(options);
        app.activeProfile.address = server.Address();
        app.activeProfile.userId = QString::fromLatin1(server.kUser);
        app.activeProfile.password = QString::fromLatin1(server.kPassword);
        app.ftpConnection = app.internetSession->GetFtpConnection(
            app.activeProfile.address, app.activeProfile.userId, app.activeProfile.password);
    }

    QString Remote(const QString& relative) const { return server.Root() + "/" + relative; }

    CFtpServerFixture server;
};

TEST_P(CFolderTransferTest, CopiesWholeTreesInEachDirection)
{
    MakeSourceTree(Local("source"));
    MakeSourceTree(Remote("source"));
    CMessageBoxScript boxes;
    CCommOperation operation(true);
    CCommStatusDialog& dialog = operation.Dialog();
    EXPECT_TRUE(dialog.UploadFolder(Local("source"), "/uploaded"));
    EXPECT_TRUE(dialog.DownloadFolder("/source", Local("downloaded")));
    EXPECT_TRUE(dialog.CopyFtpFolder("/source", "/copied"));
    EXPECT_EQ(TreeOf(Remote("uploaded")), kSourceTree);
    EXPECT_EQ(TreeOf(Local("downloaded")), kSourceTree);
    EXPECT_EQ(TreeOf(Remote("copied")), kSourceTree);
    EXPECT_TRUE(boxes.Shown().isEmpty());
}

TEST_P(CFolderTransferTest, FollowsServerLinksToFoldersAndFiles)
{
    // pyftpdlib lists a link as a link in LIST and as what it leads to in MLSD.
    server.MakeFile("keep/kept.txt", "kept");
    server.MakeFile("tree/own.txt", "own");
    MakeLink(Remote("keep"), Remote("tree/folder-link"));
    MakeLink(Remote("keep/kept.txt"), Remote("tree/file-link"));
    CMessageBoxScript boxes;
    CCommOperation operation(true);
    EXPECT_TRUE(operation.Dialog().DownloadFolder("/tree", Local("tree")));
    const QStringList expected{"file-link=kept", "folder-link/", "folder-link/kept.txt=kept",
                               "own.txt=own"};
    EXPECT_EQ(TreeOf(Local("tree")), expected);
    EXPECT_FALSE(QFileInfo(Local("tree/folder-link")).isSymLink());
}

TEST_P(CFolderTransferTest, AServerLinkCycleEndsWithAMessage)
{
    server.MakeFile("tree/a.txt", "a");
    server.MakeFile("tree/sub/b.txt", "b");
    MakeLink("..", Remote("tree/sub/loop"));
    CMessageBoxScript boxes;
    // This server reports the path as entered; the listing shows the cycle.
    boxes.Expect(CFolderWalkGuard::RefusalText(CFolderWalkGuard::Step::Cycle, "/tree/sub/loop"),
                 FileMessages::InsideSourceCaption(), MsgIcon::Stop);
    CCommOperation operation(true);
    EXPECT_FALSE(operation.Dialog().DownloadFolder("/tree", Local("tree")));
    EXPECT_EQ(boxes.Pending(), 0);
    EXPECT_FALSE(QFileInfo::exists(Local("tree/sub/loop"))) << "nothing made for the cycle";
}

TEST_P(CFolderTransferTest, ADownloadedTreeKeepsTheServersTimesAsTheSettingSays)
{
    // 2001-02-03 04:05:06 UTC on every server file.
    constexpr qint64 kServerTime = 981173106;
    MakeSourceTree(Remote("source"));
    const QStringList files{"top.txt", "sub dir/inner.txt", "sub dir/deeper/x.bin"};
    for (const QString& file : files) {
        QFile remote(Remote("source/" + file));
        ASSERT_TRUE(remote.open(QIODevice::ReadWrite));
        ASSERT_TRUE(remote.setFileTime(QDateTime::fromSecsSinceEpoch(kServerTime, QTimeZone::utc()),
                                       QFileDevice::FileModificationTime));
    }
    for (const bool keep : {true, false}) {
        SCOPED_TRACE(keep ? "kept" : "not kept");
        theApp().keepFileTimes = keep;
        server.ClearLog();
        const QString target = keep ? "kept" : "fresh";
        CMessageBoxScript boxes;
        CCommOperation operation(true);
        EXPECT_TRUE(operation.Dialog().DownloadFolder("/source", Local(target)));
        for (const QString& file : files) {
            const qint64 time =
                QFileInfo(Local(target + "/" + file)).lastModified().toSecsSinceEpoch();
            if (keep)
                EXPECT_EQ(time, kServerTime) << qPrintable(file);
            else
                EXPECT_GT(time, kServerTime + 365 * 86400) << qPrintable(file);
        }
        // MLSD tells each file's time to the second; LIST does not, and MDTM is asked.
        const int asked = keep && !GetParam() ? int(files.size()) : 0;
        EXPECT_EQ(server.CountCommands("MDTM"), asked);
    }
}

INSTANTIATE_TEST_SUITE_P(Listings, CFolderTransferTest, testing::Values(true, false),
                         [](const testing::TestParamInfo<bool>& param) {
                             return std::string(param.param ? "Mlsd" : "List");
                         });

class CFolderTransferChecksTest : public CFolderTransferTest
{};

TEST_P(CFolderTransferChecksTest, RefusalsComeBeforeAnythingIsCreated)
{
    server.MakeFile("pub/a/file.txt", "f");
    server.MakeFolder("exists");
    WriteLocalFile(Local("src/file.txt"), "f");
    QDir().mkpath(Local("exists"));
    // The same text as the local source, on the server: no folder of its own.
    const QString sameText = Local("src");
    server.MakeFolder(sameText.mid(1));

    struct Case
    {
        const char* what;
        std::function<bool(CCommStatusDialog&)> run;
        bool copied;
        QString message;
        QString created; // a folder that must (copied) or must not exist afterwards
    };
    const Case table[] = {
        {"copy a folder onto itself",
         [](CCommStatusDialog& d) { return d.CopyFtpFolder("/pub/a", "/pub/a"); },
         false,
         kInsideSource,
         {}},
        {"copy a folder into its own subfolder",
         [](CCommStatusDialog& d) { return d.CopyFtpFolder("/pub/a", "/pub/a/b"); }, false,
         kInsideSource, "pub/a/b"},
        {"a sibling whose name begins alike",
         [](CCommStatusDialog& d) { return d.CopyFtpFolder("/pub/a", "/pub/ab"); },
         true,
         {},
         "pub/ab"},
        {"upload onto an existing folder",
         [](CCommStatusDialog& d) { return d.UploadFolder(Local("src"), "/exists"); },
         false,
         kCreateFolder,
         {}},
        {"download onto an existing folder",
         [](CCommStatusDialog& d) { return d.DownloadFolder("/pub/a", Local("exists")); },
         false,
         kCreateFolder,
         {}},
        {"upload to a server path that reads like the source",
         [sameText](CCommStatusDialog& d) { return d.UploadFolder(sameText, sameText + "/copy"); },
         true,
         {},
         sameText.mid(1) + "/copy"},
    };
    for (const Case& c : table) {
        CMessageBoxScript boxes;
        if (!c.message.isEmpty())
            boxes.Expect(c.message);
        CCommOperation operation(true);
        EXPECT_EQ(c.run(operation.Dialog()), c.copied) << c.what;
        EXPECT_EQ(boxes.Pending(), 0) << c.what;
        if (!c.created.isEmpty()) {
            EXPECT_EQ(QFileInfo(Remote(c.created)).isDir(), c.copied) << c.what;
        }
    }
}

TEST_P(CFolderTransferChecksTest, OneFileAtATimeEachLevelListsOnAConnectionOfItsOwn)
{
    server.MakeFile("src/1.txt", "1");
    server.MakeFile("src/b/2.txt", "2");
    server.MakeFile("src/b/c/3.txt", "3");
    const QString mainSession = server.LogLines().first().section(' ', 0, 0);
    CMessageBoxScript boxes;
    CCommOperation operation(true);
    theApp().parallelTransfers = 1;
    ASSERT_TRUE(operation.Dialog().DownloadFolder("/src", Local("src")));
    const QStringList log = server.LogLines();
    QStringList levelSessions;
    int deepest = -1;
    for (int i = 0; i < log.size(); ++i) {
        const QString what = log[i].section(' ', 1);
        if (what == "CWD /src" || what == "CWD /src/b" || what == "CWD /src/b/c")
            levelSessions.append(log[i].section(' ', 0, 0));
        if (what == "CWD /src/b/c")
            deepest = i;
    }
    ASSERT_EQ(levelSessions.size(), 3) << log.join('\n').toStdString();
    EXPECT_EQ(QSet<QString>(levelSessions.begin(), levelSessions.end()).size(), 3);
    EXPECT_FALSE(levelSessions.contains(mainSession));
    // All three are still held when the deepest level starts: none has ended before it.
    for (int i = 0; i < deepest; ++i)
        EXPECT_NE(log[i].section(' ', 1), "QUIT") << log[i].toStdString();
    for (const QString& session : levelSessions)
        EXPECT_TRUE(log.contains(session + " QUIT")) << "every level's connection is closed";

    // With helpers copying the files, the walk lists on the main connection alone.
    theApp().parallelTransfers = 2;
    server.ClearLog();
    ASSERT_TRUE(operation.Dialog().DownloadFolder("/src", Local("again")));
    EXPECT_EQ(TreeOf(Local("again")), TreeOf(Local("src")));
    for (const QString& line : server.LogLines()) {
        if (line.section(' ', 1).startsWith("CWD /src")) {
            EXPECT_EQ(line.section(' ', 0, 0), mainSession) << line.toStdString();
        }
    }
}

TEST_P(CFolderTransferChecksTest, UploadFollowsLocalLinksButRefusesACycle)
{
    WriteLocalFile(Local("outside/o.txt"), "o");
    WriteLocalFile(Local("src/s.txt"), "s");
    MakeLink(Local("outside"), Local("src/shortcut"));
    CMessageBoxScript boxes;
    {
        CCommOperation operation(true);
        EXPECT_TRUE(operation.Dialog().UploadFolder(Local("src"), "/up"));
    }
    EXPECT_EQ(TreeOf(Remote("up")), (QStringList{"s.txt=s", "shortcut/", "shortcut/o.txt=o"}));

    MakeLink("..", Local("src/loop"));
    boxes.Expect(
        CFolderWalkGuard::RefusalText(CFolderWalkGuard::Step::Cycle, Local("src/loop/src")),
        FileMessages::InsideSourceCaption(), MsgIcon::Stop);
    CCommOperation operation(true);
    EXPECT_FALSE(operation.Dialog().UploadFolder(Local("src"), "/up2"));
    EXPECT_EQ(boxes.Pending(), 0);
}

INSTANTIATE_TEST_SUITE_P(Server, CFolderTransferChecksTest, testing::Values(true),
                         [](const testing::TestParamInfo<bool>&) { return std::string("Mlsd"); });
